// twins of the library's hash tables, with an index kept beside each table
//
// A table stays the library's list (HASH-TABLE TEST . ENTRIES); under EQ, EQL and EQUAL an index
// from key to entry answers in expected constant time. An index is trusted only while no cons has
// been changed in place except by these twins, which keep it up to date, and the table's head
// cons still carries the index's stamp (a table nothing refers to may be reclaimed and its head
// cons reused, with the stamp cleared). An EQUAL index keys each entry by a hash of its key's
// structure, so it also stops being trusted when a twin's own change reaches into a key.
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "library/twins.h"
#include "heap/keywords.h"
#include "text/text.h"

namespace {
_cell* gHashTable = nullptr;  // the symbol HASH-TABLE
_cell* gEqual = nullptr;      // the symbol EQUAL

// A key as EQ or EQL sees it: equal keys give equal Keys.
struct Key {
  int32_t kind;  // 0 identity, 1 integer, 2 float, 3 fraction, 4 character, -1 matches nothing
  uint32_t b;
  uint64_t a;
  bool operator==(const Key& o) const { return kind == o.kind && a == o.a && b == o.b; }
};

constexpr int kNever = -1;    // EQ or EQL never matches this key with another cell
constexpr int kUnknown = -2;  // a float the index cannot key (NaN, infinities): the text decides

Key keyOf(const _cell* test, _cell* x) {
  if (isInt(x)) return {1, 0, static_cast<uint64_t>(static_cast<int64_t>(intOf(x)))};
  if (isSymbol(x) || isCons(x) || isArray(x)) return {0, 0, reinterpret_cast<uintptr_t>(x)};
  if (test == EQ) return {kNever, 0, 0};  // EQ matches no other kind, not even the same cell
  if (isFloat(x)) {
    long double v = floatOf(x);
    if (v == 0) return {2, 0, 0};  // -0.0 is EQL to 0.0
    if (!std::isfinite(v)) return {kUnknown, 0, 0};
    int e = 0;
    long double fr = std::frexp(std::fabs(v), &e);  // exact: [0.5, 1) times a power of two
    auto mantissa = static_cast<uint64_t>(std::ldexp(fr, 64));
    return {2, static_cast<uint32_t>(e * 2 + (v < 0)), mantissa};  // |e| < 2^15
  }
  if (isRatio(x)) return {3, static_cast<uint32_t>(denOf(x)), static_cast<uint64_t>(numOf(x))};
  if (isChar(x)) return {4, 0, byteOf(x)};
  return {kNever, 0, 0};
}

// Key -> the list cons of the key's first entry and the cons before it, by open addressing
// with linear probing; erasing shifts the run after a slot back, so no slot is a tombstone.
// Slots are 32 bytes and up to 4/5 of them are used: every page of an index is fresh memory
// the system must clear, which costs more than the longer probe runs in adjacent slots.
class FirstEntries {
 public:
  struct Slot {
    Key key;
    _cell* cell;  // null: empty
    _cell* prev;
  };
  static_assert(sizeof(Slot) == 32, "two slots to a cache line");
  Slot* find(const Key& k) {
    if (slots_.empty()) return nullptr;
    for (size_t i = home(k);; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (!s.cell) return nullptr;
      if (s.key == k) return &s;
    }
  }
  // False, changing nothing, when the key is there already.
  bool insert(const Key& k, _cell* cell, _cell* prev) {
    if (5 * (count_ + 1) > 4 * slots_.size()) grow();  // at most 4/5 full
    size_t i = home(k);
    for (; slots_[i].cell; i = (i + 1) & mask_)
      if (slots_[i].key == k) return false;
    slots_[i] = {k, cell, prev};
    count_++;
    return true;
  }
  void erase(Slot* s) {
    size_t i = static_cast<size_t>(s - slots_.data());
    for (size_t j = (i + 1) & mask_; slots_[j].cell; j = (j + 1) & mask_) {
      size_t h = home(slots_[j].key);
      // The entry at j may fill the hole at i unless its home lies cyclically in (i, j].
      if (((j - h) & mask_) >= ((j - i) & mask_)) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i].cell = nullptr;
    count_--;
  }

