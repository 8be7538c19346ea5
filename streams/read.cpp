// READ and READ-LINE, from the terminal and from file streams.
//
// READ-LINE builds its string straight from the line's bytes, so a line holds exactly what the
// file held (quotes, backslashes and NUL bytes included) and nothing is ever re-escaped into
// a fixed buffer. End of standard input during READ-LINE answers like end of file: the empty
// string and T. READ from the terminal shares the prompt's form reader, which ends the process
// with status 0 when standard input is exhausted.

#include <cstdio>

#include "eval/eval.h"
#include "printer/printer.h"
#include "reader/reader.h"
#include "shell/keywords.h"
#include "shell/messages.h"

namespace {

// The longest line one READ-LINE returns; the rest of a longer line is left for the next.
constexpr int kLineMax = kLineStrSize - 2;

// One line's bytes; reused by every READ-LINE (nothing keeps it between calls).
char lineBuf[kLineMax];

}  // namespace

// ---- READ-LINE --------------------------------------------------------------------------

_cell* cmemory::ReadLine() {
  std::fflush(stdout);  // whatever asked the question is shown before the wait
  int len = 0;
  bool sawAnything = false;
  while (len < kLineMax) {
    int c = std::getc(stdin);
    if (c == EOF) break;
    sawAnything = true;
    if (c == '\n') break;
    lineBuf[len++] = static_cast<char>(c);
  }
  _cell* s = stringFromBytes(lineBuf, static_cast<size_t>(len));
  // Nothing left to read at all: the answer of a file's end, not an empty line.
  _cell* flag = sawAnything ? NILCell : TCell;
  valuesList = cons(s, cons(flag, NILCell));
  return s;
}

_cell* cmemory::ReadLineStrm(FILE* fp) {
  int len = 0;
  bool ended = false;  // a newline or carriage return closed the line
  while (len < kLineMax) {
    int c = std::getc(fp);
    if (c == EOF) break;
    if (c == '\n') {
      ended = true;
      break;
    }
    if (c == '\r') {
      int next = std::getc(fp);
      if (next != '\n' && next != EOF) std::ungetc(next, fp);
      ended = true;
      break;
    }
    lineBuf[len++] = static_cast<char>(c);
  }
  _cell* s = stringFromBytes(lineBuf, static_cast<size_t>(len));
  valuesList = cons(s, cons(ended ? NILCell : TCell, NILCell));
  return s;
}

// ---- READ -------------------------------------------------------------------------------

namespace {

// Text left over at end of file that is more than blanks is an unfinished form (a list or a
// string whose end is missing), never a clean end of file.
bool unfinished() { return !ctextproc::AllBlank(lineStr); }

}  // namespace

_cell* cfunction::tread(_cell* args, Frame f, long n) {
  if (!isCons(args)) {
    lineStr[0] = '\0';
    if (!ctextproc::GetOneS()) {
      errorlisp(f, n);
      return nullptr;
    }
    if (!ctextproc::Rewrite(lineStr)) return nullptr;
    _cell* datum = readFromString(lineStr);
    if (!datum) return nullptr;
    return made(datum);
  }

  CellFrame g(*this, args);
  _cell* sv = eval(args->car, f, n);
  if (!sv) return nullptr;
  g.push(sv);
  if (!isStreamValue(sv)) return fail(msg::NotStream, f, n);
  if (!getStream(sv)) return fail(msg::StreamInvalidRead, f, n);

  bool eofError = true;
  _cell* eofValue = NILCell;
  _cell* rest = args->cdr;
  if (isCons(rest)) {
    _cell* e = eval(rest->car, f, n);
    if (!e) return nullptr;
    eofError = e != NILCell;
    rest = rest->cdr;
    if (isCons(rest)) {
      eofValue = eval(rest->car, f, n);
      if (!eofValue) return nullptr;
      g.push(eofValue);
    }
  }
  // The later arguments may have closed the stream.
  FILE* fp = getStream(sv);
  if (!fp) return fail(msg::StreamInvalidRead, f, n);

  lineStr[0] = '\0';
  int got = ctextproc::GetOneSStream(fp);
  if (got == 2 && unfinished()) return fail(msg::ParenMismatch, f, n);
  if (got == 2) {
    if (eofError) return fail(msg::ReadError, f, n);
    return made(eofValue);
  }
  if (got == 0) {
    if (eofError) return fail(msg::ReadError, f, n);
    errorlisp(f, n);
    return nullptr;
  }
  if (ctextproc::CheckBrace(lineStr) != 1) return fail(msg::ParenMismatch, f, n);
  if (!ctextproc::Rewrite(lineStr)) return nullptr;
  _cell* datum = readFromString(lineStr);
  if (!datum) return nullptr;
  return made(datum);
}
