// assignment and definition forms, and the call of a user-defined function
#include <cstring>
#include <vector>

#include "eval/eval.h"
#include "eval/twin_interface.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* cfunction::lispSetq(_cell* args, Frame f, long n) {
  if (!isCons(args) || !isCons(args->cdr)) return syntaxError(f, n);
  _cell* var = args->car;
  if (isSymbol(var) && var->attr == Attr::Keyword) return syntaxError(f, n);
  _cell* v;
  {
    CellFrame g(*this, var);
    v = eval(args->cdr->car, f, n);
  }
  if (!v) return nullptr;
  if (!isSymbol(var)) return syntaxError(f, n);
  long i = getLocal(f, n, var);
  if (i >= 0) {
    f[i].value = v;
  } else {
    CellFrame g(*this, v);
    globalTable[getSymVal2(var)].value = v;
    globalAssigned(var);
  }
  return v;
}

_cell* cfunction::lispSet(_cell* args, Frame f, long n) {
  if (!isCons(args) || !isCons(args->cdr)) return syntaxError(f, n);
  CellFrame g(*this, args);
  _cell* sym = eval(args->car, f, n);
  if (!sym) return nullptr;
  g.push(sym);
  if (!isCons(args->cdr)) return syntaxError(f, n);  // cut short by the first argument
  _cell* v = eval(args->cdr->car, f, n);
  if (!v) return nullptr;
  if (!isSymbol(sym) || sym->attr == Attr::Keyword) return syntaxError(f, n);
  globalTable[getSymVal2(sym)].value = v;
  globalAssigned(sym);
  return v;
}

_cell* cfunction::lispDefparameter(_cell* args, Frame f, long n) {
  return defineVariable(args, f, n, false);
}

_cell* cfunction::lispDefvar(_cell* args, Frame f, long n) { return defineVariable(args, f, n, true); }

_cell* cfunction::defineVariable(_cell* args, Frame f, long n, bool onlyIfUnbound) {
  if (!isCons(args) || !isCons(args->cdr)) return syntaxError(f, n);
  _cell* name = args->car;
  _cell* v;
  {
    CellFrame g(*this, name);
    v = eval(args->cdr->car, f, n);
  }
  if (!v) return nullptr;
  if (!isSymbol(name) || name->attr == Attr::Keyword) return syntaxError(f, n);
  if (onlyIfUnbound && getSymVal(name) >= 0) return name;
  globalTable[getSymVal2(name)].value = v;
  globalAssigned(name);
  return name;
}

_cell* cfunction::lispDefun(_cell* args, Frame f, long n) { return define(args, f, n, 'f'); }

_cell* cfunction::lispDefmacro(_cell* args, Frame f, long n) { return define(args, f, n, 'm'); }

_cell* cfunction::define(_cell* args, Frame f, long n, char tag) {
  if (!CheckFunc(args)) return syntaxError(f, n);
  _cell* name = args->car;
  // The definition is entered under the interned symbol of the name's text, which for a
  // symbol made by INTERN-WIDE is the ordinary symbol of that name.
  _cell* sym = name->attr == Attr::Uninterned ? getStringCell(nameOf(name)) : name;
  if (!sym) return nullptr;
  _symval* rec = getFuncval(sym);
  _cell* params = args->cdr->car;
  _cell* body = args->cdr->cdr;
  rec->value = cons(params, cons(cons(BLOCKLISP, cons(name, body)), NILCell));
  thawDefinitions();  // the old definition may be garbage now
  rec->symbol = sym;
  rec->tag = tag;
  redefined(sym);
  return name;
}