 private:
  size_t home(const Key& k) const {
    uint64_t x = k.a * 0x9E3779B97F4A7C15ull ^
                 (k.b + static_cast<uint64_t>(k.kind)) * 0xC2B2AE3D27D4EB4Full;
    x ^= x >> 29;
    return static_cast<size_t>(x) & mask_;
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{{0, 0, 0}, nullptr, nullptr});
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (const Slot& s : old)
      if (s.cell) insert(s.key, s.cell, s.prev);
  }
  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

// ---- EQUAL keys ------------------------------------------------------------------------------
// A key's hash walks its conses car first and mixes in each atom as EQUAL sees it: strings by
// their characters, numbers and characters by value, anything else by identity. EQUAL keys have
// the same shape and EQUAL atoms in the same places, so they hash alike; the walk stops after
// kHashedNodes nodes, which keeps a circular key's hash finite and still a function of its shape.
constexpr long kHashedNodes = 1024;
// A key looked up must be a tree of at most this many conses: EQUAL of it with any entry's key
// then ends within that many steps, as the text's search of the entries needs every comparison
// to. A larger or circular key is left to the text.
constexpr long kComparedConses = 100000;

// The conses some key's hash walked through, so that a twin's change of a table's own cons tells
// whether a key, and with it the key's hash, changed. A cons whose car is a character or the
// symbol CHARACTER (a string's element conses and header) is not kept, only noticed: a change
// of such a cons, if any was walked, is taken to reach a key.
class ConsSet {
 public:
  void insert(const _cell* c) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = home(c);
    for (; slots_[i]; i = (i + 1) & mask_)
      if (slots_[i] == c) return;
    slots_[i] = c;
    count_++;
  }
  bool contains(const _cell* c) const {
    if (slots_.empty()) return false;
    for (size_t i = home(c); slots_[i]; i = (i + 1) & mask_)
      if (slots_[i] == c) return true;
    return false;
  }

 private:
  size_t home(const _cell* c) const {
    uint64_t x = reinterpret_cast<uintptr_t>(c) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(x >> 32) & mask_;
  }
  void grow() {
    std::vector<const _cell*> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, nullptr);
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (const _cell* c : old)
      if (c) insert(c);
  }
  std::vector<const _cell*> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

struct KeyConses {
  ConsSet kept;
  bool unkept = false;  // a cons of a string's (or character-holding) kind was walked
  bool reaches(const _cell* changed) const {
    return kept.contains(changed) ||
           (unkept && (isChar(changed->car) || changed->car == CHARACTER));
  }
};

uint64_t mix(uint64_t h, uint64_t v) {
  h = (h ^ v) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 31);
}

// A string's characters up to the first element that is not one (STRING-EQUAL finds such a
// string equal to no other) or the first cons that closes a cycle; a dotted end is ignored, as
// STRING-EQUAL ignores it.
uint64_t stringHash(const _cell* s, KeyConses* record) {
  uint64_t h = 0x5151;
  const _cell* p = stringChars(s);
  if (record) record->unkept = true;
  CycleGuard guard(p);
  while (isCons(p) && isChar(p->car)) {
    h = mix(h, byteOf(p->car));
    p = p->cdr;
    if (!guard.passes(p)) break;
  }
  return h;
}

uint64_t atomHash(_cell* x, KeyConses* record) {
  if (isString(x)) return stringHash(x, record);
  Key k = keyOf(EQL, x);
  if (k.kind == kNever) return reinterpret_cast<uintptr_t>(x);  // EQL only to itself
  return mix(mix(static_cast<uint64_t>(k.kind), k.b), k.a);     // NaNs and infinities share one
}

// The hash of a key as EQUAL sees it; `record` (when not null) keeps the conses walked.
uint64_t equalHash(_cell* x, KeyConses* record) {
  static std::vector<_cell*> work;  // reused: never re-entered
  work.assign(1, x);
  uint64_t h = 0;
  for (long budget = kHashedNodes; !work.empty() && budget > 0; budget--) {
    _cell* c = work.back();
    work.pop_back();
    if (!isCons(c)) {
      h = mix(h, atomHash(c, record));
      continue;
    }
    if (record) {
      if (isChar(c->car) || c->car == CHARACTER)
        record->unkept = true;
      else
        record->kept.insert(c);
    }
    h = mix(h, 0xC0);
    work.push_back(c->cdr);
    work.push_back(c->car);
  }
  return h;
}

