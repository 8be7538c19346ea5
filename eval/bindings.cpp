// bindings: lambda lists, rest arguments, write-back, shape test, list routines
#include "eval/eval.h"
#include "printer/printer.h"
#include "heap/keywords.h"

namespace {
// Walks a lambda list into the frame's records; returns the rest index (-1 for none) via
// `rest`, and false when the list is malformed.
bool bindNames(Frame nf, long nn, _cell* params, bool macro, long& rest, _cell*& remaining) {
  rest = -1;
  _cell* p = params;
  for (long i = 0; i < nn && isCons(p); i++) {
    _cell* el = p->car;
    if (el == AMPREST || (macro && el == AMPBODY)) {
      if (i + 1 >= nn) return false;
      rest = i;
      p = p->cdr;
      if (!isCons(p)) return false;
      el = p->car;
    }
    if (!isSymbol(el)) return false;
    nf[i].symbol = el;
    if (!macro) nf[i].value = NILCell;
    p = p->cdr;
    if (rest >= 0) break;
  }
  if (rest >= 0) nf[nn - 1].symbol = nullptr;
  remaining = p;
  return isSymbol(p);
}
}  // namespace

int cfunction::initTemploc(Frame nf, long nn, _cell* params, _cell* args, Frame f, long n) {
  if (!nf || nn == 0) return 1;
  long rest;
  _cell* remaining;
  if (!bindNames(nf, nn, params, false, rest, remaining)) return 0;
  CellFrame g(*this, args);
  long vars = rest >= 0 ? nn - 1 : nn;
  _cell* tail = NILCell;
  for (long j = 0; j < vars; j++) {
    _cell* v;
    if (j == rest) {
      v = MakeRest(args, f, n, &tail);
    } else {
      if (!isCons(args)) return 0;
      v = eval(args->car, f, n);
      args = args->cdr;
    }
    if (!v) return -1;
    g.push(v);
    nf[j].value = v;
    if (j == rest) return tail == NILCell ? 1 : 2;
  }
  return isSymbol(args);
}

// The names are read before any argument is evaluated (one may change the lambda list). The
// frame is nobody's until it is bound, so a value is written only as it comes, kept on the cell
// stack meanwhile.
int cfunction::bindArguments(Frame nf, long nn, _cell* params, _cell* args, Frame f, long n) {
  for (long i = 0; i < nn; i++, params = params->cdr) nf[i].symbol = params->car;
  CellFrame g(*this, args);
  for (long j = 0; j < nn; j++, args = args->cdr) {
    if (!isCons(args)) return 0;
    _cell* v = evalPredicate(args->car, f, n);
    if (!v) return -1;
    g.push(v);
    nf[j].value = v;
  }
  return isSymbol(args);
}

int cmemory::initTemplocForMacro(Frame nf, long nn, _cell* params, _cell* args) {
  long rest = -1;
  _cell* remaining = params;
  if (nf && nn > 0 && !bindNames(nf, nn, params, true, rest, remaining)) return 0;
  if (nn == 0 && !isSymbol(params)) return 0;
  long vars = rest >= 0 ? nn - 1 : nn;
  for (long j = 0; j < vars; j++) {
    if (j == rest) {
      nf[j].value = args;
      return 1;
    }
    if (!isCons(args)) return 0;
    nf[j].value = args->car;
    args = args->cdr;
  }
  return isSymbol(args);
}

bool cfunction::plainLambdaList(_cell* params, long count) {
  for (long i = 0; i < count; i++, params = params->cdr)
    if (!isCons(params) || !isSymbol(params->car) || params->car == AMPREST ||
        params->car == AMPBODY)
      return false;
  return params == NILCell;
}

int cfunction::bindValues(Frame nf, long nn, _cell* params, _cell* const* values, long count) {
  if (nn != count) return 0;
  for (long i = 0; i < nn; i++, params = params->cdr) {
    nf[i].symbol = params->car;
    nf[i].value = values[i];
  }
  return 1;
}

_cell* cfunction::MakeRest(_cell* args, Frame f, long n, _cell** rest) {
  if (!isCons(args)) return *rest = args;
  CellFrame g(*this, args);
  _cell* head = nullptr;
  _cell* tail = nullptr;
  _cell* p = args;
  for (; isCons(p); p = p->cdr) {
    _cell* c = getCell();
    if (tail)
      tail->cdr = c;
    else
      head = g.push(c);
    tail = c;
    _cell* v = eval(p->car, f, n);
    if (!v) return nullptr;
    c->car = v;
  }
  tail->cdr = p;
  *rest = p;
  return head;
}

void cfunction::SetOrgLoc(Frame outer, long outerN, Frame inner, long first, long innerN) {
  for (long k = innerN - 1; k >= first; k--) {
    if (!inner[k].symbol) continue;
    long i = getLocal(outer, outerN, inner[k].symbol);
    if (i < 0) continue;
    outer[i].tag = inner[k].tag;
    outer[i].value = inner[k].value;
  }
}

int cfunction::CheckFunc(_cell* args) {
  if (!isCons(args)) return 0;
  _cell* name = args->car;
  if (!isSymbol(name) || name->attr == Attr::Keyword) return 0;
  if (!isCons(args->cdr)) return 0;
  _cell* params = args->cdr->car;
  if (params != NILCell && !isCons(params)) return 0;
  for (_cell* p = params; isCons(p); p = p->cdr)
    if (!isSymbol(p->car) || p->car->attr == Attr::Keyword) return 0;
  return 1;
}

_cell* cfunction::LastCell(_cell* l) {
  while (isCons(l->cdr)) l = l->cdr;
  return l;
}

_cell* cfunction::tmember(_cell* item, _cell* l) {
  for (; isCons(l); l = l->cdr)
    if (l->car == item) return l;
  return NILCell;
}
