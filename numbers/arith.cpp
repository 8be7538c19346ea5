// The numeric tower: sum, difference, product and quotient of any two numbers, the folding
// operators built on them, 1+ and 1-, MINUSP.
//
// Integer sums, differences and products wrap at 32 bits on unsigned words. Exact results
// involving a fraction are formed in 64 bits and reduced; one whose terms do not fit in 32
// bits is refused with a message rather than wrapped into a wrong value.

#include <cstdint>

#include "eval/eval.h"
#include "heap/heap.h"
#include "numbers/numbers.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {

// ---- helpers ----------------------------------------------------------------------------
int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t wrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Operand kinds, so each table cell of the contagion rules is one case label.
enum Kind { kInt = 0, kRatio = 1, kFloat = 2 };

int kindOf(const _cell* c) {
  if (isInt(c)) return kInt;
  if (isRatio(c)) return kRatio;
  return kFloat;
}

constexpr int pair(int x, int y) { return x * 3 + y; }

constexpr int II = pair(kInt, kInt);
constexpr int IB = pair(kInt, kRatio);
constexpr int IN = pair(kInt, kFloat);
constexpr int BI = pair(kRatio, kInt);
constexpr int BB = pair(kRatio, kRatio);
constexpr int BN = pair(kRatio, kFloat);
constexpr int NI = pair(kFloat, kInt);
constexpr int NB = pair(kFloat, kRatio);

bool bothNumbers(const _cell* x, const _cell* y) {
  if (isNumber(x) && isNumber(y)) return true;
  say(msg::NotANumberOperand);
  return false;
}

using BinaryOp = _cell* (cfunction::*)(_cell*, _cell*);

// Folds the remaining argument forms into the accumulator, left to right. The accumulator
// and the unconsumed list stay on the cell stack while each argument is evaluated.
_cell* fold(cfunction& m, _cell* acc, _cell* rest, Frame f, long n, BinaryOp op) {
  for (_cell* a = rest; isCons(a); a = a->cdr) {
    _cell* v = nullptr;
    {
      CellFrame g(m, acc, a);
      v = m.eval(a->car, f, n);
    }
    if (!v) return nullptr;
    acc = (m.*op)(acc, v);
    if (!acc) {
      m.errorlisp(f, n);
      return nullptr;
    }
  }
  return m.made(acc);
}

// The first argument of - and /, which stands alone when no other follows.
_cell* foldFromFirst(cfunction& m, _cell* args, Frame f, long n, BinaryOp op) {
  if (!isCons(args)) return m.fail(msg::TooFewArgs, f, n);
  _cell* first = nullptr;
  {
    CellFrame g(m, args);
    first = m.eval(args->car, f, n);
  }
  if (!first) return nullptr;
  if (!isNumber(first)) return m.fail(msg::NotNumber, f, n);
  if (!isCons(args->cdr)) return m.made(first);
  return fold(m, first, args->cdr, f, n, op);
}

}  // namespace

// ---- exact results ----------------------------------------------------------------------
_cell* cfunction::makeReduced(int64_t num, int64_t den) {
  int32_t rn = 0;
  int32_t rd = 1;
  if (!reduceWide(num, den, &rn, &rd)) {
    say(msg::RatioOverflow);
    return nullptr;
  }
  return rd == 1 ? IntToCell(rn) : BunsuToCell(rn, rd);
}

// ---- the four operations ----------------------------------------------------------------
_cell* cfunction::Wa(_cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return nullptr;
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return IntToCell(wrapAdd(intOf(x), intOf(y)));
    case IB:
      return makeReduced(int64_t{numOf(y)} + int64_t{denOf(y)} * intOf(x), denOf(y));
    case IN:
      return NumberToCell(static_cast<long double>(intOf(x)) + floatOf(y));
    case BI:
      return makeReduced(int64_t{numOf(x)} + int64_t{denOf(x)} * intOf(y), denOf(x));
    case BB:
      return makeReduced(int64_t{numOf(x)} * denOf(y) + int64_t{denOf(x)} * numOf(y),
                         int64_t{denOf(x)} * denOf(y));
    case BN:
      return NumberToCell(ratioValue(x) + floatOf(y));
    case NI:
      return NumberToCell(floatOf(x) + static_cast<long double>(intOf(y)));
    case NB:
      return NumberToCell(ratioValue(y) + floatOf(x));
    default:
      return NumberToCell(floatOf(x) + floatOf(y));
  }
}

_cell* cfunction::Sa(_cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return nullptr;
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return IntToCell(wrapSub(intOf(x), intOf(y)));
    case IB:
      return makeReduced(-int64_t{numOf(y)} + int64_t{denOf(y)} * intOf(x), denOf(y));
    case IN:
      return NumberToCell(static_cast<long double>(intOf(x)) - floatOf(y));
    case BI:
      return makeReduced(int64_t{numOf(x)} - int64_t{denOf(x)} * intOf(y), denOf(x));
    case BB:
      return makeReduced(int64_t{numOf(x)} * denOf(y) - int64_t{denOf(x)} * numOf(y),
                         int64_t{denOf(x)} * denOf(y));
    case BN:
      return NumberToCell(ratioValue(x) - floatOf(y));
    case NI:
      return NumberToCell(floatOf(x) - static_cast<long double>(intOf(y)));
    case NB:
      return NumberToCell(-static_cast<long double>(numOf(y)) / denOf(y) + floatOf(x));
    default:
      return NumberToCell(floatOf(x) - floatOf(y));
  }
}