// EQUAL as the library defines it, for a key whose comparisons end (kComparedConses).
bool equalKeys(_cell* x, _cell* y) {
  return equalWithin(x, y, std::numeric_limits<long>::max()) == Equality::Equal;
}

Key equalKey(uint64_t hash) { return {5, 0, hash}; }

struct Index {
  uint64_t generation;
  _cell* last = nullptr;  // the table's last cons
  bool duplicates = false;  // some key has more than one entry (SETF of GETHASH makes none)
  FirstEntries first;  // keys EQ or EQL can match; under EQUAL, the first entry of each hash
  // EQUAL only: the hashes more than one entry had (a key equal to an earlier one, or a
  // collision), which the text answers for, and the conses the keys' hashes walked.
  bool byStructure = false;
  std::unordered_set<uint64_t> sharedHashes;
  KeyConses keyConses;
  // Whether a twin's change of `changed` may have changed a key: the index is then made again.
  bool keysReach(const _cell* changed) const { return byStructure && keyConses.reaches(changed); }
};
std::unordered_map<_cell*, Index> gIndexes;
_cell* gRecentTable = nullptr;  // the table last answered for, and its index
Index* gRecentIndex = nullptr;

void forgetDeadTables(cmemory& m) {
  gRecentTable = nullptr;
  for (auto it = gIndexes.begin(); it != gIndexes.end();)
    it = m.isLive(it->first) ? std::next(it) : gIndexes.erase(it);
}

bool isTable(_cell* t, bool atomTest) {
  return isCons(t) && t->car == gHashTable && isCons(t->cdr) &&
         (!atomTest || !isCons(t->cdr->car));
}

// The index of a table under EQ, EQL or EQUAL (while EQUAL is the library's, as its twin
// answers), made afresh when stale; null when its entries are not a proper list of conses (the
// text then meets them itself).
Index* indexOf(_cell* t) {
  _cell* test = t->cdr->car;
  if (test != EQ && test != EQL && !(test == gEqual && functionTwin(gEqual))) return nullptr;
  auto current = [t](const Index& ix) {
    return ix.generation == structureGeneration();
  };
  if (t == gRecentTable && current(*gRecentIndex)) return gRecentIndex;
  auto it = gIndexes.find(t);
  if (it != gIndexes.end() && current(it->second)) {
    gRecentTable = t;
    return gRecentIndex = &it->second;
  }
  gRecentTable = nullptr;
  if (it != gIndexes.end()) gIndexes.erase(it);
  long count = listLength(t->cdr->cdr);
  if (count < 0) return nullptr;
  bool byStructure = test == gEqual;
  _cell* prev = t->cdr;
  for (_cell* p = prev->cdr; isCons(p); prev = p, p = p->cdr)
    if (!isCons(p->car) || (!byStructure && keyOf(test, p->car->car).kind == kUnknown))
      return nullptr;
  if (prev->cdr != NILCell) return nullptr;
  if (gIndexes.size() >= 1024) gIndexes.clear();  // bounded: live tables are indexed again
  Index& ix = gIndexes[t];
  ix.generation = structureGeneration();
  ix.last = prev;
  ix.byStructure = byStructure;
  prev = t->cdr;
  for (_cell* p = prev->cdr; isCons(p); prev = p, p = p->cdr) {
    if (byStructure) {
      uint64_t h = equalHash(p->car->car, &ix.keyConses);
      if (!ix.first.insert(equalKey(h), p, prev)) ix.sharedHashes.insert(h);
      continue;
    }
    Key k = keyOf(test, p->car->car);
    if (k.kind != kNever && !ix.first.insert(k, p, prev)) ix.duplicates = true;
  }
  gRecentTable = t;
  return gRecentIndex = &ix;
}

// Where a key's first entry is: `slot` null when it has none; `runText` when the index cannot
// tell. `key` is the index's key of it.
struct Found {
  bool runText;
  FirstEntries::Slot* slot;
  Key key;
};

