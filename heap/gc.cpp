// root stacks and the mark-and-sweep collector
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

// ---- root stacks ------------------------------------------------------------------------
void cmemory::cellStackFull() { exhausted(msg::CellStackFull); }

// ---- frames -----------------------------------------------------------------------------
namespace {
size_t frameBytes(long n) { return offsetof(FrameBlock, recs) + static_cast<size_t>(n) * sizeof(_symval); }
}  // namespace

// A frame the cache had none of: fresh from calloc.
_symval* cmemory::newFrame(long n) {
  auto* b = static_cast<FrameBlock*>(std::calloc(1, frameBytes(n)));
  if (!b) return nullptr;
  b->count = n;
  return b->recs;
}

// A frame the cache has no room for is freed; a captured one outlives its activation: the
// collector frees it once no reachable function object refers to it.
void cmemory::retireFrame(FrameBlock* b) {
  if (!b->captured) {
    std::free(b);
    return;
  }
  b->prev = nullptr;
  b->next = retiredFrames;
  if (retiredFrames) retiredFrames->prev = b;
  retiredFrames = b;
}

void cmemory::sweepFrames() {
  FrameBlock* b = retiredFrames;
  while (b) {
    FrameBlock* next = b->next;
    if (b->epoch != gcEpoch && b->pins == 0) {
      if (b->prev)
        b->prev->next = next;
      else
        retiredFrames = next;
      if (next) next->prev = b->prev;
      std::free(b);
    }
    b = next;
  }
}

// ---- function objects' frames --------------------------------------------------------------
namespace {
// A function object is a cons, which has no word for its frame: the frame is kept here, by the
// cons, for as long as the cons lives.
std::unordered_map<const _cell*, _symval*>& closures() {
  static std::unordered_map<const _cell*, _symval*> table;
  return table;
}
}  // namespace

namespace {
// The last function object asked for or made: a callback called for each element of a list
// asks for the same one each time.
const _cell* gLastClosure = nullptr;
_symval* gLastFrame = nullptr;
}  // namespace

_symval* cmemory::closureFrame(const _cell* fn) {
  if (fn != gLastClosure) {
    gLastClosure = fn;
    gLastFrame = closures().find(fn)->second;
  }
  return gLastFrame;
}

void cmemory::capture(_cell* fn, _symval* frame) {
  setConsFlag(fn, ConsMeta::Closure);
  closures()[fn] = frame;
  gLastClosure = fn;
  gLastFrame = frame;
}

// ---- marking ----------------------------------------------------------------------------
namespace {
std::vector<_cell*>& pending() {
  static std::vector<_cell*> work;
  return work;
}
}  // namespace

void cmemory::markFrame(_symval* recs) {
  FrameBlock* b = frameOf(recs);
  if (b->epoch == gcEpoch) return;
  b->epoch = gcEpoch;
  for (long i = 0; i < b->count; i++) {
    const _symval& r = b->recs[i];
    if (!r.symbol) continue;
    if (r.value) pending().push_back(r.value);
    if (r.symbol->attr == Attr::Uninterned) pending().push_back(r.symbol);  // bound by this frame
  }
}

// A frame's binding: its value, and its symbol when that is uninterned (an interned one is
// always kept): a symbol bound somewhere must not be reclaimed and its cell reused.
void cmemory::markRecord(const _symval& r) {
  markStack(r.value);
  if (r.symbol->attr == Attr::Uninterned) markStack(r.symbol);
}

// Uninterned symbols not marked give back their slot and their name; their cells are free
// with everything else not marked.
void cmemory::reclaimSymbols() {
  for (_cell** s = symbolTable; s < symbolTop; s++) {
    _cell* sym = *s;
    if (!sym || sym->attr != Attr::Uninterned || sym->epoch == gcEpoch) continue;
    delete[] sym->name;
    *s = nullptr;
    freeSymbols.push_back(static_cast<int32_t>(s - symbolTable));
  }
  symbolsDue = false;
  symbolFloor = std::min(kSymbolReserve, freeSymbolSlots() / 2);
}

