// non-local exits: PROG** and GO, CATCH and THROW, UNWIND-PROTECT, BLOCK and RETURN-FROM
#include "eval/eval.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* cfunction::lispProg(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BadForm, f, n);
  _cell* vars = args->car;
  _cell* body = args->cdr;
  long nv = tlength(vars);
  if (nv == 0) return progBody(body, f, n);
  long count = nv + n;
  FrameHolder frame(*this, count);
  Frame nf = frame.recs();
  if (!nf) return fail(msg::LetFrameAllocFail, f, n);
  for (long i = 0; i < n; i++) nf[nv + i] = f[i];
  _cell* v = vars;
  for (long i = 0; i < nv; i++, v = v->cdr) {
    if (!isSymbol(v->car)) return fail(msg::BadForm, f, n);
    nf[i].symbol = v->car;
    nf[i].value = NILCell;
  }
  _cell* r;
  {
    LocFrame reg(*this, nf, count);
    r = progBody(body, nf, count);
    SetOrgLoc(f, n, nf, nv, count);
  }
  return r;
}

int cfunction::runStatements(_cell* start, Frame f, long n) {
  for (_cell* p = start; isCons(p); p = p->cdr) {
    _cell* statement = p->car;
    if (isSymbol(statement)) continue;  // a label
    if (!eval(statement, f, n)) return -1;
    if (GoSymbol) return 1;
  }
  ReturnValue = NILCell;
  return 0;
}

namespace {
// Counts a PROG** body as running for as long as it lives.
class RunningProg {
 public:
  explicit RunningProg(long& count) : count_(count) { count_++; }
  ~RunningProg() { count_--; }
  RunningProg(const RunningProg&) = delete;
  RunningProg& operator=(const RunningProg&) = delete;

 private:
  long& count_;
};
}  // namespace

_cell* cfunction::progBody(_cell* body, Frame f, long n) {
  GoSymbol = nullptr;
  RunningProg running(progBodies);
  _cell* start = body;
  for (;;) {
    int r;
    {
      CellFrame g(*this, body);
      r = runStatements(start, f, n);
    }
    if (r == 0) return made(ReturnValue);
    if (r < 0) return nullptr;
    _cell* at = tmember(GoSymbol, body);
    if (at == NILCell) return fail(msg::NoLabel, f, n);
    GoSymbol = nullptr;
    start = at;
  }
}

_cell* cfunction::lispGo(_cell* args, Frame f, long n) {
  if (!isCons(args) || !isSymbol(args->car)) return syntaxError(f, n);
  // With no PROG** body running, nothing would ever jump: an error, not a quiet T.
  if (!progBodies) return fail(msg::NoLabel, args->car, f, n);
  GoSymbol = args->car;
  return TCell;
}

namespace {
// Runs a CATCH or BLOCK body: the last value, NIL for none. When a form fails, `receive`
// takes the pending exit if it is addressed here, or answers null to pass it on.
template <class Receive>
_cell* receiving(cfunction& m, _cell* body, Frame f, long n, Receive receive) {
  _cell* r = m.made(NILCell);
  for (; isCons(body); body = body->cdr) {
    r = m.eval(body->car, f, n);
    if (!r) return receive();
  }
  return r;
}
}  // namespace

_cell* cfunction::lispCatch(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::CatchArgs, f, n);
  _cell* body = args->cdr;
  _cell* tag;
  {
    CellFrame g(*this, body);
    tag = eval(args->car, f, n);
  }
  if (!tag) {
    say(msg::CatchTagFail);
    return nullptr;
  }
  CellFrame g(*this, tag, body);
  return receiving(*this, body, f, n, [&]() -> _cell* {
    if (!throwPending || throwTag != tag) return nullptr;
    throwPending = 0;
    valuesList = throwValues;
    return throwValue;
  });
}

