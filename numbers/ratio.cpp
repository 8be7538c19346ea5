// Fraction reduction: greatest common divisor and lowest terms, sign on the numerator.
//
// Every magnitude is taken on unsigned 64-bit values, so -2147483648 (and any other term the
// callers can pass) has an absolute value and nothing here overflows.

#include <cstdint>

#include "numbers/numbers.h"

namespace {

constexpr int64_t kInt32Min = INT32_MIN;
constexpr int64_t kInt32Max = INT32_MAX;

uint64_t magnitude(int64_t v) {
  return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// Euclid on magnitudes. A zero operand answers 1: no candidate divisor above 1 exists for it,
// and the reduction then leaves the other term alone.
uint64_t euclid(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 1;
  while (b != 0) {
    uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// Gives back the signed term for a magnitude known to fit (callers check the range first).
int64_t signedTerm(uint64_t mag, bool negative) {
  if (!negative) return static_cast<int64_t>(mag);
  if (mag == static_cast<uint64_t>(INT64_MAX) + 1) return INT64_MIN;
  return -static_cast<int64_t>(mag);
}

// Lowest terms of n/d as a sign and two magnitudes; the pair for zero is 0/1.
void reduceMagnitudes(int64_t n, int64_t d, bool* negative, uint64_t* mn, uint64_t* md) {
  if (n == 0) {
    *negative = false;
    *mn = 0;
    *md = 1;
    return;
  }
  *negative = (n < 0) != (d < 0);
  uint64_t an = magnitude(n);
  uint64_t ad = magnitude(d);
  uint64_t g = euclid(an, ad);
  *mn = an / g;
  *md = ad / g;
}

}  // namespace

long cmathproc::gcd(long a, long b) {
  return static_cast<long>(euclid(magnitude(a), magnitude(b)));
}

void cmathproc::yakubun(long n, long d, long* outN, long* outD) {
  bool negative = false;
  uint64_t mn = 0;
  uint64_t md = 1;
  reduceMagnitudes(n, d, &negative, &mn, &md);
  *outN = static_cast<long>(signedTerm(mn, negative));
  *outD = static_cast<long>(md);
}

// For 32-bit terms the cross products are exact (products below 2^62, sums below 2^63); they
// are formed on unsigned words so that no input can overflow a signed type.
void cmathproc::WaWithTsubun(long a, long b, long c, long d, long* outN, long* outD) {
  uint64_t num = static_cast<uint64_t>(a) * static_cast<uint64_t>(d) +
                 static_cast<uint64_t>(b) * static_cast<uint64_t>(c);
  uint64_t den = static_cast<uint64_t>(b) * static_cast<uint64_t>(d);
  yakubun(static_cast<long>(num), static_cast<long>(den), outN, outD);
}

bool reduceWide(int64_t n, int64_t d, int32_t* outN, int32_t* outD) {
  if (d == 0) return false;
  bool negative = false;
  uint64_t mn = 0;
  uint64_t md = 1;
  reduceMagnitudes(n, d, &negative, &mn, &md);
  uint64_t limit = negative ? static_cast<uint64_t>(-kInt32Min) : static_cast<uint64_t>(kInt32Max);
  if (mn > limit || md > static_cast<uint64_t>(kInt32Max)) return false;
  *outN = static_cast<int32_t>(signedTerm(mn, negative));
  *outD = static_cast<int32_t>(md);
  return true;
}
