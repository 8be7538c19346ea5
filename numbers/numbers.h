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

// ---- comparisons and sign tests (numbers/compare.cpp) ----
// Numeric =; false in `ok` when an operand is not a number.
bool numberEqual(_cell* a, _cell* b, bool& ok);
int isPlus(_cell* c);            // a number >= 0
int isPlusExceptZero(_cell* c);  // a number > 0
int isInRange(_cell* c);         // a number from -1 to 1
