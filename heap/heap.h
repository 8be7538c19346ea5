// Heap: cells, pools, the symbol table, binding tables, root stacks and the collector.
//
// Invariants
// - Cells and float slots come only from the fixed pools reserved by `AllocMemory` (integer
//   slots are only counted: see IntSlots); they are recycled only by `gc`. Interned symbols
//   and their names live for ever; an uninterned one the collector does not reach gives back its
//   symbol slot and its name.
// - The collector runs only at the start or the end of an evaluation step, where a twin makes
//   room (`collectIfDue`, the one rule), or for (GC).
//   Allocation never collects, so a routine may hold fresh cells in locals until it next
//   calls the evaluator; across that call they must be reachable from a root.
// - Roots: the cell stack, the local stack, the global-variable table, the function table, the
//   multiple-values channel, the frames captured by reachable function objects, and the words
//   registered with `addRoot` (the pending non-local exit values).
// - Whatever is pushed on the cell stack or the local stack is popped on every path: use the
//   RAII guards `CellFrame` and `LocFrame` below rather than pushing by hand.
// - A slot is in use exactly when its `epoch` is the current collection's (`gcEpoch`): every
//   slot handed out or marked since the last collection. A collection starts a new epoch, so
//   whatever it does not mark is free at once: it costs time in proportion to the live data,
//   never to the pools. Pool memory starts zero-filled (epoch 0: free), so start-up never has
//   to touch a slot. A cons's epoch is the byte beside the cons pool (`consEpoch`, the low byte),
//   and so is an integer's of the integer pool.
// - Conses come from the cons pool, integers from the integer pool (FLOOR's copies excepted),
//   everything else from the cell pool; to the logical count (`freeCells`) and to the reports
//   they are one pool, as they always were. A float's slot of the float pool is only counted
//   (`freeFloats`): its value is kept in its cell.
// - Two schedules. The logical one is what users see: `freeCells`, `freeFloats` and `freeInts`
//   go down by one per slot handed out and are set from the marked counts only by a reported
//   collection, which runs when one of them is low. The physical one keeps memory near the
//   live data: once a pool has handed out its budget (a share of the live data, with a floor)
//   the evaluator collects silently at its next step and the rovers start again from the
//   front. A silent collection frees slots but leaves the logical counts alone, so the reports
//   and the moment of every reported collection do not depend on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "heap/cell.h"
#include "heap/messages.h"

// Ends the process with status 1 after an exhaustion message (pools, stacks, tables).
void exhausted(const char* message);

namespace PoolBit {  // bit 1 << i stands for reserveLevel[i]
constexpr int Cells = 1;
constexpr int Floats = 2;
constexpr int Ints = 4;
}  // namespace PoolBit

// ---- sizes ------------------------------------------------------------------------------
constexpr long kCells = 3200000;
static_assert(kCells * sizeof(ConsSlot) < ConsPool::kSpan,
              "a cons of the pool fits, and the header place of its last one reads unused space");
constexpr long kStartupCells = 8192;  // about what the library's definitions take
constexpr long kFloats = 1600000;
constexpr long kInts = 1600000;
constexpr long kStringArea = 320000;
constexpr long kSymbols = 100000;
// With this few symbol slots free, the next step collects: uninterned symbols nothing refers to
// give theirs back.
constexpr long kSymbolReserve = 1000;
constexpr long kNameReserve = 8000;  // bytes of the string area kept for names typed after INTERN fills it
constexpr long kTableRecords = 3200;
constexpr long kCellStack = 32000000;
constexpr long kLocStack = 32000000;
// When a collection leaves a pool with no more than a sixty-fourth of it free (the reserve),
// evaluation fails with the pool's message and the debug loop runs on the reserve. Each further
// failure while the reserve is in use comes at half the last one's free count; past
// kReserveLevels of them the process ends. A collection that finds more than the reserve free
// puts the pool back to normal.
constexpr long kReserveDivisor = 64;
constexpr int kReserveLevels = 4;
constexpr int kFileSlots = 10;

