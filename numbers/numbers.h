// Numbers: fraction reduction, the numeric tower's arithmetic, mathematical functions and
// the random generator.
//
// Invariants
// - Integers are signed 32-bit; sums, differences and products of integers wrap modulo 2^32
//   (computed on unsigned values, never by signed overflow).
// - A fraction is always reduced, its denominator at least 2, its sign on the numerator, its
//   numerator never 0. An exact result with denominator 1 is an integer cell.
// - Fraction arithmetic is exact: cross products are formed in 64 bits, and a result whose
//   reduced terms do not fit in 32 bits is refused with a message, never wrapped.
// - Floats are long double; library functions are called in double precision.
// - The operations take evaluated values and never evaluate. A failure prints its message and
//   returns null through `raise` (the evaluator opens the debug loop) or `complain` (it does
//   not). Only FLOOR touches `valuesList` (its two values); the evaluator clears it for the
//   others.
#pragma once

#include <cstdint>

#include "heap/heap.h"

class cmathproc {
 public:
  static long gcd(long a, long b);
  static void yakubun(long n, long d, long* outN, long* outD);
  static void WaWithTsubun(long a, long b, long c, long d, long* outN, long* outD);
  static uint32_t XorShift();
};

// Reduces a 64-bit pair; false when either reduced term does not fit in 32 bits.
bool reduceWide(int64_t n, int64_t d, int32_t* outN, int32_t* outD);

// ---- arithmetic (numbers/arith.cpp) ----
_cell* makeReduced(cmemory& m, int64_t num, int64_t den);  // an integer or a fraction
// Integer sums, differences and products, wrapping at 32 bits.
inline int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t wrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
// Sum, difference and product: two integers here, every other pair of the tower out of line.
_cell* sumOfNumbers(cmemory& m, _cell* x, _cell* y);
_cell* differenceOfNumbers(cmemory& m, _cell* x, _cell* y);
_cell* productOfNumbers(cmemory& m, _cell* x, _cell* y);
inline _cell* Wa(cmemory& m, _cell* x, _cell* y) {
  return isInt(x) && isInt(y) ? m.IntToCell(wrapAdd(intOf(x), intOf(y))) : sumOfNumbers(m, x, y);
}
inline _cell* Sa(cmemory& m, _cell* x, _cell* y) {
  return isInt(x) && isInt(y) ? m.IntToCell(wrapSub(intOf(x), intOf(y)))
                              : differenceOfNumbers(m, x, y);
}
inline _cell* Seki(cmemory& m, _cell* x, _cell* y) {
  return isInt(x) && isInt(y) ? m.IntToCell(wrapMul(intOf(x), intOf(y)))
                              : productOfNumbers(m, x, y);
}
_cell* Sho(cmemory& m, _cell* x, _cell* y);                // quotient
_cell* onePlusOf(cmemory& m, _cell* v);                    // 1+
_cell* oneMinusOf(cmemory& m, _cell* v);                   // 1-

// ---- comparisons and sign tests (numbers/compare.cpp) ----
// Numeric =; false in `ok` when an operand is not a number.
bool numberEqual(_cell* a, _cell* b, bool& ok);
_cell* minuspOf(cmemory& m, _cell* v);  // MINUSP
int isPlus(_cell* c);                   // a number >= 0
int isPlusExceptZero(_cell* c);         // a number > 0
int isInRange(_cell* c);                // a number from -1 to 1

// ---- mathematical functions (numbers/math.cpp) ----
_cell* njExpt(cmemory& m, long double base, _cell* e);  // float base
_cell* ijExpt(cmemory& m, long base, _cell* e);         // integer base >= 0
_cell* bjExpt(cmemory& m, long a, long c, _cell* e);    // fraction base a/c
_cell* exptOf(cmemory& m, _cell* base, _cell* e);       // EXPT
_cell* sqrtOf(cmemory& m, _cell* v);
_cell* expOf(cmemory& m, _cell* v);
_cell* logOf(cmemory& m, _cell* v);
_cell* sinOf(cmemory& m, _cell* v);
_cell* cosOf(cmemory& m, _cell* v);
_cell* tanOf(cmemory& m, _cell* v);
_cell* asinOf(cmemory& m, _cell* v);
_cell* acosOf(cmemory& m, _cell* v);
_cell* atanOf(cmemory& m, _cell* v);
_cell* evenpOf(cmemory& m, _cell* v);
_cell* floorOf(cmemory& m, _cell* v);  // two values: the floor and the remainder

// ---- random numbers (numbers/random.cpp) ----
_cell* randomOf(cmemory& m, _cell* limit);  // RANDOM
