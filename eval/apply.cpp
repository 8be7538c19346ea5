// function objects and their application, LIST and VALUES, macros, backquote, RPLACA/D
#include "eval/eval.h"
#include "eval/twin_interface.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* cfunction::argumentValues(_cell* args, Frame f, long n, _cell** first) {
  if (!isCons(args)) return NILCell;
  CellFrame g(*this, args);
  _cell* head = nullptr;
  _cell* tail = nullptr;
  for (; isCons(args); args = args->cdr) {
    _cell* v = eval(args->car, f, n);
    if (!v) return nullptr;
    _cell* c = cons(v, NILCell);
    if (tail) {
      tail->cdr = c;
    } else {
      head = g.push(c);
      if (first) *first = v;
    }
    tail = c;
  }
  return head;
}

_cell* cfunction::lispList(_cell* args, Frame f, long n) { return argumentValues(args, f, n, nullptr); }

// The first value itself is the result, so it keeps its identity and truth; the whole list
// rides in the values channel.
_cell* cfunction::lispValues(_cell* args, Frame f, long n) {
  _cell* first = nullptr;
  _cell* all = argumentValues(args, f, n, &first);
  if (!all) return nullptr;
  if (all == NILCell) return made(NILCell);
  valuesList = all;
  return first;
}

_cell* cfunction::lispFunction(_cell* args, Frame f, long n) {
  _cell* x = args->car;
  if (isSymbol(x)) return x;
  if (isCons(x) && x->car == LAMBDA && isCons(x->cdr) &&
      (x->cdr->car == NILCell || isCons(x->cdr->car))) {
    // Each evaluation makes its own function object, so closures made by one form in
    // different activations keep their own frames.
    _cell* fn = cons(LAMBDA, x->cdr);
    if (n) {
      checkType(frameOf(f)->count == n);  // the frame's own count is the closure's size
      capture(fn, f);
      frameOf(f)->captured = true;
    }
    return fn;
  }
  return fail(msg::BadFunction, f, n);
}

// Calls the function object fn: its parameters, then a copy of the frame it captured.
namespace {
// A function object's call once `bind` has bound its lambda list (answering as initTemploc):
// the captured bindings copied in behind the parameters, the body, and the write-back.
// `argForms`: the argument forms, or null for `given` values in hand (for an error's report).
template <class Bind>
_cell* runObject(cfunction& m, _cell* fn, _cell* argForms, long given, Frame f, long n,
                 Bind bind) {
  _cell* params = fn->cdr->car;
  _cell* body = fn->cdr->cdr;
  Frame captured = isClosure(fn) ? cmemory::closureFrame(fn) : nullptr;
  long cs = captured ? cmemory::frameOf(captured)->count : 0;
  FramePin pin(captured);  // the captured frame stays while we copy from and write back to it
  long e = cfunction::tlength(params);
  long count = e + cs;
  FrameHolder frame(m, count);
  Frame nf = frame.recs();
  if (count && !nf) return m.fail(msg::FrameAllocFail, f, n);
  CellFrame g(m, fn);
  if (int bound = bind(nf, e, params); bound <= 0)
    return bound < 0 ? nullptr  // a failed argument has reported itself
                     : (m.noteMiscall(fn, params, argForms ? listLength(argForms) : given),
                        m.fail(msg::TooManyArgs, f, n));
  for (long i = 0; i < cs; i++) nf[e + i] = captured[i];
  _cell* r;
  {
    LocFrame reg(m, nf, count);
    Activated active(m.activations, {nullptr, fn, nf, e});
    r = m.lispProgn(body, nf, count);
  }
  if (cs) m.SetOrgLoc(captured, cs, nf, e, count);
  return r;
}
}  // namespace

_cell* cfunction::callObject(_cell* fn, _cell* argForms, Frame f, long n) {
  if (!isCons(fn->cdr)) return syntaxError(f, n);
  return runObject(*this, fn, argForms, 0, f, n, [&](Frame nf, long e, _cell* params) {
    return initTemploc(nf, e, params, argForms, f, n);
  });
}

_cell* cfunction::callObjectOn(_cell* fn, _cell* const* values, long count, Frame f, long n) {
  return runObject(*this, fn, nullptr, count, f, n, [&](Frame nf, long e, _cell* params) {
    return bindValues(nf, e, params, values, count);
  });
}

_cell* cfunction::lispFuncall(_cell* args, Frame f, long n) {
  _cell* argForms = args->cdr;
  CellFrame g(*this, argForms);
  _cell* fn = eval(args->car, f, n);
  if (!fn) return nullptr;
  if (isSymbol(fn)) {
    _cell* call = g.push(cons(fn, argForms));
    return eval(call, f, n);
  }
  if (isCons(fn) && fn->car == LAMBDA) return callObject(fn, argForms, f, n);
  return fail(msg::BadFuncall, f, n);
}

_cell* cfunction::MakeQuoteEach(_cell* l) {
  _cell* head = NILCell;
  _cell* tail = nullptr;
  for (; isCons(l); l = l->cdr) {
    _cell* c = cons(cons(QUOTE, cons(l->car, NILCell)), NILCell);
    if (tail)
      tail->cdr = c;
    else
      head = c;
    tail = c;
  }
  return head;
}

