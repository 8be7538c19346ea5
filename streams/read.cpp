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
#include "heap/keywords.h"
#include "heap/messages.h"

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

// ---- end-of-file arguments ---------------------------------------------------------------

namespace {

// READ's and READ-LINE's optional arguments after the stream.
struct EofArgs {
  bool error = true;       // eof-error-p: true unless given as NIL
  _cell* value = NILCell;  // eof-value
};

// Evaluates the optional arguments in `rest`, keeping the eof-value on g; false when an
// evaluation failed.
bool evalEofArgs(cfunction& m, _cell* rest, Frame f, long n, CellFrame& g, EofArgs* eof) {
  if (!isCons(rest)) return true;
  _cell* e = m.eval(rest->car, f, n);
  if (!e) return false;
  eof->error = e != NILCell;
  rest = rest->cdr;
  if (!isCons(rest)) return true;
  eof->value = m.eval(rest->car, f, n);
  if (!eof->value) return false;
  g.push(eof->value);
  return true;
}

bool atEnd(FILE* fp) {
  int c = std::getc(fp);
  if (c == EOF) return true;
  std::ungetc(c, fp);
  return false;
}

// Text left over at end of file that is more than blanks is an unfinished form (a list or a
// string whose end is missing), never a clean end of file.
bool unfinished() { return !ctextproc::AllBlank(lineStr); }

}  // namespace

// READ-LINE with one argument answers the end of a file with the empty string and T; given
// eof-error-p and eof-value it answers there as READ does, so a reading loop can end.
_cell* cfunction::readLineOp(_cell* args, Frame f, long n) {
  if (!isCons(args)) return ReadLine();
  CellFrame g(*this, args);
  _cell* s = eval(args->car, f, n);
  if (!s) return nullptr;
  g.push(s);
  if (!isStreamValue(s)) return fail(msg::NotStream, f, n);
  if (!getStream(s)) return fail(msg::InvalidStream, f, n);
  if (!isCons(args->cdr)) return ReadLineStrm(getStream(s));

  EofArgs eof;
  if (!evalEofArgs(*this, args->cdr, f, n, g, &eof)) return nullptr;
  FILE* fp = getStream(s);  // the later arguments may have closed the stream
  if (!fp) return fail(msg::InvalidStream, f, n);
  if (atEnd(fp)) return eof.error ? fail(msg::ReadError, f, n) : made(eof.value);
  return ReadLineStrm(fp);
}

// ---- READ -------------------------------------------------------------------------------

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

  EofArgs eof;
  if (!evalEofArgs(*this, args->cdr, f, n, g, &eof)) return nullptr;
  FILE* fp = getStream(sv);  // the later arguments may have closed the stream
  if (!fp) return fail(msg::StreamInvalidRead, f, n);

  lineStr[0] = '\0';
  int got = ctextproc::GetOneSStream(fp);
  if (got == 2 && unfinished()) return fail(msg::ParenMismatch, f, n);
  if (got == 2) {
    if (eof.error) return fail(msg::ReadError, f, n);
    return made(eof.value);
  }
  if (got == 0) {
    if (eof.error) return fail(msg::ReadError, f, n);
    errorlisp(f, n);
    return nullptr;
  }
  if (ctextproc::CheckBrace(lineStr) != 1) return fail(msg::ParenMismatch, f, n);
  if (!ctextproc::Rewrite(lineStr)) return nullptr;
  _cell* datum = readFromString(lineStr);
  if (!datum) return nullptr;
  return made(datum);
}
