// Mathematical functions: SQRT, EXPT, EXP, LOG, the trigonometric functions, EVENP and FLOOR.
//
// Exact arguments give exact results wherever the value is known exactly; everything else goes
// through the maths library in double precision (the argument rounded to double first, the
// double result stored unchanged in an extended float).

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "heap/keywords.h"
#include "heap/messages.h"
#include "numbers/numbers.h"

namespace {

constexpr uint64_t kIntMax = INT32_MAX;  // the largest exact power EXPT can return

// ---- helpers ----------------------------------------------------------------------------
// An extended value rounded to double; one beyond the double range becomes an infinity
// (the conversion itself would be undefined there).
double narrow(long double v) {
  if (v > DBL_MAX) return HUGE_VAL;
  if (v < -DBL_MAX) return -HUGE_VAL;
  return static_cast<double>(v);
}

// A number as the maths library sees it.
double libArg(const _cell* c) {
  if (isInt(c)) return static_cast<double>(intOf(c));
  if (isRatio(c)) return static_cast<double>(ratioValue(c));
  return narrow(floatOf(c));
}

// t^k for t, k >= 0, or false when the true value exceeds 2147483647. Squaring keeps the cost
// logarithmic in k; since t <= 2147483647 every product checked here is below 2^62. A power
// of 0 is 1 for every t, and 0 and 1 never overflow.
bool guardedPow(uint64_t t, uint64_t k, uint64_t* out) {
  uint64_t r = 1;
  uint64_t b = t;
  while (k != 0) {
    if (k & 1) {
      r *= b;
      if (r > kIntMax) return false;
    }
    k >>= 1;
    if (k != 0) {
      b *= b;
      if (b > kIntMax) return false;  // a set bit remains, so the result would be at least b
    }
  }
  *out = r;
  return true;
}

// True when t^q equals v exactly (t, v >= 0, q >= 1); stops as soon as the power passes v.
bool powerEquals(uint64_t t, int64_t q, uint64_t v) {
  if (t <= 1) return t == v;
  uint64_t p = 1;
  for (int64_t i = 0; i < q; i++) {
    p *= t;
    if (p > v) return false;
  }
  return p == v;
}

// The exact q-th root of v (v >= 0, q >= 1), found next to the library's estimate. The check
// is exact, so a wrapped product can never pass for a root.
bool exactRoot(int64_t v, int64_t q, uint64_t* root) {
  if (v < 0 || q < 1) return false;
  long double inv = 1.0L / static_cast<long double>(q);
  double r = std::pow(static_cast<double>(v), static_cast<double>(inv));
  double candidates[2] = {std::floor(r), std::ceil(r)};
  for (double c : candidates) {
    if (!(c >= 0.0 && c <= static_cast<double>(kIntMax))) continue;
    uint64_t t = static_cast<uint64_t>(c);
    if (powerEquals(t, q, static_cast<uint64_t>(v))) {
      *root = t;
      return true;
    }
  }
  return false;
}

// An exponent read once from its cell. EXPT negates it wide, so even -2147483648 has a sound
// magnitude.
struct Exponent {
  enum Kind { None, Int, Ratio, Float } kind = None;
  int64_t num = 0;  // the integer, or the fraction's numerator
  int64_t den = 1;  // the fraction's denominator
  long double x = 0;

  static Exponent of(const _cell* c) {
    Exponent e;
    if (isInt(c)) {
      e.kind = Int;
      e.num = intOf(c);
    } else if (isRatio(c)) {
      e.kind = Ratio;
      e.num = numOf(c);
      e.den = denOf(c);
    } else if (isFloat(c)) {
      e.kind = Float;
      e.x = floatOf(c);
    }
    return e;
  }

  Exponent negated() const {
    Exponent e = *this;
    e.num = -num;
    e.x = -x;
    return e;
  }

