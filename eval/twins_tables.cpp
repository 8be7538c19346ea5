// twins of the library's hash tables, with an index kept beside each table
//
// A table stays the library's list (HASH-TABLE TEST . ENTRIES); under EQ and EQL an index from
// key to entry answers in expected constant time. An index is trusted only while no cons has
// been changed in place except by these twins, which keep it up to date, and no collection has
// run since it was made (a table nothing refers to may be reclaimed and its cells reused).
#include <cmath>
#include <unordered_map>

#include "eval/twins.h"
#include "heap/keywords.h"

namespace {
_cell* gHashTable = nullptr;  // the symbol HASH-TABLE
_cell* gTestKey = nullptr;

// A key as EQ or EQL sees it: equal keys give equal Keys.
struct Key {
  int kind;  // 0 identity, 1 integer, 2 float, 3 fraction, 4 character, -1 matches nothing
  uint64_t a, b;
  bool operator==(const Key& o) const { return kind == o.kind && a == o.a && b == o.b; }
};
struct KeyHash {
  size_t operator()(const Key& k) const { return std::hash<uint64_t>()(k.a * 31 + k.b) ^ k.kind; }
};

constexpr int kNever = -1;    // EQ or EQL never matches this key with another cell
constexpr int kUnknown = -2;  // a float the index cannot key (NaN, infinities): the text decides

Key keyOf(const _cell* test, _cell* x) {
  if (isInt(x)) return {1, static_cast<uint64_t>(static_cast<int64_t>(intOf(x))), 0};
  if (isSymbol(x) || isCons(x) || isArray(x)) return {0, reinterpret_cast<uintptr_t>(x), 0};
  if (test == EQ) return {kNever, 0, 0};  // EQ matches no other kind, not even the same cell
  if (isFloat(x)) {
    long double v = floatOf(x);
    if (v == 0) return {2, 0, 0};  // -0.0 is EQL to 0.0
    if (!std::isfinite(v)) return {kUnknown, 0, 0};
    int e = 0;
    long double fr = std::frexp(std::fabs(v), &e);  // exact: [0.5, 1) times a power of two
    auto mantissa = static_cast<uint64_t>(std::ldexp(fr, 64));
    return {2, mantissa, static_cast<uint64_t>(static_cast<int64_t>(e) * 2 + (v < 0))};
  }
  if (isRatio(x)) return {3, static_cast<uint64_t>(numOf(x)), static_cast<uint64_t>(denOf(x))};
  if (isChar(x)) return {4, byteOf(x), 0};
  return {kNever, 0, 0};
}

struct Index {
  uint64_t generation;
  int32_t stamp;  // also in the table's head cons: a cell reused for another table has none
  _cell* last = nullptr;  // the table's last cons
  bool duplicates = false;  // some key has more than one entry (SETF of GETHASH makes none)
  std::unordered_map<Key, _cell*, KeyHash> first;  // key -> the list cons of its first entry
  std::unordered_map<_cell*, _cell*> before;       // list cons -> the cons before it
};
std::unordered_map<_cell*, Index> gIndexes;

bool isTable(_cell* t, bool atomTest) {
  return isCons(t) && t->car == gHashTable && isCons(t->cdr) && (!atomTest || !isCons(t->cdr->car));
}

// The index of a table under EQ or EQL, made afresh when stale; null when its entries are not a
// proper list of conses (the text then meets them itself).
Index* indexOf(_cell* t) {
  _cell* test = t->cdr->car;
  if (test != EQ && test != EQL) return nullptr;
  auto it = gIndexes.find(t);
  if (it != gIndexes.end() && it->second.generation == structureGeneration() &&
      it->second.stamp == t->symIndex)
    return &it->second;
  if (it != gIndexes.end()) gIndexes.erase(it);
  long count = listLength(t->cdr->cdr);
  if (count < 0) return nullptr;
  _cell* prev = t->cdr;
  for (_cell* p = prev->cdr; isCons(p); prev = p, p = p->cdr)
    if (!isCons(p->car) || keyOf(test, p->car->car).kind == kUnknown) return nullptr;
  if (prev->cdr != NILCell) return nullptr;
  if (gIndexes.size() >= 1024) gIndexes.clear();  // bounded: indexes of dropped tables go too
  Index& ix = gIndexes[t];
  ix.generation = structureGeneration();
  static int32_t stamps = 0;
  if (++stamps <= 0) stamps = 1;
  ix.stamp = t->symIndex = stamps;
  ix.last = prev;
  prev = t->cdr;
  for (_cell* p = prev->cdr; isCons(p); prev = p, p = p->cdr) {
    Key k = keyOf(test, p->car->car);
    if (k.kind != kNever && !ix.first.emplace(k, p).second) ix.duplicates = true;
    ix.before[p] = prev;
  }
  return &ix;
}

_cell* lookup(Index* ix, _cell* test, _cell* key) {
  Key k = keyOf(test, key);
  if (k.kind == kNever) return nullptr;
  auto it = ix->first.find(k);
  return it == ix->first.end() ? nullptr : it->second;
}

_cell* twoValues(cfunction& m, _cell* a, _cell* b) {
  CellFrame g(m, a);
  m.valuesList = m.cons(a, m.cons(b, NILCell));
  return a;
}

// GETHASH: the entry's value and T, or NIL and NIL.
_cell* gethashTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* t = a[1].value;
  if (!isTable(t, true)) return kRunText;
  Index* ix = indexOf(t);
  if (!ix || keyOf(t->cdr->car, a[0].value).kind == kUnknown) return kRunText;
  _cell* cell = lookup(ix, t->cdr->car, a[0].value);
  return cell ? twoValues(m, cell->car->cdr, TCell) : twoValues(m, NILCell, NILCell);
}

