// cells and pools: reservation, next-fit allocation, number and character cells
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
void (*volatile exitProcess)(int) = std::exit;  // called through a pointer: see endProcess
}  // namespace

bool ConsPool::gArrays = false;

namespace {
cmemory* gFilesOwner = nullptr;  // the interpreter, whose open files end with the process
}  // namespace

int outputStatus(int status) {
  // Every way out flushes and closes the program's files first: what it wrote is kept.
  bool lost = false;
  if (gFilesOwner)
    for (int k = 0; k < kFileSlots; k++)
      if (FILE* fp = gFilesOwner->files[k]) {
        gFilesOwner->files[k] = nullptr;
        lost = std::fclose(fp) != 0 || lost;
      }
  if (lost) {
    std::fputs(msg::FilesFailed, stderr);
    status = 1;
  }
  // A signal that ends the run may have cut a write short: its status says what happened.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status < 128) {
    std::fputs(msg::StdoutFailed, stderr);
    status = 1;
  }
  return status;
}

void endProcess(int status) { exitProcess(outputStatus(status)); }

void exhausted(const char* message) {
  say(message);
  endProcess(1);
}

void cmemory::Init() { gFilesOwner = this; }

namespace {
// Zero-filled memory from the system, mapped lazily, so untouched pages cost nothing until the
// allocators reach them (calloc would clear the smaller blocks at once). Past its first few
// megabytes, where only programs with much live data reach, a pool asks for huge pages: one
// fault and one TLB entry per 2 MB instead of per 4 kB.
void preferHugePages(void* p, uintptr_t bytes) {
  constexpr uintptr_t kSmall = uintptr_t{4} << 20;
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (p && bytes > 2 * kSmall) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t from = (at + kSmall + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (at + bytes) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  }
}

template <class T>
T* reserve(long n) {
#if defined(__SANITIZE_ADDRESS__)
  T* p = static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T)));  // bounds checked
#else
  void* block = mmap(nullptr, static_cast<size_t>(n) * sizeof(T), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  T* p = block == MAP_FAILED ? nullptr : static_cast<T*>(block);
#endif
  preferHugePages(p, static_cast<uintptr_t>(n) * sizeof(T));
  return p;
}

// The cons and integer pools and their side tables, at their fixed place (ConsPool, IntPool).
ConsSlot* reserveConsPool() {
#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif
  void* want = reinterpret_cast<void*>(ConsPool::kBase);
  void* block = mmap(want, kPoolsReserved, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  if (block != want) {  // a kernel that took the address only as a hint
    munmap(block, kPoolsReserved);
    return nullptr;
  }
  // No huge pages here: the conses' and integers' memory is what a big program's peak is made
  // of, and huge pages would round each pool's up by as much as 2 MB, for no time measured.
  return static_cast<ConsSlot*>(block);
}

// Maps the pages a start fills anyway in one call rather than a fault each (a no-op on kernels
// without MADV_POPULATE_WRITE).
void prefault(void* from, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  const uintptr_t page = 4096;
  uintptr_t lo = (reinterpret_cast<uintptr_t>(from) + page - 1) & ~(page - 1);
  uintptr_t hi = (reinterpret_cast<uintptr_t>(from) + bytes) & ~(page - 1);
  if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_WRITE);
#else
  (void)from;
  (void)bytes;
#endif
}
}  // namespace

int cmemory::AllocMemory() {
  if (!(cellPool = reserve<_cell>(kCells))) return say(msg::CellAllocFail), 0;
  if (!(consPool = reserveConsPool())) return say(msg::CellAllocFail), 0;
  intPool = reinterpret_cast<PoolInt*>(IntPool::kBase);
  prefault(cellPool, kStartupCells / 2 * sizeof(_cell));
  prefault(consPool, kStartupCells * sizeof(ConsSlot));
  // The three pools' block counts in one block, large enough to be mapped lazily like the pools.
  uint8_t* live = reserve<uint8_t>(kBlockCounts);
  if (!live) return say(msg::CellAllocFail), 0;
  cellBlock.live = live;
  freeCells = kCells;
  if (!(stringArea = reserve<char>(kStringArea))) return sayRaw(msg::StringAllocFail), 0;
  stringTop = stringArea;
  if (!(symbolTable = reserve<_cell*>(kSymbols))) return sayRaw(msg::SymtabAllocFail), 0;
  symbolTop = symbolTable;
  consBlock.live = live + kCells / kBlock;
  intBlock.live = live + 2 * kCells / kBlock;
  freeFloats = kFloats;
  freeInts = kInts;
  if (!(globalTable = reserve<_symval>(kTableRecords))) return say(msg::GlobalAllocFail), 0;
  globalTop = globalTable;
  if (!(funcTable = reserve<_symval>(kTableRecords))) return say(msg::FuncAllocFail), 0;
  funcTop = funcTable;
  if (!(cellStack = reserve<_cell*>(kCellStack))) return say(msg::CellStackAllocFail), 0;
  cellStackLast = cellStack + kCellStack - 1;
  if (!(locStack = reserve<_symval*>(kLocStack))) return say(msg::LocStackAllocFail), 0;
  cellStackTop = cellStack;
  locStackTop = locStack;
  if (!(globalIndex = reserve<int32_t>(kSymbols)) || !(funcIndex = reserve<int32_t>(kSymbols)))
    return say(msg::GlobalAllocFail), 0;
  restartRovers();
  return 1;
}

