// Evaluator: dispatch, bindings and frames, built-in operators, application and macros,
// non-local exits, errors and the debug loop.
//
// Invariants
// - Every evaluation routine takes a form (or an unevaluated argument list), the current
//   frame and its record count, and returns a cell; null means a failure (its message has
//   been printed) or a pending THROW/RETURN-FROM. Callers pass a null up at once.
// - Subforms are evaluated only through `eval`. Anything a routine still needs after an
//   evaluation must be on the cell stack (CellFrame) or in a registered frame meanwhile.
// - A variable is looked up in the current frame only, then in the global table. Binding
//   forms copy the enclosing frame behind their own variables and write the copies back.
// - Multiple values: an evaluation returns its primary value itself; when it has several,
//   `valuesList` holds all of them until the next evaluation that makes its own result.
//   Routines that hand on a nested result leave the channel alone; routines that return a
//   result they made (or a constant such as NIL) clear it.
// - Frames live in FrameBlocks: released when their activation ends unless a function object
//   captured them, in which case the collector frees them once nothing refers to them.
#pragma once

#include <array>

#include "eval/ops.h"
#include "heap/heap.h"
#include "heap/machine_stack.h"
#include "reader/reader.h"

using Frame = _symval*;
struct TwinCall;

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

  // ---- core (eval/eval.cpp) ----
  // One evaluation step. An atom takes a short path while nothing needs attending to.
  _cell* eval(_cell* form, Frame f, long n) {
    return form->type == Type::Cons ? evalStep(form, f, n) : evalAtom(form, f, n);
  }
  _cell* evalStep(_cell* form, Frame f, long n);  // any form, the whole step
  _cell* fullStep(_cell* form, Frame f, long n);  // the same, everything checked in turn
  _cell* stepEnd(_cell* r);                       // the room used up: a collection perhaps due
  _cell* evalAtom(_cell* form, Frame f, long n);
  // One test on the common path for everything a step's start may have to attend to: a
  // collection perhaps due or a pool's reserve reached (the room used up), Ctrl-C.
  bool needsAttention() const {
    return kGcStress || (room | -static_cast<long>(interruptRequested)) < 0;
  }
  // An atom's value by the short path: its step has nothing to attend to and it is a constant
  // or a bound variable, so nothing can be collected meanwhile and nothing need be protected.
  // Null for anything else, which takes the whole step.
  _cell* quickAtom(_cell* form, Frame f, long n) {
    if (form->type == Type::Cons || needsAttention() || stackLow()) return nullptr;
    _cell* r = form;
    if (form->type == Type::Symbol && !(r = variableValue(form, f, n))) return nullptr;
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
  [[gnu::always_inline]] _cell* evalu(_cell* form, Frame f, long n, int& keepValues);
  _cell* syntaxError(Frame f, long n);            // "エラー: 文法エラー", debug loop, null
  _cell* fail(const char* message, Frame f, long n);  // message, debug loop, null
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
  // 1 when bound, 0 when the arguments do not fit, -1 when an argument's evaluation failed.
  int initTemploc(Frame nf, long nn, _cell* params, _cell* args, Frame f, long n);
  // An argument's evaluation failed: an error reported as a bad call, as the caller would have
  // it; a THROW or RETURN-FROM on its way out passes on untouched.
  _cell* argumentFailed(const char* message, Frame f, long n) {
    if (throwPending || returnFromPending) return nullptr;
    return fail(message, f, n);
  }
  // A lambda list of exactly `count` symbols, none of them &REST or &BODY.
  static bool plainLambdaList(_cell* params, long count);
  // Binds a lambda list of exactly `count` plain symbols to values in hand: 1, or 0 when the
  // frame is not that size.
  static int bindValues(Frame nf, long nn, _cell* params, _cell* const* values, long count);
  _cell* MakeRest(_cell* args, Frame f, long n);
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
  _cell* tsetq(_cell* args, Frame f, long n);
  _cell* tset(_cell* form, Frame f, long n);
  _cell* tdefparameter(_cell* args, Frame f, long n, bool onlyIfUnbound);
  _cell* tdefun(_cell* args, Frame f, long n, char tag);
  _cell* callUser(_cell* form, Frame f, long n);
  // The call of the function `head` (definition `def`) on argument values in hand, for a lambda
  // list of exactly `count` plain symbols (the caller checks).
  _cell* callUserOn(_cell* head, _cell* def, _cell* const* values, long count, Frame f, long n);
  template <long nn>
  _cell* callByValue(const TwinCall& row, _cell* def, _cell* args, Frame f, long n);

  // ---- sequencing, conditionals, binding (eval/control.cpp) ----
  _cell* tprogn(_cell* body, Frame f, long n);
  _cell* tprog1(_cell* body, Frame f, long n);
  _cell* IfClause(_cell* args, Frame f, long n);
  _cell* condition(_cell* clauses, Frame f, long n);
  _cell* tand(_cell* forms, Frame f, long n);
  _cell* tor(_cell* forms, Frame f, long n);
  _cell* Let(_cell* args, Frame f, long n);
  _cell* LetAst(_cell* args, Frame f, long n);

  // ---- application, macros, backquote (eval/apply.cpp) ----
  _cell* tlist(_cell* args, Frame f, long n);
  _cell* tlist2(_cell* args, Frame f, long n, _cell** first);
  _cell* values(_cell* args, Frame f, long n);
  _cell* function(_cell* x, Frame f, long n);
  _cell* funcall(_cell* args, _cell* argForms, Frame f, long n);
  _cell* apply(_cell* args, _cell* rest, Frame f, long n);
  _cell* MakeQuoteEach(_cell* l);
  _cell* callObject(_cell* fn, _cell* argForms, Frame f, long n);
  // The same call on argument values in hand, for a lambda list of exactly `count` plain
  // symbols (the caller checks): bound as their quoted forms would have been.
  _cell* callObjectOn(_cell* fn, _cell* const* values, long count, Frame f, long n);
  _cell* MacroExec(_cell* args, _symval* rec, Frame f, long n);
  // The expansion, fresh as the text's; `evaluated`: the caller evaluates it at once and drops
  // it, so it may share what its evaluation cannot tell apart.
  _cell* MacroExec2(_cell* args, _symval* rec, Frame f, long n, bool evaluated = false);
  _cell* backquote(_cell* args, Frame f, long n);
  _cell* backquote2(_cell* t, Frame f, long n);
  _cell* rplaca(_cell* c, _cell* v, Frame f, long n);
  _cell* rplacd(_cell* c, _cell* v, Frame f, long n);

  // ---- non-local exits (eval/nonlocal.cpp) ----
  _cell* prog(_cell* args, Frame f, long n);
  _cell* progBody(_cell* body, Frame f, long n);
  int progBody2(_cell* start, Frame f, long n);
  _cell* tgo(_cell* args, Frame f, long n);
  _cell* catch_lisp(_cell* args, Frame f, long n);
  _cell* throw_lisp(_cell* args, Frame f, long n);
  _cell* unwind_protect(_cell* args, Frame f, long n);
  _cell* block_lisp(_cell* args, Frame f, long n);
  _cell* return_from_lisp(_cell* args, Frame f, long n);

  // ---- built-in operators (eval/builtins.cpp) ----
  [[gnu::noinline]] _cell* builtin(Op op, _cell* form, Frame f, long n, int& keepValues);
  // The operators whose whole work is their handler on the argument list (null for the
  // others): the common step calls them without the dispatcher.
  using DirectOp = _cell* (*)(cfunction&, _cell*, Frame, long);
  static const std::array<DirectOp, kOpCount> directOps;
  // Whether the argument list has the operator's fewest arguments.
  static bool enoughArgs(Op op, const _cell* args) {
    unsigned fewest = kOpInfo[static_cast<int>(op)].fewest;
    return fewest == 0 || (isCons(args) && (fewest == 1 || isCons(args->cdr)));
  }
  _cell* MultiPrintS(_cell* list);
  _cell* symbolFunction(_cell* args, Frame f, long n);
  _cell* macroexpand(_cell* args, Frame f, long n);
  _cell* eval1(_cell* args, Frame f, long n);

  // ---- errors (eval/debug.cpp) ----
  void errorlisp(Frame f, long n);
  void reportResult(_cell* r);  // how the top level and debug loops show a result
  _cell* breaklisp(Frame f, long n);

  // ---- numbers (eval/call_numbers.cpp) ----
  _cell* plus(_cell* args, Frame f, long n);
  _cell* minus(_cell* args, Frame f, long n);
  _cell* times(_cell* args, Frame f, long n);
  _cell* divide(_cell* args, Frame f, long n);
  _cell* OnePlus(_cell* args, Frame f, long n);
  _cell* OneMinus(_cell* args, Frame f, long n);
  _cell* minusp(_cell* v, Frame f, long n);
  _cell* jSqrt(_cell* form, Frame f, long n);
  _cell* jExpt(_cell* base, _cell* expo, Frame f, long n);
  _cell* jExp(_cell* form, Frame f, long n);
  _cell* jLog(_cell* form, Frame f, long n);
  _cell* jSin(_cell* form, Frame f, long n);
  _cell* jCos(_cell* form, Frame f, long n);
  _cell* jTan(_cell* form, Frame f, long n);
  _cell* jAsin(_cell* form, Frame f, long n);
  _cell* jAcos(_cell* form, Frame f, long n);
  _cell* jAtan(_cell* form, Frame f, long n);
  _cell* jEvenp(_cell* form, Frame f, long n);
  _cell* tfloor(_cell* form, Frame f, long n);
  _cell* Random(_cell* form, Frame f, long n);

  // ---- text (eval/call_text.cpp) ----
  _cell* tchar(_cell* args, Frame f, long n);
  _cell* coerce(_cell* args, Frame f, long n);
  _cell* char_to_code(_cell* args, Frame f, long n);
  _cell* code_to_char(_cell* args, Frame f, long n);
  _cell* symbolname(_cell* args, Frame f, long n);
  _cell* t_intern(_cell* args, Frame f, long n);
  _cell* t_intern_wide(_cell* args, Frame f, long n);

  // ---- streams (eval/call_streams.cpp) ----
  _cell* topen(_cell* args, Frame f, long n);
  _cell* tclose(_cell* form, Frame f, long n);
  _cell* tread(_cell* args, Frame f, long n);
  _cell* readLineOp(_cell* args, Frame f, long n);

  // ---- time (eval/call_time.cpp) ----
  _cell* LocalTime(_cell* form, Frame f, long n);
  _cell* MakeTime(_cell* form, Frame f, long n);
};

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
