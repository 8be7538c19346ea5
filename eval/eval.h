// Evaluator: dispatch, bindings and frames, built-in operators, application and macros,
// non-local exits, errors and the debug loop.
//
// Invariants
// - Every evaluation routine takes a form (or an unevaluated argument list), the current
//   frame and its record count, and returns a cell; null means a failure (its message has
//   been printed) or a pending THROW/RETURN-FROM. Callers pass a null up at once.
// - Subforms are evaluated only through `eval` (or a short path registered with it, such as
//   `gLetShortcut`, that gives the same value and effects). Anything a routine still needs after an
//   evaluation must be on the cell stack (CellFrame) or in a registered frame meanwhile.
// - A variable is looked up in the current frame only, then in the global table. Binding
//   forms copy the enclosing frame behind their own variables and write the copies back.
// - Multiple values: an evaluation returns its primary value itself; when it has several,
//   `valuesList` holds all of them until the next evaluation that makes its own result. The
//   step alone decides: after an operator whose row lacks kKeeps it clears the channel, after
//   one with kKeeps (and a user function's or lambda form's call) it hands on whatever the
//   last evaluation inside left there; an atom clears it. A kKeeps routine that returns a
//   result it made itself clears the channel with `made`.
// - Frames live in FrameBlocks: released when their activation ends unless a function object
//   captured them, in which case the collector frees them once nothing refers to them.
#pragma once

#include <array>
#include <string>

#include "eval/ops.h"
#include "heap/heap.h"
#include "heap/machine_stack.h"
#include "reader/reader.h"

using Frame = _symval*;

// Where evaluation is, for BACKTRACE and a program file's error report (eval/where.cpp).
// An active user function call, function object call or LET/LET* body, innermost first.
struct Activation {
  Activation* outer;
  _cell* head;  // the function's name, the function object, or LET / LET*
  Frame frame;  // its own records first: the arguments' or the variables' values
  long own;
};
// A form read from a file (a program file, or one LOAD reads) while it is being evaluated.
struct SourceForm {
  SourceForm* outer;
  const char* file;
  long line;         // where the form starts
  const char* text;  // its first bytes, on one line
};

inline _cell* truth(bool b) { return b ? TCell : NILCell; }

// The operator a head names, or Op::None: only the operators' symbols carry one.
inline Op opOf(const _cell* head) {
  return isSymbol(head) ? static_cast<Op>(head->op) : Op::None;
}
struct TwinCall;
// The answer of a twin that leaves the call to the text.
extern _cell* const kRunText;

class cfunction : public cmemory {
 public:
  // carried by a pending THROW / RETURN-FROM (roots for the collector)
  _cell* throwValue = nullptr;
  _cell* throwTag = nullptr;
  _cell* returnFromValue = nullptr;
  _cell* returnFromName = nullptr;
  _cell* throwValues = nullptr;       // the values list travelling with throwValue
  _cell* returnFromValues = nullptr;  // the values list travelling with returnFromValue

  cfunction();  // registers the words below with the collector

  // Where evaluation is (eval/where.cpp). `stepForm` is the innermost form whose step has
  // started and not ended: the dispatch keeps it, the debug loop takes it as the failed form.
  _cell* stepForm = nullptr;
  Activation* activations = nullptr;
  SourceForm* sources = nullptr;
  // What each open debug loop was opened on, innermost first.
  struct DebugEntry {
    DebugEntry* outer;
    _cell* failed;
    Activation* activations;
  };
  DebugEntry* debugEntries = nullptr;
  // BACKTRACE: the innermost debug loop's failed form, then the activations it was opened in;
  // nothing at the top level.
  void backtrace(FILE* out, const DebugEntry& at);
  _cell* lispBacktrace();
  // A program file's or LOAD's error: where, on standard error.
  void reportSources();
  // EVAL of a form READ took from a file: evaluated with where it came from on record.
  _cell* evalFrom(_cell* form, Frame f, long n);
  _cell* programRead = nullptr;  // the READ of a program file's next form, while it runs