// ---- when to collect (cmemory::collectIfDue) ----------------------------------------------
constexpr long kGcThreshold = 999;  // collect when a pool has this many free slots or fewer
// A step that ends with fewer free slots than this collects before handing on its value, so
// the return path of a deep recursion, which starts no new step, can reuse memory.
constexpr long kStepEndThreshold = 100;
// Silent collections: the cells and the floats may each hand out their live count times
// kBudgetFactor, and at least their floor, between two collections. Integers live in cells, so
// the cells' budget paces them too.
constexpr long kBudgetFactor = 4;
constexpr long kCellBudgetFloor = 32768;   // 1 MB of cells
// A big heap's budget is capped at 256k cells (8 MB), or its live data when that is more: it is
// marked more often, but its pages stay nearer its live data than five times it.
constexpr long kCellBudgetCap = 262144;
constexpr long kFloatBudgetFloor = 16384;  // 512 kB of floats

// ---- the rovers -------------------------------------------------------------------------
// The rovers hand out runs of free slots from blocks of kBlock slots at least half free at the
// last collection, in address order, passing over fuller blocks: what is allocated together
// lies together (list walks stay friendly to the processor's prefetching), and the memory
// the garbage between live slots held is used again before fresh pages are touched. The
// collector counts the live slots of each block as it marks. When no block is half free the
// rover takes whatever slot is free.
constexpr long kBlock = 32;
// Integers die young and the survivors lie scattered among the dead: the integer rover also takes
// blocks only a quarter free, rather than touch fresh pages (an integer's slot is small, so
// the shorter runs cost little).
constexpr long kIntFullAbove = kBlock * 3 / 4;
// The three pools' in a row; the integer pool has one slot more than its count (nextIntBlock).
constexpr long kBlockCounts = (2 * kCells + kInts) / kBlock + 1;

// Test builds with ZELKORA_GC_STRESS collect silently before every evaluation step and poison
// every reclaimed cell, so a cell used after it lost its protection fails at once.
#ifdef ZELKORA_GC_STRESS
constexpr bool kGcStress = true;
#else
constexpr bool kGcStress = false;
#endif
namespace Type {
constexpr char Poisoned = 'z';  // a reclaimed cell in a stress build
}
inline bool isPoisoned(const _cell* c) {
  return inConsPool(c) ? ConsPool::meta(c) & ConsMeta::Poisoned : c->type == Type::Poisoned;
}

// A frame's records live in a block with this header in front, so a frame captured by a
// function object can outlive its activation (the collector frees it once unreachable).
struct FrameBlock {
  long count;
  int pins;         // >0 while a call is copying from / writing back into this frame
  bool captured;    // FUNCTION stored it in a lambda cell
  uint32_t epoch;   // collection in which it was last marked
  FrameBlock* next;  // retired captured frames, kept until unreachable
  FrameBlock* prev;
  _symval recs[1];
};

// Every slot from a pool's rover up to `end` is free: the rover hands them out in turn. Until a
// collection starts the rover again from the front, it only moves forward, so every slot
// handed out since then lies behind it.
// The rover also stops where the pool's logical count would reach one free slot, so running
// out is found when the next block is sought.
template <class Slot>
struct Block {
  Slot* end = nullptr;
  Slot* start = nullptr;    // where the rover began handing out from this block
  long handedOut = 0;       // slots handed out before `start`, ever
  bool packed = false;      // no block was half free: each free slot is a block of its own
  uint8_t* live = nullptr;  // per block: the slots the last collection marked
};

// ---- the integer pool's accounting -------------------------------------------------------
// Integers and fractions keep their values in their cells, so the integer pool holds no memory:
// it exists only to keep the collector's reported counts (the "gc:" lines) and the pool's
// running out as they have always been. An integer takes one slot, a fraction two, and FLOOR's
// copy of an integer shares the original's, which counts once while either lives.
class IntSlots {
 public:
  long freeInts = 0;  // the logical count, beside freeCells and freeFloats
  long marked = 0;    // counted while a collection marks

