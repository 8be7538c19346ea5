// The numeric tower: sum, difference, product and quotient of any two numbers, 1+ and 1-.
//
// Integer sums, differences and products wrap at 32 bits on unsigned words. Exact results
// involving a fraction are formed in 64 bits and reduced; one whose terms do not fit in 32
// bits is refused with a message rather than wrapped into a wrong value.

#include <cstdint>

#include "heap/messages.h"
#include "numbers/numbers.h"

namespace {

// ---- helpers ----------------------------------------------------------------------------
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

bool bothNumbers(const _cell* x, const _cell* y) { return isNumber(x) && isNumber(y); }

// 1+ and 1-: the operand moved by one step (1 or -1).
_cell* stepBy(cmemory& m, _cell* v, int32_t step) {
  if (isInt(v)) return m.IntToCell(wrapAdd(intOf(v), step));
  if (isFloat(v)) return m.NumberToCell(floatOf(v) + step);
  if (!isRatio(v)) return m.raise(msg::OperandNotNumber, v);
  long rn = 0;
  long rd = 1;
  cmathproc::WaWithTsubun(step, 1, numOf(v), denOf(v), &rn, &rd);
  return makeReduced(m, rn, rd);
}

}  // namespace

// ---- exact results ----------------------------------------------------------------------
_cell* makeReduced(cmemory& m, int64_t num, int64_t den) {
  int32_t rn = 0;
  int32_t rd = 1;
  if (!reduceWide(num, den, &rn, &rd)) return m.raise(msg::RatioOverflow);
  return rd == 1 ? m.IntToCell(rn) : m.BunsuToCell(rn, rd);
}

// ---- the four operations ----------------------------------------------------------------
_cell* sumOfNumbers(cmemory& m, _cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return m.raise(msg::NotANumberOperand, isNumber(x) ? y : x);
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return m.IntToCell(wrapAdd(intOf(x), intOf(y)));
    case IB:
      return makeReduced(m, int64_t{numOf(y)} + int64_t{denOf(y)} * intOf(x), denOf(y));
    case IN:
      return m.NumberToCell(static_cast<long double>(intOf(x)) + floatOf(y));
    case BI:
      return makeReduced(m, int64_t{numOf(x)} + int64_t{denOf(x)} * intOf(y), denOf(x));
    case BB:
      return makeReduced(m, int64_t{numOf(x)} * denOf(y) + int64_t{denOf(x)} * numOf(y),
                         int64_t{denOf(x)} * denOf(y));
    case BN:
      return m.NumberToCell(ratioValue(x) + floatOf(y));
    case NI:
      return m.NumberToCell(floatOf(x) + static_cast<long double>(intOf(y)));
    case NB:
      return m.NumberToCell(ratioValue(y) + floatOf(x));
    default:
      return m.NumberToCell(floatOf(x) + floatOf(y));
  }
}

_cell* differenceOfNumbers(cmemory& m, _cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return m.raise(msg::NotANumberOperand, isNumber(x) ? y : x);
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return m.IntToCell(wrapSub(intOf(x), intOf(y)));
    case IB:
      return makeReduced(m, -int64_t{numOf(y)} + int64_t{denOf(y)} * intOf(x), denOf(y));
    case IN:
      return m.NumberToCell(static_cast<long double>(intOf(x)) - floatOf(y));
    case BI:
      return makeReduced(m, int64_t{numOf(x)} - int64_t{denOf(x)} * intOf(y), denOf(x));
    case BB:
      return makeReduced(m, int64_t{numOf(x)} * denOf(y) - int64_t{denOf(x)} * numOf(y),
                         int64_t{denOf(x)} * denOf(y));
    case BN:
      return m.NumberToCell(ratioValue(x) - floatOf(y));
    case NI:
      return m.NumberToCell(floatOf(x) - static_cast<long double>(intOf(y)));
    case NB:
      return m.NumberToCell(-static_cast<long double>(numOf(y)) / denOf(y) + floatOf(x));
    default:
      return m.NumberToCell(floatOf(x) - floatOf(y));
  }
}

// An exact integer 0 times anything numeric is the integer 0, even beside a float.
_cell* productOfNumbers(cmemory& m, _cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return m.raise(msg::NotANumberOperand, isNumber(x) ? y : x);
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      return m.IntToCell(wrapMul(intOf(x), intOf(y)));
    case IB:
      if (intOf(x) == 0) return m.IntToCell(0);
      return makeReduced(m, int64_t{intOf(x)} * numOf(y), denOf(y));
    case IN:
      if (intOf(x) == 0) return m.IntToCell(0);
      return m.NumberToCell(static_cast<long double>(intOf(x)) * floatOf(y));
    case BI:
      if (intOf(y) == 0) return m.IntToCell(0);
      return makeReduced(m, int64_t{intOf(y)} * numOf(x), denOf(x));
    case BB:
      return makeReduced(m, int64_t{numOf(y)} * numOf(x), int64_t{denOf(x)} * denOf(y));
    case BN:
      return m.NumberToCell(ratioValue(x) * floatOf(y));
    case NI:
      if (intOf(y) == 0) return m.IntToCell(0);
      return m.NumberToCell(floatOf(x) * static_cast<long double>(intOf(y)));
    case NB:
      return m.NumberToCell(ratioValue(y) * floatOf(x));
    default:
      return m.NumberToCell(floatOf(x) * floatOf(y));
  }
}

// The zero tests come first in every case, so (/ 0 0) is a division by zero. A float divisor
// is zero when it compares equal to 0 (-0.0 included, NaN not).
_cell* Sho(cmemory& m, _cell* x, _cell* y) {
  if (!bothNumbers(x, y)) return m.raise(msg::NotANumberOperand, isNumber(x) ? y : x);
  bool zeroDivisor = (isInt(y) && intOf(y) == 0) || (isFloat(y) && floatOf(y) == 0.0L);
  if (zeroDivisor) return m.raise(msg::DivideByZero, y);
  switch (pair(kindOf(x), kindOf(y))) {
    case II:
      if (intOf(x) == 0) return m.IntToCell(0);
      return makeReduced(m, intOf(x), intOf(y));
    case IB:
      if (intOf(x) == 0) return m.IntToCell(0);
      return makeReduced(m, int64_t{denOf(y)} * intOf(x), numOf(y));
    case IN:
      if (intOf(x) == 0) return m.IntToCell(0);
      return m.NumberToCell(static_cast<long double>(intOf(x)) / floatOf(y));
    case BI:
      return makeReduced(m, numOf(x), int64_t{denOf(x)} * intOf(y));
    case BB:
      return makeReduced(m, int64_t{numOf(x)} * denOf(y), int64_t{denOf(x)} * numOf(y));
    case BN:
      return m.NumberToCell(ratioValue(x) / floatOf(y));
    case NI:
      return m.NumberToCell(floatOf(x) / static_cast<long double>(intOf(y)));
    case NB:
      return m.NumberToCell(static_cast<long double>(denOf(y)) / numOf(y) * floatOf(x));
    default:
      return m.NumberToCell(floatOf(x) / floatOf(y));
  }
}

// ---- 1+ and 1- -------------------------------------------------------------------------
_cell* onePlusOf(cmemory& m, _cell* v) { return stepBy(m, v, 1); }

_cell* oneMinusOf(cmemory& m, _cell* v) { return stepBy(m, v, -1); }
