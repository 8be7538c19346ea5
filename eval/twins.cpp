// the twin registry: which library definitions have twins, and whether each may run
#include "eval/twins.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/ops.h"
#include "heap/keywords.h"
#include "reader/reader.h"

namespace {
_cell runTextMark{};
_cell* const kUnassigned = nullptr;
}  // namespace
_cell* const kRunText = &runTextMark;
std::vector<TwinCall> gTwinCalls;
_cell* const* gNilValue = &kUnassigned;  // no twin runs until they point at the records
_cell* const* gTValue = &kUnassigned;

// ---- the table ---------------------------------------------------------------------------
namespace {
struct Row {
  const char* name;   // as the library spells it
  const char* reach;  // the other library names its text reaches, blank-separated
  FunctionTwin fn;
  MacroTwin macro;
  bool byValue;
  bool pure;
  IntOrder order;
  bool changes;
};

std::vector<Row>& rows() {
  static std::vector<Row> table;
  return table;
}

struct Entry {
  _cell* sym;
  std::vector<_cell*> reach;
  FunctionTwin fn;
  MacroTwin macro;
  int byValue;  // as functionTwin answers it
  bool pure;
  IntOrder order;
  bool changes;
  bool on;
};

bool gEnabled = true;
std::vector<Entry> gEntries;
std::vector<_cell*> gLibraryDefs;  // by symIndex: the definition the library made
std::vector<int> gEntryOf;         // by symIndex: entry index + 1, or 0
std::vector<char> gExposed;        // by symIndex: SYMBOL-FUNCTION handed it out
std::vector<int> gAside;           // by symIndex: text runs its declining twin stands aside for
bool gAnyExposed = false;
uint64_t gGeneration = 0;  // counts in-place changes of conses
cfunction* gMachine = nullptr;

// gTwinCalls as the entries' switches say: called whenever one changes.
void publishCalls() {
  for (TwinCall& c : gTwinCalls) c = {nullptr, 0, false};
  for (const Entry& e : gEntries) {
    auto i = static_cast<size_t>(e.sym->symIndex);
    if (e.on && e.fn && !gAside[i]) gTwinCalls[i] = {e.fn, e.byValue, e.changes};
  }
}

_cell* definitionOf(const _cell* sym) {
  _symval* rec = gMachine->getFuncval2(const_cast<_cell*>(sym));
  return rec ? rec->value : nullptr;
}

bool libraryOwn(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  return i < gLibraryDefs.size() && gLibraryDefs[i] && definitionOf(sym) == gLibraryDefs[i];
}

void recompute() {
  for (Entry& e : gEntries) {
    if (!e.on) continue;
    bool own = libraryOwn(e.sym);
    for (_cell* r : e.reach) own = own && libraryOwn(r);
    e.on = own;
  }
  publishCalls();
}

const Entry* entryOf(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i >= gEntryOf.size() || !gEntryOf[i] || !twinConstantsIntact()) return nullptr;
  const Entry& e = gEntries[gEntryOf[i] - 1];
  return e.on ? &e : nullptr;
}
}  // namespace

void registerTwin(const char* name, const char* reach, FunctionTwin fn, MacroTwin macro) {
  rows().push_back({name, reach, fn, macro, false, false, nullptr, false});
}

void registerValueTwin(const char* name, const char* reach, FunctionTwin fn) {
  rows().push_back({name, reach, fn, nullptr, true, false, nullptr, false});
}

void registerChangingTwin(const char* name, const char* reach, FunctionTwin fn) {
  rows().push_back({name, reach, fn, nullptr, true, false, nullptr, true});
}

void registerPureTwin(const char* name, const char* reach, FunctionTwin fn) {
  rows().push_back({name, reach, fn, nullptr, true, true, nullptr, false});
}

void registerComparisonTwin(const char* name, const char* reach, FunctionTwin fn, IntOrder order) {
  rows().push_back({name, reach, fn, nullptr, true, true, order, false});
}

IntOrder intOrderOf(const _cell* fn) {
  const Entry* e = isSymbol(fn) ? entryOf(fn) : nullptr;
  return e ? e->order : nullptr;
}

