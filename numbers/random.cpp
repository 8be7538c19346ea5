// RANDOM and its generator: a 128-bit xorshift whose state is fixed at start, so every run
// draws the same sequence.

#include <cstdint>

#include "heap/messages.h"
#include "numbers/numbers.h"

namespace {

// The generator state, never reseeded.
uint32_t gx = 123456789;
uint32_t gy = 362436069;
uint32_t gz = 521288629;
uint32_t gw = 88675123;

// The largest q = r / 10 of a 32-bit draw r, so q scales onto [0, limit].
constexpr long double kScale = 429496729.0L;

}  // namespace

uint32_t cmathproc::XorShift() {
  uint32_t t = gx ^ (gx << 11);
  gx = gy;
  gy = gz;
  gz = gw;
  gw = gw ^ (gw >> 19) ^ t ^ (t >> 8);
  return gw;
}

// A refused limit leaves the generator where it was.
_cell* randomOf(cmemory& m, _cell* v) {
  if ((isInt(v) && intOf(v) < 0) || (isFloat(v) && floatOf(v) < 0.0L)) {
    return m.raise(msg::NegativeLimit);
  }
  if (!isInt(v) && !isFloat(v)) return m.complain(msg::NotNumber);
  uint32_t q = cmathproc::XorShift() / 10;
  if (isFloat(v)) return m.NumberToCell(floatOf(v) / kScale * q);
  long double scaled = static_cast<long double>(intOf(v)) / kScale * q;
  long r = static_cast<long>(scaled);  // toward zero; scaled lies in [0, limit + 1)
  if (r > intOf(v)) r = intOf(v);
  return m.IntToCell(r);
}
