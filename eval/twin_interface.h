// What the evaluator knows of the start-up library's native twins (library/): where a call
// finds its twin, how it runs one, and what it tells them. The twins register themselves
// and keep these tables; nothing in the evaluator depends on which twins exist.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/eval.h"
#include "heap/keywords.h"

using FunctionTwin = _cell* (*)(cfunction& m, Frame args, long count, Frame f, long n);
using MacroTwin = _cell* (*)(cfunction& m, _cell* forms);

// What a call of a symbol needs of its twin, by symbol index; fn is null while no twin may run.
// `byValue` is 1, 2 or 3 when the twin is a Value twin and the library's lambda list is that
// many plain symbols: a call may then hand it the values without making the frame. Otherwise 0.
struct TwinCall {
  FunctionTwin fn;
  int byValue;
  bool changes;     // a value twin that changes conses in place (NCONC, SETF-HASH, REMHASH)
  bool setsValues;
};
extern std::vector<TwinCall> gTwinCalls;
// The global values of NIL and T. The texts read them as variables and a program may assign
// them; the twins answer the constants, so they stand aside while either holds anything else.
extern _cell* const* gNilValue;
extern _cell* const* gTValue;

// False with ZELKORA_TWINS=0: the evaluator's own shortcuts stay off too, so that the same
// program run both ways compares them with the plain paths.
extern bool gTwinsEnabled;
inline bool fastPathsOn() { return gTwinsEnabled; }
// Definitions made (DEFUN, DEFMACRO), and in-place changes of conses flagged ConsMeta::Watched.
extern uint64_t gDefinitions;
extern uint64_t gWatchedChanges;
extern uint64_t gTwinSwitches;  // changes of which twins may run

// Whether both still hold themselves: asked by every twin's call, so kept up to date by the
// assignments of global values (globalAssigned) rather than read through the table each time.
extern bool gConstantsIntact;
inline bool twinConstantsIntact() { return gConstantsIntact; }
inline void globalAssigned(const _cell* sym) {
  if (sym == NILCell || sym == TCell) gConstantsIntact = *gNilValue == NILCell && *gTValue == TCell;
}

// The twin of a call of this symbol, or null when the text must run.
inline const TwinCall* functionTwin(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gTwinCalls.size() && gTwinCalls[i].fn && twinConstantsIntact()) return &gTwinCalls[i];
  return nullptr;
}

// The row of calls of this symbol, as it stands; whether its twin may run is read from it only
// once the call's arguments are evaluated (one may turn the twin off, or assign NIL or T).
inline const TwinCall* twinRow(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  return i < gTwinCalls.size() ? &gTwinCalls[i] : nullptr;
}

// Every call of a twin: its answer, which carries the values the text's would.
inline _cell* runTwin(cfunction& m, TwinCall t, Frame a, long count, Frame f, long n) {
  _cell* r = t.fn(m, a, count, f, n);
  if (r && r != kRunText && !t.setsValues) m.valuesList = nullptr;
  return r;
}

// A value twin declines an input it does not handle (a circular one, one too large for the
// pool) before anything happens, and the text runs. The text's calls of its own function then
// go to the text too, while it runs: a recursive text would otherwise have the twin check each
// part of that input again, all of it each time. Value texts call no user code, so nothing else
// is slowed.
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
// ---- the one interface between the twins and the rest of the evaluator ----
// A definition of this symbol was replaced (DEFUN, DEFMACRO).
void redefined(const _cell* sym);
// SYMBOL-FUNCTION handed out this symbol's definition; an in-place change may follow.
void exposed(const _cell* sym);
// The cons `changed` was changed in place (RPLACD, SET-ARRAY, or a twin doing what they do).
// `byTableTwin`: SETF-HASH's or REMHASH's twin changed a value or the spine of a table's entry
// list, and nothing else.
void mutated(const _cell* changed, bool byTableTwin = false);
// RPLACA: only the car of `changed` was changed.
void carMutated(const _cell* changed);
// The expansion a macro twin made for this call (the cons after the macro's name) at an earlier
// evaluation, ready to evaluate again, when nothing since could make it differ from a new one
// or let the program reach its conses; else null.
_cell* keptExpansion(const _cell* sym, const _cell* args);
// Keeps an expansion about to be evaluated for the next evaluation of the same call, when it
// is one that can be kept.
void keepExpansion(const _cell* sym, _cell* args, _cell* expansion);
