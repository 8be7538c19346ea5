// Native twins of the start-up library: C++ versions of library functions and macros that give
// exactly what the library's text gives, only faster.
//
// Invariants
// - A twin runs only while its definition, and every library definition its text reaches, is
//   still the one the library made. The reach is computed from the definitions once they are
//   loaded: every library name a text mentions (called, expanded, or quoted into an expansion),
//   and what those mention in turn. A DEFUN or DEFMACRO of any of those names turns the twin off
//   for good (`redefined`), and so does an in-place change once SYMBOL-FUNCTION has handed one
//   of those definitions out (`exposed`, then `mutated`). ZELKORA_TWINS=0 turns every twin off.
// - A function twin gets the call's frame: the evaluated arguments, bound as the text's frame
//   would hold them. It answers the text's result; or null after the same failure the text
//   would have had (a user function it called failed or left non-locally); or kRunText, before
//   anything observable has happened, for an input it does not handle exactly.
// - Values: a twin's answer carries no multiple values unless its row says the twin sets them
//   (GETHASH); `runTwin` applies that rule for every call of a twin.
// - A twin that calls user code keeps every cell it needs afterwards in a rooted slot and reads
//   it again after the call. When the call changed any cons in place, redefined anything the
//   twin reaches or assigned NIL or T, the twin hands the rest of the work to the text, from
//   the state the text would be in at that point (`TwinWatch`).
// - Every in-place change of a cons, by a built-in, a text or a twin, calls `mutated`.
// - A macro twin gets the argument forms and builds an expansion EQUAL to the text's (the
//   caller copies it, as it copies the text's), or answers kRunText.
// - Twins may allocate differently from the texts, so collector counts may differ.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "eval/twin_interface.h"
#include "heap/keywords.h"

// A comparison twin's answer for two integers, so a sort can compare integer keys directly.
using IntOrder = bool (*)(int32_t x, int32_t y);

// What a twin does, and so where it may be called from.
enum class TwinKind : uint8_t {
  Calls,     // reads its frame and may call user functions
  Value,     // reads only its arguments' values and calls no user function (it may allocate)
  Changing,  // a Value twin that changes conses of its arguments in place
  Pure,      // a Value twin that never allocates and never fails: other twins call it directly
  Macro,     // builds an expansion
};

// One row per twin: the library name as the library spells it, and the routine.
struct TwinRow {
  const char* name;
  TwinKind kind;
  FunctionTwin fn;
  MacroTwin macro;
  IntOrder order;   // Pure comparisons only
  bool setsValues;  // the twin sets the values channel itself (GETHASH's two values)
  bool matched;     // what a macro twin takes from its definitions was found there
};
void addTwin(const TwinRow& row);
inline void addFunctionTwin(const char* name, TwinKind kind, FunctionTwin fn,
                            IntOrder order = nullptr, bool setsValues = false) {
  addTwin({name, kind, fn, nullptr, order, setsValues, true});
}
void registerListTwins(cfunction& m);      // library/twins_lists.cpp
void registerSequenceTwins(cfunction& m);  // library/twins_sequences.cpp
void registerTableTwins(cfunction& m);     // library/twins_tables.cpp
void registerArrayTwins(cfunction& m);     // library/twins_arrays.cpp
void registerMacroTwins(cfunction& m);     // library/twins_macros.cpp

// Called once the library is loaded: records its definitions, computes each twin's reach and
// turns the twins on.
void initTwins(cfunction& m);

// Goes up with every such change: an index of a list is good while it stays the same.
extern uint64_t gStructureGeneration;
inline uint64_t structureGeneration() { return gStructureGeneration; }
// The same without the changes of cars alone (RPLACA): every list keeps its conses, in order,
// while this stays the same.
extern uint64_t gSpineGeneration;
// In-place changes of conses flagged Flag::Watched, and definitions made (DEFUN, DEFMACRO).
extern uint64_t gWatchedChanges;
extern uint64_t gDefinitions;
// The same without the table twins' changes. Those touch only the spines and values of lists a
// program made into tables, so a key found nowhere in a library definition's quoted table
// (which only SYMBOL-FUNCTION can hand out) stays absent while this stays the same.
extern uint64_t gTableTwinChanges;
inline uint64_t generationBesideTables() { return gStructureGeneration - gTableTwinChanges; }
// Goes up whenever a twin is turned off or stands aside.
extern uint64_t gTwinSwitches;
// The twins left off at start-up because a definition they stand on is missing, or is not of
// the shape they take objects from (for tests).
const std::vector<const char*>& unmatchedTwins();
// Flags every cons of x Watched (library/expansions.cpp).
void watchConses(_cell* x);
// For tests: the macro twins whose definitions are not the texts they were written for, or
// whose objects taken at start-up are not the ones their texts hold. A start skips this full
// comparison, the library's texts being part of the program.
std::vector<const char*> macroTwinsMismatched(cfunction& m);
// The library names the text of `sym` reaches (for tests); empty when it has no twin.
std::vector<_cell*> twinReach(const _cell* sym);