namespace {
uint32_t epochOf(const _cell* s) { return s->epoch; }
uint32_t epochOf(const ConsSlot* s) { return ConsPool::epoch(s); }  // compared with consEpoch
uint32_t epochOf(const PoolInt* s) { return IntPool::epoch(s); }    // the same

// Moves the rover to the next run of free slots in a block at least half free (a quarter for
// integers: kIntFullAbove; a wholly free block is one run); when none is left, to the next free
// slot, wrapping at the end. The pool's last slot is never handed out. A slot is free unless it
// carries the current epoch. The logical count decides exhaustion, as if no silent collection
// had run: one slot logically free means every usable slot of the pool is taken.
template <class Slot>
void nextBlock(Slot* pool, Slot*& rover, Block<Slot>& block, long size, long freeCount,
               uint32_t epoch, const char* full, long fullAbove = kBlock / 2) {
  block.handedOut += rover - block.start;
  if (freeCount <= 1) {
    exhausted(full);
    return;
  }
  const long usable = size - 1;
  auto choose = [&](Slot* from, Slot* to) {
    rover = block.start = from;
    block.end = to - from < freeCount - 1 ? to : from + (freeCount - 1);
  };
  if (!block.packed) {
    for (long b = (rover - pool) / kBlock; b < usable / kBlock; b++) {
      if (block.live[b] > fullAbove) continue;
      Slot* from = pool + b * kBlock;
      Slot* to = from + kBlock;
      if (rover > from) from = rover;  // the rest of the block the rover is in
      else if (block.live[b] == 0) return choose(from, to);
      while (from < to && epochOf(from) == epoch) from++;
      if (from == to) continue;
      Slot* run = from;
      while (run < to && epochOf(run) != epoch) run++;
      return choose(from, run);
    }
    block.packed = true;
    rover = pool;
  }
  for (long examined = 0; examined < usable; examined++, rover++) {
    if (rover >= pool + usable) rover = pool;
    if (epochOf(rover) != epoch) return choose(rover, rover + 1);
  }
  exhausted(full);  // unreachable: what is physically in use is logically in use
}
}  // namespace

void cmemory::restartRovers() {
  cellBlock.handedOut += cellRover - cellBlock.start;
  consBlock.handedOut += consRover - consBlock.start;
  intBlock.handedOut += intRover - intBlock.start;
  cellRover = cellBlock.end = cellBlock.start = cellPool;
  consRover = consBlock.end = consBlock.start = consPool;
  intRover = intBlock.end = intBlock.start = intPool;
  cellBlock.packed = consBlock.packed = intBlock.packed = false;
}

// Conses, integers and other cells are one pool to the logical count: what a rover may still
// hand out of its run is kept from the others', so that together they never pass the count.
// Near the end the others' runs are given back rather than found short.
namespace {
template <class A, class B>
long leftFor(long freeCount, A*& rover1, Block<A>& other1, B*& rover2, Block<B>& other2) {
  long others = (other1.end - rover1) + (other2.end - rover2);
  if (others > 0 && freeCount - others <= 1) {
    other1.end = rover1;
    other2.end = rover2;
    others = 0;
  }
  return freeCount - others;
}
}  // namespace

void cmemory::nextCellBlock() {
  long left = leftFor(freeCells, consRover, consBlock, intRover, intBlock);
  nextBlock(cellPool, cellRover, cellBlock, kCells, left, gcEpoch, msg::CellsFull);
  long high = cellBlock.end - cellPool;
  if (high > cellHigh) cellHigh = high;
}

void cmemory::nextConsBlock() {
  long left = leftFor(freeCells, cellRover, cellBlock, intRover, intBlock);
  nextBlock(consPool, consRover, consBlock, kCells, left, consEpoch, msg::CellsFull);
  long high = consBlock.end - consPool;
  if (high > consHigh) consHigh = high;
}

// The pool has a slot more than the integers' logical count: each slot's header is in the next.
void cmemory::nextIntBlock() {
  long left = leftFor(freeCells, cellRover, cellBlock, consRover, consBlock);
  nextBlock(intPool, intRover, intBlock, kInts + 1, left, consEpoch, msg::CellsFull, kIntFullAbove);
  long high = intBlock.end - intPool;
  if (high > intHigh) intHigh = high;
}

_cell* cmemory::getMojiCell(char c, char) {
  _cell* m = atomCell(Type::Char);
  m->code = static_cast<signed char>(c);
  m->cdr = nullptr;
  return m;
}

_cell* cmemory::NumberToCell(long double v) {
  _cell* c = atomCell(Type::Float);
  takeFloat();
  std::memcpy(c, &v, sizeof v);
  return c;
}

_cell* cmemory::BunsuToCell(long n, long d) {
  _cell* c = atomCell(Type::Ratio);
  takeInts(2);
  c->q.num = wrap32(n);
  c->q.den = wrap32(d);
  c->cdr = nullptr;
  return c;
}

// FLOOR's copy of an integer: a cell of its own, no slot of its own.
_cell* cmemory::sharingInt(_cell* v) {
  _cell* c = atomCell(Type::Int);
  c->iw.value = v->iw.value;
  c->cdr = nullptr;
  ints().share(c, v);
  return c;
}
