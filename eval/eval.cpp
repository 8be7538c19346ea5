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
#define ZELKORA_OP_FILL(name, kw, fewest, keeps) kw->op = static_cast<uint8_t>(Op::name);
  ZELKORA_OPERATORS(ZELKORA_OP_FILL)
#undef ZELKORA_OP_FILL
}

Op opOf(const _cell* head) { return isSymbol(head) ? static_cast<Op>(head->op) : Op::None; }

// ---- errors -----------------------------------------------------------------------------
_cell* cfunction::fail(const char* message, Frame f, long n) {
  say(message);
  errorlisp(f, n);
  return nullptr;
}

_cell* cfunction::syntaxError(Frame f, long n) { return fail(msg::Syntax, f, n); }

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

// ---- eval -------------------------------------------------------------------------------
// One step: its start (collection, Ctrl-C, the reserve, the stack guard) and its dispatch.
// Inlined into fullStep, its only caller, so that a step costs one call.
inline _cell* cfunction::evalu(_cell* form, Frame f, long n, int& keepValues) {
  if (needsAttention()) {
    if (interruptRequested) return interrupted(f, n);
    if (freeCells <= kGcThreshold || freeFloats <= kGcThreshold || freeInts <= kGcThreshold)
      gc();
    else if (kGcStress || collectionDue())
      gc(false);
    else
      measureRoom();
    if (poolAlarm) return poolError(f, n);
  }
  if (kGcStress && form->type == Type::Poisoned) std::abort();  // evaluating a reclaimed cell
  keepValues = 0;
  if (stackLow()) return fail(msg::TooDeep, f, n);
  switch (form->type) {
    case Type::Cons:
      break;
    case Type::Symbol:
      if (_cell* v = variableValue(form, f, n)) return v;
      return fail(msg::Unbound, f, n);
    default:
      // Self-evaluating, and never carrying values: a value read back later is just itself.
      return form;
  }
  _cell* head = form->car;
  if (head->type != Type::Symbol) {
    if (head->type == Type::Cons && head->car == LAMBDA) {
      // ((LAMBDA params . body) arg ...) is (FUNCALL (FUNCTION (LAMBDA ...)) arg ...)
      _cell* call = cons(FUNCALL, cons(cons(FUNCTION, cons(head, NILCell)), form->cdr));
      CellFrame g(*this, call);
      keepValues = 1;
      return eval(call, f, n);
    }
    return syntaxError(f, n);
  }
  Op op = opOf(head);
  if (op == Op::None) {
    keepValues = 1;
    return callUser(form, f, n);
  }
  return builtin(op, form, f, n, keepValues);
}

// The common step, a call whose head is a symbol with nothing to attend to at its start, takes
// the checks of the full step in the same order, with the rare ones out of its way.
_cell* cfunction::evalStep(_cell* form, Frame f, long n) {
  if (form->type == Type::Cons && form->car->type == Type::Symbol && !needsAttention() &&
      !stackLow()) {
    _cell* head = form->car;
    Op op = opOf(head);
    _cell* r;
    if (op != Op::None) {
      DirectOp d = directOps[static_cast<int>(op)];
      if (d && enoughArgs(op, form->cdr)) {
        r = d(*this, form->cdr, f, n);
        if (r && !kOpInfo[static_cast<int>(op)].keeps) valuesList = nullptr;
      } else {
        int keep = 0;
        r = builtin(op, form, f, n, keep);
        if (r && !keep) valuesList = nullptr;
      }
    } else {
      if (head == VALUES || head == READLINE || head == EVAL1) return fullStep(form, f, n);
      r = callUser(form, f, n);  // a user function's values are its last form's
    }
    return room < 0 ? stepEnd(r) : r;
  }
  return fullStep(form, f, n);
}

[[gnu::noinline]] _cell* cfunction::stepEnd(_cell* r) {
  if (collectionDue() && (freeCells < kStepEndThreshold || freeFloats < kStepEndThreshold ||
                          freeInts < kStepEndThreshold)) {
    // Callers hold only protected cells across an evaluation, so collecting here is as safe
    // as at the start of a step; the value being handed on is the one cell to protect.
    CellFrame g(*this);
    if (r) g.push(r);
    gc();
  }
  return r;
}

[[gnu::noinline]] _cell* cfunction::fullStep(_cell* form, Frame f, long n) {
  if (form->type == Type::Cons) {
    _cell* head = form->car;
    if (head == VALUES) return values(form->cdr, f, n);
    if (head == READLINE) return readLineOp(form->cdr, f, n);
    if (head == EVAL1) return eval1(form->cdr, f, n);
  }
  int keep = 0;
  _cell* r = evalu(form, f, n, keep);
  if (r && !keep) valuesList = nullptr;
  return room < 0 ? stepEnd(r) : r;
}

// An atom's step when its start has nothing to attend to: then no collection is due at its end
// either, an atom allocating nothing. Anything else (a collection due, the stack guard, an
// unbound variable) takes the whole step.
_cell* cfunction::evalAtom(_cell* form, Frame f, long n) {
  if (_cell* r = quickAtom(form, f, n)) return r;
  return fullStep(form, f, n);
}
