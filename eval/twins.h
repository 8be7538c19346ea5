// Native twins of the start-up library: C++ versions of library functions and macros that give
// exactly what the library's text gives, only faster.
//
// Invariants
// - A twin runs only while its definition, and every library definition its text reaches, is
//   still the one the library made. A DEFUN or DEFMACRO of any of those names turns it off for
//   good, and so does an in-place change of a definition that SYMBOL-FUNCTION handed out.
//   ZELKORA_TWINS=0 in the environment turns every twin off.
// - A function twin gets the call's frame: the evaluated arguments, bound as the text's frame
//   would hold them. It answers the text's result; or null after the same failure the text
//   would have had (a user function it called failed or left non-locally); or kRunText, before
//   anything observable has happened, for an input it does not handle exactly.
// - A macro twin gets the argument forms and builds an expansion EQUAL to the text's (the
//   caller copies it, as it copies the text's), or answers kRunText.
// - Twins may allocate differently from the texts, so collector counts may differ.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/eval.h"
#include "heap/keywords.h"

// The answer of a twin that leaves the call to the text.
extern _cell* const kRunText;

using FunctionTwin = _cell* (*)(cfunction& m, Frame args, long count, Frame f, long n);
using MacroTwin = _cell* (*)(cfunction& m, _cell* forms);

// Called once the library is loaded: records its definitions and which twins may run.
void initTwins(cfunction& m);
// What a call of a symbol needs of its twin, by symbol index; fn is null while no twin may run.
// `byValue` is 1, 2 or 3 when the twin reads nothing but its arguments' values and calls no user
// function, and the library's lambda list is that many plain symbols: a call may then hand it
// the values without making the frame. Otherwise 0.
struct TwinCall {
  FunctionTwin fn;
  int byValue;
  bool changes;  // a value twin that changes conses in place (NCONC, SETF-HASH, REMHASH)
};
extern std::vector<TwinCall> gTwinCalls;
// The global values of NIL and T. The texts read them as variables and a program may assign
// them; the twins answer the constants, so they stand aside while either holds anything else.
extern _cell* const* gNilValue;
extern _cell* const* gTValue;

inline bool twinConstantsIntact() { return *gNilValue == NILCell && *gTValue == TCell; }

// The twin of a call of this symbol, or null when the text must run; `byValue` as above.
inline FunctionTwin functionTwin(const _cell* sym, int& byValue) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gTwinCalls.size() && gTwinCalls[i].fn && twinConstantsIntact()) {
    byValue = gTwinCalls[i].byValue;
    return gTwinCalls[i].fn;
  }
  byValue = 0;
  return nullptr;
}
// A value twin declines an input it does not handle (a circular one, one too large for the
// pool) before anything happens, and the text runs. The text's calls of its own function then
// go to the text too, while it runs: a recursive text would otherwise have the twin check each
// part of that input again, all of it each time. Value texts call no user code, so nothing else
// is slowed.
// (The functions whose twin is fn stand aside; other twins than value twins never do.)
void standAside(FunctionTwin fn);
void standBack(FunctionTwin fn);
class TwinStandsAside {
 public:
  explicit TwinStandsAside(FunctionTwin fn) : fn_(fn) { standAside(fn); }
  ~TwinStandsAside() { standBack(fn_); }
  TwinStandsAside(const TwinStandsAside&) = delete;
  TwinStandsAside& operator=(const TwinStandsAside&) = delete;

 private:
  FunctionTwin fn_;
};
MacroTwin macroTwin(const _cell* sym);
// Whether an expansion the caller evaluates at once and then drops may be evaluated as the twin
// built it, without the copy the text's expansion gets: nothing its evaluation does could tell
// them apart.
bool evaluatesAlike(_cell* expansion);
// DOTIMES' end test, (let ((#:COUNT count)) ...): its answer where it is a plain comparison of
// integers, else kRunText. #:COUNT is null while no twin may run.
extern _cell* gDotimesCount;
_cell* dotimesEndTest(cfunction& m, _cell* args, Frame f, long n);
inline bool mayBeDotimesEnd(const _cell* args) {
  return isCons(args) && isCons(args->car) && isCons(args->car->car) &&
         args->car->car->car == gDotimesCount;
}
// A definition of this symbol was replaced (DEFUN, DEFMACRO).
void twinsRedefined(const _cell* sym);
// SYMBOL-FUNCTION handed out this symbol's definition; an in-place change may follow.
void twinsExposed(const _cell* sym);
// Some cons was changed in place (RPLACA, RPLACD, SET-ARRAY, or a twin doing what they do).
void twinsMutated();
// Goes up with every such change: an index of a list is good while it stays the same.
uint64_t structureGeneration();

// ---- for the twins themselves (eval/twins_*.cpp) ----
// Adds a row to the table: the library name, the other library names its text reaches
// (blank-separated), and the twin. Called from registerAllTwins, before initTwins reads them.
void registerTwin(const char* name, const char* reach, FunctionTwin fn, MacroTwin macro = nullptr);
// The same for a twin that reads nothing of the frame but the argument values and calls no
// user function (it may allocate): a call evaluates the arguments and hands it their values.
void registerValueTwin(const char* name, const char* reach, FunctionTwin fn);
// The same for a value twin that changes conses of its arguments in place.
void registerChangingTwin(const char* name, const char* reach, FunctionTwin fn);
// A value twin that also never allocates and never fails: FUNCALL from another twin may call it
// directly.
void registerPureTwin(const char* name, const char* reach, FunctionTwin fn);
// A pure twin of a comparison, with what it answers for two integers, so a sort can compare
// integer keys without reaching into their cells.
using IntOrder = bool (*)(int32_t x, int32_t y);
void registerComparisonTwin(const char* name, const char* reach, FunctionTwin fn, IntOrder order);
// The integer answer of fn's comparison twin while it may run, else null.
IntOrder intOrderOf(const _cell* fn);
void registerListTwins(cfunction& m);      // eval/twins_lists.cpp
void registerSequenceTwins(cfunction& m);  // eval/twins_sequences.cpp
void registerTableTwins(cfunction& m);     // eval/twins_tables.cpp
void registerMacroTwins(cfunction& m);     // eval/twins_macros.cpp
// Whether fn can be called with `count` arguments the way FUNCALL of it would, without any
// failure coming from the call itself: a function object or a DEFUN whose lambda list takes
// that many, or a built-in that works on values alone.
bool callableWith(cfunction& m, _cell* fn, long count);
// For a built-in that callableWith admits only on some values (CAR, CDR, 1+, 1-): whether x is
// one; a twin checks every value before its first call.
bool acceptsValue(const _cell* fn, const _cell* x);
// Makes sure `cells` cells can be handed out before the next evaluation step, collecting (at a
// twin's entry, where the call's frame protects everything) if need be; false if they cannot.
bool ensureFree(cfunction& m, long cells);
// FUNCALL of fn on values, in the frame f: its result, or null after its failure.
_cell* callWith(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n);
// A test on (a b): EQ and EQL answer at once, anything else through callWith. 1 true, 0 false,
// -1 when the call failed.
int holds(cfunction& m, _cell* test, _cell* a, _cell* b, Frame f, long n);
