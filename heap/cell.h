// The cell: the one Lisp object, its type and attribute letters, and the value accessors.
// The lowest layer with the keyword symbols and the message catalogue; everything includes it.
//
// Invariants
// - Every Lisp value is a non-null `_cell*`; null always means "failed" or "unwinding".
// - The type letter decides what `car`/`cdr` hold: cells (cons, array), pool slots (numbers),
//   the name (symbol) or the byte (character). The letters appear here and nowhere else.
// - A cons has no header: its type is read through `isCons`/`typeOf`, its flags through
//   `consFlag`, never through the fields after `cdr` (ConsPool below).
// - An integer of the integer pool has no `car`, `cdr` or `epoch` of its own: those places are
//   its neighbours' (IntPool below).
// - A string is an array whose car is the integer 1 and whose cdr is (CHARACTER . bytes), each
//   byte a character cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "heap/keywords.h"

struct _cell;
struct _symval;

// ---- tags -------------------------------------------------------------------------------
namespace Type {
constexpr char Cons = 'l';
constexpr char Symbol = 's';
constexpr char Int = 'i';
constexpr char Float = 'n';
constexpr char Ratio = 'b';
constexpr char Char = 'm';
constexpr char Array = 'a';
}  // namespace Type

namespace Attr {
constexpr char Plain = 'u';
constexpr char Keyword = 'c';
constexpr char Uninterned = 'g';
constexpr char Stream = 's';
}  // namespace Attr

namespace Flag {
// The integer pool's accounting (IntSlots, heap/heap.h):
constexpr uint8_t SharedSlot = 2;  // an integer counted with `slotOwner`'s (FLOOR's copy)
constexpr uint8_t Forwarded = 4;   // during a collection: a dead owner, `slotOwner` its heir
// A symbol whose function has a by-value twin that may run now (library/twins.cpp keeps it).
constexpr uint8_t ValueTwin = 8;
// ... and that twin is Pure: it reads only its values, never allocates and never fails.
constexpr uint8_t PureTwin = 16;
// +, -, 1+ and 1-: a call on integer atoms may take its step in place (cfunction::arithStep).
constexpr uint8_t QuickArith = 32;
}  // namespace Flag

// A value as a 32-bit integer holds it: wrapped modulo 2^32.
inline int32_t wrap32(long v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(v)));
}

// A fraction's two terms.
struct Terms {
  int32_t num;
  int32_t den;
};

// An integer's value: the second half of the first word, the first half being, in the integer
// pool, the header of the slot before (IntPool).
struct IntWord {
  uint32_t before;
  int32_t value;
};

// Conses live in a pool of their own, at a fixed place in the address space, 16 bytes each:
// their car and cdr and nothing else. What the other objects carry in their header (the type,
// the collector's epoch, the flags) a cons keeps beside the pool: its meta byte (ConsMeta) and
// its epoch, at the same index in two side tables. So a cons is known by its address alone.
namespace ConsPool {
constexpr uintptr_t kBase = uintptr_t{0x520000000000};  // clear of the sanitizers' own areas
constexpr int kSpanBits = 26;  // 64 MB of address space: room for every cell as a cons
constexpr uintptr_t kSpan = uintptr_t{1} << kSpanBits;
constexpr uintptr_t kMetaBase = kBase + kSpan;       // one byte a slot
constexpr uintptr_t kEpochBase = kBase + 2 * kSpan;  // one byte a slot
// A fixed pool of 16-byte slots at `base`: whether it holds an address, the slot's index, and
// the slot's byte in a side table.
inline bool inSpan(const void* c, uintptr_t base) {
  return (reinterpret_cast<uintptr_t>(c) >> kSpanBits) == (base >> kSpanBits);
}
inline size_t slotIndex(const void* c, uintptr_t base) {
  return (reinterpret_cast<uintptr_t>(c) - base) >> 4;
}
inline uint8_t& sideByte(uintptr_t table, const void* c, uintptr_t base) {
  return reinterpret_cast<uint8_t*>(table)[slotIndex(c, base)];
}
inline bool holds(const void* c) { return inSpan(c, kBase); }
inline size_t indexOf(const void* c) { return slotIndex(c, kBase); }
inline uint8_t& meta(const void* c) { return sideByte(kMetaBase, c, kBase); }
// The low byte of the collection's epoch (cmemory::consEpoch): the collector clears the table
// each time that byte comes round to 0 again.
inline uint8_t& epoch(const void* c) { return sideByte(kEpochBase, c, kBase); }
// Set once SET-ARRAY has made a cons an array: until then no cons of the pool is one, and
// telling a cons needs no look at its meta byte.
extern bool gArrays;
}  // namespace ConsPool

