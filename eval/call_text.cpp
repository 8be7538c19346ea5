// The evaluator's side of the text operators: their arguments, and the debug loop on failure.
#include "eval/eval.h"
#include "text/text.h"

namespace {

// CHAR and COERCE: the first argument, then the second with the first protected; a missing
// argument gets the operator's message and the debug loop. False when either step failed.
bool evalTwo(cfunction& m, _cell* args, Frame f, long n, const char* message, _cell** a,
             _cell** b) {
  if (!isCons(args)) return m.fail(message, f, n), false;
  CellFrame g(m, args);
  if (!(*a = m.eval(args->car, f, n))) return false;
  g.push(*a);
  if (!isCons(args->cdr)) return m.fail(message, f, n), false;
  return (*b = m.eval(args->cdr->car, f, n)) != nullptr;
}

// One argument, whose absence gets `missing`. INTERN's and INTERN-WIDE's results carry their
// two values, so they are handed on as they are.
_cell* oneArg(cfunction& m, _cell* args, Frame f, long n, const char* missing,
              _cell* (*op)(cmemory&, _cell*), bool keepsValues = false) {
  if (!isCons(args)) return m.fail(missing, f, n);
  _cell* v = m.eval(args->car, f, n);
  if (!v) return nullptr;
  return keepsValues ? m.checked(op(m, v), f, n) : m.checkedMade(op(m, v), f, n);
}

}  // namespace

_cell* cfunction::lispChar(_cell* args, Frame f, long n) {
  _cell* s;
  _cell* i;
  if (!evalTwo(*this, args, f, n, msg::CharSyntax, &s, &i)) return nullptr;
  return checkedMade(charAt(*this, s, i), f, n);
}

_cell* cfunction::lispCoerce(_cell* args, Frame f, long n) {
  _cell* x;
  _cell* type;
  if (!evalTwo(*this, args, f, n, msg::CoerceSyntax, &x, &type)) return nullptr;
  return checkedMade(coerceTo(*this, x, type), f, n);
}

_cell* cfunction::lispCharCode(_cell* args, Frame f, long n) {
  return oneArg(*this, args, f, n, msg::CharCodeUse, charCode);
}

_cell* cfunction::lispCodeChar(_cell* args, Frame f, long n) {
  return oneArg(*this, args, f, n, msg::CodeCharUse, codeChar);
}

_cell* cfunction::lispSymbolName(_cell* args, Frame f, long n) {
  return oneArg(*this, args, f, n, msg::TooFewArgsPlain, symbolName);
}

_cell* cfunction::lispIntern(_cell* args, Frame f, long n) {
  return oneArg(*this, args, f, n, msg::TooFewArgsPlain, intern, true);
}

_cell* cfunction::lispInternWide(_cell* args, Frame f, long n) {
  return oneArg(*this, args, f, n, msg::TooFewArgsPlain, internWide, true);
}
