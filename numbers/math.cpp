// Mathematical functions: SQRT, EXPT, EXP, LOG, the trigonometric functions, EVENP and FLOOR.
//
// Exact arguments give exact results wherever the value is known exactly; everything else goes
// through the maths library in double precision (the argument rounded to double first, the
// double result stored unchanged in an extended float).

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "eval/eval.h"
#include "heap/heap.h"
#include "numbers/numbers.h"
#include "heap/keywords.h"
#include "heap/messages.h"

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

  double asDouble() const {
    if (kind == Int) return static_cast<double>(num);
    if (kind == Ratio) return static_cast<double>(static_cast<long double>(num) / den);
    return narrow(x);
  }
};

// A negative integer power multiplies no times, as the step-by-step loop would.
uint64_t timesOf(int64_t k) { return k > 0 ? static_cast<uint64_t>(k) : 0; }

_cell* floatPower(cmemory& m, long double base, const Exponent& e) {
  return m.NumberToCell(std::pow(narrow(base), e.asDouble()));
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
      say(msg::ExponentNotNumber);
      return nullptr;
  }
  uint64_t p = 0;
  if (!guardedPow(t, timesOf(e.num), &p)) {
    say(msg::IntOverflow);
    return nullptr;
  }
  return m.IntToCell(static_cast<long>(p));
}

// a^k over c^k for coprime a >= 0, c >= 0; c^k of 0 comes only from the integer base 0.
_cell* ratioOfPowers(cmemory& m, uint64_t a, uint64_t c, uint64_t k) {
  uint64_t pa = 0;
  uint64_t pc = 0;
  if (!guardedPow(a, k, &pa)) {
    say(msg::NumeratorOverflow);
    return nullptr;
  }
  if (!guardedPow(c, k, &pc)) {
    say(msg::DenominatorOverflow);
    return nullptr;
  }
  if (pc == 0) {
    say(msg::DenominatorZero);
    return nullptr;
  }
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
      say(msg::ExponentNotNumber);
      return nullptr;
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
  const char* message;  // printed, with the debug loop, when the check fails
  int32_t exactArg;     // an integer argument with this value ...
  int32_t exactResult;  // ... gives this integer without a library call
};

_cell* applyMath(cfunction& m, _cell* form, Frame f, long n, const MathOp& op) {
  _cell* v = m.eval(form, f, n);
  if (!v) return nullptr;
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
  if (!ok) return m.fail(op.message, f, n);
  if (isInt(v) && intOf(v) == op.exactArg) return m.made(m.IntToCell(op.exactResult));
  return m.made(m.NumberToCell(op.fn(libArg(v))));
}

}  // namespace

// ---- EXPT -------------------------------------------------------------------------------
_cell* cmemory::njExpt(long double base, _cell* e) {
  Exponent x = Exponent::of(e);
  if (x.kind == Exponent::None) {
    say(msg::ExponentNotNumber);
    return nullptr;
  }
  return floatPower(*this, base, x);
}

_cell* cmemory::ijExpt(long base, _cell* e) { return intPower(*this, base, Exponent::of(e)); }

_cell* cmemory::bjExpt(long a, long c, _cell* e) {
  return ratioPower(*this, a, c, Exponent::of(e));
}

_cell* cfunction::jExpt(_cell* baseForm, _cell* expoForm, Frame f, long n) {
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
  if (!isPlus(base)) return fail(msg::NeedPositive, f, n);

  Exponent e = Exponent::of(expo);
  _cell* r = nullptr;
  if (isFloat(base)) {
    r = njExpt(floatOf(base), expo);
  } else if (isPlus(expo)) {
    r = isInt(base) ? ijExpt(intOf(base), expo) : bjExpt(numOf(base), denOf(base), expo);
  } else if (e.kind == Exponent::None) {
    say(msg::ExponentNotNumber);
  } else if (isInt(base)) {
    r = ratioPower(*this, 1, intOf(base), e.negated());  // 1/b to the magnitude
  } else if (numOf(base) == 1) {
    r = intPower(*this, denOf(base), e.negated());
  } else {
    r = ratioPower(*this, denOf(base), numOf(base), e.negated());
  }
  return r ? made(r) : nullptr;
}

