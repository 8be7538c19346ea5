// sequencing, conditionals and local binding
#include "eval/eval.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* cfunction::lispProgn(_cell* body, Frame f, long n) {
  if (!isCons(body)) return made(NILCell);
  CellFrame g(*this, body);
  _cell* r = nullptr;
  for (; isCons(body); body = body->cdr) {
    r = eval(body->car, f, n);
    if (!r) return nullptr;
  }
  return r;
}

_cell* cfunction::lispProg1(_cell* body, Frame f, long n) {
  if (!isCons(body)) return made(NILCell);
  CellFrame g(*this, body);
  _cell* first = eval(body->car, f, n);
  if (!first) return nullptr;
  _cell* firstValues = valuesList;  // the first form's values travel with its value
  g.push(first);
  g.push(firstValues);
  for (body = body->cdr; isCons(body); body = body->cdr)
    if (!eval(body->car, f, n)) return nullptr;
  valuesList = firstValues;
  return first;
}

_cell* cfunction::lispIf(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BadForm, f, n);
  _cell* test;
  {
    CellFrame g(*this, args);
    test = evalPredicate(args->car, f, n);
  }
  if (!test) return nullptr;
  _cell* branches = args->cdr;
  if (test == NILCell) {
    if (isCons(branches) && isCons(branches->cdr))
      return eval(branches->cdr->car, f, n);
    return made(NILCell);
  }
  if (isCons(branches)) return eval(branches->car, f, n);
  return fail(msg::BadForm, f, n);
}

_cell* cfunction::lispCond(_cell* clauses, Frame f, long n) {
  CellFrame g(*this, clauses);
  for (; isCons(clauses); clauses = clauses->cdr) {
    _cell* clause = clauses->car;
    if (!isCons(clause)) break;
    _cell* v = evalPredicate(clause->car, f, n);
    if (!v) return nullptr;
    if (v != NILCell) return lispProgn(clause->cdr, f, n);
  }
  return made(NILCell);
}

_cell* cfunction::lispAnd(_cell* forms, Frame f, long n) {
  if (!isCons(forms)) return made(TCell);
  CellFrame g(*this, forms);
  _cell* r = nullptr;
  for (; isCons(forms); forms = forms->cdr) {
    r = evalPredicate(forms->car, f, n);
    if (!r) return nullptr;
    if (r == NILCell && isCons(forms->cdr)) return made(NILCell);
  }
  return r;
}

_cell* cfunction::lispOr(_cell* forms, Frame f, long n) {
  CellFrame g(*this, forms);
  for (; isCons(forms); forms = forms->cdr) {
    _cell* r = evalPredicate(forms->car, f, n);
    if (!r) return nullptr;
    if (r != NILCell) return r;
  }
  return made(NILCell);
}

namespace {
// LET and LET*: a frame of the new variables followed by a copy of the enclosing frame, the
// body run in it, the copies written back. LET evaluates every init form in the enclosing
// frame; LET* evaluates each in the new frame once the variables before it are bound.
_cell* bindAndRun(cfunction& m, _cell* args, Frame f, long n, bool sequential) {
  if (!isCons(args)) return m.fail(msg::BadForm, f, n);
  _cell* bindings = args->car;
  if (sequential && bindings != NILCell && !isCons(bindings))
    return m.fail(msg::BadForm, f, n);
  _cell* body = args->cdr;
  long nb = cfunction::tlength(bindings);
  if (nb == 0) return m.lispProgn(body, f, n);
  long count = n + nb;
  FrameHolder frame(m, count);
  Frame nf = frame.recs();
  if (!nf) return m.fail(msg::LetFrameAllocFail, f, n);
  // LET* evaluates in the new frame, so it needs the copies first. LET copies after its init
  // forms have run: an assignment one of them makes to an enclosing variable is then copied
  // too, instead of being overwritten by the write-back.
  auto copyEnclosing = [&] {
    for (long i = 0; i < n; i++) nf[nb + i] = f[i];
  };
  if (sequential) copyEnclosing();
  _cell* r;
  {
    // Registered once: the values bound so far while the init forms run, then the body's.
    // Before LET's copies are made their records are empty, which the collector passes over.
    LocFrame reg(m, nf, count);
    {
      CellFrame g(m, args);
      _cell* b = bindings;
      for (long j = 0; j < nb; j++, b = b->cdr) {
        if (!isCons(b)) return m.fail(msg::BadForm, f, n);  // an init form cut the list short
        _cell* binding = b->car;
        if (!isCons(binding) || !isSymbol(binding->car))
          return m.fail(msg::BadForm, f, n);
        _cell* v = NILCell;
        if (isCons(binding->cdr)) {
          v = sequential ? m.eval(binding->cdr->car, nf, count) : m.eval(binding->cdr->car, f, n);
          if (!v) return nullptr;
        }
        nf[j].symbol = binding->car;
        nf[j].value = v;
      }
    }
    if (!sequential) copyEnclosing();
    Activated active(m.activations, {nullptr, sequential ? LETAST : LET, nf, nb});
    r = m.lispProgn(body, nf, count);
  }
  m.SetOrgLoc(f, n, nf, nb, count);
  return r;
}
}  // namespace

_cell* cfunction::lispLet(_cell* args, Frame f, long n) {
  if (isCons(args) && isCons(args->car) && isCons(args->car->car) &&
      args->car->car->car == gLetShortcut.var) {
    if (_cell* r = gLetShortcut.answer(*this, args, f, n)) return r;
  }
  return bindAndRun(*this, args, f, n, false);
}

_cell* cfunction::lispLetAst(_cell* args, Frame f, long n) { return bindAndRun(*this, args, f, n, true); }
