// Comparisons of numbers: numeric =, MINUSP, and the sign and range tests of EXPT, LOG, ASIN
// and ACOS.

#include "heap/keywords.h"
#include "heap/messages.h"
#include "numbers/numbers.h"

// An integer never equals a fraction: a reduced fraction is never integral.
bool numberEqual(_cell* a, _cell* b, bool& ok) {
  ok = isNumber(a) && isNumber(b);
  if (!ok) return false;
  if (isInt(a) && isInt(b)) return intOf(a) == intOf(b);
  if (isRatio(a) && isRatio(b)) return numOf(a) == numOf(b) && denOf(a) == denOf(b);
  if (isRatio(a) != isRatio(b) && (isInt(a) || isInt(b))) return false;
  auto asFloat = [](const _cell* c) {
    if (isInt(c)) return static_cast<long double>(intOf(c));
    if (isRatio(c)) return ratioValue(c);
    return floatOf(c);
  };
  return asFloat(a) == asFloat(b);
}

// -0.0 and NaN are not below zero.
_cell* minuspOf(cmemory& m, _cell* v) {
  bool below = false;
  if (isInt(v)) {
    below = intOf(v) < 0;
  } else if (isRatio(v)) {
    below = numOf(v) < 0;
  } else if (isFloat(v)) {
    below = floatOf(v) < 0.0L;
  } else {
    return m.complain(msg::NotNumber);
  }
  return below ? TCell : NILCell;
}

int isPlus(_cell* c) {
  if (isInt(c)) return intOf(c) >= 0;
  if (isRatio(c)) return numOf(c) >= 0;
  if (isFloat(c)) return floatOf(c) >= 0.0L;
  return 0;
}

int isPlusExceptZero(_cell* c) {
  if (isInt(c)) return intOf(c) > 0;
  if (isRatio(c)) return numOf(c) > 0;
  if (isFloat(c)) return floatOf(c) > 0.0L;
  return 0;
}

int isInRange(_cell* c) {
  long double v = 0;
  if (isInt(c)) {
    v = intOf(c);
  } else if (isFloat(c)) {
    v = floatOf(c);
  } else if (isRatio(c)) {
    v = ratioValue(c);
  } else {
    return 0;
  }
  return v >= -1.0L && v <= 1.0L;
}
