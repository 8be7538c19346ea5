// The evaluator's side of the stream operators: their arguments, and the debug loop on failure.
#include <cstring>

#include "eval/eval.h"
#include "heap/keywords.h"
#include "streams/streams.h"

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

// READ's and READ-LINE's stream: evaluated with the argument list protected, then kept on g;
// null after its evaluation or its check failed (the check's message names the operator).
_cell* inputArgument(cfunction& m, _cell* args, Frame f, long n, CellFrame& g,
                     const char* invalid) {
  _cell* s = m.eval(args->car, f, n);
  if (!s) return nullptr;
  g.push(s);
  return m.checked(inputStream(m, s, invalid), f, n) ? s : nullptr;
}
bool named(const _cell* c, const char* name) {
  return isSymbol(c) && std::strcmp(nameOf(c), name) == 0;
}

// One of OPEN's options: :DIRECTION :INPUT or :OUTPUT; :IF-EXISTS :SUPERSEDE, :APPEND or
// :ERROR; :IF-DOES-NOT-EXIST :CREATE, :ERROR or NIL. False for anything else.
bool openOption(OpenOptions& o, const _cell* key, const _cell* v) {
  if (key == COLDIRECTION) {
    if (v != COLINPUT && v != COLOUTPUT) return false;
    o.output = v == COLOUTPUT;
  } else if (named(key, ":IF-EXISTS")) {
    if (named(v, ":SUPERSEDE")) o.ifExists = IfExists::Supersede;
    else if (named(v, ":APPEND")) o.ifExists = IfExists::Append;
    else if (named(v, ":ERROR")) o.ifExists = IfExists::Error;
    else return false;
  } else if (named(key, ":IF-DOES-NOT-EXIST")) {
    if (named(v, ":CREATE")) o.ifMissing = IfMissing::Create;
    else if (named(v, ":ERROR")) o.ifMissing = IfMissing::Error;
    else if (v == NILCell) o.ifMissing = IfMissing::Nil;
    else return false;
    o.missingGiven = true;
  } else {
    return false;
  }
  return true;
}
}  // namespace

// ---- OPEN, CLOSE ------------------------------------------------------------------------

_cell* cfunction::lispOpen(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BadOpenOption, f, n);
  CellFrame g(*this, args);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;  // reported where it failed
  unsigned char path[kPathBuffer];
  const char* name = fileName(v, path);
  // A string that names no file (empty, too long, holding a NUL) is one the system cannot open.
  if (!name) return fail(isString(v) ? msg::CannotOpen : msg::BadOpenOption, f, n);

  // The options, keywords written as they are and their values evaluated: anything not
  // understood, or given twice, is refused before any file is opened (or truncated).
  OpenOptions options;
  for (_cell* rest = args->cdr; rest != NILCell; rest = rest->cdr->cdr) {
    if (!isCons(rest) || !isCons(rest->cdr)) return fail(msg::BadOpenOption, f, n);
    for (_cell* seen = args->cdr; seen != rest; seen = seen->cdr->cdr)
      if (seen->car == rest->car) return fail(msg::BadOpenOption, f, n);
    _cell* value = eval(rest->cdr->car, f, n);
    if (!value) return nullptr;
    if (!openOption(options, rest->car, value)) return fail(msg::BadOpenOption, f, n);
  }
  return checkedMade(openFile(*this, name, options), f, n);
}

_cell* cfunction::lispClose(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  return checkedMade(closeStream(*this, v), f, n);
}

// ---- READ-LINE, READ --------------------------------------------------------------------

// READ-LINE with one argument answers the end of a file with the empty string and T; given
// eof-error-p and eof-value it answers there as READ does, so a reading loop can end.
_cell* cfunction::lispReadLine(_cell* args, Frame f, long n) {
  if (!isCons(args))
    return checked(programInput ? ReadLineStrm(*this, stdin) : ReadLine(*this), f, n);
  CellFrame g(*this, args);
  _cell* s = inputArgument(*this, args, f, n, g, msg::InvalidStream);
  if (!s) return nullptr;
  if (!isCons(args->cdr))
    return checked(ReadLineStrm(*this, s == NILCell ? stdin : getStream(*this, s)), f, n);

  EofArgs eof;
  if (!evalEofArgs(*this, args->cdr, f, n, g, &eof)) return nullptr;
  return checked(readLineOrEnd(*this, s, eof.error, eof.value), f, n);
}

_cell* cfunction::lispRead(_cell* args, Frame f, long n) {
  if (!isCons(args))
    return checkedMade(programInput ? readStream(*this, NILCell, true, NILCell) : readTerminal(*this), f, n);

  CellFrame g(*this, args);
  _cell* s = inputArgument(*this, args, f, n, g, msg::StreamInvalidRead);
  if (!s) return nullptr;

  EofArgs eof;
  if (!evalEofArgs(*this, args->cdr, f, n, g, &eof)) return nullptr;
  return checkedMade(readStream(*this, s, eof.error, eof.value), f, n);
}