  void take(long n) {
    if (freeInts <= n) exhausted(msg::IntsFull);
    freeInts -= n;
  }
  // A new integer cell with a slot of its own, which no collection has counted yet.
  static void own(_cell* c) { c->slotEpoch = 0; }
  // `copy`, a new integer cell, counted with the slot of `of`.
  void share(_cell* copy, _cell* of);
  // While marking: a marked integer's slot counts once, through whichever of the cells sharing
  // it is marked first.
  void countInteger(_cell* c, uint32_t epoch) {
    _cell* owner = c->flags & Flag::SharedSlot ? c->slotOwner : c;
    if (owner->slotEpoch == epoch) return;
    owner->slotEpoch = epoch;
    marked++;
  }
  void countFraction() { marked += 2; }
  // Once marking is done: a slot whose owner was not marked passes to a marked cell sharing
  // it, so that the owner's cell can be reused.
  void settle(uint32_t epoch);

 private:
  std::vector<_cell*> sharing;  // cells made by `share`, until their slot is their own
};

// ---- interned names ---------------------------------------------------------------------
// Open addressing over a power-of-two table kept at most half full, each slot with its name's
// hash, so a lookup hashes the name once and compares names only on a hash match. Interned
// symbols are never removed. Lookups are inline: the reader makes one for every symbol it reads.
class SymbolIndex {
 public:
  SymbolIndex() : slots_(kFirstSize, Slot{0, nullptr}) {}
  // FNV-1a: a few instructions a byte, and names are short.
  static uint32_t hash(const char* name, size_t len) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < len; i++) h = (h ^ static_cast<unsigned char>(name[i])) * 16777619u;
    return h;
  }
  _cell* find(const char* name, size_t len, uint32_t h) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (!s.sym) return nullptr;
      if (s.hash == h && named(s.sym, name, len)) return s.sym;
    }
  }
  void add(_cell* sym, uint32_t hash);  // sym, of that name's hash, is not in it yet

 private:
  struct Slot {
    uint32_t hash;
    _cell* sym;  // null: empty
  };
  static constexpr size_t kFirstSize = 1024;  // the start-up library's ~300 names stay below half
  std::vector<Slot> slots_;
  size_t used_ = 0;
  void grow();
  static bool named(const _cell* sym, const char* name, size_t len) {
    const char* own = sym->name;
    for (size_t i = 0; i < len; i++)
      if (own[i] != name[i]) return false;
    return own[len] == 0;
  }
};

// ---- the heap ---------------------------------------------------------------------------
// IntSlots is a base rather than a member so that `freeInts` reads like the other counts.
class cmemory : protected IntSlots {
 public:
  // The interpreter object's words, in the order every subsystem knows them.
  _cell* cellPool = nullptr;
  _cell* cellRover = nullptr;
  char* stringArea = nullptr;
  char* stringTop = nullptr;
  _cell** symbolTable = nullptr;
  _cell** symbolTop = nullptr;
  _symval* funcTable = nullptr;
  _symval* funcTop = nullptr;
  _cell** cellStack = nullptr;
  _cell** cellStackTop = nullptr;
  _symval** locStack = nullptr;
  _symval** locStackTop = nullptr;
  long cellWrapped = 0;  // the logical rover has gone round the cell pool once
  long freeCells = 0;
  long freeFloats = 0;
  using IntSlots::freeInts;
  _symval* globalTable = nullptr;
  _symval* globalTop = nullptr;
  FILE* files[kFileSlots] = {};
  bool fileOutput[kFileSlots] = {};  // the slot's file was opened for output
  long throwPending = 0;
  long breakDepth = 0;
  long returnFromPending = 0;

  // Symbol slots given back by uninterned symbols the collector did not reach, and whether a
  // collection is wanted for more (asked when fewer than symbolFloor slots are free).
  std::vector<int32_t> freeSymbols;
  bool symbolsDue = false;
  long symbolFloor = kSymbolReserve;
  long freeStringBytes() const { return kStringArea - 1 - (stringTop - stringArea); }
  long freeSymbolSlots() const {
    return kSymbols - 1 - symbolCount() + static_cast<long>(freeSymbols.size());
  }