// An exact integer 0 times anything numeric is the integer 0, even beside a float.
_cell* cfunction::Seki(_cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return nullptr;
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return IntToCell(wrapMul(intOf(x), intOf(y)));
    case IB:
      if (intOf(x) == 0) return IntToCell(0);
      return makeReduced(int64_t{intOf(x)} * numOf(y), denOf(y));
    case IN:
      if (intOf(x) == 0) return IntToCell(0);
      return NumberToCell(static_cast<long double>(intOf(x)) * floatOf(y));
    case BI:
      if (intOf(y) == 0) return IntToCell(0);
      return makeReduced(int64_t{intOf(y)} * numOf(x), denOf(x));
    case BB:
      return makeReduced(int64_t{numOf(y)} * numOf(x), int64_t{denOf(x)} * denOf(y));
    case BN:
      return NumberToCell(ratioValue(x) * floatOf(y));
    case NI:
      if (intOf(y) == 0) return IntToCell(0);
      return NumberToCell(floatOf(x) * static_cast<long double>(intOf(y)));
    case NB:
      return NumberToCell(ratioValue(y) * floatOf(x));
    default:
      return NumberToCell(floatOf(x) * floatOf(y));
  }
}

// The zero tests come first in every case, so (/ 0 0) is a division by zero. A float divisor
// is zero when it compares equal to 0 (-0.0 included, NaN not).
_cell* cfunction::Sho(_cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return nullptr;
  bool zeroDivisor = (isInt(y) && intOf(y) == 0) || (isFloat(y) && floatOf(y) == 0.0L);
  if (zeroDivisor) {
    say(msg::DivideByZero);
    return nullptr;
  }
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      if (intOf(x) == 0) return IntToCell(0);
      return makeReduced(intOf(x), intOf(y));
    case IB:
      if (intOf(x) == 0) return IntToCell(0);
      return makeReduced(int64_t{denOf(y)} * intOf(x), numOf(y));
    case IN:
      if (intOf(x) == 0) return IntToCell(0);
      return NumberToCell(static_cast<long double>(intOf(x)) / floatOf(y));
    case BI:
      return makeReduced(numOf(x), int64_t{denOf(x)} * intOf(y));
    case BB:
      return makeReduced(int64_t{numOf(x)} * denOf(y), int64_t{denOf(x)} * numOf(y));
    case BN:
      return NumberToCell(ratioValue(x) / floatOf(y));
    case NI:
      return NumberToCell(floatOf(x) / static_cast<long double>(intOf(y)));
    case NB:
      return NumberToCell(static_cast<long double>(denOf(y)) / numOf(y) * floatOf(x));
    default:
      return NumberToCell(floatOf(x) / floatOf(y));
  }
}

// ---- operators --------------------------------------------------------------------------
_cell* cfunction::plus(_cell* args, Frame f, long n) {
  return fold(*this, IntToCell(0), args, f, n, &cfunction::Wa);
}

_cell* cfunction::times(_cell* args, Frame f, long n) {
  return fold(*this, IntToCell(1), args, f, n, &cfunction::Seki);
}

_cell* cfunction::minus(_cell* args, Frame f, long n) {
  return foldFromFirst(*this, args, f, n, &cfunction::Sa);
}

_cell* cfunction::divide(_cell* args, Frame f, long n) {
  return foldFromFirst(*this, args, f, n, &cfunction::Sho);
}

_cell* cfunction::OnePlus(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  if (isInt(v)) return made(IntToCell(wrapAdd(intOf(v), 1)));
  if (isFloat(v)) return made(NumberToCell(floatOf(v) + 1));
  if (!isRatio(v)) return fail(msg::OperandNotNumber, f, n);
  long rn = 0;
  long rd = 1;
  cmathproc::WaWithTsubun(1, 1, numOf(v), denOf(v), &rn, &rd);
  _cell* r = makeReduced(rn, rd);
  if (!r) {
    errorlisp(f, n);
    return nullptr;
  }
  return made(r);
}

_cell* cfunction::OneMinus(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  if (isInt(v)) return made(IntToCell(wrapSub(intOf(v), 1)));
  if (isFloat(v)) return made(NumberToCell(floatOf(v) - 1));
  if (!isRatio(v)) return fail(msg::OperandNotNumber, f, n);
  long rn = 0;
  long rd = 1;
  cmathproc::WaWithTsubun(-1, 1, numOf(v), denOf(v), &rn, &rd);
  _cell* r = makeReduced(rn, rd);
  if (!r) {
    errorlisp(f, n);
    return nullptr;
  }
  return made(r);
}

_cell* cfunction::minusp(_cell* v, Frame, long) {
  if (!v) return nullptr;
  bool below = false;
  if (isInt(v)) {
    below = intOf(v) < 0;
  } else if (isRatio(v)) {
    below = numOf(v) < 0;
  } else if (isFloat(v)) {
    below = floatOf(v) < 0.0L;
  } else {
    say(msg::NotNumber);
    return nullptr;
  }
  return made(below ? TCell : NILCell);
}