// SETF of GETHASH: replaces the value of the key's first entry, or adds an entry at the end.
_cell* setfHashTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* key = a[0].value;
  _cell* t = a[1].value;
  _cell* v = a[2].value;
  if (!isTable(t, true)) return kRunText;
  Index* ix = indexOf(t);
  if (!ix || keyOf(t->cdr->car, key).kind == kUnknown) return kRunText;
  m.structureMutated = true;  // the text changes conses in place here too
  _cell* test = t->cdr->car;
  if (_cell* cell = lookup(ix, test, key)) {
    cell->car->cdr = v;
    return v;
  }
  CellFrame g(m, key, v);
  _cell* cell = m.cons(g.push(m.cons(key, v)), NILCell);
  ix->last->cdr = cell;
  ix->before[cell] = ix->last;
  ix->last = cell;
  Key k = keyOf(test, key);
  if (k.kind != kNever) ix->first.emplace(k, cell);
  return v;
}

// REMHASH: unlinks the key's first entry and answers T, or answers NIL.
_cell* remhashTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* t = a[1].value;
  if (!isTable(t, true)) return kRunText;
  Index* ix = indexOf(t);
  _cell* test = t->cdr->car;
  if (!ix || keyOf(test, a[0].value).kind == kUnknown) return kRunText;
  _cell* cell = lookup(ix, test, a[0].value);
  if (!cell) return NILCell;
  _cell* prev = ix->before[cell];
  prev->cdr = cell->cdr;
  m.structureMutated = true;
  ix->before.erase(cell);
  if (isCons(cell->cdr)) ix->before[cell->cdr] = prev;
  if (ix->last == cell) ix->last = prev;
  // A later entry of the same key, if any, is now the first.
  Key k = keyOf(test, cell->car->car);
  ix->first.erase(k);
  for (_cell* p = cell->cdr; ix->duplicates && isCons(p); p = p->cdr)
    if (keyOf(test, p->car->car) == k) {
      ix->first.emplace(k, p);
      break;
    }
  return TCell;
}

_cell* hashTableCountTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* t = a[0].value;
  if (!isTable(t, false)) return kRunText;
  long count = listLength(t->cdr->cdr);
  return count < 0 ? kRunText : m.IntToCell(count);
}

_cell* makeHashTableTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* b = a[0].value;
  if (b == NILCell) return m.cons(gHashTable, m.cons(EQL, NILCell));
  if (isCons(b) && b->car == gTestKey && isCons(b->cdr))
    return m.cons(gHashTable, m.cons(b->cdr->car, NILCell));
  return kRunText;
}
}  // namespace

void registerTableTwins(cfunction& m) {
  gHashTable = m.CheckStringCell("HASH-TABLE");
  gTestKey = m.CheckStringCell(":TEST");
  registerValueTwin("gethash", "loop prog return", gethashTwin);
  registerValueTwin("setf-hash", "assoc >= last", setfHashTwin);
  registerValueTwin("remhash", "loop prog return", remhashTwin);
  registerValueTwin("hash-table-count", "", hashTableCountTwin);
  registerValueTwin("make-hash-table", "", makeHashTableTwin);
}
