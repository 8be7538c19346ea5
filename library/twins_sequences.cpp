// twins of the library's SORT, REMOVE, DELETE, SUBSEQ and NCONC
#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "library/twins.h"
#include "heap/keywords.h"
#include "text/text.h"

namespace {
// REMOVE's and DELETE's keywords as their texts read them; false when the text must decide: a
// keyword it refuses, a count that is not an integer, a test FUNCALL cannot be trusted with,
// :FROM-END with a count (the text walks a reversed copy), or a :KEY whose calls, or whose
// test's, could be seen (nothing is watched across a key's call).
bool removeOptions(cfunction& m, _cell* rest, KeywordArgs& k, _cell** test, long* count) {
  if (!readKeywords(rest, true, k)) return false;
  *test = k.test ? k.test : EQL;
  if (k.count != NILCell && !isInt(k.count)) return false;
  if (k.count != NILCell && k.fromEnd != NILCell) return false;
  // A negative count never reaches 0.
  *count = k.count == NILCell || intOf(k.count) < 0 ? -1 : intOf(k.count);
  _cell* pred = k.testNot != NILCell ? k.testNot : *test;
  if (k.key != NILCell) return silent(pred, 2) && silent(k.key, 1);
  return callableWith(m, pred, 2);
}

_cell* listOf(cfunction& m, const std::vector<_cell*>& items, _cell* tail) {
  for (size_t i = items.size(); i-- > 0;) tail = m.cons(items[i], tail);
  return tail;
}

// ---- the rest of a loop text's work --------------------------------------------------------
// REMOVE's and DELETE's texts end in one loop, (block L (prog** () L . round)) with a name of
// their own, whose round takes the element's key and then calls the test in a COND. When a
// test changed something the twin relies on, the rest of that round and the loop that follows
// are evaluated from the library's own forms, in a frame that holds the text's variables as
// they are at that point.
struct LoopText {
  _cell* name = nullptr;
  std::vector<_cell*> vars;  // as the twin hands their values over
  _cell* label = nullptr;    // the loop's block name and label
  _cell* round = nullptr;    // the loop's statements after its label, its closing GO last
  _cell* cond = nullptr;     // the COND that calls the test: (cond (test . then) (t . else))
};
LoopText gRemoveText, gDeleteText;

// The loop of (params (block name ... (let bindings ... (block L (prog** () L . round))))), its
// COND the round's `condAt`-th form; false for any other shape.
bool findLoop(cfunction& m, const char* name, std::initializer_list<const char*> vars, int condAt,
              LoopText& t) {
  _cell* sym = m.CheckStringCell(name);
  _symval* rec = sym ? m.getFuncval2(sym) : nullptr;
  if (!rec || rec->tag != 'f') return false;
  _cell* block = isCons(rec->value->cdr) ? rec->value->cdr->car : nullptr;
  if (!isCons(block) || block->car != BLOCKLISP || listLength(block) < 3) return false;
  auto lastOf = [](_cell* l) {
    while (isCons(l->cdr)) l = l->cdr;
    return l->car;
  };
  _cell* let = lastOf(block);
  if (!isCons(let) || let->car != LET || listLength(let) < 3) return false;
  _cell* loop = lastOf(let);
  if (!isCons(loop) || loop->car != BLOCKLISP || listLength(loop) != 3) return false;
  _cell* label = loop->cdr->car;
  _cell* prog = loop->cdr->cdr->car;
  if (!isSymbol(label) || label->attr != Attr::Uninterned || !isCons(prog) || prog->car != PROG ||
      listLength(prog) < 4 || prog->cdr->car != NILCell || prog->cdr->cdr->car != label)
    return false;
  _cell* round = prog->cdr->cdr->cdr;
  _cell* go = lastOf(round);
  if (listLength(round) <= condAt + 1 || !isCons(go) || go->car != GO || listLength(go) != 2 ||
      go->cdr->car != label)
    return false;
  _cell* cond = round;
  for (int i = 0; i < condAt; i++) cond = cond->cdr;
  cond = cond->car;
  if (!isCons(cond) || cond->car != COND || listLength(cond) != 3 || !isCons(cond->cdr->car) ||
      !isCons(cond->cdr->cdr->car) || cond->cdr->cdr->car->car != TCell)
    return false;
  t.name = sym;
  t.label = label;
  t.round = round;
  t.cond = cond;
  for (const char* v : vars) {
    _cell* s = m.CheckStringCell(v);
    if (!s) return false;
    t.vars.push_back(s);
  }
  return true;
}

// (block name (let ((var 'value) ...) (block L ,@then ,@after-cond (prog** () L . round))))
// evaluated: the rest of the round whose test answered `held`, then the loop. The text's own
// frame holds only its variables, so no other frame is visible to the forms.
_cell* continueLoop(cfunction& m, const LoopText& t, std::initializer_list<_cell*> values,
                    bool held) {
  CellFrame keep(m);
  for (_cell* v : values) keep.push(v);  // a count made for the call may be fresh
  // Short of room, the forms' first step reports the pool, as the text's next step would.
  ensureFree(m, 4 * listLength(t.round) + 64);
  // The forms in order: the taken clause's, those after the COND but the closing GO, then the
  // loop itself, all in the loop's block, as the text's RETURN-FROMs expect.
  std::vector<_cell*> forms;
  _cell* clause = held ? t.cond->cdr->car : t.cond->cdr->cdr->car;
  for (_cell* p = clause->cdr; isCons(p); p = p->cdr) forms.push_back(p->car);
  bool after = false;
  for (_cell* p = t.round; isCons(p->cdr); p = p->cdr) {
    if (after) forms.push_back(p->car);
    if (p->car == t.cond) after = true;
  }
  _cell* body = m.cons(m.cons(PROG, m.cons(NILCell, m.cons(t.label, t.round))), NILCell);
  for (size_t i = forms.size(); i-- > 0;) body = m.cons(forms[i], body);
  body = m.cons(m.cons(BLOCKLISP, m.cons(t.label, body)), NILCell);
  _cell* bindings = NILCell;
  size_t i = t.vars.size();
  for (auto it = values.end(); it != values.begin();) {
    --it;
    _cell* quoted = m.cons(QUOTE, m.cons(*it, NILCell));
    bindings = m.cons(m.cons(t.vars[--i], m.cons(quoted, NILCell)), bindings);
  }
  _cell* form = m.cons(BLOCKLISP, m.cons(t.name, m.cons(m.cons(LET, m.cons(bindings, body)), NILCell)));
  CellFrame g(m, form);
  return m.eval(form, nullptr, 0);
}

// The text's count: NIL, or the integer left.
_cell* countValue(cfunction& m, long count, _cell* given) {
  if (count < 0) return given == NILCell || !isInt(given) ? NILCell : given;
  return m.IntToCell(static_cast<int32_t>(count));
}

// Whether a built-in key takes every element of l (the text's first call that fails would
// fail with the built-in's own message).
bool keysAccepted(const KeywordArgs& k, _cell* l) {
  if (k.key == NILCell) return true;
  for (; isCons(l); l = l->cdr)
    if (!acceptsValue(k.key, l->car)) return false;
  return true;
}

// The element's key as the text takes it, or null after the key's failure.
_cell* keyOf(cfunction& m, const KeywordArgs& k, _cell* x, Frame f, long n) {
  return k.key == NILCell ? x : callWith(m, k.key, x, NILCell, 1, f, n);
}

// REMOVE: a fresh list of the elements the test refuses (called with the item first, on each
// element's key); once :COUNT matches are gone, the rest of the list is shared as it is. The
// text reads the element it keeps, and the next cons, after the test: the cursor is rooted and
// read again.
_cell* removeFrom(cfunction& m, _cell* a, _cell* b, _cell* rest, const KeywordArgs& k,
                  _cell* test, long count, Frame f, long n) {
  CellFrame g(m, a, test);
  g.push(rest);
  _cell*& p = rootedSlot(m, b);
  _cell*& head = rootedSlot(m, NILCell);
  _cell*& v = rootedSlot(m, NILCell);
  _cell* tail = nullptr;
  TwinWatch watch;
  for (;;) {
    if (count == 0) {
      if (!tail) return p;
      tail->cdr = p;
      return head;
    }
    if (!isCons(p)) return head;
    if (!(v = keyOf(m, k, p->car, f, n))) return nullptr;
    int h = matches(m, k, test, a, v, f, n);
    if (h < 0) return nullptr;
    if (watch.changed())  // a key is silent: only a test's call can come here
      return continueLoop(m, gRemoveText,
                          {a, p, rest, test, countValue(m, count, k.count), head, k.key,
                           k.testNot, v},
                          h);
    if (h) {
      if (count > 0) count--;
    } else {
      m.collectIfDue(1);  // the test may have used the room
      _cell* c = m.cons(p->car, NILCell);
      if (tail) tail->cdr = c;
      else head = c;
      tail = c;
    }
    p = p->cdr;
  }
}

_cell* removeTwin(cfunction& m, Frame a, long, Frame f, long n) {
  KeywordArgs k;
  _cell* test;
  long count;
  long len = listLength(a[1].value);
  if (!removeOptions(m, a[2].value, k, &test, &count) || len < 0 || !keysAccepted(k, a[1].value) ||
      !ensureFree(m, len))
    return kRunText;
  return removeFrom(m, a[0].value, a[1].value, a[2].value, k, test, count, f, n);
}

// DELETE: unlinks matches after the first element in place; a match of the first element
// hands the whole call to REMOVE, which tests every element again. The text finds the k-th cons
// from the list's head at every round: while nothing is changed in place, the cons after the
// previous one is it.
_cell* deleteTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* item = a[0].value;
  _cell* b = a[1].value;
  _cell* rest = a[2].value;
  KeywordArgs k;
  _cell* test;
  long count;
  long len = listLength(b);
  if (!removeOptions(m, rest, k, &test, &count) || len < 0 || !keysAccepted(k, b) ||
      !ensureFree(m, len))
    return kRunText;
  CellFrame g(m, item, b);
  g.push(test);
  g.push(rest);
  _cell*& prev = rootedSlot(m, nullptr);
  _cell*& p = rootedSlot(m, b);
  _cell*& v = rootedSlot(m, NILCell);
  long index = 0;
  TwinWatch watch;
  for (;;) {
    if (count == 0 || !isCons(p)) return b;
    if (!(v = keyOf(m, k, p->car, f, n))) return nullptr;
    int h = matches(m, k, test, item, v, f, n);
    if (h < 0) return nullptr;
    if (watch.changed())
      return continueLoop(m, gDeleteText,
                          {item, b, rest, test, countValue(m, count, k.count),
                           m.IntToCell(static_cast<int32_t>(index)), k.key, k.testNot, v},
                          h);
    if (!h) {
      prev = p;
      p = p->cdr;
      index++;
      continue;
    }
    if (!prev) return removeFrom(m, item, b, rest, k, test, count, f, n);  // nothing counted down yet
    prev->cdr = p->cdr;
    mutated(prev);
    watch.rebase();
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
_cell* nconcTwin(cfunction&, Frame a, long, Frame, long) {
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
    mutated(last);
  }
  return acc;
}

// SORT as its text sorts: a quicksort on the first element that divides the list (the k-th,
// tried from k = 0, by the test on each element's key and the pivot's, the key taken afresh for
// every comparison), the part for which the test holds first, each part sorted the same way,
// left before right. Only the first cons of the list is reused (all other conses of the
// result are fresh); a list no pivot divides comes back as it was. The calls are the text's,
// in its order, so a test that fails, fails where the text's would.
bool sortAsText(cfunction& m, std::vector<_cell*>& seq, _cell* test, _cell* key, bool& moved,
                Frame f, long n) {
  _cell*& pivot = rootedSlot(m, NILCell);  // the pivot's key
  _cell*& v = rootedSlot(m, NILCell);      // an element's key, while the test runs
  std::vector<std::pair<size_t, size_t>> work{{0, seq.size()}};
  std::vector<_cell*> s, l;
  while (!work.empty()) {
    auto [lo, hi] = work.back();
    work.pop_back();
    for (size_t k = 0; hi - lo >= 2 && k < hi - lo; k++) {
      pivot = key ? callWith(m, key, seq[lo + k], NILCell, 1, f, n) : seq[lo + k];
      if (!pivot) return false;
      s.clear();
      l.clear();
      for (size_t i = lo; i < hi; i++) {
        v = key ? callWith(m, key, seq[i], NILCell, 1, f, n) : seq[i];
        if (!v) return false;
        int h = holds(m, test, v, pivot, f, n);
        if (h < 0) return false;
        (h ? s : l).push_back(seq[i]);
      }
      if (s.empty() || l.empty()) continue;
      std::copy(s.begin(), s.end(), seq.begin() + static_cast<long>(lo));
      std::copy(l.begin(), l.end(), seq.begin() + static_cast<long>(lo + s.size()));
      if (lo == 0 && hi == seq.size()) moved = true;
      work.push_back({lo + s.size(), hi});
      work.push_back({lo, lo + s.size()});
      break;
    }
  }
  return true;
}

// Whether the integers' wrapped differences order them as their values do: then `<` and `>`
// are strict total orders on them, and any stable sort gives the text's order.
bool differencesFit(const std::vector<int32_t>& ints) {
  auto [lo, hi] = std::minmax_element(ints.begin(), ints.end());
  return static_cast<int64_t>(*hi) - *lo <= INT32_MAX;
}

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
  // A test or key whose calls could be seen (or could change the list) is left to the text.
  if (!silent(test, 2) || (key && !silent(key, 1))) return kRunText;
  if (key)
    for (_cell* p = l; isCons(p); p = p->cdr)
      if (!acceptsValue(key, p->car)) return kRunText;
  if (!ensureFree(m, len)) return kRunText;