// Marks iteratively: a work list instead of recursion, following cdr chains in a loop, so
// neither long nor deeply nested structure can exhaust the machine stack. Each slot is
// counted the first time it is marked.
void cmemory::Disable(_cell* root) { markFrom<false>(root); }

// Marking one slot at a time. `record`: the function table's definitions are being marked
// first, and every slot marked is written down for the collections after (freezeDefinitions).
template <bool record>
struct cmemory::Marker {
  cmemory& m;
  bool cell(_cell* c) {
    if (c->epoch == m.gcEpoch) {
      // An uninterned symbol may be marked already, by the symbol table's walk: it is written
      // down anyway, for a later collection may find it without a value or a definition.
      if (record && c->type == Type::Symbol && c->attr == Attr::Uninterned)
        m.frozenCells.push_back(c);
      return false;
    }
    c->epoch = m.gcEpoch;
    m.markedCells++;
    m.cellBlock.live[(c - m.cellPool) / kBlock]++;
    if (record) m.frozenCells.push_back(c);
    return true;
  }
  // A slot of the cons or the integer pool: its epoch is a byte beside the pool.
  bool bySide(uint8_t& e, uint8_t& blockLive) {
    if (e == m.consEpoch) return false;
    e = m.consEpoch;
    m.markedCells++;
    blockLive++;
    return true;
  }
  bool consCell(_cell* c) {
    if (!bySide(ConsPool::epoch(c), m.consBlock.live[ConsPool::indexOf(c) / kBlock])) return false;
    if (record) {
      m.frozenConses.push_back(static_cast<uint32_t>(ConsPool::indexOf(c)));
      setConsFlag(c, ConsMeta::Frozen);
    }
    return true;
  }
  bool poolInt(_cell* c) {
    if (!bySide(IntPool::epoch(c), m.intBlock.live[IntPool::indexOf(c) / kBlock])) return false;
    if (record) m.frozenCells.push_back(c);
    return true;
  }
  // Anything but a cons: marked where it is found, its cells (an array's) not followed.
  void atom(_cell* c) {
    switch (c->type) {  // never a cons of the pool: those are queued
      case Type::Int:
        if (IntPool::holds(c) ? poolInt(c) : cell(c)) m.ints().countInteger(c, m.gcEpoch);
        break;
      case Type::Float:
        if (cell(c)) m.markedFloats++;  // a float's slot is its cell's
        break;
      case Type::Ratio:
        if (cell(c)) m.ints().countFraction();
        break;
      case Type::Poisoned:
        std::abort();  // a root still refers to a reclaimed cell
      default:
        cell(c);
        break;
    }
  }
};

template <bool record>
void cmemory::markFrom(_cell* root) {
  Marker<record> k{*this};
  auto& work = pending();
  work.push_back(root);
  while (!work.empty()) {
    _cell* c = work.back();
    work.pop_back();
    // Conses and arrays (of either pool) are queued, and their closures' frames marked once
    // marking is done (markClosures).
    for (; c; c = c->cdr) {
      if (inConsPool(c)) {
        if (kGcStress && (ConsPool::meta(c) & ConsMeta::Poisoned)) std::abort();
        if (!k.consCell(c)) break;
      } else if (c->type == Type::Array) {
        if (!k.cell(c)) break;
      } else {
        k.atom(c);
        break;
      }
      if (_cell* a = c->car) {
        if (inConsPool(a) || a->type == Type::Array)
          work.push_back(a);
        else
          k.atom(a);
      }
    }
  }
}