// ---- SQRT -------------------------------------------------------------------------------
_cell* cfunction::jSqrt(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  if (isFloat(v)) {
    if (floatOf(v) < 0.0L) return fail(msg::SqrtNegative, f, n);
    return made(NumberToCell(std::sqrt(narrow(floatOf(v)))));
  }
  if (isInt(v)) {
    if (intOf(v) < 0) return fail(msg::SqrtNegative, f, n);
    int64_t t = 0;
    if (squareRoot(intOf(v), &t)) return made(IntToCell(static_cast<long>(t)));
    return made(NumberToCell(std::sqrt(static_cast<double>(intOf(v)))));
  }
  if (!isRatio(v)) return fail(msg::SqrtNonNumber, f, n);
  if (numOf(v) < 0) return fail(msg::SqrtNegative, f, n);
  int64_t t = 0;
  int64_t u = 0;
  if (!squareRoot(numOf(v), &t)) return made(NumberToCell(std::sqrt(libArg(v))));
  if (squareRoot(denOf(v), &u))
    return made(BunsuToCell(static_cast<long>(t), static_cast<long>(u)));
  long double root = std::sqrt(static_cast<double>(denOf(v)));
  return made(NumberToCell(static_cast<long double>(t) / root));
}

// ---- EXP, LOG, SIN, COS, TAN, ASIN, ACOS, ATAN ------------------------------------------
_cell* cfunction::jExp(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::exp(x); }, Check::Number, msg::ExpArg, 0, 1};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jLog(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::log(x); }, Check::Positive, msg::NeedPositive,
                         1, 0};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jSin(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::sin(x); }, Check::Number, msg::SinArg, 0, 0};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jCos(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::cos(x); }, Check::Number, msg::CosArg, 0, 1};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jTan(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::tan(x); }, Check::Number, msg::TanArg, 0, 0};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jAsin(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::asin(x); }, Check::UnitRange, msg::OutOfRange,
                         0, 0};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jAcos(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::acos(x); }, Check::UnitRange, msg::OutOfRange,
                         1, 0};
  return applyMath(*this, form, f, n, op);
}

_cell* cfunction::jAtan(_cell* form, Frame f, long n) {
  static const MathOp op{[](double x) { return std::atan(x); }, Check::Number, msg::NotNumber, 0,
                         0};
  return applyMath(*this, form, f, n, op);
}

// ---- EVENP, FLOOR -----------------------------------------------------------------------
_cell* cfunction::jEvenp(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  if (!isInt(v)) return fail(msg::NotInteger, f, n);
  int32_t r = intOf(v) % 2;
  return made(r == 1 || r == -1 ? NILCell : TCell);
}

// Two values: the floor and the remainder. A float whose floor has no 32-bit integer (an
// infinity and NaN included) is refused instead of being converted into an arbitrary one.
_cell* cfunction::tfloor(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  _cell* first = nullptr;
  _cell* second = nullptr;
  if (isInt(v)) {
    first = getCell();  // a copy of the integer's cell, sharing its pool slot
    first->type = Type::Int;
    first->ip = v->ip;
    first->cdr = nullptr;
    second = IntToCell(0);
  } else if (isFloat(v)) {
    double fl = std::floor(narrow(floatOf(v)));
    if (!(fl >= static_cast<double>(INT32_MIN) && fl <= static_cast<double>(INT32_MAX))) {
      return fail(msg::IntOverflow, f, n);
    }
    first = IntToCell(static_cast<long>(fl));
    second = NumberToCell(floatOf(v) - static_cast<long double>(fl));
  } else if (isRatio(v)) {
    first = IntToCell(static_cast<long>(std::floor(libArg(v))));
    second = Sa(v, first);  // exact, strictly between 0 and 1
    if (!second) {
      errorlisp(f, n);
      return nullptr;
    }
  } else {
    return fail(msg::NotNumber, f, n);
  }
  valuesList = cons(first, cons(second, NILCell));
  return first;
}