// ---- for the twins themselves (library/twins_*.cpp) ----
extern cfunction* gMachine;  // the interpreter the twins were registered with
extern _cell* gTestKey;      // the keyword :TEST of MEMBER, ASSOC, REMOVE and DELETE
extern _cell* gTestNotKey;   // and their :TEST-NOT, :KEY, :COUNT and :FROM-END
extern _cell* gKeyKey;
extern _cell* gCountKey;
extern _cell* gFromEndKey;
// The keyword arguments of MEMBER, ASSOC, FIND, REMOVE and DELETE, each the value after its
// first occurrence in a keyword's place; `test` is null when :TEST is not given, the others NIL.
struct KeywordArgs {
  _cell* test = nullptr;
  _cell* testNot = nullptr;
  _cell* key = nullptr;
  _cell* count = nullptr;
  _cell* fromEnd = nullptr;
};
// Reads the rest arguments as the texts' KEYS$ and KEY$ do: false where the text signals an
// error (a keyword it does not take, or one without a value). `counting`: :COUNT and
// :FROM-END are taken too (REMOVE, DELETE).
bool readKeywords(_cell* rest, bool counting, KeywordArgs& k);
// Watches the calls of user code a Calls twin makes: after each, `changed()` says whether the
// twin must hand the rest to its text (something was changed in place, something it reaches
// was redefined, NIL or T were assigned).
class TwinWatch {
 public:
  TwinWatch() : generation_(gStructureGeneration), switches_(gTwinSwitches) {}
  bool changed() const {
    return ((gStructureGeneration ^ generation_) | (gTwinSwitches ^ switches_)) != 0 ||
           !twinConstantsIntact();
  }
  void rebase() { generation_ = gStructureGeneration; }  // after the twin's own change

 private:
  uint64_t generation_;
  uint64_t switches_;
};
// The integer answer of fn's comparison twin while it may run, else null.
IntOrder intOrderOf(const _cell* fn);
// Whether fn can be called with `count` arguments the way FUNCALL of it would, without any
// failure coming from the call itself: a function object or a DEFUN whose lambda list takes
// that many, or a built-in that works on values alone.
bool callableWith(cfunction& m, _cell* fn, long count);
// Whether calling fn can show nothing but its answer or its failure: a built-in that works on
// values alone, a Pure twin's function while the twin runs, or a function object or DEFUN of
// `count` plain parameters whose body is silent. It changes nothing, so a twin calling it need
// not watch.
bool silent(_cell* fn, long count);
// A function body that can show nothing but its value or its failure (library/twins_macros.cpp).
bool silentBody(_cell* body);
// For a built-in that callableWith admits only on some values (CAR, CDR, 1+, 1-): whether x is
// one; a twin checks every value before its first call.
bool acceptsValue(const _cell* fn, const _cell* x);
// Makes sure `cells` cells can be handed out before the next evaluation step, collecting (at a
// twin's entry, where the call's frame protects everything) if need be; false if they cannot.
bool ensureFree(cfunction& m, long cells);
// FUNCALL of fn on values, in the frame f: its result, or null after its failure.
_cell* callWith(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n);
// callWith of a function object the caller found to take `count` plain parameters, while its
// TwinWatch has seen nothing changed in place since: the lambda list is as it was found.
_cell* callPlainObject(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n);
// A test on (a b): EQ and EQL answer at once, anything else through callWith. 1 true, 0 false,
// -1 when the call failed.
int holds(cfunction& m, _cell* test, _cell* a, _cell* b, Frame f, long n);
// An element's match as the texts decide it: (not (test-not a b)) when :TEST-NOT is given,
// else (test a b).
int matches(cfunction& m, const KeywordArgs& k, _cell* test, _cell* a, _cell* b, Frame f, long n);
// The text's own call (sym 'a1 'a2 ...) on values, evaluated as the text's recursion would
// evaluate it: the rest of a recursive text's work.
_cell* callText(cfunction& m, _cell* sym, std::initializer_list<_cell*> values, Frame f, long n);
// EQUAL of two values as the library's text answers it, car first, or Unknown after
// `maxSteps` conses (library/twins_lists.cpp). It calls nothing back.
enum class Equality { Different, Equal, Unknown };
Equality equalWithin(_cell* x, _cell* y, long maxSteps);
// A cell-stack slot a twin writes as it goes: a cursor the collector keeps and sees.
inline _cell*& rootedSlot(cfunction& m, _cell* c) {
  m.IncCellStack(c);
  return m.cellStackTop[-1];
}