// The definitions as a collection found them, marked again without a walk: nothing they reach
// can have changed while they stay frozen (thawDefinitions), so these are all of it.
void cmemory::markFrozen() {
  // No cons is marked yet in this collection: each is marked here, and counted by its block.
  auto* epochs = reinterpret_cast<uint8_t*>(ConsPool::kEpochBase);
  for (uint32_t i : frozenConses) {
    if (kGcStress && (reinterpret_cast<uint8_t*>(ConsPool::kMetaBase)[i] & ConsMeta::Poisoned))
      std::abort();
    epochs[i] = consEpoch;
  }
  for (const auto& [block, count] : frozenBlocks) consBlock.live[block] += count;
  markedCells += static_cast<long>(frozenConses.size());
  Marker<false> k{*this};
  for (_cell* c : frozenCells) k.atom(c);  // an array's cells are among the conses
}

void cmemory::freezeDefinitions() {
  frozenConses.clear();
  frozenCells.clear();
  frozenBlocks.clear();
  for (_symval* r = funcTable; r < funcTop; r++)
    if (r->value) markFrom<true>(r->value);
  for (uint32_t i : frozenConses) {
    uint32_t block = i / kBlock;
    if (frozenBlocks.empty() || frozenBlocks.back().first != block)
      frozenBlocks.push_back({block, 0});
    frozenBlocks.back().second++;  // at most a block's slots, in one run
  }
  frozenConses.shrink_to_fit();
  frozenCells.shrink_to_fit();
  frozenBlocks.shrink_to_fit();
  definitionsFrozen = true;
}

void cmemory::markStack(_cell* c) {
  if (c) Disable(c);
}

// A marked function object's frame is marked, which may reach more of them; a dead one's
// entry goes.
void cmemory::markClosures() {
  auto& table = closures();
  for (bool more = true; more;) {
    more = false;
    for (auto& [fn, frame] : table) {
      if (ConsPool::epoch(fn) != consEpoch || frameOf(frame)->epoch == gcEpoch) continue;
      markFrame(frame);
      auto& work = pending();
      while (!work.empty()) {
        _cell* c = work.back();
        work.pop_back();
        Disable(c);
      }
      more = true;
    }
  }
}

void cmemory::forgetClosures() {
  gLastClosure = nullptr;  // its cons may be reused for another
  auto& table = closures();
  for (auto it = table.begin(); it != table.end();)
    it = ConsPool::epoch(it->first) == consEpoch ? std::next(it) : table.erase(it);
}

void cmemory::poisonFreeCells() {
  for (long i = 0; i < cellHigh; i++) {
    _cell& c = cellPool[i];
    if (c.epoch != gcEpoch && c.type != 0) {
      c.type = Type::Poisoned;
      c.car = nullptr;
      c.cdr = nullptr;
      c.flags = 0;
    }
  }
  for (long i = 0; i < consHigh; i++) {
    ConsSlot* s = consPool + i;
    uint8_t e = ConsPool::epoch(s);
    if (e != consEpoch && e != 0) {
      ConsPool::meta(s) = ConsMeta::Poisoned;
      s->car = nullptr;
      s->cdr = nullptr;
    }
  }
  // An integer's header is in the next slot, its own first and second halves the slot before's.
  for (long i = 0; i < intHigh; i++) {
    PoolInt* s = intPool + i;
    uint8_t e = IntPool::epoch(s);
    if (e != consEpoch && e != 0) {
      _cell* c = reinterpret_cast<_cell*>(s);
      c->type = Type::Poisoned;
      c->flags = 0;
      s->value = 0;
    }
  }
}