  // ---- when to collect: the whole policy ----
  // A pool has a collection due once its free count falls below its floor: it has handed out
  // the lesser of its silent budget and what was left above the reported collection's
  // threshold. Integers, being cells, have no budget of their own: only the threshold. `room`
  // is what all pools together may hand out before a step's start looks: every slot of any
  // pool counts against it, so it is never more than any pool's own, and when it runs out the
  // step's start finds out which pool, if any, is due, and measures it again. A reserve reached
  // sets it below zero, so that the next step's start reports it.
  long cellFloor = kCells - kCellBudgetFloor;
  long floatFloor = kFloats - kFloatBudgetFloor;
  long room = kFloatBudgetFloor;
  bool collectionDue() const {
    return freeCells < cellFloor || freeFloats < floatFloor || freeInts <= kGcThreshold ||
           symbolsDue;
  }
  // After a collection: each pool's next floor, its budget below what it has free now, but
  // never below the reported collection's threshold.
  void setFloors(long liveCells, long liveFloats) {
    long cellBudget = std::max(
        kCellBudgetFloor, std::min(liveCells * kBudgetFactor, std::max(kCellBudgetCap, liveCells)));
    long floatBudget = std::max(kFloatBudgetFloor, liveFloats * kBudgetFactor);
    cellFloor = freeCells - std::min(cellBudget, freeCells - kGcThreshold - 1);
    floatFloor = freeFloats - std::min(floatBudget, freeFloats - kGcThreshold - 1);
  }
  void measureRoom() {
    room = std::min({freeCells - cellFloor, freeFloats - floatFloor, freeInts - kGcThreshold - 1});
    if (poolAlarm) room = -1;
  }
  // The one rule for collecting, at a step's start or end and where a twin is about to take
  // cells with no step between: a reported collection when a pool is down to `low` free slots
  // (the cells counting the `need` about to be taken), a silent one when a budget is spent,
  // else only `room` measured again.
  void collectIfDue(long need = 0, long low = kGcThreshold) {
    // `room` is at most every pool's distance to its floor (never below the threshold), and set
    // below zero for anything else due: more than `need` of it left, nothing is due.
    if (!kGcStress && room > need && low <= kGcThreshold) return;
    if (freeCells <= low + need || freeFloats <= low || freeInts <= low)
      gc();
    else if (kGcStress || collectionDue())
      gc(false);
    else
      measureRoom();
  }
  // Whether `cells` cells can be taken with no step between and no reported collection due.
  bool roomFor(long cells) const { return freeCells > kGcThreshold + cells; }

  // Pools whose reserve a collection found reached (PoolBit), not yet reported by the evaluator,
  // and how many times each pool's reserve has been reported since it was last back to normal.
  int poolAlarm = 0;
  int reserveLevel[3] = {};

  // How an operation below the evaluator fails: it prints its message and returns null, and
  // through `raise` asks the evaluator for the debug loop in the caller's frame (`complain`
  // asks for none). The evaluator's `checked` reads and clears the request.
  enum class Failure : char { None, Complained, Raised };
  Failure failure = Failure::None;
  _cell* raise(const char* message) {
    say(message);
    return raised();
  }
  // The same, naming the value the operation refused, for the error's line on standard error.
  _cell* raise(const char* message, _cell* refused) {
    refusedValue = refused;
    return raise(message);
  }
  // The value the failing operation refused, until its error has been reported (reachable from
  // the failing routine meanwhile; nothing is collected between).
  _cell* refusedValue = nullptr;
  _cell* raised() {  // the message has been printed by other means
    failure = Failure::Raised;
    return nullptr;
  }
  _cell* complain(const char* message) {
    say(message);
    failure = Failure::Complained;
    return nullptr;
  }

  // Set once a cons has been changed in place (RPLACA, RPLACD): from then on a value may be
  // circular, so printing and copying check for cycles.
  static inline bool structureMutated = false;
  // The function table's definitions, as the last collection that walked them found them: while
  // none is replaced (DEFUN, DEFMACRO) and none of their conses (ConsMeta::Frozen) is changed in
  // place, each collection marks them from these lists instead of walking them. Most of what a
  // small program's collections mark is the library's definitions.
  static inline bool definitionsFrozen = false;
  static void thawDefinitions() { definitionsFrozen = false; }