namespace {
void registerAllTwins(cfunction& m) {
  registerListTwins(m);
  registerSequenceTwins(m);
  registerTableTwins(m);
  registerMacroTwins(m);
}
}  // namespace

void initTwins(cfunction& m) {
  gMachine = &m;
  const char* env = std::getenv("ZELKORA_TWINS");
  gEnabled = !(env && std::strcmp(env, "0") == 0);
  if (!gEnabled) return;
  long nil = m.getSymVal(NILCell);
  long t = m.getSymVal(TCell);
  if (nil < 0 || t < 0) return;
  gNilValue = &m.globalTable[nil].value;  // the table never moves
  gTValue = &m.globalTable[t].value;
  registerAllTwins(m);
  size_t symbols = static_cast<size_t>(m.symbolCount());
  gLibraryDefs.assign(symbols, nullptr);
  gEntryOf.assign(symbols, 0);
  gExposed.assign(symbols, 0);
  gTwinCalls.assign(symbols, {nullptr, 0, false});
  gAside.assign(symbols, 0);
  for (_symval* r = m.funcTable; r < m.funcTop; r++)
    if (r->symbol) gLibraryDefs[static_cast<size_t>(r->symbol->symIndex)] = r->value;
  auto symbolOf = [&](const std::string& text) {
    std::string upper;
    for (char c : text) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    return m.CheckStringCell(upper.c_str());
  };
  for (const Row& row : rows()) {
    Entry e{symbolOf(row.name), {}, row.fn, row.macro, 0, row.pure, row.order, row.changes, true};
    const char* p = row.reach;
    while (*p) {
      const char* q = std::strchr(p, ' ');
      std::string word(p, q ? static_cast<size_t>(q - p) : std::strlen(p));
      if (_cell* s = symbolOf(word)) e.reach.push_back(s);
      else e.on = false;  // a name the library does not define: the table is wrong
      p = q ? q + 1 : p + word.size();
    }
    if (!e.sym) continue;
    e.on = e.on && libraryOwn(e.sym);
    if (e.on && row.byValue) {
      // The definition stays this one while the twin runs, so its lambda list is known now.
      _cell* params = definitionOf(e.sym)->car;
      long count = cfunction::tlength(params);
      if (count >= 1 && count <= 3 && cfunction::plainLambdaList(params, count))
        e.byValue = static_cast<int>(count);
    }
    gEntries.push_back(e);
    gEntryOf[static_cast<size_t>(e.sym->symIndex)] = static_cast<int>(gEntries.size());
  }
  publishCalls();
}

uint64_t structureGeneration() { return gGeneration; }

void standAside(FunctionTwin fn) {
  for (const Entry& e : gEntries)
    if (e.fn == fn && e.byValue) {
      auto i = static_cast<size_t>(e.sym->symIndex);
      if (gAside[i]++ == 0) gTwinCalls[i] = {nullptr, 0, false};
    }
}

void standBack(FunctionTwin fn) {
  bool back = false;
  for (const Entry& e : gEntries)
    if (e.fn == fn && e.byValue) back = --gAside[static_cast<size_t>(e.sym->symIndex)] == 0 || back;
  if (back) publishCalls();
}

MacroTwin macroTwin(const _cell* sym) {
  const Entry* e = entryOf(sym);
  return e ? e->macro : nullptr;
}

void twinsRedefined(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gLibraryDefs.size() && gLibraryDefs[i]) recompute();
}

void twinsExposed(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gLibraryDefs.size() && gLibraryDefs[i]) {
    gExposed[i] = 1;
    gAnyExposed = true;
  }
}

// An exposed definition may have been changed in place: its twins stop for good.
void twinsMutated() {
  gGeneration++;
  if (!gAnyExposed) return;
  bool changed = false;
  for (Entry& e : gEntries) {
    bool touched = gExposed[static_cast<size_t>(e.sym->symIndex)];
    for (_cell* r : e.reach) touched = touched || gExposed[static_cast<size_t>(r->symIndex)];
    if (touched && e.on) {
      e.on = false;
      changed = true;
    }
  }
  if (changed) publishCalls();
}