namespace {
// A user function's body, in its bound frame. DEFUN's body is one BLOCK form: run it directly.
// Its own step would change nothing: the first form of a non-empty body starts a step at the
// same moment, in this frame.
inline _cell* runBody(cfunction& m, _cell* def, Frame nf, long nn) {
  _cell* block = isCons(def->cdr) && def->cdr->cdr == NILCell ? def->cdr->car : nullptr;
  if (block && isCons(block) && block->car == BLOCKLISP && isCons(block->cdr) &&
      isSymbol(block->cdr->car) && isCons(block->cdr->cdr))
    return m.lispBlock(block->cdr, nf, nn);
  return m.lispProgn(def->cdr, nf, nn);
}

// The body after the function's twin declined: a value twin stands aside meanwhile.
[[gnu::noinline, gnu::cold]] _cell* runBodyAside(cfunction& m, FunctionTwin twin, _cell* def,
                                                 Frame nf, long nn) {
  TwinStandsAside aside(twin);
  return runBody(m, def, nf, nn);
}

// A failed argument has reported itself; arguments that do not fit the lambda list are an
// error naming the counts. `given` as runUser has it.
[[gnu::noinline, gnu::cold]] _cell* miscalled(cfunction& m, _cell* head, _cell* def, long given,
                                              Frame f, long n) {
  _cell* call = m.stepForm;  // the call itself: its dispatch set it
  if (given < 0 && isCons(call) && call->car == head) given = listLength(call->cdr);
  m.noteMiscall(head, def->car, given);
  return m.fail(msg::ArgCount, f, n);
}

// A user function's call once `bind` has bound its lambda list of `nn` names (answering as
// initTemploc): its twin when it has one that answers, else its body. With `kPlain` the call
// found the definition plain (see PlainCall) when the watched changes stood at `plainAt`: while
// they still do, its BLOCK runs directly.
// `given`: how many argument values are in hand, or -1 when the step's form holds the
// argument forms (for an error's report).
template <bool kPlain = false, class Bind>
_cell* runUser(cfunction& m, _cell* head, const TwinCall* twin, _cell* def, long nn, Frame f,
               long n, long given, Bind bind, uint64_t plainAt = 0) {
  CellFrame keep(m, def);  // a redefinition while running must not free the running body
  FrameHolder frame(m, nn, !kPlain);  // a plain call's binding writes every record
  if (nn && !frame.recs()) return m.fail(msg::FrameAllocFail, f, n);
  int bound = bind(frame.recs(), nn, def->car);
  if (bound <= 0) return bound < 0 ? nullptr : miscalled(m, head, def, given, f, n);
  _cell* r = kRunText;
  {
    LocFrame reg(m, frame.recs(), nn);
    Activated active(m.activations, {nullptr, head, frame.recs(), nn});
    // Read now, after the arguments (one may have turned the twin off) and before the twin's
    // own calls (which may change the row).
    // A twin reads its rest arguments as a list: a call whose argument forms end in an atom,
    // such as (f a . 5), is the text's.
    FunctionTwin fn =
        twin && twin->fn && twinConstantsIntact() && bound != 2 ? twin->fn : nullptr;
    if (fn) r = runTwin(m, *twin, frame.recs(), nn, f, n);
    if (r == kRunText) {
      if (fn)
        r = runBodyAside(m, fn, def, frame.recs(), nn);
      else if (kPlain && gWatchedChanges == plainAt)  // the arguments changed none of it
        r = m.runBlockInline(def->cdr->car->cdr->car, def->cdr->car->cdr->cdr, frame.recs(), nn);
      else
        r = runBody(m, def, frame.recs(), nn);
    }
  }
  m.returnFromValue = nullptr;  // a RETURN-FROM's value does not cross a function boundary
  m.returnFromValues = nullptr;
  return r;
}

// A DEFUN whose lambda list is plain symbols ending in NIL, and whose body is still the one
// BLOCK form DEFUN made, as runBody finds it: a call binds it and runs the block without
// working either out again. Worked out at a call, it holds while no definition is made and no
// watched cons changes; the conses it stands on (the definition's four, the lambda list's and
// the body's first) are watched from then on.
struct PlainCall {
  _cell* def = nullptr;
  uint64_t definitions = 0;
  uint64_t watched = 0;
  long count = 0;  // 0: not plain
  // The twins' switches when it was worked out, and whether its symbol then had no twin that
  // could run: while both hold, a call needs neither the function table nor the twins' row.
  uint64_t switches = 0;
  bool twinless = false;
};
std::vector<PlainCall> gPlainCalls;  // by symbol index

// The plain shape of `def`, or 0 when it has none; worked out once for a plain definition and
// once for any other, until something it depends on changes.
long plainCount(_cell* def) {
  long count = 0;
  _cell* p = def->car;
  for (; isCons(p); p = p->cdr, count++)
    if (!isSymbol(p->car) || p->car == AMPREST || p->car == AMPBODY || count == 64) return 0;
  if (p != NILCell || !isCons(def->cdr) || def->cdr->cdr != NILCell) return 0;
  _cell* block = def->cdr->car;
  if (!isCons(block) || block->car != BLOCKLISP || !isCons(block->cdr) ||
      !isSymbol(block->cdr->car) || !isCons(block->cdr->cdr))
    return 0;
  for (_cell* c : {def, def->cdr, block, block->cdr, block->cdr->cdr})
    setConsFlag(c, ConsMeta::Watched);
  for (p = def->car; isCons(p); p = p->cdr) setConsFlag(p, ConsMeta::Watched);
  return count;
}

[[gnu::noinline]] const PlainCall* examinePlain(const _cell* head, _cell* def) {
  if (!fastPathsOn()) return nullptr;
  auto i = static_cast<size_t>(head->symIndex);
  if (i >= gPlainCalls.size()) gPlainCalls.resize(i + 1);
  const TwinCall* row = twinRow(head);
  gPlainCalls[i] = {def, gDefinitions, gWatchedChanges, plainCount(def), gTwinSwitches,
                    !row || (!row->fn && !row->byValue)};
  return gPlainCalls[i].count ? &gPlainCalls[i] : nullptr;
}

// The plain call of `head` as it was worked out, when nothing it depends on has changed since
// and its symbol had no twin: its definition is still the one the table holds, a function's.
inline const PlainCall* knownPlainCall(const _cell* head) {
  auto i = static_cast<size_t>(head->symIndex);
  if (i >= gPlainCalls.size()) return nullptr;
  const PlainCall& c = gPlainCalls[i];
  return c.count && c.twinless && c.definitions == gDefinitions && c.watched == gWatchedChanges &&
                 c.switches == gTwinSwitches
             ? &c
             : nullptr;
}

inline const PlainCall* plainCall(const _cell* head, _cell* def) {
  auto i = static_cast<size_t>(head->symIndex);
  if (i < gPlainCalls.size()) {
    const PlainCall& c = gPlainCalls[i];
    if (c.def == def && c.definitions == gDefinitions && c.watched == gWatchedChanges)
      return c.count ? &c : nullptr;
  }
  return examinePlain(head, def);
}

// The text of a value twin's function on the argument values, the twin (if it is still on)
// standing aside meanwhile.
[[gnu::noinline, gnu::cold]] _cell* textOnValues(cfunction& m, _cell* head, FunctionTwin twin,
                                                 _cell* def, _cell* const* values, long count,
                                                 Frame f, long n) {
  auto text = [&] {
    return runUser(m, head, nullptr, def, cfunction::tlength(def->car), f, n, count,
                   [&](Frame nf, long nn, _cell* params) {
                     return cfunction::bindValues(nf, nn, params, values, count);
                   });
  };
  if (!twin) return text();
  TwinStandsAside aside(twin);
  return text();
}
// A value twin's call once its arguments' values are in `recs`.
[[gnu::always_inline]] inline _cell* answerByValue(cfunction& m, const TwinCall& row, _cell* head,
                                                   _cell* def, _symval* recs, long count, Frame f,
                                                   long n) {
  // Read after the arguments: evaluating one may have turned the twin off (a DEFUN of a name
  // its text reaches, NIL or T assigned).
  FunctionTwin fn = row.fn;
  if (fn && twinConstantsIntact()) {
    // The values rule for a value twin: none, unless the twin makes them (GETHASH). It calls no
    // user code, so clearing the channel before it answers is clearing it for its answer.
    m.valuesList = nullptr;
    _cell* r = fn(m, recs, count, f, n);
    if (r != kRunText) {
      m.returnFromValue = nullptr;  // as after any call of a user function
      m.returnFromValues = nullptr;
      return r;
    }
  }
  _cell* values[3];
  for (long i = 0; i < count; i++) values[i] = recs[i].value;
  return textOnValues(m, head, fn, def, values, count, f, n);
}

}  // namespace