  // Multiple values travel beside the primary value, which is returned itself: after an
  // evaluation returns, `valuesList` (when not null) is the list of all its values.
  _cell* valuesList = nullptr;

  void Init();  // this interpreter's open files are the ones closed when the process ends
  int AllocMemory();

  // allocation (never collects; exhaustion ends the process with status 1)
  // A cons, from the cons pool (ConsPool).
  _cell* getCell() {
    if (consRover == consBlock.end) nextConsBlock();
    ConsSlot* s = consRover++;
    ConsPool::epoch(s) = consEpoch;
    ConsPool::meta(s) = 0;
    freeCells--;
    room--;
    s->car = NILCell;
    s->cdr = NILCell;
    return reinterpret_cast<_cell*>(s);
  }
  // Any other object (a number, character, symbol or string): the fields only arrays and
  // symbols read are left.
  _cell* atomCell(char type) {
    if (cellRover == cellBlock.end) nextCellBlock();
    _cell* c = take(cellRover, freeCells);
    c->type = type;
    c->attr = Attr::Plain;
    c->op = 0;
    c->flags = 0;
    return c;
  }
  // A float's slot of the float pool, counted: its value is kept in its cell.
  void takeFloat() {
    if (freeFloats <= 1) exhausted(msg::FloatsFull);
    freeFloats--;
    room--;
  }
  // Hands out `n` slots of the integer pool (see IntSlots).
  void takeInts(long n) {
    ints().take(n);
    room -= n;
  }
  const char* getString(const char* s);
  _cell* CheckStringCell(const char* s);
  _cell* getStringCell(const char* s);
  _cell* getStringCell(const char* s, size_t len) {  // the name is s's first len bytes
    const uint32_t h = SymbolIndex::hash(s, len);
    if (_cell* c = symbolIndex.find(s, len, h)) return c;
    return internNew(s, len, h);
  }
  _cell* getStringCellWide(const char* s);
  _cell* internNew(const char* s, size_t len, uint32_t hash);  // a name not interned yet
  _cell* getMojiCell(char c, char unused = 0);
  // An integer, from the integer pool (IntPool): its header is written where the usual names
  // put it, which is in the next slot; its `cdr` and `epoch` are not its own.
  _cell* IntToCell(long v) {
    if (intRover == intBlock.end) nextIntBlock();
    PoolInt* s = intRover++;
    IntPool::epoch(s) = consEpoch;
    freeCells--;
    ints().take(1);
    room -= 2;  // the cell and the integer slot
    _cell* c = reinterpret_cast<_cell*>(s);
    // The header in one store: type, attribute, operator, flags.
    static constexpr char kHeader[4] = {Type::Int, Attr::Plain, 0, 0};
    std::memcpy(&c->type, kHeader, sizeof kHeader);
    s->value = wrap32(v);
    IntSlots::own(c);
    return c;
  }
  _cell* sharingInt(_cell* v);  // a new integer cell counted with v's slot
  // An integer counted as IntToCell counts one, but not made: the sums and products `+` and `*`
  // pass through on the way to their result, which nothing but the collector's counts can see.
  // While such an integer would be held (on the cell stack, across an argument's evaluation)
  // `unmadeLive` counts it, and a reported collection counts it as in use. It spends the
  // silent collections' budget as the integer it stands for would: leaving the budget to the
  // cells made lets the pages in use grow (0.8 MB more for bench/closures).
  void countUnmadeInt() {
    freeCells--;
    ints().take(1);
    room -= 2;
    unmadeInts++;
  }
  // The integer counted by countUnmadeInt, made after all, without being counted again.
  _cell* makeCountedInt(long v) {
    freeCells++;
    freeInts++;
    room += 2;
    unmadeInts--;
    return IntToCell(v);
  }
  long unmadeInts = 0;  // ever: the logical rover handed them out
  long unmadeLive = 0;
  _cell* NumberToCell(long double v);
  _cell* BunsuToCell(long n, long d);
  _cell* cons(_cell* a, _cell* d) {  // a fresh cons (a convenience over getCell)
    _cell* c = getCell();
    c->car = a;
    c->cdr = d;
    return c;
  }
  _cell* stringFromBytes(const char* bytes, size_t n);  // a fresh string of exactly these bytes
  _cell* Copy(_cell* v);  // fresh conses for all reachable through car and cdr; atoms shared
  _cell* CopyTree(_cell* v);  // the same for a value known to be a finite tree
  long symbolCount() const { return static_cast<long>(symbolTop - symbolTable); }

