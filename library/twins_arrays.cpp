// twins of the library's array access (AREF, and PRE-AREF behind SETF of AREF), with an index
// kept beside each long row
//
// An array stays the library's lists: its contents are a list of rows, one level per dimension.
// A row of many elements gets an index from position to its cons. Writing an element is RPLACA,
// which leaves every cons where it was, so the index stays good until some cdr or type changes
// (the spine generation moves) or the row's head cons is reclaimed and perhaps reused.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "library/twins.h"
#include "heap/keywords.h"

namespace {

constexpr long kShortRow = 16;  // rows this short are walked: an index would cost more

struct RowIndex {
  uint64_t generation = 0;
  uint64_t seen = 0;  // the generation at the last use of a stale index
  std::vector<_cell*> conses;  // the row's conses in order, up to its end or a non-cons
};
std::unordered_map<const _cell*, RowIndex> gRows;
// The rows answered for last: an FFT reads two arrays in turn, a search a few more.
constexpr int kRecent = 4;
struct Recent {
  const _cell* row = nullptr;
  RowIndex* index = nullptr;
};
Recent gRecent[kRecent];
int gNextRecent = 0;

void forgetRecent() {
  for (Recent& r : gRecent) r = Recent{};
}

void forgetDeadRows(cmemory& m) {
  forgetRecent();
  for (auto it = gRows.begin(); it != gRows.end();)
    it = m.isLive(it->first) ? std::next(it) : gRows.erase(it);
}

// The index of a row, made afresh when stale; null for a short or circular row, and for a
// stale one the first time it is used at a generation: a program that changes some cdr between
// any two reads would otherwise have a whole row indexed at every read.
RowIndex* indexOf(const _cell* row) {
  for (Recent& r : gRecent)
    if (r.row == row && r.index->generation == gSpineGeneration) return r.index;
  auto it = gRows.find(row);
  RowIndex* ix = it == gRows.end() ? nullptr : &it->second;
  if (ix && ix->generation != gSpineGeneration && ix->seen != gSpineGeneration) {
    ix->seen = gSpineGeneration;
    return nullptr;
  }
  if (!ix || ix->generation != gSpineGeneration) {
    long length = listLength(row);
    if (length < kShortRow) {  // circular (-1) or short
      if (ix) {
        gRows.erase(it);
        forgetRecent();
      }
      return nullptr;
    }
    if (!ix) {
      if (gRows.size() >= 4096) {  // bounded: the live rows are indexed again
        gRows.clear();
        forgetRecent();
      }
      ix = &gRows[row];
    }
    ix->generation = gSpineGeneration;
    ix->conses.clear();
    ix->conses.reserve(static_cast<size_t>(length));
    for (const _cell* p = row; isCons(p); p = p->cdr) ix->conses.push_back(const_cast<_cell*>(p));
  }
  gRecent[gNextRecent] = {row, ix};
  gNextRecent = (gNextRecent + 1) % kRecent;
  return ix;
}

// The cons holding element k of a row, as NTHCDR finds it; null where the text would not simply
// find a cons (a negative index, one past the row's conses).
_cell* consAt(_cell* row, _cell* k) {
  if (!isInt(k) || intOf(k) < 0) return nullptr;
  int32_t n = intOf(k);
  if (n >= kShortRow) {
    RowIndex* ix = indexOf(row);
    if (ix) return static_cast<size_t>(n) < ix->conses.size() ? ix->conses[static_cast<size_t>(n)]
                                                               : nullptr;
  }
  // Only a circular row can take this walk far (its index is never made): the text, which
  // Ctrl-C can stop, walks a long way round.
  if (n > (1 << 20)) return nullptr;
  for (; n > 0 && isCons(row); n--) row = row->cdr;
  return isCons(row) ? row : nullptr;
}

// The rows to walk, when the array's rank is the number of indices given (the texts' check).
_cell* contentsFor(_cell* array, _cell* indices) {
  if (!isArray(array) || !isInt(array->car) || !isCons(array->cdr)) return nullptr;
  if (listLength(indices) != intOf(array->car)) return nullptr;
  return array->cdr->cdr;
}

// AREF: NTH of each index in turn.
_cell* arefTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* row = contentsFor(a[0].value, a[1].value);
  if (!row) return kRunText;
  for (_cell* p = a[1].value; isCons(p); p = p->cdr) {
    _cell* c = consAt(row, p->car);
    if (!c) return kRunText;
    row = c->car;
  }
  return row;
}

// PRE-AREF: the cons whose car holds the element, for SETF of AREF to replace; NTH of every
// index but the last, NTHCDR of that.
_cell* preArefTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* value = a[0].value;
  _cell* array = a[1].value;
  _cell* indices = a[2].value;
  _cell* row = contentsFor(array, indices);
  if (!row || !isCons(indices)) return kRunText;
  if (array->cdr->car == CHARACTER && !isChar(value)) return kRunText;
  for (_cell* p = indices;; p = p->cdr) {
    _cell* c = consAt(row, p->car);
    if (!c) return kRunText;
    if (!isCons(p->cdr)) return c;
    row = c->car;
  }
}

}  // namespace

void registerArrayTwins(cfunction& m) {
  m.addForgetHook(forgetDeadRows);
  using K = TwinKind;
  addFunctionTwin("aref", K::Value, arefTwin);
  addFunctionTwin("pre-aref", K::Value, preArefTwin);
}