_cell* cfunction::callUser(_cell* form, Frame f, long n) {
  _cell* head = form->car;
  _cell* args = form->cdr;
  const TwinCall* twin = nullptr;
  _cell* def;
  const PlainCall* plain = knownPlainCall(head);
  if (plain) {
    def = plain->def;
  } else {
    _symval* rec = getFuncval2(head);
    if (!rec) {
      // BACKTRACE is the library's in all but its text: a program's own DEFUN of it wins.
      if (args == NILCell && std::strcmp(nameOf(head), "BACKTRACE") == 0 &&
          head->attr != Attr::Uninterned)
        return lispBacktrace();
      sayRaw(msg::Undefined);
      sayRaw("--");
      cprint::printS(head);
      say("");
      errorlisp(f, n);
      return nullptr;
    }
    if (rec->tag == 'm') return callMacro(args, rec, f, n);
    twin = twinRow(head);
    def = rec->value;
    if (twin && twin->byValue) {
      _cell* r = twin->byValue == 1   ? callByValue<1>(*twin, head, def, args, f, n)
                 : twin->byValue == 2 ? callByValue<2>(*twin, head, def, args, f, n)
                                      : callByValue<3>(*twin, head, def, args, f, n);
      if (r != kRunText) return r;
    }
    plain = plainCall(head, def);
  }
  if (plain) {
    return runUser<true>(
        *this, head, twin, def, plain->count, f, n, -1,
        [&](Frame nf, long nn, _cell* params) { return bindArguments(nf, nn, params, args, f, n); },
        plain->watched);
  }
  return runUser(*this, head, twin, def, tlength(def->car), f, n, -1,
                 [&](Frame nf, long nn, _cell* params) {
                   return initTemploc(nf, nn, params, args, f, n);
                 });
}