  CellFrame g(m, l, test);
  if (key) g.push(key);
  std::vector<_cell*> items;
  items.reserve(static_cast<size_t>(len));
  for (_cell* p = l; isCons(p); p = p->cdr) items.push_back(p->car);
  bool moved = false;
  // Integer keys under `<` or `>` whose differences do not wrap: a stable merge sort gives the
  // text's order, compared as integers held here. The keys are taken once each, in order, so a
  // key that fails, fails on the element the text's would.
  IntOrder intOrder = intOrderOf(test);
  std::vector<int32_t> ints;
  if (intOrder && !intOrder(0, 0)) {  // a strict order: `<` or `>`
    ints.reserve(items.size());
    for (_cell* x : items) {
      _cell* k = key ? callWith(m, key, x, NILCell, 1, f, n) : x;
      if (!k) return nullptr;
      if (!isInt(k)) break;
      ints.push_back(intOf(k));
    }
  }
  if (ints.size() == items.size() && differencesFit(ints)) {
    // Indices of 32 bits: a list this long has fewer elements than the cell pool has cells.
    std::vector<uint32_t> order(items.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = static_cast<uint32_t>(i);
    auto before = [&](uint32_t i, uint32_t j) { return intOrder(ints[i], ints[j]); };
    std::stable_sort(order.begin(), order.end(), before);
    moved = before(order.front(), order.back());  // else all keys are equal: no pivot divides
    std::vector<int32_t>().swap(ints);
    // Each element to its place in turn, following the permutation's cycles.
    for (size_t i = 0; i < order.size(); i++) {
      if (order[i] == i) continue;
      _cell* first = items[i];
      size_t at = i;
      while (order[at] != i) {
        size_t from = order[at];
        items[at] = items[from];
        order[at] = static_cast<uint32_t>(at);
        at = from;
      }
      items[at] = first;
      order[at] = static_cast<uint32_t>(at);
    }
  } else if (!sortAsText(m, items, test, key, moved, f, n)) {
    return nullptr;
  }
  if (!moved) return l;
  m.collectIfDue(static_cast<long>(len));  // the calls may have used the room
  _cell* tail = NILCell;
  for (size_t i = items.size(); i-- > 1;) tail = m.cons(items[i], tail);
  l->car = items[0];
  l->cdr = tail;
  mutated(l);
  return l;
}
}  // namespace

void registerSequenceTwins(cfunction& m) {
  using K = TwinKind;
  bool remove = findLoop(m, "REMOVE", {"A", "B", "C", "TEST", "COUNT", "ANS", "KEY", "TN", "V"}, 3,
                         gRemoveText);
  bool del = findLoop(m, "DELETE", {"A", "B", "C", "TEST", "COUNT", "K", "KEY", "TN", "V"}, 3,
                      gDeleteText);
  addTwin({"remove", K::Calls, removeTwin, nullptr, nullptr, false, remove});
  addTwin({"delete", K::Calls, deleteTwin, nullptr, nullptr, false, del && remove});
  addFunctionTwin("subseq", K::Value, subseqTwin);
  addFunctionTwin("nconc", K::Changing, nconcTwin);
  addFunctionTwin("sort", K::Calls, sortTwin);
}
