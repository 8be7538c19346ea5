// Fraction reduction at the 32-bit edges, gcd, and the generator's fixed sequence.

#include "numbers/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The divisor search the reduction is defined by: the largest c from min(a, b) down to 2
// that divides both, else 1.
long trialGcd(long a, long b) {
  long m = a < b ? a : b;
  long big = a < b ? b : a;
  for (long c = m; c >= 2; c--) {
    if (big % c == 0 && m % c == 0) return c;
  }
  return 1;
}

struct Pair {
  long n;
  long d;
};

Pair reduce(long n, long d) {
  Pair p{0, 0};
  cmathproc::yakubun(n, d, &p.n, &p.d);
  return p;
}

}  // namespace

// ---- gcd --------------------------------------------------------------------------------
TEST(Gcd, AgreesWithTheDivisorSearch) {
  for (long a = 1; a <= 120; a++) {
    for (long b = 1; b <= 120; b++) {
      ASSERT_EQ(cmathproc::gcd(a, b), trialGcd(a, b)) << a << " " << b;
    }
  }
}

TEST(Gcd, LargeTermsAnswerAtOnce) {
  EXPECT_EQ(cmathproc::gcd(1999999973, 2147483647), 1);
  EXPECT_EQ(cmathproc::gcd(2147483646, 1073741823), 1073741823);
  EXPECT_EQ(cmathproc::gcd(2147483648L, 65536), 65536);
  EXPECT_EQ(cmathproc::gcd(1, 2147483647), 1);
  EXPECT_EQ(cmathproc::gcd(2147483647, 2147483647), 2147483647);
}

// ---- yakubun ----------------------------------------------------------------------------
TEST(Yakubun, SignGoesOnTheNumerator) {
  Pair p = reduce(6, 4);
  EXPECT_EQ(p.n, 3);
  EXPECT_EQ(p.d, 2);
  p = reduce(6, -4);
  EXPECT_EQ(p.n, -3);
  EXPECT_EQ(p.d, 2);
  p = reduce(-6, 4);
  EXPECT_EQ(p.n, -3);
  EXPECT_EQ(p.d, 2);
  p = reduce(-6, -4);
  EXPECT_EQ(p.n, 3);
  EXPECT_EQ(p.d, 2);
}

TEST(Yakubun, ZeroAndUnitCases) {
  Pair p = reduce(0, 5);
  EXPECT_EQ(p.n, 0);
  EXPECT_EQ(p.d, 1);
  p = reduce(0, -5);
  EXPECT_EQ(p.n, 0);
  EXPECT_EQ(p.d, 1);
  p = reduce(7, 1);
  EXPECT_EQ(p.n, 7);
  EXPECT_EQ(p.d, 1);
  p = reduce(5, 5);
  EXPECT_EQ(p.n, 1);
  EXPECT_EQ(p.d, 1);
}

TEST(Yakubun, MostNegativeTerm) {
  Pair p = reduce(INT32_MIN, 2);
  EXPECT_EQ(p.n, -1073741824);
  EXPECT_EQ(p.d, 1);
  p = reduce(INT32_MIN, -1);
  EXPECT_EQ(p.n, 2147483648L);
  EXPECT_EQ(p.d, 1);
  p = reduce(1, INT32_MIN);
  EXPECT_EQ(p.n, -1);
  EXPECT_EQ(p.d, 2147483648L);
  p = reduce(INT32_MIN, INT32_MIN);
  EXPECT_EQ(p.n, 1);
  EXPECT_EQ(p.d, 1);
  p = reduce(-6, INT32_MIN);
  EXPECT_EQ(p.n, 3);
  EXPECT_EQ(p.d, 1073741824);
}

TEST(Yakubun, LargestPrimeTerms) {
  Pair p = reduce(1999999973, 2147483647);
  EXPECT_EQ(p.n, 1999999973);
  EXPECT_EQ(p.d, 2147483647);
  p = reduce(-2147483647, 2147483646);
  EXPECT_EQ(p.n, -2147483647);
  EXPECT_EQ(p.d, 2147483646);
}