Found find(Index* ix, _cell* test, _cell* x) {
  if (ix->byStructure) {
    if (consesUpTo(x, kComparedConses) < 0) return {true, nullptr, {}};
    uint64_t h = equalHash(x, nullptr);
    if (ix->sharedHashes.count(h)) return {true, nullptr, {}};
    Key k = equalKey(h);
    FirstEntries::Slot* s = ix->first.find(k);
    // The only entry of that hash: any other entry's key differs from x.
    return {false, s && equalKeys(x, s->cell->car->car) ? s : nullptr, k};
  }
  Key k = keyOf(test, x);
  if (k.kind == kUnknown) return {true, nullptr, k};
  return {false, k.kind == kNever ? nullptr : ix->first.find(k), k};
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
  if (!ix) return kRunText;
  Found f = find(ix, t->cdr->car, a[0].value);
  if (f.runText) return kRunText;
  return f.slot ? twoValues(m, f.slot->cell->car->cdr, TCell) : twoValues(m, NILCell, NILCell);
}

// SETF of GETHASH: replaces the value of the key's first entry, or adds an entry at the end.
_cell* setfHashTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* key = a[0].value;
  _cell* t = a[1].value;
  _cell* v = a[2].value;
  if (!isTable(t, true)) return kRunText;
  Index* ix = indexOf(t);
  if (!ix) return kRunText;
  Found f = find(ix, t->cdr->car, key);
  if (f.runText) return kRunText;
  _cell* changed = f.slot ? f.slot->cell->car : ix->last;
  _cell* cell = nullptr;
  if (ix->byStructure && !f.slot) equalHash(key, &ix->keyConses);  // the new key's conses
  if (f.slot) {
    changed->cdr = v;
  } else {
    CellFrame g(m, key, v);
    cell = m.cons(g.push(m.cons(key, v)), NILCell);
    changed->cdr = cell;
  }
  // Another table or a definition may share these conses: every other index goes stale, and
  // so does this one if a key holds the cons changed.
  mutated(changed, true);
  if (ix->keysReach(changed)) return v;
  ix->generation = structureGeneration();
  if (cell) {
    if (f.key.kind != kNever && !ix->first.insert(f.key, cell, ix->last))
      ix->sharedHashes.insert(f.key.a);  // an EQUAL key whose hash an unequal one had
    ix->last = cell;
  }
  return v;
}

// REMHASH: unlinks the key's first entry and answers T, or answers NIL.
_cell* remhashTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* t = a[1].value;
  if (!isTable(t, true)) return kRunText;
  Index* ix = indexOf(t);
  _cell* test = t->cdr->car;
  if (!ix) return kRunText;
  Found f = find(ix, test, a[0].value);
  if (f.runText) return kRunText;
  FirstEntries::Slot* s = f.slot;
  if (!s) return NILCell;
  Key k = f.key;
  _cell* cell = s->cell;
  _cell* prev = s->prev;
  ix->first.erase(s);
  prev->cdr = cell->cdr;
  mutated(prev, true);
  if (ix->keysReach(prev)) return TCell;
  ix->generation = structureGeneration();
  if (ix->last == cell) ix->last = prev;
  auto keyAt = [ix, test](_cell* p) {  // the index's key of the entry at list cons p
    return ix->byStructure ? equalKey(equalHash(p->car->car, nullptr)) : keyOf(test, p->car->car);
  };
  // The next entry now follows `prev`: its slot, if it holds the first entry of its key, says so.
  if (_cell* next = cell->cdr; isCons(next)) {
    Key nk = keyAt(next);
    FirstEntries::Slot* ns = nk.kind == kNever ? nullptr : ix->first.find(nk);
    if (ns && ns->cell == next) ns->prev = prev;
  }
  // A later entry of the same key, if any, is now the first. (An EQUAL key's hash had only
  // the entry removed: a shared one is left to the text.)
  if (ix->duplicates) {
    for (_cell *before = prev, *p = prev->cdr; isCons(p); before = p, p = p->cdr)
      if (keyOf(test, p->car->car) == k) {
        ix->first.insert(k, p, before);
        break;
      }
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
  gEqual = m.CheckStringCell("EQUAL");
  m.addForgetHook(forgetDeadTables);
  using K = TwinKind;
  addFunctionTwin("gethash", K::Value, gethashTwin, nullptr, true);
  addFunctionTwin("setf-hash", K::Changing, setfHashTwin);
  addFunctionTwin("remhash", K::Changing, remhashTwin);
  addFunctionTwin("hash-table-count", K::Value, hashTableCountTwin);
  addFunctionTwin("make-hash-table", K::Value, makeHashTableTwin);
}
