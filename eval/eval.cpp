// evaluator core: eval, the dispatcher's front, the stack guard
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "eval/eval.h"
#include "eval/ops.h"
#include "printer/printer.h"
#include "reader/reader.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* GoSymbol = nullptr;
LetShortcut gLetShortcut;
_cell* ReturnValue = nullptr;

// ---- operator table ---------------------------------------------------------------------
// A symbol carries the operator it names in its op byte, beside its type: every other
// symbol was made with none.
void initOperators() {
#define ZELKORA_OP_FILL(name, kw, fewest, properties, group) kw->op = static_cast<uint8_t>(Op::name);
  ZELKORA_OPERATORS(ZELKORA_OP_FILL)
#undef ZELKORA_OP_FILL
  for (_cell* sym : {PLUS, MINUS, ONEPLUS, ONEMINUS}) sym->flags |= Flag::QuickArith;
}

// ---- errors -----------------------------------------------------------------------------
[[gnu::cold]] _cell* cfunction::fail(const char* message, Frame f, long n) {
  say(message);
  errorlisp(f, n);
  return nullptr;
}

[[gnu::cold]] _cell* cfunction::syntaxError(Frame f, long n) { return fail(msg::Syntax, f, n); }

cfunction::cfunction() {
  for (_cell** root : {&throwValue, &throwTag, &returnFromValue, &returnFromName, &throwValues,
                       &returnFromValues, &GoSymbol, &ReturnValue})
    addRoot(root);
}

// Reports a pool that a collection left with only its reserve free; the debug loop and
// whatever the user does there run on that reserve.
_cell* cfunction::poolError(Frame f, long n) {
  int bit = poolAlarm & -poolAlarm;  // one message, for the first pool, covers them all
  for (int i = 0; i < 3; i++)
    if (poolAlarm & (1 << i)) reserveLevel[i]++;
  poolAlarm = 0;
  return fail(bit == PoolBit::Cells ? msg::CellsLow : bit == PoolBit::Floats ? msg::FloatsLow : msg::IntsLow,
              f, n);
}

// Ctrl-C stops a running program like an error, at the start of its next step: the
// message, then the debug loop in that step's frame. The message gets a line of its own,
// past the "^C" the terminal echoed.
_cell* cfunction::interrupted(Frame f, long n) {
  if (terminateSignal) terminateNow();
  interruptRequested = 0;
  std::fputc('\n', stdout);
  return fail(msg::Interrupted, f, n);
}

// ---- the step ----------------------------------------------------------------------------
[[gnu::noinline, gnu::cold]] bool cfunction::attend(_cell* form, Frame f, long n) {
  if (needsAttention()) {
    if (interruptRequested) return interrupted(f, n) != nullptr;
    collectIfDue();
    if (poolAlarm) return poolError(f, n) != nullptr;
  }
  if (kGcStress && isPoisoned(form)) std::abort();  // evaluating a reclaimed cell
  if (stackLow()) return fail(msg::TooDeep, f, n) != nullptr;
  return true;
}

// A call whose head is not a symbol: ((LAMBDA params . body) arg ...) is
// (FUNCALL (FUNCTION (LAMBDA ...)) arg ...); anything else is a syntax error.
[[gnu::noinline]] _cell* cfunction::callOther(_cell* form, Frame f, long n) {
  _cell* head = form->car;
  if (!isCons(head) || head->car != LAMBDA) return syntaxError(f, n);
  _cell* call = cons(FUNCALL, cons(cons(FUNCTION, cons(head, NILCell)), form->cdr));
  CellFrame g(*this, call);
  return eval(call, f, n);
}

// The dispatch, once the step's start has nothing (more) to attend to: the operator's row and
// routine, or the call of a function. The step alone decides what happens to multiple values.
inline _cell* cfunction::dispatch(Op op, _cell* form, Frame f, long n) {
  _cell* outer = stepForm;
  stepForm = form;
  _cell* r;
  if (op != Op::None) {
    if (enoughArgs(opInfo(op), form->cdr)) {
      r = routines[static_cast<int>(op)](*this, form->cdr, f, n);
      if (r && !opInfo(op).has(kKeeps)) valuesList = nullptr;
    } else {
      r = syntaxError(f, n);
    }
  } else if (isSymbol(form->car)) {
    r = callUser(form, f, n);
  } else {
    r = callOther(form, f, n);
  }
  stepForm = outer;
  // A failure or an exit on its way out hands on nothing and takes nothing: collecting at each
  // level it leaves would mark a deep stack once a level, for as long as memory stays short.
  return room < 0 && r ? stepEnd(r) : r;
}

// The common step: a symbol's call with nothing to attend to at its start. VALUES, READ-LINE
// and EVAL1 (the last rows) run before the step's start looks at anything.
_cell* cfunction::step(_cell* form, Frame f, long n) {
  _cell* head = form->car;
  if (!isSymbol(head) || needsAttention()) return slowStep(form, f, n);
  Op op = static_cast<Op>(head->op);  // a symbol's
  if (op >= kFirstBare || stackLow()) return slowStep(form, f, n);
  return dispatch(op, form, f, n);
}

[[gnu::noinline]] _cell* cfunction::slowStep(_cell* form, Frame f, long n) {
  Op op = opOf(form->car);
  if (op >= kFirstBare) return routines[static_cast<int>(op)](*this, form->cdr, f, n);
  if (!attend(form, f, n)) return nullptr;
  return dispatch(op, form, f, n);
}

// Callers hold only protected cells across an evaluation, so collecting at a step's end is as
// safe as at its start; the value being handed on is the one cell to protect.
[[gnu::noinline]] _cell* cfunction::stepEnd(_cell* r) {
  CellFrame g(*this);
  if (r) g.push(r);
  collectIfDue(0, kStepEndThreshold - 1);
  return r;
}

// An atom's step when its start has something to attend to, or its variable is unbound.
[[gnu::noinline]] _cell* cfunction::atomStep(_cell* form, Frame f, long n) {
  if (!attend(form, f, n)) return nullptr;
  _cell* r = form;
  if (isSymbol(form) && !(r = variableValue(form, f, n))) {
    unboundVariable = form;
    return fail(msg::Unbound, f, n);
  }
  valuesList = nullptr;  // an atom's value never carries others
  return room < 0 ? stepEnd(r) : r;
}

_cell* cfunction::evalAtom(_cell* form, Frame f, long n) {
  if (_cell* r = quickAtom(form, f, n)) return r;
  return atomStep(form, f, n);
}