  long double value() const {
    if (kind == Int) return static_cast<long double>(num);
    if (kind == Ratio) return static_cast<long double>(num) / den;
    return x;
  }
};

// A negative integer power multiplies no times, as the step-by-step loop would.
uint64_t timesOf(int64_t k) { return k > 0 ? static_cast<uint64_t>(k) : 0; }

// In the floats' own precision: (expt 2.0 2000) is as finite as (* 1e300 1e300).
_cell* floatPower(cmemory& m, long double base, const Exponent& e) {
  return m.NumberToCell(std::pow(base, e.value()));
}

// Integer base b >= 0.
_cell* intPower(cmemory& m, long b, const Exponent& e) {
  uint64_t t = static_cast<uint64_t>(b);
  switch (e.kind) {
    case Exponent::Int:
      break;
    case Exponent::Float:
      return floatPower(m, b, e);
    case Exponent::Ratio:
      if (!exactRoot(b, e.den, &t)) return floatPower(m, b, e);
      break;
    default:
      return m.complain(msg::ExponentNotNumber);
  }
  uint64_t p = 0;
  if (!guardedPow(t, timesOf(e.num), &p)) return m.complain(msg::IntOverflow);
  return m.IntToCell(static_cast<long>(p));
}

// a^k over c^k for coprime a >= 0, c >= 0; c^k of 0 comes only from the integer base 0.
_cell* ratioOfPowers(cmemory& m, uint64_t a, uint64_t c, uint64_t k) {
  uint64_t pa = 0;
  uint64_t pc = 0;
  if (!guardedPow(a, k, &pa)) return m.complain(msg::NumeratorOverflow);
  if (!guardedPow(c, k, &pc)) return m.complain(msg::DenominatorOverflow);
  if (pc == 0) return m.complain(msg::DenominatorZero);
  if (pc == 1) return m.IntToCell(static_cast<long>(pa));
  return m.BunsuToCell(static_cast<long>(pa), static_cast<long>(pc));
}

// Fraction base a/c (a >= 0, c >= 1, or c = 0 for the integer base 0 under a negative power).
_cell* ratioPower(cmemory& m, long a, long c, const Exponent& e) {
  long double base = static_cast<long double>(a) / static_cast<long double>(c);
  switch (e.kind) {
    case Exponent::Int:
      return ratioOfPowers(m, static_cast<uint64_t>(a), static_cast<uint64_t>(c), timesOf(e.num));
    case Exponent::Float:
      return floatPower(m, base, e);
    case Exponent::Ratio: {
      uint64_t s = 0;
      uint64_t u = 0;
      if (!exactRoot(a, e.den, &s) || !exactRoot(c, e.den, &u)) return floatPower(m, base, e);
      return ratioOfPowers(m, s, u, timesOf(e.num));
    }
    default:
      return m.complain(msg::ExponentNotNumber);
  }
}

// The exact square root of c >= 0, tried at both neighbours of the library's estimate.
bool squareRoot(int64_t c, int64_t* root) {
  double r = std::sqrt(static_cast<double>(c));
  int64_t lo = static_cast<int64_t>(std::floor(r));
  int64_t hi = static_cast<int64_t>(std::ceil(r));
  if (lo * lo == c) {
    *root = lo;
    return true;
  }
  if (hi * hi == c) {
    *root = hi;
    return true;
  }
  return false;
}

// ---- the one-argument library functions -------------------------------------------------
enum class Check { Number, Positive, UnitRange };

struct MathOp {
  double (*fn)(double);
  Check check;
  const char* message;  // raised when the check fails
  int32_t exactArg;     // an integer argument with this value ...
  int32_t exactResult;  // ... gives this integer without a library call
};

_cell* applyMath(cmemory& m, _cell* v, const MathOp& op) {
  bool ok = false;
  switch (op.check) {
    case Check::Number:
      ok = isNumber(v);
      break;
    case Check::Positive:
      ok = isPlusExceptZero(v) != 0;
      break;
    case Check::UnitRange:
      ok = isInRange(v) != 0;
      break;
  }
  if (!ok) return m.raise(op.message, v);
  if (isInt(v) && intOf(v) == op.exactArg) return m.IntToCell(op.exactResult);
  return m.NumberToCell(op.fn(libArg(v)));
}

}  // namespace

// ---- EXPT -------------------------------------------------------------------------------
_cell* njExpt(cmemory& m, long double base, _cell* e) {
  Exponent x = Exponent::of(e);
  if (x.kind == Exponent::None) return m.complain(msg::ExponentNotNumber);
  return floatPower(m, base, x);
}

_cell* ijExpt(cmemory& m, long base, _cell* e) { return intPower(m, base, Exponent::of(e)); }

_cell* bjExpt(cmemory& m, long a, long c, _cell* e) { return ratioPower(m, a, c, Exponent::of(e)); }

// Only a base that is not a number >= 0 asks for the debug loop; the exponent's failures
// do not.
_cell* exptOf(cmemory& m, _cell* base, _cell* expo) {
  if (!isPlus(base)) return m.raise(msg::NeedPositive, base);
  if (isFloat(base)) return njExpt(m, floatOf(base), expo);
  if (isPlus(expo)) {
    return isInt(base) ? ijExpt(m, intOf(base), expo) : bjExpt(m, numOf(base), denOf(base), expo);
  }
  Exponent e = Exponent::of(expo);
  if (e.kind == Exponent::None) return m.complain(msg::ExponentNotNumber);
  if (isInt(base)) return ratioPower(m, 1, intOf(base), e.negated());  // 1/b to the magnitude
  if (numOf(base) == 1) return intPower(m, denOf(base), e.negated());
  return ratioPower(m, denOf(base), numOf(base), e.negated());
}