// ---- collection -------------------------------------------------------------------------
// A new epoch frees every slot at once; marking brings back, and counts, what is reachable.
void cmemory::gc(bool report) {
  gcEpoch++;
  // A cons's or pool integer's epoch is a byte: when it comes round to 0 (never used), every
  // one is cleared, so that no old one can equal a new, and 0 is passed over.
  if ((gcEpoch & 0xFF) == 0) {
    gcEpoch++;
    auto clear = [](uintptr_t table, long high) {
      std::memset(reinterpret_cast<void*>(table), 0, static_cast<size_t>(high) + 1);
    };
    clear(ConsPool::kEpochBase, consHigh);
    clear(IntPool::kEpochBase, intHigh);
  }
  consEpoch = static_cast<uint8_t>(gcEpoch);
  markedCells = markedFloats = ints().marked = 0;
  // The blocks' live counts, as far as each pool has been used.
  std::memset(cellBlock.live, 0, static_cast<size_t>(cellHigh / kBlock + 1));
  std::memset(consBlock.live, 0, static_cast<size_t>(consHigh / kBlock + 1));
  std::memset(intBlock.live, 0, static_cast<size_t>(intHigh / kBlock + 1));
  // Interned symbols are never reclaimed, nor an uninterned one with a global value or a
  // definition; any other uninterned symbol lives while something refers to it.
  for (_cell** s = symbolTable; s < symbolTop; s++) {
    _cell* sym = *s;
    if (!sym) continue;
    auto i = static_cast<size_t>(sym->symIndex);
    if (sym->attr == Attr::Uninterned && !globalIndex[i] && !funcIndex[i]) continue;
    sym->epoch = gcEpoch;
    markedCells++;
    cellBlock.live[(sym - cellPool) / kBlock]++;
  }

  // The definitions before any other root, so that a freezing collection writes down all they
  // reach; the function table's walk below then stops at each of them at once.
  if (definitionsFrozen)
    markFrozen();
  else
    freezeDefinitions();
  for (_cell** p = cellStack; p < cellStackTop; p++) markStack(*p);
  for (_symval** p = locStack; p < locStackTop; p++)
    if (*p && (*p)->symbol) markRecord(**p);
  for (_symval* r = globalTable; r < globalTop; r++) markStack(r->value);
  for (_symval* r = funcTable; r < funcTop; r++) markStack(r->value);
  markStack(valuesList);
  for (int i = 0; i < extraRootCount; i++) markStack(*extraRoots[i]);
  markClosures();
  forgetClosures();

  for (int i = 0; i < forgetHookCount; i++) forgetHooks[i](*this);
  reclaimSymbols();
  sweepFrames();
  ints().settle(gcEpoch);
  markedCells += unmadeLive;  // held, as far as the counts go
  ints().marked += unmadeLive;
  if (kGcStress) poisonFreeCells();
  // Physically every pool starts again from the front, so the pages in use stay near the
  // live data; the next silent collection comes after a budget in proportion to it.
  restartRovers();
  if (report) {
    freeCells = kCells - markedCells;
    freeFloats = kFloats - markedFloats;
    freeInts = kInts - ints().marked;
  }
  setFloors(markedCells, markedFloats);
  if (report) {
    // Until its first wrap the logical rover hands out the slots in order (nothing ahead of
    // it was ever used), so it has gone round once the pool's usable slots have all been
    // handed out.
    if (cellBlock.handedOut + consBlock.handedOut + intBlock.handedOut + unmadeInts >= kCells - 1)
      cellWrapped = 1;
    std::printf(msg::GcReport, markedCells, markedFloats, ints().marked, cellWrapped ? '*' : ' ');
    checkReserves();
  }
  measureRoom();
}

void cmemory::checkReserves() {
  struct Pool {
    long free, size;
    const char* full;
  };
  const Pool pools[] = {{freeCells, kCells, msg::CellsFull},
                        {freeFloats, kFloats, msg::FloatsFull},
                        {freeInts, kInts, msg::IntsFull}};
  for (int i = 0; i < 3; i++) {
    const Pool& p = pools[i];
    long reserve = p.size / kReserveDivisor;
    int bit = 1 << i;
    if (p.free > reserve) {
      reserveLevel[i] = 0;
      poolAlarm &= ~bit;
    } else if (p.free <= reserve >> reserveLevel[i]) {
      if (reserveLevel[i] >= kReserveLevels) exhausted(p.full);
      poolAlarm |= bit;
    }
  }
}