// The values of the first `count` argument forms into `recs`, when every one is a constant or a
// bound variable read by the atom's short path (the caller has found the step's start quiet):
// nothing can be collected before the twin holds them, so nothing need be protected. False at
// the first that is not; reading an atom has no effect, so the caller's other path reads them
// all again.
template <long count>
[[gnu::always_inline]] inline bool cfunction::quickValues(_cell* args, Frame f, long n,
                                                          _symval* recs) {
#pragma GCC unroll 3
  for (long i = 0; i < count; i++, args = args->cdr) {
    _cell* v = quickRead(args->car, f, n);
    if (!v) return false;
    recs[i] = {0, nullptr, v};
  }
  return true;
}

// A call of a value twin's function with as many argument forms as its plain lambda list
// (`nn`, from one to three): the arguments are evaluated in order as the call path would
// evaluate them, then the twin answers from the values; when it leaves the call to the text,
// the text runs in a frame bound to those values. kRunText, with nothing evaluated, for any
// other shape.
template <long nn>
_cell* cfunction::callByValue(const TwinCall& row, _cell* head, _cell* def, _cell* args, Frame f,
                               long n) {
  _cell* last = args;
  for (long i = 1; i < nn && isCons(last); i++) last = last->cdr;
  if (!isCons(last) || last->cdr != NILCell) return kRunText;
  _symval recs[nn];
  if (!isCons(args->car) && quickStart() && quickValues<nn>(args, f, n, recs))
    return answerByValue(*this, row, head, def, recs, nn, f, n);
  CellFrame g(*this, def);
  g.push(args);
  // An argument's evaluation may change the list of argument forms still to come: as the
  // text's binding does, a list cut short or grown is a call with the wrong number of them.
#pragma GCC unroll 3
  for (long i = 0; i < nn; i++, args = args->cdr) {
    if (!isCons(args)) return noteMiscall(head, def->car, i), fail(msg::ArgCount, f, n);
    _cell* v = evalPredicate(args->car, f, n);
    if (!v) return nullptr;
    recs[i] = {0, nullptr, g.push(v)};
  }
  if (!isSymbol(args))
    return noteMiscall(head, def->car, nn + listLength(args)), fail(msg::ArgCount, f, n);
  return answerByValue(*this, row, head, def, recs, nn, f, n);
}