// ---- SQRT -------------------------------------------------------------------------------
_cell* sqrtOf(cmemory& m, _cell* v) {
  if (isFloat(v)) {
    if (floatOf(v) < 0.0L) return m.raise(msg::SqrtNegative, v);
    return m.NumberToCell(std::sqrt(narrow(floatOf(v))));
  }
  if (isInt(v)) {
    if (intOf(v) < 0) return m.raise(msg::SqrtNegative, v);
    int64_t t = 0;
    if (squareRoot(intOf(v), &t)) return m.IntToCell(static_cast<long>(t));
    return m.NumberToCell(std::sqrt(static_cast<double>(intOf(v))));
  }
  if (!isRatio(v)) return m.raise(msg::SqrtNonNumber, v);
  if (numOf(v) < 0) return m.raise(msg::SqrtNegative, v);
  int64_t t = 0;
  int64_t u = 0;
  if (!squareRoot(numOf(v), &t)) return m.NumberToCell(std::sqrt(libArg(v)));
  if (squareRoot(denOf(v), &u)) return m.BunsuToCell(static_cast<long>(t), static_cast<long>(u));
  long double root = std::sqrt(static_cast<double>(denOf(v)));
  return m.NumberToCell(static_cast<long double>(t) / root);
}

// ---- EXP, LOG, SIN, COS, TAN, ASIN, ACOS, ATAN ------------------------------------------
_cell* expOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::exp(x); }, Check::Number, msg::ExpArg, 0, 1};
  return applyMath(m, v, op);
}

_cell* logOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::log(x); }, Check::Positive, msg::NeedPositive,
                         1, 0};
  return applyMath(m, v, op);
}

_cell* sinOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::sin(x); }, Check::Number, msg::SinArg, 0, 0};
  return applyMath(m, v, op);
}

_cell* cosOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::cos(x); }, Check::Number, msg::CosArg, 0, 1};
  return applyMath(m, v, op);
}

_cell* tanOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::tan(x); }, Check::Number, msg::TanArg, 0, 0};
  return applyMath(m, v, op);
}

_cell* asinOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::asin(x); }, Check::UnitRange, msg::OutOfRange,
                         0, 0};
  return applyMath(m, v, op);
}

_cell* acosOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::acos(x); }, Check::UnitRange, msg::OutOfRange,
                         1, 0};
  return applyMath(m, v, op);
}

_cell* atanOf(cmemory& m, _cell* v) {
  static const MathOp op{[](double x) { return std::atan(x); }, Check::Number, msg::NotNumber, 0,
                         0};
  return applyMath(m, v, op);
}

// ---- EVENP, FLOOR -----------------------------------------------------------------------
_cell* evenpOf(cmemory& m, _cell* v) {
  if (!isInt(v)) return m.raise(msg::NotInteger, v);
  int32_t r = intOf(v) % 2;
  return r == 1 || r == -1 ? NILCell : TCell;
}

// Two values: the floor and the remainder. A float whose floor has no 32-bit integer (an
// infinity and NaN included) is refused instead of being converted into an arbitrary one.
_cell* floorOf(cmemory& m, _cell* v) {
  _cell* first = nullptr;
  _cell* second = nullptr;
  if (isInt(v)) {
    first = m.sharingInt(v);  // a copy of the integer's cell, sharing its pool slot
    second = m.IntToCell(0);
  } else if (isFloat(v)) {
    double fl = std::floor(narrow(floatOf(v)));
    if (!(fl >= static_cast<double>(INT32_MIN) && fl <= static_cast<double>(INT32_MAX))) {
      return m.raise(msg::IntOverflow);
    }
    first = m.IntToCell(static_cast<long>(fl));
    second = m.NumberToCell(floatOf(v) - static_cast<long double>(fl));
  } else if (isRatio(v)) {
    first = m.IntToCell(static_cast<long>(std::floor(libArg(v))));
    second = Sa(m, v, first);  // exact, strictly between 0 and 1
    if (!second) return nullptr;
  } else {
    return m.raise(msg::NotNumber, v);
  }
  m.valuesList = m.cons(first, m.cons(second, NILCell));
  return first;
}