// ---- calling user functions ----------------------------------------------------------------
namespace {
// Built-ins that answer any values without failing, so that neither the forms FUNCALL would
// have handed them nor the frame it would have run them in can show.
bool valueBuiltin(const _cell* sym, long count) {
  if (count == 2) return sym == EQ || sym == EQL || sym == STRINGEQUAL || sym == CONS || sym == LIST;
  return sym == ATOM || sym == NULLP || sym == CONSP || sym == SYMBOLP || sym == NUMBERP ||
         sym == INTEGERP || sym == STRINGP || sym == CHARACTERP || sym == ARRAYP || sym == LIST;
}

bool lambdaListTakes(_cell* params, long count) {
  long required = 0;
  for (_cell* p = params; isCons(p); p = p->cdr) {
    if (p->car == AMPREST || p->car == AMPBODY) return count >= required;
    if (!isSymbol(p->car)) return false;
    required++;
  }
  if (listLength(params) < 0) return false;
  return required == 0 || required == count;
}

// Built-ins that answer without failing for the values acceptsValue lets through.
bool checkedBuiltin(const _cell* sym, long count) {
  return count == 1 && (sym == CAR || sym == CDR || sym == ONEPLUS || sym == ONEMINUS);
}
}  // namespace

bool acceptsValue(const _cell* fn, const _cell* x) {
  if (fn == CAR || fn == CDR) return isCons(x);
  if (fn == ONEPLUS || fn == ONEMINUS) return isInt(x) || isFloat(x);
  return true;
}

bool ensureFree(cfunction& m, long cells) {
  long want = cells + kGcThreshold + 1;
  if (m.freeCells < want || m.freeInts <= kGcThreshold || m.freeFloats <= kGcThreshold) m.gc();
  return m.freeCells >= want;
}

bool callableWith(cfunction& m, _cell* fn, long count) {
  if (isCons(fn)) {
    return fn->car == LAMBDA && isCons(fn->cdr) && lambdaListTakes(fn->cdr->car, count);
  }
  if (!isSymbol(fn)) return false;
  if (opOf(fn) != Op::None) return valueBuiltin(fn, count) || checkedBuiltin(fn, count);
  _symval* rec = m.getFuncval2(fn);
  return rec && rec->tag == 'f' && lambdaListTakes(rec->value->car, count);
}

_cell* callWith(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n) {
  if (isSymbol(fn)) {
    // A twin that neither allocates nor fails answers here, without the call's machinery.
    const Entry* e = entryOf(fn);
    if (e && e->pure) {
      _symval recs[2] = {{0, nullptr, a}, {0, nullptr, b}};
      _cell* r = e->fn(m, recs, count, f, n);
      if (r != kRunText) return r;
    }
  }
  // A function object or user function whose lambda list is `count` plain symbols is called
  // on the values themselves rather than on quoted forms of them; the same frame comes of it. While a step's
  // start has something to report (Ctrl-C, the reserve, the stack guard), the quoted forms'
  // steps report it in the caller's frame, as the text would.
  if (!interruptRequested && !m.poolAlarm && !stackLow()) {
    _cell* values[2] = {a, b};
    if (isCons(fn) && cfunction::plainLambdaList(fn->cdr->car, count))
      return m.callObjectOn(fn, values, count, f, n);
    _symval* rec = isSymbol(fn) && opOf(fn) == Op::None ? m.getFuncval2(fn) : nullptr;
    if (rec && rec->tag == 'f' && cfunction::plainLambdaList(rec->value->car, count))
      return m.callUserOn(fn, rec->value, values, count, f, n);
  }
  CellFrame g(m, fn);
  _cell* args = count == 2 ? m.cons(b, NILCell) : NILCell;
  g.push(args);
  args = m.cons(a, args);
  g.push(args);
  _cell* quoted = g.push(m.MakeQuoteEach(args));
  if (isSymbol(fn)) return m.eval(g.push(m.cons(fn, quoted)), f, n);
  return m.callObject(fn, quoted, f, n);
}

int holds(cfunction& m, _cell* test, _cell* a, _cell* b, Frame f, long n) {
  if (test == EQL) return eqlCells(a, b);
  if (test == EQ) return eqCells(a, b);
  _cell* r = callWith(m, test, a, b, 2, f, n);
  return r ? r != NILCell : -1;
}
