// The evaluator's side of the time operators: the argument, and the debug loop on failure.
#include "eval/eval.h"
#include "time/clock.h"

namespace {
// A failed argument has reported itself: the call is abandoned with it.
_cell* timeOp(cfunction& m, _cell* form, Frame f, long n, _cell* (*op)(cmemory&, _cell*)) {
  _cell* v = m.eval(form, f, n);
  if (!v) return nullptr;
  return m.checkedMade(op(m, v), f, n);
}
}  // namespace

_cell* cfunction::lispLocalTime(_cell* args, Frame f, long n) {
  return timeOp(*this, args->car, f, n, localTime);
}

_cell* cfunction::lispMakeTime(_cell* args, Frame f, long n) {
  return timeOp(*this, args->car, f, n, makeTime);
}