  // ---- the step (eval/eval.cpp) ----
  // One evaluation step: its start, when anything needs attending to, then one dispatch on the
  // form's head through the operator rows (eval/ops.h). An atom takes a short path while
  // nothing needs attending to.
  _cell* eval(_cell* form, Frame f, long n) {
    return isCons(form) ? step(form, f, n) : evalAtom(form, f, n);
  }
  _cell* step(_cell* form, Frame f, long n);
  _cell* evalAtom(_cell* form, Frame f, long n);
  _cell* atomStep(_cell* form, Frame f, long n);  // an atom's whole step
  // The step's start: Ctrl-C, a collection due or a pool's reserve reached, the stack guard.
  // False when the step fails there (the message printed, the debug loop done).
  bool attend(_cell* form, Frame f, long n);
  _cell* stepEnd(_cell* r);  // the room used up: a collection perhaps due
  _cell* slowStep(_cell* form, Frame f, long n);  // a bare operator, or a start to attend to
  _cell* dispatch(Op op, _cell* form, Frame f, long n);
  _cell* callOther(_cell* form, Frame f, long n);  // a head that is not a symbol
  // `eval` for a form that is most often a call of a value twin's function or of arithmetic on
  // atoms (a test, an argument): such a call's step is taken in place.
  _cell* evalPredicate(_cell* form, Frame f, long n) {
    if (!isCons(form)) return evalAtom(form, f, n);
    _cell* head = form->car;
    if (isSymbol(head) && (head->flags & (Flag::ValueTwin | Flag::QuickArith))) {
      _cell* r = head->flags & Flag::PureTwin     ? pureTwinStep(form, f, n)
                 : head->flags & Flag::QuickArith ? arithStep(form, f, n)
                                                  : kRunText;
      if (r == kRunText && (head->flags & Flag::ValueTwin)) r = valueTwinStep(form, f, n);
      if (r != kRunText) return r;
    }
    return step(form, f, n);
  }
  // The step of (+ a b), (- a b), (1+ a) or (1- a) on integer constants or variables bound to
  // integers, with nothing to attend to at its start; kRunText, with nothing done, for any other
  // form (eval/call_numbers.cpp). It cannot fail or call anything, so no one sees its form.
  _cell* arithStep(_cell* form, Frame f, long n);
  // The step of a Pure twin's call whose arguments are constants, bound variables or such calls
  // themselves, with nothing to attend to at any of their starts; kRunText, with nothing done
  // that anyone could see, for any other (eval/definitions.cpp). Nothing in such a step can
  // fail, allocate or call user code, so no one can see the form it is on or collect meanwhile.
  _cell* pureTwinStep(_cell* form, Frame f, long n) { return pureAnswer<0>(form, f, n); }
  // `depth` above 0: an argument of such a call, that deep, whose start follows the call's own
  // with nothing between that could need attending to. Deeper nestings take the steps: a
  // failure at the top of one would otherwise walk all of it again at each level on its way
  // down, and the machine stack has no guard here.
  static constexpr int kPureDeepest = 8;
  template <int depth>
  _cell* pureAnswer(_cell* form, Frame f, long n);
  // The step of a value twin's call with nothing to attend to at its start, or kRunText with
  // nothing done (eval/definitions.cpp).
  _cell* valueTwinStep(_cell* form, Frame f, long n);
  // Arguments that are all constants or bound variables, read in place (eval/definitions.cpp).
  template <long count>
  bool quickValues(_cell* args, Frame f, long n, _symval* recs);
  // One test on the common path for everything a step's start may have to attend to: a
  // collection perhaps due or a pool's reserve reached (the room used up), Ctrl-C.
  bool needsAttention() const {
    return kGcStress || (room | -static_cast<long>(interruptRequested)) < 0;
  }
  // An atom's value by the short path: its step has nothing to attend to and it is a constant
  // or a bound variable, so nothing can be collected meanwhile and nothing need be protected.
  // Null for anything else, which takes the whole step.
  _cell* quickAtom(_cell* form, Frame f, long n) {
    return quickStart() ? quickRead(form, f, n) : nullptr;
  }
  // quickAtom in two halves, for a caller reading several atoms in a row: whether an atom's
  // step would have nothing to attend to at its start (reading one changes nothing of that),
  // then the atom's value, or null for a cons or an unbound variable.
  bool quickStart() const { return !needsAttention() && !stackLow(); }
  _cell* quickRead(_cell* form, Frame f, long n) {
    if (isCons(form)) return nullptr;
    _cell* r = form;
    if (isSymbol(form) && !(r = variableValue(form, f, n))) return nullptr;
    valuesList = nullptr;  // an atom's value never carries others
    return r;
  }
  // A symbol's value: itself for a keyword, else its innermost binding in the frame, else its
  // global value; null when unbound.
  [[gnu::always_inline]] _cell* variableValue(_cell* sym, Frame f, long n) {
    if (sym->attr == Attr::Keyword) return sym;
    long i = getLocal(f, n, sym);
    if (i >= 0 && f[i].value) return f[i].value;
    i = getSymVal(sym);
    return i >= 0 ? globalTable[i].value : nullptr;
  }
  _cell* syntaxError(Frame f, long n);            // "エラー: 文法エラー", debug loop, null
  _cell* fail(const char* message, Frame f, long n);  // message, debug loop, null
  // The same two, naming the value refused on the error's line on standard error.
  _cell* refuse(_cell* value, Frame f, long n) {
    refusedValue = value;
    return syntaxError(f, n);
  }
  _cell* fail(const char* message, _cell* refused, Frame f, long n) {
    refusedValue = refused;
    return fail(message, f, n);
  }
  _cell* poolError(Frame f, long n);
  _cell* interrupted(Frame f, long n);  // Ctrl-C: "エラー: 中断しました", debug loop, null
  // Hands on the result of an operation below the evaluator; a failure that asked for the
  // debug loop gets it here, in the caller's frame.
  _cell* checked(_cell* r, Frame f, long n) {
    if (!r && failure == Failure::Raised) {
      failure = Failure::None;
      errorlisp(f, n);
      return nullptr;
    }
    failure = Failure::None;
    return r;
  }
  _cell* made(_cell* r) {  // a result this routine made itself: no multiple values
    valuesList = nullptr;
    return r;
  }
  // `checked`, and a result that comes back is one this routine made; a failure leaves the
  // values channel as it was.
  _cell* checkedMade(_cell* r, Frame f, long n) { return checked(r, f, n) ? made(r) : nullptr; }

