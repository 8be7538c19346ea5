// twins of the library's SORT, REMOVE, DELETE, SUBSEQ and NCONC
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "eval/twins.h"
#include "heap/keywords.h"
#include "text/text.h"

namespace {
_cell* gKeyKey = nullptr;    // the keyword :KEY
_cell* gTestKey = nullptr;   // :TEST
_cell* gCountKey = nullptr;  // :COUNT

// The value after the first occurrence of a keyword in the rest arguments (MEMBER, then CADR):
// `absent` when the keyword is not there or ends the list.
_cell* option(_cell* rest, _cell* keyword, _cell* absent) {
  for (_cell* p = rest; isCons(p); p = p->cdr)
    if (p->car == keyword) return isCons(p->cdr) ? p->cdr->car : absent;
  return absent;
}

// REMOVE's and DELETE's :TEST and :COUNT; false when the text must decide (a count that is not
// an integer, a test FUNCALL cannot be trusted with).
bool removeOptions(cfunction& m, _cell* rest, _cell** test, long* count) {
  *test = option(rest, gTestKey, EQL);
  _cell* c = option(rest, gCountKey, NILCell);
  if (c != NILCell && !isInt(c)) return false;
  *count = c == NILCell || intOf(c) < 0 ? -1 : intOf(c);  // a negative count never reaches 0
  return callableWith(m, *test, 2);
}

_cell* listOf(cfunction& m, const std::vector<_cell*>& items, _cell* tail) {
  for (size_t i = items.size(); i-- > 0;) tail = m.cons(items[i], tail);
  return tail;
}

// REMOVE: a fresh list of the elements the test refuses (called with the item first); once
// :COUNT matches are gone, the rest of the list is shared as it is.
_cell* removeFrom(cfunction& m, _cell* a, _cell* b, _cell* test, long count, Frame f, long n) {
  CellFrame g(m, a, b);
  g.push(test);
  std::vector<_cell*> kept;
  for (;;) {
    if (count == 0) return listOf(m, kept, b);
    if (!isCons(b)) return listOf(m, kept, NILCell);
    int h = holds(m, test, a, b->car, f, n);
    if (h < 0) return nullptr;
    if (h) {
      if (count > 0) count--;
    } else {
      kept.push_back(b->car);
    }
    b = b->cdr;
  }
}

_cell* removeTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* test;
  long count;
  long len = listLength(a[1].value);
  if (!removeOptions(m, a[2].value, &test, &count) || len < 0 || !ensureFree(m, len))
    return kRunText;
  return removeFrom(m, a[0].value, a[1].value, test, count, f, n);
}

// DELETE: unlinks matches after the first element in place; a match of the first element
// hands the whole call to REMOVE, which tests every element again.
_cell* deleteTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* item = a[0].value;
  _cell* b = a[1].value;
  _cell* test;
  long count;
  long len = listLength(b);
  if (!removeOptions(m, a[2].value, &test, &count) || len < 0 || !ensureFree(m, len))
    return kRunText;
  CellFrame g(m, item, b);
  g.push(test);
  _cell* prev = nullptr;
  for (_cell* p = b;;) {
    if (count == 0 || !isCons(p)) return b;
    int h = holds(m, test, item, p->car, f, n);
    if (h < 0) return nullptr;
    if (!h) {
      prev = p;
      p = p->cdr;
      continue;
    }
    if (!prev) return removeFrom(m, item, b, test, count, f, n);  // nothing counted down yet
    prev->cdr = p->cdr;
    m.structureMutated = true;
    twinsMutated();
    p = p->cdr;
    if (count > 0) count--;
  }
}

// SUBSEQ: the elements from m below k (the end when k is absent), in a fresh list or string;
// bounds outside the sequence are the text's to refuse.
_cell* subseqTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  _cell* from = a[1].value;
  _cell* rest = a[2].value;
  _cell* to = isCons(rest) ? rest->car : NILCell;
  bool str = isString(x);
  _cell* items = str ? stringChars(x) : x;
  if (!str && !isCons(x) && x != NILCell) return kRunText;
  long len = listLength(items);
  if (len < 0 || !isInt(from) || intOf(from) < 0 || intOf(from) > len) return kRunText;
  long end = len;
  if (to != NILCell) {
    if (!isInt(to) || intOf(to) < intOf(from) || intOf(to) > len) return kRunText;
    end = intOf(to);
  }
  if (str && !isAllMoji(items)) return kRunText;
  if (!ensureFree(m, 2 * (end - intOf(from)) + 4)) return kRunText;
  std::vector<_cell*> picked;
  _cell* p = items;
  for (long i = 0; i < end; i++, p = p->cdr)
    if (i >= intOf(from)) picked.push_back(p->car);
  _cell* list = listOf(m, picked, NILCell);
  if (!str) return list;
  CellFrame g(m, list);
  return coerceTo(m, list, STRING);
}

