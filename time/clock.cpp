// The clock and the calendar: NOW, LOCAL-TIME and MAKE-TIME, in the process's time zone.
//
// A moment travels in Lisp as the pair (hours . seconds) of two 32-bit integers, which reaches
// some 245,000 years either side of 1970. Seconds are 64-bit inside, so moments after
// 19 January 2038 are exact; a conversion whose answer does not fit the pair is refused.

#include <cstdint>
#include <ctime>

#include "time/clock.h"

namespace {

constexpr int64_t kSecondsPerHour = 3600;

bool fitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// The time pair of a seconds value (division truncates toward zero), or null when the hours
// do not fit a 32-bit integer.
_cell* makePair(cmemory& m, int64_t t) {
  int64_t hours = t / kSecondsPerHour;
  int64_t rest = t % kSecondsPerHour;
  if (!fitsInt32(hours)) return nullptr;
  _cell* h = m.IntToCell(static_cast<long>(hours));
  _cell* s = m.IntToCell(static_cast<long>(rest));
  return m.cons(h, s);
}

}  // namespace

_cell* now(cmemory& m) {
  int64_t t = static_cast<int64_t>(std::time(nullptr));
  _cell* pair = makePair(m, t);
  return pair ? pair : m.cons(m.IntToCell(0), m.IntToCell(0));
}

_cell* localTime(cmemory& m, _cell* v) {
  if (!isCons(v) || !isInt(v->car) || !isInt(v->cdr)) return m.raise(msg::LocalTimeArg);
  int64_t t = static_cast<int64_t>(intOf(v->car)) * kSecondsPerHour + intOf(v->cdr);
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm)) return m.raise(msg::LocalTimeArg);
  int64_t year = static_cast<int64_t>(tm.tm_year) + 1900;
  if (!fitsInt32(year)) return m.raise(msg::LocalTimeArg);

  _cell* last = m.cons(m.IntToCell(static_cast<long>(year)), m.IntToCell(tm.tm_wday));
  _cell* list = m.cons(m.IntToCell(tm.tm_mon + 1), last);
  list = m.cons(m.IntToCell(tm.tm_mday), list);
  list = m.cons(m.IntToCell(tm.tm_hour), list);
  list = m.cons(m.IntToCell(tm.tm_min), list);
  return m.cons(m.IntToCell(tm.tm_sec), list);
}

_cell* makeTime(cmemory& m, _cell* v) {
  int64_t field[6];  // second minute hour day month year
  _cell* p = v;
  for (int64_t& x : field) {
    if (!isCons(p) || !isInt(p->car)) return m.raise(msg::MakeTimeArg);
    x = intOf(p->car);
    p = p->cdr;
  }
  int64_t month = field[4] - 1;
  int64_t year = field[5] - 1900;
  if (!fitsInt32(month) || !fitsInt32(year)) return m.raise(msg::MakeTimeArg);

  std::tm tm{};
  tm.tm_sec = static_cast<int>(field[0]);
  tm.tm_min = static_cast<int>(field[1]);
  tm.tm_hour = static_cast<int>(field[2]);
  tm.tm_mday = static_cast<int>(field[3]);
  tm.tm_mon = static_cast<int>(month);
  tm.tm_year = static_cast<int>(year);
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return m.raise(msg::MakeTimeArg);
  _cell* pair = makePair(m, static_cast<int64_t>(t));
  return pair ? pair : m.raise(msg::MakeTimeArg);
}
