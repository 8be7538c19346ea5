// The evaluator's side of the number operators: their arguments, evaluated left to right,
// and the debug loop on failure.
#include "eval/eval.h"
#include "eval/twin_interface.h"
#include "numbers/numbers.h"

namespace {

using BinaryOp = _cell* (*)(cmemory&, _cell*, _cell*);
using UnaryOp = _cell* (*)(cmemory&, _cell*);

// A result the operator made clears the multiple-values channel; a failure leaves it as it
// was.
_cell* fresh(cfunction& m, _cell* r) { return r ? m.made(r) : nullptr; }

// op on the value of the one argument form; null when either fails.
_cell* applyTo(cfunction& m, _cell* form, Frame f, long n, UnaryOp op) {
  _cell* v = m.eval(form, f, n);
  if (!v) return nullptr;
  return m.checked(op(m, v), f, n);
}

_cell* madeBy(cfunction& m, _cell* form, Frame f, long n, UnaryOp op) {
  return fresh(m, applyTo(m, form, f, n, op));
}

// Folds the remaining argument forms into the accumulator, left to right. The accumulator
// and the unconsumed list stay on the cell stack while each argument is evaluated (an atom's
// short path cannot collect). The operation is a template argument so that its integer case
// is inlined.
template <BinaryOp op>
_cell* fold(cfunction& m, _cell* acc, _cell* rest, Frame f, long n) {
  for (_cell* a = rest; isCons(a); a = a->cdr) {
    _cell* v = m.quickAtom(a->car, f, n);
    if (!v) {
      CellFrame g(m, acc, a);
      v = m.eval(a->car, f, n);
    }
    if (!v) return nullptr;
    acc = m.checked(op(m, acc, v), f, n);
    if (!acc) return nullptr;
  }
  return m.made(acc);
}

// An accumulator that is counted as held while an argument is evaluated, though not made.
class UnmadeHeld {
 public:
  explicit UnmadeHeld(cmemory& m) : m_(m) { m_.unmadeLive++; }
  ~UnmadeHeld() { m_.unmadeLive--; }
  UnmadeHeld(const UnmadeHeld&) = delete;
  UnmadeHeld& operator=(const UnmadeHeld&) = delete;

 private:
  cmemory& m_;
};

// `+` and `*`: `fold` from a fresh integer `start`, each step's fresh integer counted as made
// but kept as a number while the values are integers, so that only the result is a cell. Once
// a value is not an integer the accumulator is made and `fold` goes on as usual.
template <BinaryOp op, int32_t (*combine)(int32_t, int32_t)>
_cell* foldIntegers(cfunction& m, int32_t start, _cell* args, Frame f, long n) {
  int32_t acc = start;
  m.countUnmadeInt();
  for (_cell* a = args; isCons(a); a = a->cdr) {
    _cell* v = isCons(a->car) ? nullptr : m.quickAtom(a->car, f, n);
    if (!v) {
      CellFrame g(m, a);
      UnmadeHeld held(m);
      v = m.eval(a->car, f, n);
    }
    if (!v) return nullptr;
    if (!isInt(v)) {
      _cell* r = m.checked(op(m, m.makeCountedInt(acc), v), f, n);
      return r ? fold<op>(m, r, a->cdr, f, n) : nullptr;
    }
    acc = combine(acc, intOf(v));
    if (!isCons(a->cdr)) return m.made(m.IntToCell(acc));
    m.countUnmadeInt();
  }
  return m.made(m.makeCountedInt(acc));
}

// The first argument of - and /, which stands alone when no other follows.
template <BinaryOp op>
_cell* foldFromFirst(cfunction& m, _cell* args, Frame f, long n) {
  if (!isCons(args)) return m.fail(msg::TooFewArgs, f, n);
  _cell* first = m.quickAtom(args->car, f, n);
  if (!first) {
    CellFrame g(m, args);
    first = m.eval(args->car, f, n);
  }
  if (!first) return nullptr;
  if (!isNumber(first)) return m.fail(msg::NotNumber, first, f, n);
  if (!isCons(args->cdr)) return m.made(first);
  return fold<op>(m, first, args->cdr, f, n);
}

}  // namespace