  // ---- bindings (eval/bindings.cpp) ----
  // 1 when bound, 0 when the arguments do not fit, -1 when an argument's evaluation failed;
  // 2 when bound, the rest parameter's list ending in the atom that ended the argument forms.
  int initTemploc(Frame nf, long nn, _cell* params, _cell* args, Frame f, long n);
  // initTemploc for a lambda list of exactly `nn` plain symbols ending in NIL (the caller knows).
  int bindArguments(Frame nf, long nn, _cell* params, _cell* args, Frame f, long n);
  // A lambda list of exactly `count` symbols, none of them &REST or &BODY.
  static bool plainLambdaList(_cell* params, long count);
  // Binds a lambda list of exactly `count` plain symbols to values in hand: 1, or 0 when the
  // frame is not that size.
  static int bindValues(Frame nf, long nn, _cell* params, _cell* const* values, long count);
  // The list of the values of the forms `args`, ending as they end (`rest`: that ending).
  _cell* MakeRest(_cell* args, Frame f, long n, _cell** rest);
  void SetOrgLoc(Frame outer, long outerN, Frame inner, long first, long innerN);
  int CheckFunc(_cell* args);
  // A circular list counts as empty, so nothing walks it for ever. Lambda lists and binding
  // lists are short: they are counted plainly, and checked for a cycle only when long.
  static long tlength(_cell* l) {
    long n = 0;
    for (const _cell* p = l; isCons(p); p = p->cdr)
      if (++n > 16) {
        n = listLength(l);
        return n < 0 ? 0 : n;
      }
    return n;
  }
  static _cell* LastCell(_cell* l);
  _cell* tmember(_cell* item, _cell* l);

  // ---- assignment, definitions, user calls (eval/definitions.cpp) ----
  _cell* callUser(_cell* form, Frame f, long n);
  _cell* define(_cell* args, Frame f, long n, char tag);  // DEFUN ('f') and DEFMACRO ('m')
  _cell* defineVariable(_cell* args, Frame f, long n, bool onlyIfUnbound);
  // The call of the function `head` (definition `def`) on argument values in hand, for a lambda
  // list of exactly `count` plain symbols (the caller checks).
  _cell* callUserOn(_cell* head, _cell* def, _cell* const* values, long count, Frame f, long n);
  template <long nn>
  _cell* callByValue(const TwinCall& row, _cell* head, _cell* def, _cell* args, Frame f, long n);

  // ---- application, macros, backquote (eval/apply.cpp) ----
  // The list of the argument forms' values, left to right (LIST); `first`, when given, gets
  // the first value itself (VALUES).
  _cell* argumentValues(_cell* args, Frame f, long n, _cell** first);
  _cell* MakeQuoteEach(_cell* l);
  _cell* callObject(_cell* fn, _cell* argForms, Frame f, long n);
  // The same call on argument values in hand, for a lambda list of exactly `count` plain
  // symbols (the caller checks): bound as their quoted forms would have been.
  _cell* callObjectOn(_cell* fn, _cell* const* values, long count, Frame f, long n);
  // A macro call: its expansion, evaluated at once.
  _cell* callMacro(_cell* args, _symval* rec, Frame f, long n);
  // The expansion, fresh as the text's; `evaluated`: the caller evaluates it at once and drops
  // it, so it may share what its evaluation cannot tell apart.
  _cell* expandMacro(_cell* args, _symval* rec, Frame f, long n, bool evaluated = false);
  _cell* fillTemplate(_cell* t, Frame f, long n);  // one backquote template, its commas evaluated
  _cell* rplaca(_cell* c, _cell* v, Frame f, long n);
  _cell* rplacd(_cell* c, _cell* v, Frame f, long n);