TEST(WaWithTsubun, AddsExactly) {
  long n = 0;
  long d = 0;
  cmathproc::WaWithTsubun(1, 1, 1, 2, &n, &d);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(d, 2);
  cmathproc::WaWithTsubun(-1, 1, 1, 2, &n, &d);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(d, 2);
  // the products would wrap in 32 bits: 65536 * 65536 is 2^32
  cmathproc::WaWithTsubun(1, 65536, 1, 65536, &n, &d);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(d, 32768);
  cmathproc::WaWithTsubun(1, 1, 2147483647, 2, &n, &d);
  EXPECT_EQ(n, 2147483649L);
  EXPECT_EQ(d, 2);
}

// ---- reduceWide -------------------------------------------------------------------------
TEST(ReduceWide, FitsAtTheEdges) {
  int32_t n = 0;
  int32_t d = 0;
  ASSERT_TRUE(reduceWide(INT32_MIN, 1, &n, &d));
  EXPECT_EQ(n, INT32_MIN);
  EXPECT_EQ(d, 1);
  ASSERT_TRUE(reduceWide(INT32_MAX, 1, &n, &d));
  EXPECT_EQ(n, INT32_MAX);
  ASSERT_TRUE(reduceWide(2147483648LL, -1, &n, &d));
  EXPECT_EQ(n, INT32_MIN);
  EXPECT_EQ(d, 1);
  ASSERT_TRUE(reduceWide(1, INT32_MAX, &n, &d));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(d, INT32_MAX);
  ASSERT_TRUE(reduceWide(-1, -static_cast<int64_t>(INT32_MAX), &n, &d));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(d, INT32_MAX);
  // terms beyond 32 bits that reduce into range
  ASSERT_TRUE(reduceWide(int64_t{1} << 40, int64_t{3} << 40, &n, &d));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(d, 3);
  ASSERT_TRUE(reduceWide(0, -7, &n, &d));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(d, 1);
}

TEST(ReduceWide, RefusesWhatDoesNotFit) {
  int32_t n = 11;
  int32_t d = 13;
  EXPECT_FALSE(reduceWide(2147483648LL, 1, &n, &d));
  EXPECT_FALSE(reduceWide(INT32_MIN, -1, &n, &d));
  EXPECT_FALSE(reduceWide(-2147483649LL, 1, &n, &d));
  EXPECT_FALSE(reduceWide(1, 2147483648LL, &n, &d));
  EXPECT_FALSE(reduceWide(1, INT32_MIN, &n, &d));  // the denominator's magnitude is 2^31
  EXPECT_FALSE(reduceWide(1, 0, &n, &d));
  EXPECT_FALSE(reduceWide(INT64_MIN, 3, &n, &d));
  EXPECT_EQ(n, 11);  // untouched on refusal
  EXPECT_EQ(d, 13);
}

TEST(ReduceWide, CrossProductsOfLargeFractions) {
  int32_t n = 0;
  int32_t d = 0;
  // 1/65536 + 1/65536: the denominator product is 2^32
  ASSERT_TRUE(reduceWide(int64_t{65536} + 65536, int64_t{65536} * 65536, &n, &d));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(d, 32768);
  // 1/2147483647 + 1/2147483646 needs a denominator near 2^62
  EXPECT_FALSE(
      reduceWide(int64_t{2147483646} + 2147483647, int64_t{2147483647} * 2147483646, &n, &d));
}

// ---- generator --------------------------------------------------------------------------
// Nothing else in this test program draws, so these are the first outputs after start.
TEST(XorShift, FixedSequenceFromStart) {
  EXPECT_EQ(cmathproc::XorShift(), 3701687786u);
  EXPECT_EQ(cmathproc::XorShift(), 458299110u);
  EXPECT_EQ(cmathproc::XorShift(), 2500872618u);
  EXPECT_EQ(cmathproc::XorShift(), 3633119408u);
  EXPECT_EQ(cmathproc::XorShift(), 516391518u);
}
