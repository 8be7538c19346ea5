// cells and pools: reservation, next-fit allocation, number and character cells
#include <cstdlib>
#include <cstring>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
void (*volatile exitProcess)(int) = std::exit;  // called through a pointer: see endProcess
}  // namespace

void endProcess(int status) {
  std::fflush(stdout);
  exitProcess(status);
}

void exhausted(const char* message) {
  say(message);
  endProcess(1);
}

void cmemory::Init() {
  cellWrapped = 0;
  breakDepth = 0;
}

namespace {
// Zero-filled memory from the system; large blocks are mapped lazily, so untouched pool
// pages cost nothing until the allocators reach them.
template <class T>
T* reserve(long n) {
  return static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T)));
}
}  // namespace

int cmemory::AllocMemory() {
  if (!(cellPool = reserve<_cell>(kCells))) return say(msg::CellAllocFail), 0;
  cellRover = cellPool;
  freeCells = kCells;
  if (!(stringArea = reserve<char>(kStringArea))) return sayRaw(msg::StringAllocFail), 0;
  stringTop = stringArea;
  if (!(symbolTable = reserve<_cell*>(kSymbols))) return sayRaw(msg::SymtabAllocFail), 0;
  symbolTop = symbolTable;
  if (!(floatPool = reserve<FloatSlot>(kFloats))) return say(msg::FloatAllocFail), 0;
  floatRover = floatPool;
  freeFloats = kFloats;
  if (!(intPool = reserve<IntSlot>(kInts))) return say(msg::IntAllocFail), 0;
  intRover = intPool;
  freeInts = kInts;
  if (!(globalTable = reserve<_symval>(kTableRecords))) return say(msg::GlobalAllocFail), 0;
  globalTop = globalTable;
  if (!(funcTable = reserve<_symval>(kTableRecords))) return say(msg::FuncAllocFail), 0;
  funcTop = funcTable;
  if (!(cellStack = reserve<_cell*>(kCellStack))) return say(msg::CellStackAllocFail), 0;
  if (!(locStack = reserve<_symval*>(kLocStack))) return say(msg::LocStackAllocFail), 0;
  cellStackTop = cellStack;
  locStackTop = locStack;
  if (!(staticStack = reserve<_symval*>(kStaticStack))) return say(msg::StaticStackAllocFail), 0;
  staticStackTop = staticStack;
  if (!(globalIndex = reserve<int32_t>(kSymbols)) || !(funcIndex = reserve<int32_t>(kSymbols)))
    return say(msg::GlobalAllocFail), 0;
  InitCellAndNumber();
  return 1;
}

// Pools start zero-filled and a slot is free unless marked 'd', so nothing is touched here.
void cmemory::InitCellAndNumber() {
  for (auto& f : files) f = nullptr;
  throwPending = 0;
  returnFromPending = 0;
}

namespace {
// Next-fit allocation: the rover walks on from where it stopped, wrapping at the end; the
// pool's last slot is never handed out. A slot is free unless it carries the current epoch.
template <class Slot, class Wrap>
Slot* nextFit(Slot* pool, Slot*& rover, long size, long& freeCount, uint32_t epoch,
              const char* full, Wrap wrapped) {
  const long usable = size - 1;
  for (long examined = 0; examined < usable; examined++) {
    Slot* s = rover;
    if (++rover == pool + usable) {
      rover = pool;
      wrapped();
    }
    if (s->epoch != epoch) {
      s->mark = Mark::Used;
      s->epoch = epoch;
      freeCount--;
      return s;
    }
  }
  exhausted(full);
  return nullptr;
}
}  // namespace

_cell* cmemory::getCell() {
  _cell* c = nextFit(cellPool, cellRover, kCells, freeCells, gcEpoch, msg::CellsFull,
                     [this] { cellWrapped = 1; });
  long index = c - cellPool;
  if (index >= cellHigh) cellHigh = index + 1;
  c->type = Type::Cons;
  c->attr = Attr::Plain;
  c->symIndex = 0;
  c->car = NILCell;
  c->cdr = NILCell;
  c->closureFrame = nullptr;
  c->closureSize = 0;
  return c;
}

FloatSlot* cmemory::getNumber(long double v) {
  FloatSlot* s = nextFit(floatPool, floatRover, kFloats, freeFloats, gcEpoch, msg::FloatsFull, [] {});
  s->v = v;
  return s;
}

IntSlot* cmemory::getInt(long v) {
  IntSlot* s = nextFit(intPool, intRover, kInts, freeInts, gcEpoch, msg::IntsFull, [] {});
  s->v = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(v)));
  return s;
}

_cell* cmemory::getMojiCell(char c, char) {
  _cell* m = getCell();
  m->type = Type::Char;
  m->code = static_cast<signed char>(c);
  m->cdr = nullptr;
  return m;
}

_cell* cmemory::IntToCell(long v) {
  _cell* c = getCell();
  c->type = Type::Int;
  c->ip = getInt(v);
  c->cdr = nullptr;
  return c;
}

_cell* cmemory::NumberToCell(long double v) {
  _cell* c = getCell();
  c->type = Type::Float;
  c->fp = getNumber(v);
  c->cdr = nullptr;
  return c;
}

_cell* cmemory::BunsuToCell(long n, long d) {
  _cell* c = getCell();
  c->type = Type::Ratio;
  c->ip = getInt(n);
  c->dp = getInt(d);
  return c;
}

_cell* cmemory::cons(_cell* a, _cell* d) {
  _cell* c = getCell();
  c->car = a;
  c->cdr = d;
  return c;
}