  // parser (reader/parser.cpp)
  _cell* readFromString(const char* text);
  _cell* getMojiretsuCell(const char* text);

  // binding tables
  long getSymVal(_cell* sym) {          // the symbol's global record, or -1
    int32_t i = globalIndex[sym->symIndex];
    return i && globalTable[i - 1].symbol == sym ? i - 1 : -1;
  }
  long getSymVal2(_cell* sym);          // the symbol's global record, made when absent
  _symval* getFuncval2(_cell* sym) {    // the symbol's function record, or null (finds only)
    int32_t i = funcIndex[sym->symIndex];
    return i && funcTable[i - 1].symbol == sym ? &funcTable[i - 1] : nullptr;
  }
  _symval* getFuncval(_cell* sym);      // the symbol's function record, made when absent
  static long getLocal(_symval* frame, long count, _cell* sym) {  // every variable reference
    for (long i = 0; i < count; i++)
      if (frame[i].symbol == sym) return i;
    return -1;
  }
  int initTemplocForMacro(_symval* frame, long count, _cell* params, _cell* args);

  // root stacks
  _cell* IncCellStack(_cell* c) {
    if (cellStackTop >= cellStackLast) cellStackFull();
    *cellStackTop++ = c;
    return c;
  }
  // Registers a frame's records as roots while its body runs.
  void IncLocStack(_symval* recs, long n) {
    _symval** top = locStackTop;
    if (top - locStack + n >= kLocStack) exhausted(msg::LocStackFull);
    for (long i = 0; i < n; i++) top[i] = &recs[i];
    locStackTop = top + n;
  }

  // frames
  // Small frames come and go with every call, so released ones are kept for reuse.
  // `cleared` false: the caller writes every record before anything reads one.
  _symval* allocFrame(long n, bool cleared = true) {
    if (n > kFrameCacheSizes || !frameCache[n]) return newFrame(n);
    FrameBlock* b = frameCache[n];
    frameCache[n] = b->next;
    frameCacheCount[n]--;
    // As calloc leaves it; field by field, the frames being small.
    b->pins = 0;
    b->captured = false;
    b->epoch = 0;
    b->next = b->prev = nullptr;
    if (cleared)
      for (long i = 0; i < n; i++) b->recs[i] = _symval{0, nullptr, nullptr};
    return b->recs;  // its count is still n
  }
  void releaseFrame(_symval* recs) {
    FrameBlock* b = frameOf(recs);
    long n = b->count;
    if (b->captured || n > kFrameCacheSizes || frameCacheCount[n] >= kFrameCacheDepth)
      return retireFrame(b);
    b->next = frameCache[n];
    frameCache[n] = b;
    frameCacheCount[n]++;
  }
  _symval* newFrame(long n);
  void retireFrame(FrameBlock* b);
  static long closureSize(const _cell* fn) {
    return isClosure(fn) ? frameOf(closureFrame(fn))->count : 0;
  }
  // A function object's captured frame (ConsMeta::Closure), kept in a table beside the pool.
  static _symval* closureFrame(const _cell* fn);
  static void capture(_cell* fn, _symval* frame);
  static FrameBlock* frameOf(_symval* recs) {
    return reinterpret_cast<FrameBlock*>(reinterpret_cast<char*>(recs) - offsetof(FrameBlock, recs));
  }

