// The evaluator's side of the time operators: the argument, and the debug loop on failure.
#include "eval/eval.h"
#include "time/clock.h"

namespace {
// LOCAL-TIME and MAKE-TIME report their own message even when the argument's evaluation has
// already reported; a pending THROW or RETURN-FROM passes through without one.
_cell* timeOp(cfunction& m, _cell* form, Frame f, long n, const char* message,
              _cell* (*op)(cmemory&, _cell*)) {
  _cell* v = m.eval(form, f, n);
  if (!v) return m.throwPending || m.returnFromPending ? nullptr : m.fail(message, f, n);
  return m.checkedMade(op(m, v), f, n);
}
}  // namespace

_cell* cfunction::lispLocalTime(_cell* args, Frame f, long n) {
  return timeOp(*this, args->car, f, n, msg::LocalTimeArg, localTime);
}

_cell* cfunction::lispMakeTime(_cell* args, Frame f, long n) {
  return timeOp(*this, args->car, f, n, msg::MakeTimeArg, makeTime);
}