// NCONC: each list joined to the end of the one before by changing its last cdr. Lists that
// share conses would make the text's LAST meet a cycle; those, and atoms it cannot join to,
// are the text's.
_cell* nconcTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* result = a[0].value;
  _cell* pieces = a[1].value;
  std::unordered_set<_cell*> seen;
  auto remember = [&](_cell* l) {
    if (listLength(l) < 0) return false;
    for (_cell* p = l; isCons(p); p = p->cdr)
      if (!seen.insert(p).second) return false;
    return true;
  };
  if (!remember(result)) return kRunText;
  _cell* acc = result;
  for (_cell* p = pieces; isCons(p); p = p->cdr) {
    _cell* piece = p->car;
    if (acc == NILCell) {
      acc = piece;
    } else if (!isCons(acc)) {
      return kRunText;  // LAST of an atom is the atom, and RPLACD refuses it
    }
    if (!remember(piece)) return kRunText;
  }
  acc = result;
  _cell* last = nullptr;
  for (_cell* p = pieces; isCons(p); p = p->cdr) {
    _cell* piece = p->car;
    if (acc == NILCell) {
      acc = piece;
      last = nullptr;
      continue;
    }
    if (!last) last = acc;
    while (isCons(last->cdr)) last = last->cdr;
    last->cdr = piece;
    m.structureMutated = true;
    twinsMutated();
  }
  return acc;
}

// Stable merge sort of positions by `before` (a strict order on the keys); any answers keep it
// finite. False once a call of the test failed.
template <class Before>
bool mergeSort(std::vector<long>& v, Before before) {
  std::vector<long> tmp(v.size());
  bool ok = true;
  for (size_t width = 1; width < v.size() && ok; width *= 2) {
    for (size_t lo = 0; lo < v.size(); lo += 2 * width) {
      size_t mid = std::min(lo + width, v.size());
      size_t hi = std::min(lo + 2 * width, v.size());
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        int b = ok ? before(v[j], v[i]) : 0;
        if (b < 0) ok = false;
        tmp[k++] = b > 0 ? v[j++] : v[i++];
      }
      while (i < mid) tmp[k++] = v[i++];
      while (j < hi) tmp[k++] = v[j++];
    }
    v.swap(tmp);
  }
  return ok;
}

// SORT: the elements ordered by the test on their keys, stably; the first cons of the list is
// reused for the result (the rest are fresh), except that a list whose elements all compare
// equal comes back as it was.
_cell* sortTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* l = a[0].value;
  _cell* test = a[1].value;
  _cell* rest = a[2].value;
  _cell* key = nullptr;
  for (_cell* p = rest; isCons(p); p = p->cdr) {
    if (p->car == gKeyKey) {
      if (!isCons(p->cdr)) return kRunText;
      key = p->cdr->car;
      break;
    }
  }
  if (key == NILCell) key = nullptr;
  long len = listLength(l);
  if (len < 0 || (l != NILCell && !isCons(l))) return kRunText;
  if (len < 2) return l;
  {
    _cell* p = l;
    while (isCons(p)) p = p->cdr;
    if (p != NILCell) return kRunText;  // NTH would walk off a dotted list
  }
  if (!callableWith(m, test, 2) || (key && !callableWith(m, key, 1))) return kRunText;
  if (key)
    for (_cell* p = l; isCons(p); p = p->cdr)
      if (!acceptsValue(key, p->car)) return kRunText;
  if (!ensureFree(m, len)) return kRunText;

  CellFrame g(m, l, test);
  if (key) g.push(key);
  std::vector<_cell*> items, keys;
  for (_cell* p = l; isCons(p); p = p->cdr) items.push_back(p->car);
  for (_cell* x : items) {
    _cell* k = key ? callWith(m, key, x, NILCell, 1, f, n) : x;
    if (!k) return nullptr;
    keys.push_back(g.push(k));
  }
  // Integer keys under a comparison twin are compared as integers held here: the same answers,
  // without reaching into a cell and its slot at every comparison.
  IntOrder intOrder = intOrderOf(test);
  std::vector<int32_t> ints;
  for (size_t i = 0; intOrder && i < keys.size(); i++) {
    if (!isInt(keys[i])) intOrder = nullptr;
    else ints.push_back(intOf(keys[i]));
  }
  auto before = [&](long i, long j) {
    if (intOrder) return intOrder(ints[size_t(i)], ints[size_t(j)]) ? 1 : 0;
    return holds(m, test, keys[i], keys[j], f, n);
  };
  std::vector<long> order(items.size());
  for (size_t i = 0; i < order.size(); i++) order[i] = static_cast<long>(i);
  if (!mergeSort(order, before)) return nullptr;
  int split = before(order.front(), order.back());
  if (split < 0) return nullptr;
  if (!split) return l;  // no pivot divides the list: the text leaves it alone

  _cell* tail = NILCell;
  for (size_t i = order.size(); i-- > 1;) tail = m.cons(items[order[i]], tail);
  l->car = items[order[0]];
  l->cdr = tail;
  m.structureMutated = true;
  twinsMutated();
  return l;
}
}  // namespace

void registerSequenceTwins(cfunction& m) {
  gKeyKey = m.CheckStringCell(":KEY");
  gTestKey = m.CheckStringCell(":TEST");
  gCountKey = m.CheckStringCell(":COUNT");
  registerTwin("remove", "member not cadr append append1 loop prog return", removeTwin);
  registerTwin("delete", "member not cadr nthcdr nth > zerop remove append append1 loop prog return",
               deleteTwin);
  registerValueTwin("subseq", "not < > append append1 nth loop prog return", subseqTwin);
  registerChangingTwin("nconc", "last loop prog return", nconcTwin);
  registerTwin("sort",
               "member not cadr < nth loop prog return reverse reverse1 append append1 replace-destroy",
               sortTwin);
}
