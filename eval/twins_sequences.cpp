// twins of the library's SORT
#include <algorithm>
#include <vector>

#include "eval/twins.h"
#include "heap/keywords.h"

namespace {
_cell* gKeyKey = nullptr;  // the keyword :KEY

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
  auto before = [&](long i, long j) -> int {
    if (test == EQL) return eqlCells(keys[i], keys[j]);
    _cell* r = callWith(m, test, keys[i], keys[j], 2, f, n);
    return r ? r != NILCell : -1;
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
  registerTwin("sort",
               "member not cadr < nth loop prog return reverse reverse1 append append1 replace-destroy",
               sortTwin);
}
