// collecting one balanced form from the terminal or a file
#include <cstdlib>
#include <cstring>

#include "heap/heap.h"
#include "reader/reader.h"
#include "heap/messages.h"

char lineStr[kLineStrSize];

namespace {
constexpr int kPiece = 255;  // the terminal delivers a long line in pieces of this size

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Nobody is left to type: the session ends normally.
void endOfInput() { endProcess(0); }

// One piece of a terminal line: up to kPiece bytes, ending with its newline if it fits.
// NUL bytes are dropped. Returns -1 at end of input when nothing was read.
int readPiece(char* buf, bool* endsLine) {
  int len = 0;
  *endsLine = false;
  while (len < kPiece) {
    int c = inputByte();
    if (c == kInputCancelled) return kInputCancelled;
    if (c == EOF) {
      if (terminateSignal) terminateNow();  // the wait was ended by SIGTERM, not by the input
      if (len == 0) return -1;
      break;
    }
    if (c == 0) continue;
    buf[len++] = static_cast<char>(c);
    if (c == '\n') {
      *endsLine = true;
      break;
    }
  }
  buf[len] = 0;
  return len;
}

void discardRestOfLine() {
  int c;
  while ((c = inputByte()) >= 0 && c != '\n') {
  }
}
}  // namespace

const char* ctextproc::SkipDoubleQuote(const char* s) {
  bool unclosed;
  const char* end = skipLiteral(s - 1, &unclosed);  // s - 1 is the opening quote
  return unclosed ? nullptr : end;
}

int ctextproc::AllBlank(const char* s) {
  for (; *s; s++)
    if (!isSpace(*s)) return 0;
  return 1;
}

int ctextproc::CrTabOnly(const char* s) {
  while (isSpace(*s) || isPrefix(*s)) s++;
  if (*s == 0 || *s == '(' || *s == ')') return 1;
  if (*s == '"') return SkipDoubleQuote(s + 1) ? 0 : 1;
  return 0;
}

int ctextproc::CheckBrace(const char* s) {
  for (const char* p = s; *p;) {
    if (*p == ')') return -1;
    if (*p == '(') {
      bool unterminated;
      if (matchingClose(p, &unterminated)) return 1;
      if (unterminated) return 0;
      break;
    }
    bool unclosed;
    p = skipLiteral(p, &unclosed);
    if (unclosed) return 0;
  }
  return CrTabOnly(s) ? 0 : 1;
}

// A string at the top level of a file ends at its closing quote, so every string PRINT writes
// reads back whole; any other atom ends at the first blank.
int ctextproc::CheckBrace2(const char* s) {
  const char* p = s;
  while (isSpace(*p) || isPrefix(*p)) p++;
  if (*p == ')') return -1;
  if (*p == '(') return matchingClose(p) ? 1 : 0;
  if (*p == '"') return SkipDoubleQuote(p + 1) ? 1 : 0;
  if (*p == 0) return 0;
  for (; *p; p++)
    if (isSpace(*p)) return 1;
  return 0;
}

bool ctextproc::SkipComment(FILE* f) {
  int c;
  while ((c = fileByte(f)) != EOF && c != '\n') {
  }
  return c == '\n';
}

ctextproc::CommentLines ctextproc::commentLines;

// The end of input while a form is being collected: it ends an atom typed last without a line
// end, which is then read; a form left open is reported, not dropped, and the run fails.
int ctextproc::endOfCollecting() {
  if (AllBlank(lineStr)) endOfInput();
  size_t used = std::strlen(lineStr);
  if (used < kFormLimit) {
    lineStr[used] = '\n';
    lineStr[used + 1] = 0;
    if (CheckBrace(lineStr) == 1) return 1;
  }
  say(msg::ParenMismatch);
  endProcess(1);
  return 0;
}

int ctextproc::GetOneS() {
  FormLines form;
  char piece[kPiece + 1];
  long count = 0;
  size_t used = std::strlen(lineStr);
  std::fflush(stdout);  // the prompt has no line end
  for (;;) {
    bool endsLine;
    int len = readPiece(piece, &endsLine);
    if (len == kInputCancelled) return -1;
    if (len < 0) return endOfCollecting();
    count += len;
    if (count > kFormLimit || used + len > kFormLimit) {
      say(msg::FormTooLong);
      if (!endsLine) discardRestOfLine();  // the rest of an over-long line is abandoned too
      return 0;
    }
    std::memcpy(lineStr + used, piece, static_cast<size_t>(len) + 1);
    used += static_cast<size_t>(len);
    // A line reaches the reader whole: a piece that does not end its line may end inside an
    // atom, so whether the form is complete is asked once the line has ended.
    if (!endsLine) continue;
    int r = CheckBrace(lineStr);
    if (r == 1) return 1;
    if (r == -1) {
      say(msg::TooManyClose);
      return 0;
    }
  }
}

// ---- file collection --------------------------------------------------------------------
namespace {
// Answers what CheckBrace2 would answer on the text collected so far, one byte at a time,
// without rescanning it.
class FormTracker {
 public:
  // A semicolon here starts a comment unless it belongs to a literal.
  bool midLiteral() const { return scan_.midLiteral(); }

  int feed(char c) {
    bool outside = scan_.feed(c);
    switch (phase_) {
      case Lead:
        if (isSpace(c) || isPrefix(c)) return 0;
        if (c == ')') return -1;
        if (c == '(') {
          phase_ = List;
          depth_ = 1;
        } else {
          phase_ = c == '"' ? String : Atom;
        }
        return 0;
      case Atom:
        return isSpace(c) ? 1 : 0;
      case String:
        return scan_.inString() ? 0 : 1;
      case List:
        if (outside && c == '(') depth_++;
        if (outside && c == ')' && --depth_ == 0) return 1;
        return 0;
    }
    return 0;
  }

 private:
  enum Phase { Lead, Atom, String, List } phase_ = Lead;
  LiteralScan scan_;
  int depth_ = 0;
};
}  // namespace

int ctextproc::GetOneSStream(FILE* f) {
  commentLines = {};
  FormTracker form;
  long count = 0;
  char last = 0;
  bool took = false;
  size_t used = std::strlen(lineStr);
  for (;;) {
    int c = fileByte(f);
    if (c == EOF) return (!took || isSpace(last)) ? 2 : 1;
    if (c == ';' && !form.midLiteral()) {
      // The comment's line end is dropped with it (an atom before it runs on into the next
      // line), but counted: it is still a line of the file.
      if (SkipComment(f)) (AllBlank(lineStr) ? commentLines.before : commentLines.within)++;
      continue;
    }
    if (c == 0) continue;
    last = static_cast<char>(c);
    took = true;
    if (++count > kFormLimit || used + 1 > static_cast<size_t>(kFormLimit)) {
      say(msg::FormTooLong);
      return 0;
    }
    lineStr[used++] = last;
    lineStr[used] = 0;
    int r = form.feed(last);
    if (r == 1) return 1;
    if (r == -1) {
      say(msg::TooManyClose);
      return 0;
    }
  }
}