// Integers live in a pool of their own too, 16 bytes a slot, each integer's fields shifted so
// that the usual names still reach them: its value is the union's second half, and its header
// (type, attribute, flags) and slot word (`slotOwner`/`slotEpoch`) are where a 32-byte cell has
// them, which is in the next slot's first and second halves: those belong to the integer before,
// never to the slot's own. So no integer of the pool ever reads or writes its `car`, `cdr` or
// `epoch`; its epoch is a byte beside the pool, like a cons's, and the pool's last slot is only
// a header place.
namespace IntPool {
constexpr uintptr_t kBase = ConsPool::kBase + 3 * ConsPool::kSpan;
constexpr uintptr_t kEpochBase = kBase + ConsPool::kSpan;  // one byte a slot
inline bool holds(const void* c) { return ConsPool::inSpan(c, kBase); }
inline size_t indexOf(const void* c) { return ConsPool::slotIndex(c, kBase); }
inline uint8_t& epoch(const void* c) { return ConsPool::sideByte(kEpochBase, c, kBase); }
}  // namespace IntPool
constexpr uintptr_t kPoolsReserved = 5 * ConsPool::kSpan;  // the cons and integer pools, tables

namespace ConsMeta {
constexpr uint8_t Array = 1;     // SET-ARRAY made it an array
constexpr uint8_t Closure = 2;   // a function object: its captured frame is in the closure table
constexpr uint8_t ReadForm = 4;  // READ took it from a file: EVAL of it asks where from
// Work remembered across steps depends on it (a macro call whose expansion is kept, SETF's
// tables, a plain definition): changing it in place makes that work stale.
constexpr uint8_t Watched = 8;
constexpr uint8_t Poisoned = 16;  // reclaimed, in a stress build
constexpr uint8_t Frozen = 32;    // reached by a definition when the collector last walked them
}  // namespace ConsMeta

// Every other heap object: 32 bytes so that two share a cache line and none straddles one.
// The first two words are where a cons keeps its car and cdr, so that `car` and `cdr` read
// alike for both. By type they hold: cells (arrays), the value (integer, fraction, and a
// float's in both words), the name (symbol) or the byte (character). The header follows (never
// read through a cons), then a symbol's creation number, or what the collector needs to count
// an integer's slot once (IntSlots, heap/heap.h).
struct _cell {
  union {
    _cell* car;
    IntWord iw;    // integer
    Terms q;       // fraction
    const char* name;
    intptr_t code;
  };
  _cell* cdr;
  char type;
  char attr;
  uint8_t op;      // a built-in operator's symbol: the operator it names (eval/ops.h); else 0
  uint8_t flags;   // Flag bits
  uint32_t epoch;  // in use when equal to the current collection's epoch
  union {
    int32_t symIndex;    // symbols: creation order, used to index the binding tables in O(1)
    _cell* slotOwner;    // an integer with Flag::SharedSlot or Flag::Forwarded
    uint32_t slotEpoch;  // other integers: the collection that last counted the slot
  };
};
static_assert(sizeof(_cell) == 32, "two cells to a cache line");
static_assert(sizeof(long double) <= 2 * sizeof(_cell*),
              "a float's value fits its cell's first two words");
static_assert(offsetof(_cell, flags) == offsetof(_cell, type) + 3,
              "a header is four bytes in a row");
// What a cons has of a cell.
struct ConsSlot {
  _cell* car;
  _cell* cdr;
};
static_assert(sizeof(ConsSlot) == 16, "four conses to a cache line");
// What an integer of the integer pool has of a cell: the halves it shares with its neighbours.
struct alignas(16) PoolInt {
  uint32_t beforeHeader;  // the slot before's type, attribute, operator and flags
  int32_t value;
  uint64_t beforeWord;    // the slot before's `slotOwner`/`slotEpoch`
};
static_assert(sizeof(PoolInt) == 16, "four integers to a cache line");

struct _symval {
  char tag;
  _cell* symbol;
  _cell* value;
};