  // collector
  void Disable(_cell* c);  // marks a value and everything reachable from it as in use
  // A reported collection sets the logical counts and prints them; a silent one only frees.
  void gc(bool report = true);
  // Cells held in a word of a layer above (a pending exit's value, GO's label): registered
  // once, marked by every collection.
  // Called at every collection once the live cells are marked, before any cell is handed out
  // again: a table keyed by cells forgets those `isLive` denies (a registration of the layer
  // above, the hash tables' indexes).
  void addForgetHook(void (*hook)(cmemory& m)) {
    if (forgetHookCount == kForgetHooks) std::abort();  // a fixed set, known at compile time
    forgetHooks[forgetHookCount++] = hook;
  }
  bool isLive(const _cell* c) const {
    if (inConsPool(c)) return ConsPool::epoch(c) == consEpoch;
    return IntPool::holds(c) ? IntPool::epoch(c) == consEpoch : c->epoch == gcEpoch;
  }
  uint32_t epoch() const { return gcEpoch; }  // changes at every collection
  void addRoot(_cell** slot) {
    if (extraRootCount == kExtraRoots) std::abort();  // a fixed set, known at compile time
    extraRoots[extraRootCount++] = slot;
  }

 protected:
  long cellHigh = 0;  // cells ever handed out (the stress build poisons the free ones)
  long consHigh = 0;  // the same of the cons pool
  long intHigh = 0;   // and of the integer pool
  PoolInt* intPool = nullptr;
  PoolInt* intRover = nullptr;
  Block<PoolInt> intBlock;
  ConsSlot* consPool = nullptr;
  ConsSlot* consRover = nullptr;
  Block<ConsSlot> consBlock;
  // The hash tables' and the arrays' indexes, the kept macro expansions.
  static constexpr int kForgetHooks = 3;
  void (*forgetHooks[kForgetHooks])(cmemory& m) = {};
  int forgetHookCount = 0;
  Block<_cell> cellBlock;
  template <class Slot>
  Slot* take(Slot*& rover, long& freeCount) {
    Slot* s = rover++;
    s->epoch = gcEpoch;
    freeCount--;
    room--;
    return s;
  }
  void nextCellBlock();
  void nextConsBlock();
  void nextIntBlock();
  void markClosures();
  void forgetClosures();
  template <bool record>
  struct Marker;
  template <bool record>
  void markFrom(_cell* root);
  void markFrozen();
  void freezeDefinitions();
  std::vector<uint32_t> frozenConses;  // indexes in the cons pool, flagged ConsMeta::Frozen
  std::vector<_cell*> frozenCells;     // every other slot, and the uninterned symbols met
  std::vector<std::pair<uint32_t, uint8_t>> frozenBlocks;  // the conses' blocks, how many in each
  void restartRovers();  // every pool's rover back to the front, its blocks to be chosen anew
  long markedCells = 0;  // counted while a collection marks
  long markedFloats = 0;
  IntSlots& ints() { return *this; }
  int32_t* globalIndex = nullptr;  // by symIndex: global record index + 1, or 0
  int32_t* funcIndex = nullptr;    // by symIndex: function record index + 1, or 0
  uint32_t gcEpoch = 1;
  uint8_t consEpoch = 1;  // gcEpoch's low byte, never 0: the conses' and the pool integers'
  FrameBlock* retiredFrames = nullptr;
  // Interned symbols by name. Uninterned symbols never enter it, so a name maps to the one
  // interned symbol of that name: the same answer as a search in creation order.
  SymbolIndex symbolIndex;
  static constexpr int kExtraRoots = 16;
  _cell** extraRoots[kExtraRoots] = {};
  int extraRootCount = 0;
  void markFrame(_symval* recs);
  void markRecord(const _symval& r);
  void reclaimSymbols();
  void markStack(_cell* c);
  void sweepFrames();
  void checkReserves();
  static void cellStackFull();
  _cell** cellStackLast = nullptr;  // the cell stack's last slot, never pushed
  static constexpr long kFrameCacheSizes = 32;  // frames of up to this many records are reused
#if defined(__SANITIZE_ADDRESS__)
  static constexpr int kFrameCacheDepth = 0;  // every frame really freed, so misuse is caught
#else
  static constexpr int kFrameCacheDepth = 1024;  // and this many of each size are kept
#endif
  FrameBlock* frameCache[kFrameCacheSizes + 1] = {};
  int frameCacheCount[kFrameCacheSizes + 1] = {};
  void poisonFreeCells();
};