  // ---- non-local exits (eval/nonlocal.cpp) ----
  // A BLOCK's body once its name is known to be a symbol; the caller keeps both reachable.
  _cell* runBlock(_cell* name, _cell* body, Frame f, long n);
  // runBlock, its most common body, one form, taken here: a function's whole body.
  _cell* runBlockInline(_cell* name, _cell* body, Frame f, long n) {
    if (!isCons(body) || body->cdr != NILCell) return runBlock(name, body, f, n);
    valuesList = nullptr;  // as runBlock starts
    _cell* r = eval(body->car, f, n);
    return r ? r : blockReceives(name);
  }
  // A body form failed: the pending RETURN-FROM's value when it is addressed to this block.
  _cell* blockReceives(_cell* name) {
    if (!returnFromPending || returnFromName != name || !returnFromValue) return nullptr;
    returnFromPending = 0;
    valuesList = returnFromValues;
    return returnFromValue;
  }
  // A PROG** body: its statements, from wherever GO jumps to, until one falls off the end.
  _cell* progBody(_cell* body, Frame f, long n);
  long progBodies = 0;  // PROG** bodies running, the ones a GO can jump in
  // One run of a PROG** body's statements from `start`: 1 when a GO asks for a jump, 0 at the
  // end of the body, -1 on failure.
  int runStatements(_cell* start, Frame f, long n);

  // ---- the built-in operators: one routine per row of eval/ops.h ----
  // Each is defined in the file of its kind (builtins.cpp, control.cpp, call_numbers.cpp ...).
#define ZELKORA_OP_ROUTINE(op, kw, fewest, properties, group) \
  _cell* lisp##op(_cell* args, Frame f, long n);
  ZELKORA_OPERATORS(ZELKORA_OP_ROUTINE)
#undef ZELKORA_OP_ROUTINE
  // The dispatch table: the routine of each row, by operator number.
  using Routine = _cell* (*)(cfunction&, _cell*, Frame, long);
  static const Routine routines[kOpCount];
  // Whether the argument list has the operator's fewest argument forms.
  static bool enoughArgs(const OpInfo& row, const _cell* args) {
    return row.fewest == 0 || (isCons(args) && (row.fewest == 1 || isCons(args->cdr)));
  }

  _cell* MultiPrintS(_cell* list);  // the top level's way of showing several values

  // ---- errors (eval/debug.cpp) ----
  void errorlisp(Frame f, long n);
  // What the next error's line on standard error names beyond the form that failed (and
  // `refusedValue`): set where the error is found, read and cleared when it is reported.
  _cell* unboundVariable = nullptr;
  _cell* miscalled = nullptr;  // a function called with the wrong number of arguments
  _cell* miscalledParams = nullptr;
  long miscalledGiven = -1;  // how many it was given, when known
  _cell* noteMiscall(_cell* fn, _cell* params, long given) {
    miscalled = fn;
    miscalledParams = params;
    miscalledGiven = given;
    return nullptr;
  }
  void tellWhatFailed();
  // How the top level and debug loops show a result; Ctrl-C while it prints opens the debug
  // loop in the frame given.
  void reportResult(_cell* r, Frame f = nullptr, long n = 0);

};

// v as PRIN1 would write it, cut after `limit` bytes (at a character's start) with "...";
// the walk stops there too, however much structure v shares (eval/where.cpp).
std::string briefText(_cell* v, long limit);
// An active call as BACKTRACE shows it, on one line cut after `limit` bytes.
std::string briefCall(const Activation& a, long limit);

// Keeps a node at the front of one of the lists of where evaluation is (activations, sources,
// debug entries) for as long as it lives.
template <class Node>
class OnList {
 public:
  OnList(Node*& list, const Node& node) : list_(list), node_(node) {
    node_.outer = list;
    list = &node_;
  }
  ~OnList() { list_ = node_.outer; }
  OnList(const OnList&) = delete;
  OnList& operator=(const OnList&) = delete;

 private:
  Node*& list_;
  Node node_;
};
using Activated = OnList<Activation>;

// A LET whose first binding is of `var` is first offered to `answer`, which gives its value, or
// null for the LET to run as written; registered by the library's twins (DOTIMES' end test binds
// an uninterned symbol of its own), both null while none is.
struct LetShortcut {
  _cell* var = nullptr;
  _cell* (*answer)(cfunction& m, _cell* args, Frame f, long n) = nullptr;
};
extern LetShortcut gLetShortcut;

// GO's label and the (always NIL) result of a PROG** body that ran to its end.
extern _cell* GoSymbol;
extern _cell* ReturnValue;

// Set for a program run from a file: nobody is there to answer a debug loop, so an error or
// BREAK ends the process with status 1 right after its first message.
extern bool endOnError;