_cell* cfunction::lispApply(_cell* args, Frame f, long n) {
  _cell* rest = args->cdr;
  CellFrame g(*this, rest);
  _cell* fn = eval(args->car, f, n);
  if (!fn) return nullptr;
  g.push(fn);
  _cell* list = NILCell;
  if (isCons(rest)) {
    list = eval(rest->car, f, n);
    if (!list) return nullptr;
  }
  g.push(list);
  _cell* quoted = g.push(MakeQuoteEach(list));
  if (isSymbol(fn)) return eval(g.push(cons(fn, quoted)), f, n);
  if (isCons(fn) && fn->car == LAMBDA) return callObject(fn, quoted, f, n);
  return fail(msg::BadApply, f, n);
}

// ---- macros -----------------------------------------------------------------------------
_cell* cfunction::expandMacro(_cell* args, _symval* rec, Frame f, long n, bool evaluated) {
  if (MacroTwin twin = macroTwin(rec->symbol)) {
    if (evaluated)
      if (_cell* kept = keptExpansion(rec->symbol, args)) return kept;
    _cell* expansion = twin(*this, args);
    // The twin checked its forms are a finite tree of bounded size (and made the rest itself),
    // so the copy needs no cycle check.
    if (expansion != kRunText) {
      if (!expansion) return nullptr;
      if (!evaluated) return CopyTree(expansion);
      if (!evaluatesAlike(expansion)) expansion = CopyTree(expansion);
      keepExpansion(rec->symbol, args, expansion);
      return expansion;
    }
  }
  _cell* def = rec->value;
  CellFrame g(*this, def, args);
  _cell* params = def->car;
  long e = tlength(params);
  FrameHolder frame(*this, e);
  if (e && !frame.recs()) return fail(msg::FrameAllocFail, f, n);
  if (!initTemplocForMacro(frame.recs(), e, params, args)) return fail(msg::ArgCount, f, n);
  LocFrame reg(*this, frame.recs(), e);
  _cell* expansion = eval(def->cdr->car, frame.recs(), e);
  if (!expansion) return nullptr;
  return Copy(expansion);
}

_cell* cfunction::callMacro(_cell* args, _symval* rec, Frame f, long n) {
  _cell* expansion = expandMacro(args, rec, f, n, true);
  if (!expansion) return nullptr;
  CellFrame g(*this, expansion);
  return eval(expansion, f, n);
}

// ---- backquote --------------------------------------------------------------------------
_cell* cfunction::lispBackquote(_cell* args, Frame f, long n) {
  if (isCons(args) && args->car == COMMA && isCons(args->cdr)) {
    if (args->cdr->car == AST) return fail(msg::BadForm, f, n);
    if (isSymbol(args->cdr->cdr)) return eval(args->cdr->car, f, n);
  }
  if (isCons(args)) return fillTemplate(args->car, f, n);
  return fail(msg::BadForm, f, n);
}

_cell* cfunction::fillTemplate(_cell* t, Frame f, long n) {
  if (!isCons(t)) return t;
  if (stackLow()) return fail(msg::TooDeep, f, n);
  CellFrame g(*this, t);
  if (t->car == TailComma && TailComma) {
    // (a . ,x) and (a . ,@x): the value is the tail; a spliced one is copied, as splices are.
    _cell* after = t->cdr;
    bool splice = isCons(after) && after->car == AST;
    if (splice) after = after->cdr;
    if (!isCons(after)) return fail(msg::CommaAtEnd, f, n);
    _cell* v = eval(after->car, f, n);
    if (!v || !splice || v == NILCell) return v;
    if (!isCons(v)) return fail(msg::SpliceNonList, f, n);
    return Copy(v);
  }
  if (t->car == COMMA && isCons(t->cdr) && t->cdr->car == AST) {
    _cell* after = t->cdr->cdr;
    if (!isCons(after)) return fail(msg::CommaAtEnd, f, n);
    _cell* v = eval(after->car, f, n);
    if (!v) return nullptr;
    if (v == NILCell) return fillTemplate(after->cdr, f, n);
    if (!isCons(v)) return fail(msg::SpliceNonList, f, n);
    _cell* copy = g.push(Copy(v));
    _cell* last = LastCell(copy);
    _cell* rest = fillTemplate(after->cdr, f, n);
    if (!rest) return nullptr;
    last->cdr = rest;
    return copy;
  }
  if (t->car == COMMA) {
    if (!isCons(t->cdr)) return fail(msg::CommaAtEnd, f, n);
    _cell* c = g.push(getCell());
    _cell* v = eval(t->cdr->car, f, n);
    if (!v) return nullptr;
    c->car = v;
    if (!isCons(t->cdr)) return fail(msg::CommaAtEnd, f, n);  // the evaluation cut it short
    _cell* rest = fillTemplate(t->cdr->cdr, f, n);
    if (!rest) return nullptr;
    c->cdr = rest;
    return c;
  }
  _cell* c = g.push(getCell());
  _cell* a = fillTemplate(t->car, f, n);
  if (!a) return nullptr;
  c->car = a;
  _cell* d = fillTemplate(t->cdr, f, n);
  if (!d) return nullptr;
  c->cdr = d;
  return c;
}

// ---- in-place change --------------------------------------------------------------------
_cell* cfunction::rplaca(_cell* c, _cell* v, Frame f, long n) {
  if (!isCons(c)) return fail(msg::NotCons, c, f, n);
  c->car = v;
  carMutated(c);
  return c;
}

_cell* cfunction::rplacd(_cell* c, _cell* v, Frame f, long n) {
  if (!isCons(c)) return fail(msg::NotCons, c, f, n);
  c->cdr = v;
  mutated(c);
  return c;
}