// ---- RAII guards ------------------------------------------------------------------------
// A cell-stack frame: the cells pushed while it lives are roots; its end drops them all.
class CellFrame {
 public:
  explicit CellFrame(cmemory& m) : m_(m), base_(m.cellStackTop) {}
  CellFrame(cmemory& m, _cell* a) : CellFrame(m) { m_.IncCellStack(a); }
  CellFrame(cmemory& m, _cell* a, _cell* b) : CellFrame(m) {
    m_.IncCellStack(a);
    m_.IncCellStack(b);
  }
  ~CellFrame() {
#ifndef NDEBUG
    if (m_.cellStackTop < base_) std::abort();  // a callee popped our cells
#endif
    m_.cellStackTop = base_;
  }
  CellFrame(const CellFrame&) = delete;
  CellFrame& operator=(const CellFrame&) = delete;
  _cell* push(_cell* c) {
    m_.IncCellStack(c);
    return c;
  }

 private:
  cmemory& m_;
  _cell** base_;
};

// A frame's records registered on the local stack while its body runs.
class LocFrame {
 public:
  LocFrame(cmemory& m, _symval* recs, long n) : m_(m), base_(m.locStackTop) {
    m_.IncLocStack(recs, n);
  }
  ~LocFrame() {
#ifndef NDEBUG
    if (m_.locStackTop < base_) std::abort();  // a callee popped our registrations
#endif
    m_.locStackTop = base_;
  }
  LocFrame(const LocFrame&) = delete;
  LocFrame& operator=(const LocFrame&) = delete;

 private:
  cmemory& m_;
  _symval** base_;
};

// A frame owned by one activation: released (or retired, when captured) on every path.
class FrameHolder {
 public:
  FrameHolder(cmemory& m, long n, bool cleared = true)
      : m_(m), recs_(n > 0 ? m.allocFrame(n, cleared) : nullptr) {}
  ~FrameHolder() {
    if (recs_) m_.releaseFrame(recs_);
  }
  FrameHolder(const FrameHolder&) = delete;
  FrameHolder& operator=(const FrameHolder&) = delete;
  _symval* recs() const { return recs_; }

 private:
  cmemory& m_;
  _symval* recs_;
};

// Pins a captured frame while a call copies from it and writes back into it.
class FramePin {
 public:
  FramePin(_symval* recs) : b_(recs ? cmemory::frameOf(recs) : nullptr) {
    if (b_) b_->pins++;
  }
  ~FramePin() {
    if (b_) b_->pins--;
  }
  FramePin(const FramePin&) = delete;
  FramePin& operator=(const FramePin&) = delete;

 private:
  FrameBlock* b_;
};

// Ends the process: flushes standard output and exits with the status. Deliberately not
// declared noreturn: the address sanitizer would then try, and loudly refuse, to clear the
// whole interpreter stack at every call site.
void endProcess(int status);
// Standard output flushed: `status`, or 1 after a message on standard error when anything
// written there was lost (a closed pipe, a full disk).
int outputStatus(int status);

// Appends a string's bytes to out; false when its element list is not a proper list of
// characters (the bytes read so far are left in out).
bool stringBytes(const _cell* s, std::string& out);

// Collects the conses and arrays of a value that are reached again from inside themselves
// (the targets of its cycles), in car-before-cdr order. Iterative. `asPrinted`: an array's
// contents are reached as the printer reaches them, past the cons of its element type.
void findCycleTargets(_cell* root, std::unordered_set<const _cell*>& targets,
                      bool asPrinted = false);
// The conses of v counted as a tree (a cons reached twice counts twice) when there are at most
// `limit` of them, else -1 (also for a circular value).
long consesUpTo(_cell* v, long limit);