// ---- predicates and accessors -----------------------------------------------------------
inline bool inConsPool(const _cell* c) { return ConsPool::holds(c); }
// SET-ARRAY's mark on a cons of the pool (looked at only once some cons has one).
inline bool arrayMarked(const _cell* c) {
  return ConsPool::gArrays && (ConsPool::meta(c) & ConsMeta::Array);
}
inline bool poolArray(const _cell* c) { return inConsPool(c) && arrayMarked(c); }
// A cons of the pool has, where a header would have its type letter, a multiple of 16 (see
// headerIs below); every type letter has a low nibble, so one load tells them apart.
inline bool headerOfCons(const _cell* c) { return (c->type & 0x0F) == 0; }
inline bool isCons(const _cell* c) { return headerOfCons(c) && !arrayMarked(c); }
inline bool isAtom(const _cell* c) { return !isCons(c); }
// The type letter: a cons's from its place, any other object's from its header.
inline char typeOf(const _cell* c) {
  if (headerOfCons(c)) return arrayMarked(c) ? Type::Array : Type::Cons;
  return c->type;
}
// Any other type letter is read from the header, a cons's too: where a header would be, a cons
// of the pool has the low byte of the next slot's car, a cell's address (a multiple of 16, so
// never a type letter), or past the last slot the pool's unused space (zero).
inline bool headerIs(const _cell* c, char type) { return c->type == type; }
inline bool isSymbol(const _cell* c) { return headerIs(c, Type::Symbol); }
inline bool isInt(const _cell* c) { return headerIs(c, Type::Int); }
inline bool isFloat(const _cell* c) { return headerIs(c, Type::Float); }
inline bool isRatio(const _cell* c) { return headerIs(c, Type::Ratio); }
inline bool isChar(const _cell* c) { return headerIs(c, Type::Char); }
inline bool isArray(const _cell* c) { return c->type == Type::Array || poolArray(c); }
inline bool isNumber(const _cell* c) {
  return c->type == Type::Int || c->type == Type::Float || c->type == Type::Ratio;
}
inline bool isStreamValue(const _cell* c) { return !inConsPool(c) && c->attr == Attr::Stream; }
inline bool isClosure(const _cell* c) {
  return inConsPool(c) && (ConsPool::meta(c) & ConsMeta::Closure);
}
// A cons's meta flags (ConsMeta); `c` is a cons of the pool.
inline bool consFlag(const _cell* c, uint8_t flag) { return ConsPool::meta(c) & flag; }
inline void setConsFlag(const _cell* c, uint8_t flag) { ConsPool::meta(c) |= flag; }
// The value accessors read a union: debug builds check that the caller asked the right type.
inline void checkType(bool ok) {
#ifndef NDEBUG
  if (!ok) std::abort();
#else
  (void)ok;
#endif
}
inline int32_t intOf(const _cell* c) { return checkType(isInt(c)), c->iw.value; }
// A float's value fills its cell's first two words (so a float has no `car` or `cdr`).
inline long double floatOf(const _cell* c) {
  checkType(isFloat(c));
  long double v;
  std::memcpy(&v, c, sizeof v);
  return v;
}
inline int32_t numOf(const _cell* c) { return checkType(isRatio(c)), c->q.num; }  // numerator
inline int32_t denOf(const _cell* c) { return checkType(isRatio(c)), c->q.den; }  // denominator
inline unsigned char byteOf(const _cell* c) {
  return checkType(isChar(c)), static_cast<unsigned char>(c->code & 0xff);
}
inline const char* nameOf(const _cell* c) { return checkType(isSymbol(c)), c->name; }

// A fraction as a float: both terms widened, divided in extended precision.
inline long double ratioValue(const _cell* c) {
  return static_cast<long double>(numOf(c)) / static_cast<long double>(denOf(c));
}

// Catches a cycle in a cdr chain walked cons by cons (Brent's method): one step per cons, and
// a marker that jumps ahead at powers of two, so no walk of a list can run for ever.
class CycleGuard {
 public:
  explicit CycleGuard(const _cell* start) : marker_(start) {}
  bool passes(const _cell* next) {  // false once the walk's next cons closes a cycle
    if (next == marker_) return false;
    if (++steps_ == limit_) {
      marker_ = next;
      limit_ *= 2;
      steps_ = 0;
    }
    return true;
  }

 private:
  const _cell* marker_;
  long steps_ = 0;
  long limit_ = 1;
};

// Number of conses along the cdr chain (a dotted tail ends it uncounted), or -1 when the
// chain is circular.
inline long listLength(const _cell* l) {
  CycleGuard guard(l);
  long count = 0;
  for (const _cell* p = l; isCons(p);) {
    p = p->cdr;
    ++count;
    if (!guard.passes(p)) return -1;
  }
  return count;
}

// EQ and EQL of two values: identity, except that EQ also matches equal integers and EQL
// equal numbers of one type and equal characters.
inline bool eqCells(_cell* a, _cell* b) {
  if (isSymbol(a) || isSymbol(b)) return a == b;
  if (isInt(a) || isInt(b)) return isInt(a) && isInt(b) && intOf(a) == intOf(b);
  if ((isCons(a) && isCons(b)) || (isArray(a) && isArray(b))) return a == b;
  return false;
}

inline bool eqlCells(_cell* a, _cell* b) {
  if (a == b) return true;
  char type = typeOf(a);
  if (type != typeOf(b)) return false;
  switch (type) {
    case Type::Int:
      return intOf(a) == intOf(b);
    case Type::Float:
      return floatOf(a) == floatOf(b);
    case Type::Ratio:
      return numOf(a) == numOf(b) && denOf(a) == denOf(b);
    case Type::Char:
      return byteOf(a) == byteOf(b);
    default:
      return false;
  }
}

// The one test of what a string is, shared by every subsystem.
inline bool isString(const _cell* c) {
  return isArray(c) && c->car && isInt(c->car) && intOf(c->car) == 1 && c->cdr && isCons(c->cdr) &&
         c->cdr->car == CHARACTER;
}

// The element list of a string (a list of character cells, normally).
inline _cell* stringChars(const _cell* s) { return checkType(isString(s)), s->cdr->cdr; }