_cell* cfunction::lispThrow(_cell* args, Frame f, long n) {
  if (isCons(args)) {
    _cell* tag;
    {
      CellFrame g(*this, args->cdr);
      tag = eval(args->car, f, n);
    }
    throwTag = tag;
    if (!tag) {
      say(msg::ThrowTagFail);
      return nullptr;
    }
    if (isCons(args->cdr)) {
      _cell* v;
      {
        CellFrame g(*this, tag);
        v = eval(args->cdr->car, f, n);
      }
      throwTag = tag;
      throwValue = v;
      throwValues = v ? valuesList : nullptr;
      throwPending = 1;
      return nullptr;
    }
  }
  return fail(msg::ThrowArgs, f, n);
}

namespace {
// A pending exit set aside while cleanup forms run, so that their own CATCHes, BLOCKs and
// user calls can neither take it nor overwrite it. Its cells stay on the cell stack meanwhile.
struct PendingExit {
  long throwPending, returnFromPending;
  _cell *throwTag, *throwValue, *throwValues;
  _cell *returnFromName, *returnFromValue, *returnFromValues;

  explicit PendingExit(cfunction& m)
      : throwPending(m.throwPending),
        returnFromPending(m.returnFromPending),
        throwTag(m.throwTag),
        throwValue(m.throwValue),
        throwValues(m.throwValues),
        returnFromName(m.returnFromName),
        returnFromValue(m.returnFromValue),
        returnFromValues(m.returnFromValues) {}

  void protect(CellFrame& g) const {
    for (_cell* c : {throwTag, throwValue, throwValues, returnFromName, returnFromValue,
                     returnFromValues})
      if (c) g.push(c);
  }
  void restoreThrow(cfunction& m) const {
    m.throwPending = throwPending;
    m.throwTag = throwTag;
    m.throwValue = throwValue;
    m.throwValues = throwValues;
  }
  void restoreReturnFrom(cfunction& m) const {
    m.returnFromPending = returnFromPending;
    m.returnFromName = returnFromName;
    m.returnFromValue = returnFromValue;
    m.returnFromValues = returnFromValues;
  }
};
}  // namespace

// The protected form's exit, whatever it was, continues once the cleanup succeeds. A failing
// cleanup abandons any THROW; a RETURN-FROM stays pending, the cleanup's own one first.
_cell* cfunction::lispUnwindProtect(_cell* args, Frame f, long n) {
  if (!isCons(args) ||
      (!isCons(args->cdr) && args->cdr != NILCell))
    return fail(msg::UnwindArgs, f, n);
  _cell* cleanup = args->cdr;
  _cell* r;
  {
    CellFrame g(*this, cleanup);
    r = eval(args->car, f, n);
  }
  PendingExit saved(*this);
  CellFrame g(*this, r ? r : NILCell);
  saved.protect(g);
  throwPending = 0;
  returnFromPending = 0;
  _cell* done = lispProgn(cleanup, f, n);
  if (!done) {
    throwPending = 0;
    if (!returnFromPending) saved.restoreReturnFrom(*this);
    return nullptr;
  }
  saved.restoreThrow(*this);
  saved.restoreReturnFrom(*this);
  return r;
}

_cell* cfunction::lispBlock(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::BlockArgs, f, n);
  _cell* name = args->car;
  if (!isSymbol(name)) return fail(msg::BlockName, f, n);
  _cell* body = args->cdr;
  CellFrame g(*this, name, body);
  return runBlock(name, body, f, n);
}

_cell* cfunction::runBlock(_cell* name, _cell* body, Frame f, long n) {
  return receiving(*this, body, f, n, [&]() { return blockReceives(name); });
}

_cell* cfunction::lispReturnFrom(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::ReturnFromArgs, f, n);
  _cell* name = args->car;
  returnFromName = name;
  if (!isSymbol(name)) return fail(msg::ReturnFromName, f, n);
  if (isCons(args->cdr)) {
    _cell* v = eval(args->cdr->car, f, n);
    // A value form that failed, or that another exit left, leaves that failure or exit to
    // travel on alone: a RETURN-FROM set pending here would be reported after an ABORT, or
    // linger once a CATCH took the THROW.
    if (!v) return nullptr;
    returnFromName = name;
    returnFromValue = v;
    returnFromValues = valuesList;
  } else {
    returnFromValue = NILCell;
    returnFromValues = nullptr;
  }
  returnFromPending = 1;
  return nullptr;
}