// ---- arithmetic -------------------------------------------------------------------------
// What the dispatch and lispPlus, lispMinus, lispOnePlus or lispOneMinus do for such a form,
// integers counted as they count them.
_cell* cfunction::arithStep(_cell* form, Frame f, long n) {
  if (!fastPathsOn() || !quickStart()) return kRunText;
  _cell* args = form->cdr;
  if (!isCons(args)) return kRunText;
  _cell* a = quickRead(args->car, f, n);
  if (!a || !isInt(a)) return kRunText;
  Op op = opOf(form->car);
  int32_t v;
  if (op == Op::OnePlus || op == Op::OneMinus) {
    v = wrapAdd(intOf(a), op == Op::OnePlus ? 1 : -1);
  } else {
    _cell* rest = args->cdr;
    if (!isCons(rest) || rest->cdr != NILCell) return kRunText;
    _cell* b = quickRead(rest->car, f, n);
    if (!b || !isInt(b)) return kRunText;
    if (op == Op::Plus) {
      countUnmadeInt();  // the fresh 0, and 0 + a
      countUnmadeInt();
      v = wrapAdd(intOf(a), intOf(b));
    } else {
      v = wrapSub(intOf(a), intOf(b));
    }
  }
  _cell* r = made(IntToCell(v));
  return room < 0 ? stepEnd(r) : r;
}

_cell* cfunction::lispPlus(_cell* args, Frame f, long n) {
  return foldIntegers<Wa, wrapAdd>(*this, 0, args, f, n);
}

_cell* cfunction::lispTimes(_cell* args, Frame f, long n) {
  return foldIntegers<Seki, wrapMul>(*this, 1, args, f, n);
}

_cell* cfunction::lispMinus(_cell* args, Frame f, long n) {
  return foldFromFirst<Sa>(*this, args, f, n);
}

_cell* cfunction::lispDivide(_cell* args, Frame f, long n) {
  return foldFromFirst<Sho>(*this, args, f, n);
}

// 1+ and 1-: an integer argument, most often a variable, is moved here.
template <int32_t step, UnaryOp op>
_cell* movedByOne(cfunction& m, _cell* form, Frame f, long n) {
  _cell* v = m.quickAtom(form, f, n);
  if (!v && !(v = m.eval(form, f, n))) return nullptr;
  if (isInt(v)) return m.made(m.IntToCell(wrapAdd(intOf(v), step)));
  return fresh(m, m.checked(op(m, v), f, n));
}

_cell* cfunction::lispOnePlus(_cell* args, Frame f, long n) {
  return movedByOne<1, onePlusOf>(*this, args->car, f, n);
}

_cell* cfunction::lispOneMinus(_cell* args, Frame f, long n) {
  return movedByOne<-1, oneMinusOf>(*this, args->car, f, n);
}

_cell* cfunction::lispMinusp(_cell* args, Frame f, long n) {
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  return fresh(*this, checked(minuspOf(*this, v), f, n));
}

// ---- mathematical functions -------------------------------------------------------------
_cell* cfunction::lispSqrt(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, sqrtOf); }

// The base is evaluated with the exponent form protected, then the exponent with the base.
_cell* cfunction::lispExpt(_cell* args, Frame f, long n) {
  _cell* baseForm = args->car;
  _cell* expoForm = args->cdr->car;
  _cell* base = nullptr;
  {
    CellFrame g(*this, expoForm);
    base = eval(baseForm, f, n);
  }
  if (!base) return nullptr;
  _cell* expo = nullptr;
  {
    CellFrame g(*this, base);
    expo = eval(expoForm, f, n);
  }
  if (!expo) return nullptr;
  return fresh(*this, checked(exptOf(*this, base, expo), f, n));
}

_cell* cfunction::lispExp(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, expOf); }

_cell* cfunction::lispLog(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, logOf); }

_cell* cfunction::lispSin(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, sinOf); }

_cell* cfunction::lispCos(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, cosOf); }

_cell* cfunction::lispTan(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, tanOf); }

_cell* cfunction::lispAsin(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, asinOf); }

_cell* cfunction::lispAcos(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, acosOf); }

_cell* cfunction::lispAtan(_cell* args, Frame f, long n) { return madeBy(*this, args->car, f, n, atanOf); }

_cell* cfunction::lispEvenp(_cell* args, Frame f, long n) {
  return madeBy(*this, args->car, f, n, evenpOf);
}

// FLOOR's result carries its two values, which the dispatcher keeps.
_cell* cfunction::lispFloor(_cell* args, Frame f, long n) {
  return applyTo(*this, args->car, f, n, floorOf);
}

_cell* cfunction::lispRandom(_cell* args, Frame f, long n) {
  return madeBy(*this, args->car, f, n, randomOf);
}