// The step of `form` when it is a call of a value twin's function and the step's start has
// nothing to attend to: what dispatch and callUser do for such a call, without passing through
// them. kRunText, with nothing done, for any other form.
_cell* cfunction::valueTwinStep(_cell* form, Frame f, long n) {
  _cell* head = form->car;
  if (!isSymbol(head)) return kRunText;
  const TwinCall* row = twinRow(head);
  if (!row || !row->byValue || !quickStart()) return kRunText;
  _symval* rec = getFuncval2(head);
  if (!rec || rec->tag == 'm') return kRunText;
  _cell* outer = stepForm;
  stepForm = form;
  _cell* def = rec->value;
  _cell* args = form->cdr;
  _symval recs[2];
  if (row->byValue == 2 && isCons(args) && isCons(args->cdr) && args->cdr->cdr == NILCell &&
      quickValues<2>(args, f, n, recs)) {
    // Two constants or bound variables, the common test.
    _cell* r = answerByValue(*this, *row, head, def, recs, 2, f, n);
    stepForm = outer;
    return room < 0 && r ? stepEnd(r) : r;
  }
  _cell* r = row->byValue == 1   ? callByValue<1>(*row, head, def, args, f, n)
             : row->byValue == 2 ? callByValue<2>(*row, head, def, args, f, n)
                                 : callByValue<3>(*row, head, def, args, f, n);
  if (r == kRunText) r = callUser(form, f, n);  // another shape: nothing was evaluated
  stepForm = outer;
  return room < 0 && r ? stepEnd(r) : r;
}

template <int depth>
_cell* cfunction::pureAnswer(_cell* form, Frame f, long n) {
  constexpr uint8_t kPure = Flag::ValueTwin | Flag::PureTwin;
  constexpr bool nested = depth > 0;
  const TwinCall* row = twinRow(form->car);
  if (!row || row->byValue < 1 || row->byValue > 2 || (!nested && !quickStart())) return kRunText;
  // A nested call's answer is used only by its caller, which checks the constants and clears
  // the channels after it: nothing runs between.
  long count = row->byValue;
  _symval recs[2];
  _cell* args = form->cdr;
  for (long i = 0; i < count; i++, args = args->cdr) {
    if (!isCons(args)) return kRunText;
    _cell* a = args->car;
    _cell* v;
    if (!isCons(a))
      v = quickRead(a, f, n);
    else if (depth < kPureDeepest && isSymbol(a->car) && (a->car->flags & kPure) == kPure)
      v = pureAnswer<depth < kPureDeepest ? depth + 1 : depth>(a, f, n);
    else
      return kRunText;
    if (!v || v == kRunText) return kRunText;
    recs[i].value = v;  // all a twin reads
  }
  if (args != NILCell) return kRunText;
  FunctionTwin fn = row->fn;
  if (!fn || (!nested && !twinConstantsIntact())) return kRunText;
  _cell* r = fn(*this, recs, count, f, n);
  if (nested || r == kRunText) return r;
  valuesList = nullptr;  // as answerByValue leaves them
  returnFromValue = nullptr;
  returnFromValues = nullptr;
  return r;
}
// The outer step is called from other files; a build that inlines nothing here still needs it.
template _cell* cfunction::pureAnswer<0>(_cell*, Frame, long);

_cell* cfunction::callUserOn(_cell* head, _cell* def, _cell* const* values, long count, Frame f,
                             long n) {
  return runUser(*this, head, twinRow(head), def, tlength(def->car), f, n, count,
                 [&](Frame nf, long nn, _cell* params) {
                   return bindValues(nf, nn, params, values, count);
                 });
}
