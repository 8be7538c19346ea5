// the twin registry: which library definitions have twins, and whether each may run
#include "library/twins.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "eval/ops.h"
#include "heap/keywords.h"
#include "reader/reader.h"

cfunction* gMachine = nullptr;
_cell* gTestKey = nullptr;
_cell* gTestNotKey = nullptr;
_cell* gKeyKey = nullptr;
_cell* gCountKey = nullptr;
_cell* gFromEndKey = nullptr;

namespace {
// A type letter of its own, so that no test takes it for a cons.
alignas(16) _cell runTextMark{{nullptr}, nullptr, 'k', Attr::Plain, 0, 0, 0, {0}};
_cell* const kUnassigned = nullptr;
}  // namespace
_cell* const kRunText = &runTextMark;
uint64_t gStructureGeneration = 0;
uint64_t gSpineGeneration = 0;
uint64_t gWatchedChanges = 0;
bool gTwinsEnabled = true;
uint64_t gDefinitions = 0;
uint64_t gTableTwinChanges = 0;
uint64_t gTwinSwitches = 0;
std::vector<TwinCall> gTwinCalls;
_cell* const* gNilValue = &kUnassigned;  // no twin runs until they point at the records
_cell* const* gTValue = &kUnassigned;
bool gConstantsIntact = false;

// ---- the table ---------------------------------------------------------------------------
namespace {
std::vector<TwinRow>& rows() {
  static std::vector<TwinRow> table;
  return table;
}

struct Entry {
  _cell* sym;
  std::vector<_cell*> reach;  // library names its text reaches, itself excluded
  TwinRow row;
  int byValue;  // as functionTwin answers it
  bool on;
};

std::vector<Entry> gEntries;
std::vector<_cell*> gLibraryDefs;  // by symIndex: the definition the library made
std::vector<int> gEntryOf;         // by symIndex: entry index + 1, or 0
std::vector<char> gExposed;        // by symIndex: SYMBOL-FUNCTION handed it out
std::vector<int> gAside;           // by symIndex: text runs its declining twin stands aside for
bool gAnyExposed = false;
std::vector<const char*> gUnmatched;  // twins whose texts are not the ones they were written for

bool isValueKind(TwinKind k) {
  return k == TwinKind::Value || k == TwinKind::Changing || k == TwinKind::Pure;
}

// Whether a call of the symbol may take its step in place (eval.h): its row has a value twin.
void flagValueTwin(_cell* sym, bool on, bool pure = false) {
  constexpr uint8_t both = Flag::ValueTwin | Flag::PureTwin;
  uint8_t set = on ? (pure ? both : Flag::ValueTwin) : 0;
  sym->flags = static_cast<uint8_t>((sym->flags & ~both) | set);
}

// gTwinCalls as the entries' switches say: called whenever one changes.
void publishCalls() {
  gTwinSwitches++;
  for (TwinCall& c : gTwinCalls) c = {nullptr, 0, false, false};
  for (const Entry& e : gEntries) {
    auto i = static_cast<size_t>(e.sym->symIndex);
    bool on = e.on && e.row.fn && !gAside[i];
    if (on) gTwinCalls[i] = {e.row.fn, e.byValue, e.row.kind == TwinKind::Changing, e.row.setsValues};
    flagValueTwin(e.sym, on && e.byValue, e.row.kind == TwinKind::Pure);
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

// ---- reach ---------------------------------------------------------------------------------
// What a library definition mentions: the library names it calls, the macros it uses, and the
// symbols it quotes into an expansion (LOOP's text builds a PROG that RETURN leaves), each
// once, in the order a walk of the definition first meets them. Counting a name that is never
// called only keeps a twin off after its redefinition, which is safe. Worked out for the
// definitions some twin reaches, the first time one does.
class Mentions {
 public:
  explicit Mentions(size_t symbols) : recordOf_(symbols, 0), named_(symbols, 0) {}

  // The names the library's definition of symbol i mentions, as [first, last); none when it
  // has none.
  std::pair<const int32_t*, const int32_t*> of(size_t i) {
    if (!gLibraryDefs[i]) return {nullptr, nullptr};
    if (!recordOf_[i]) walk(i);
    size_t k = static_cast<size_t>(recordOf_[i]);
    return {names_.data() + start_[k - 1], names_.data() + start_[k]};
  }

 private:
  std::vector<int32_t> names_;  // those of record k are names[start[k - 1]..start[k])
  std::vector<size_t> start_{0};
  std::vector<int32_t> recordOf_;  // by symbol: its record, or 0
  uint16_t record_ = 0;
  // By symbol, and by place in the cons pool: the record that last met it. A definition may
  // share structure within itself, and the walk must end even if it were circular.
  std::vector<uint16_t> named_;
  std::vector<uint16_t> visited_;
  std::vector<_cell*> work_;

  void walk(size_t sym) {
    if (++record_ == 0) std::abort();  // more records than a stamp tells apart
    work_.assign(1, gLibraryDefs[sym]);
    while (!work_.empty()) {
      _cell* c = work_.back();
      work_.pop_back();
      for (; isCons(c) && firstVisit(c); c = c->cdr) {
        _cell* a = c->car;
        if (isCons(a))
          work_.push_back(a);
        else if (isSymbol(a) && a->attr != Attr::Uninterned)
          mention(a);
      }
      if (isSymbol(c) && c != NILCell) mention(c);
    }
    start_.push_back(names_.size());
    recordOf_[sym] = static_cast<int32_t>(start_.size() - 1);
  }
  bool firstVisit(const _cell* c) {
    size_t i = ConsPool::indexOf(c);
    if (i >= visited_.size()) visited_.resize(i + 1 + visited_.size());
    if (visited_[i] == record_) return false;
    visited_[i] = record_;
    return true;
  }
  void mention(const _cell* sym) {
    auto i = static_cast<size_t>(sym->symIndex);
    if (i < named_.size() && gLibraryDefs[i] && named_[i] != record_) {
      named_[i] = record_;
      names_.push_back(sym->symIndex);
    }
  }
};

// Every library name reachable from sym's definition through the mentions of each, sym itself
// excluded. `seen` is all below `stamp` on entry.
std::vector<_cell*> reachOf(const _cell* sym, Mentions& direct, std::vector<uint32_t>& seen,
                            uint32_t stamp) {
  std::vector<size_t> work{static_cast<size_t>(sym->symIndex)};
  seen[work[0]] = stamp;
  std::vector<_cell*> reach;
  while (!work.empty()) {
    size_t i = work.back();
    work.pop_back();
    auto [first, last] = direct.of(i);
    for (const int32_t* n = first; n < last; n++) {
      auto j = static_cast<size_t>(*n);
      if (seen[j] != stamp) {
        seen[j] = stamp;
        work.push_back(j);
        reach.push_back(gMachine->symbolTable[j]);
      }
    }
  }
  return reach;
}
}  // namespace

void addTwin(const TwinRow& row) { rows().push_back(row); }

IntOrder intOrderOf(const _cell* fn) {
  const Entry* e = isSymbol(fn) ? entryOf(fn) : nullptr;
  return e ? e->row.order : nullptr;
}

const std::vector<const char*>& unmatchedTwins() { return gUnmatched; }

std::vector<_cell*> twinReach(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i >= gEntryOf.size() || !gEntryOf[i]) return {};
  return gEntries[gEntryOf[i] - 1].reach;
}

void initTwins(cfunction& m) {
  gMachine = &m;
  const char* env = std::getenv("ZELKORA_TWINS");
  gTwinsEnabled = !(env && std::strcmp(env, "0") == 0);
  if (!gTwinsEnabled) return;
  long nil = m.getSymVal(NILCell);
  long t = m.getSymVal(TCell);
  if (nil < 0 || t < 0) return;
  gNilValue = &m.globalTable[nil].value;  // the table never moves
  gTValue = &m.globalTable[t].value;
  globalAssigned(NILCell);
  size_t symbols = static_cast<size_t>(m.symbolCount());
  gLibraryDefs.assign(symbols, nullptr);
  gEntryOf.assign(symbols, 0);
  gExposed.assign(symbols, 0);
  gTwinCalls.assign(symbols, {nullptr, 0, false, false});
  gAside.assign(symbols, 0);
  for (_symval* r = m.funcTable; r < m.funcTop; r++)
    if (r->symbol) gLibraryDefs[static_cast<size_t>(r->symbol->symIndex)] = r->value;
  Mentions direct(symbols);
  std::vector<uint32_t> seen(symbols, 0);
  uint32_t stamp = 0;
  gTestKey = m.CheckStringCell(":TEST");
  gTestNotKey = m.CheckStringCell(":TEST-NOT");
  gKeyKey = m.CheckStringCell(":KEY");
  gCountKey = m.CheckStringCell(":COUNT");
  gFromEndKey = m.CheckStringCell(":FROM-END");
  registerListTwins(m);
  registerSequenceTwins(m);
  registerTableTwins(m);
  registerArrayTwins(m);
  registerMacroTwins(m);
  for (const TwinRow& row : rows()) {
    std::string upper;
    for (const char* c = row.name; *c; c++)
      upper.push_back(*c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 32) : *c);
    _cell* sym = m.CheckStringCell(upper.c_str());
    bool own = sym && libraryOwn(sym) && row.matched;
    if (!own) {
      gUnmatched.push_back(row.name);
      continue;
    }
    Entry e{sym, reachOf(sym, direct, seen, ++stamp), row, 0, true};
    if (isValueKind(row.kind)) {
      // The definition stays this one while the twin runs, so its lambda list is known now.
      _cell* params = definitionOf(sym)->car;
      long count = cfunction::tlength(params);
      if (count >= 1 && count <= 3 && cfunction::plainLambdaList(params, count))
        e.byValue = static_cast<int>(count);
    }
    gEntries.push_back(e);
    gEntryOf[static_cast<size_t>(sym->symIndex)] = static_cast<int>(gEntries.size());
  }
  rows().clear();
  publishCalls();
}


void standAside(FunctionTwin fn) {
  for (const Entry& e : gEntries)
    if (e.row.fn == fn && e.byValue) {
      auto i = static_cast<size_t>(e.sym->symIndex);
      if (gAside[i]++ == 0) {
        gTwinCalls[i] = {nullptr, 0, false, false};
        flagValueTwin(e.sym, false);
      }
    }
}

void standBack(FunctionTwin fn) {
  bool back = false;
  for (const Entry& e : gEntries)
    if (e.row.fn == fn && e.byValue) back = --gAside[static_cast<size_t>(e.sym->symIndex)] == 0 || back;
  if (back) publishCalls();
}

MacroTwin macroTwin(const _cell* sym) {
  const Entry* e = entryOf(sym);
  return e ? e->row.macro : nullptr;
}

void redefined(const _cell* sym) {
  gDefinitions++;
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gLibraryDefs.size() && gLibraryDefs[i]) recompute();
}

void exposed(const _cell* sym) {
  size_t i = static_cast<size_t>(sym->symIndex);
  if (i < gLibraryDefs.size() && gLibraryDefs[i]) {
    gExposed[i] = 1;
    gAnyExposed = true;
  }
}

void mutated(const _cell* changed, bool byTableTwin) {
  gSpineGeneration++;
  gTableTwinChanges += byTableTwin;
  carMutated(changed);
}

// An exposed definition may have been changed in place: its twins stop for good. Every change
// of a cons in place comes here, which the collector's frozen definitions rely on.
void carMutated(const _cell* cell) {
  gWatchedChanges += inConsPool(cell) && consFlag(cell, ConsMeta::Watched);
  if (inConsPool(cell) && consFlag(cell, ConsMeta::Frozen)) cmemory::thawDefinitions();
  cmemory::structureMutated = true;
  gStructureGeneration++;
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
// Built-ins that answer, without failing, any values (kTotal, kAnyCount) or the values
// acceptsValue lets through (kOnCons, kOnNumber), so that neither the forms FUNCALL would have
// handed them nor the frame it would have run them in can show.
bool builtinTakes(const _cell* sym, long count) {
  const OpInfo& row = opInfo(opOf(sym));
  if (row.has(kAnyCount) || (row.has(kTotal) && count == row.fewest)) return true;
  return count == 1 && row.has(kOnCons | kOnNumber);
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

}  // namespace

bool acceptsValue(const _cell* fn, const _cell* x) {
  const OpInfo& row = opInfo(opOf(fn));
  if (row.has(kOnCons)) return isCons(x);
  if (row.has(kOnNumber)) return isInt(x) || isFloat(x);
  return true;
}

bool ensureFree(cfunction& m, long cells) {
  m.collectIfDue(cells);
  return m.roomFor(cells);
}

bool callableWith(cfunction& m, _cell* fn, long count) {
  if (isCons(fn)) {
    return fn->car == LAMBDA && isCons(fn->cdr) && lambdaListTakes(fn->cdr->car, count);
  }
  if (!isSymbol(fn)) return false;
  if (opOf(fn) != Op::None) return builtinTakes(fn, count);
  _symval* rec = m.getFuncval2(fn);
  return rec && rec->tag == 'f' && lambdaListTakes(rec->value->car, count);
}

namespace {
// (fn 'a) and (fn 'a 'b), the forms that call a builtin or a name on values: made once for each
// depth of nesting and count of arguments and filled in for each call, rather than fresh conses
// that are garbage as soon as the call returns. A root keeps them; they hold NIL between calls.
_cell* gQuotedCalls = nullptr;  // every form made, for the collector
std::vector<_cell*> gQuotedCall[2];
size_t gQuotedDepth[2] = {};

constexpr size_t kKeptQuotedCalls = 32;  // deeper nestings than this get fresh conses

struct QuotedCall {
  QuotedCall(cfunction& m, long count) : depth(gQuotedDepth[count - 1]), frame(m) {
    std::vector<_cell*>& made = gQuotedCall[count - 1];
    if (depth < made.size()) {
      form = made[depth];
    } else {
      form = m.cons(NILCell, NILCell);  // allocation never collects
      for (long i = 0; i < count; i++)
        form->cdr = m.cons(m.cons(QUOTE, m.cons(NILCell, NILCell)), form->cdr);
      if (depth < kKeptQuotedCalls) {
        if (!gQuotedCalls) {
          gQuotedCalls = NILCell;
          m.addRoot(&gQuotedCalls);
        }
        gQuotedCalls = m.cons(form, gQuotedCalls);
        made.push_back(form);
      } else {
        frame.push(form);
      }
    }
    depth++;
  }
  ~QuotedCall() {
    set(NILCell, NILCell, NILCell);  // what the call was on is not kept alive
    depth--;
  }
  QuotedCall(const QuotedCall&) = delete;
  QuotedCall& operator=(const QuotedCall&) = delete;
  void set(_cell* fn, _cell* a, _cell* b) {
    form->car = fn;
    _cell* args = form->cdr;
    args->car->cdr->car = a;
    if (isCons(args->cdr)) args->cdr->car->cdr->car = b;
  }

  size_t& depth;
  CellFrame frame;
  _cell* form;
};
}  // namespace

_cell* callWith(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n) {
  if (isSymbol(fn)) {
    // A twin that neither allocates nor fails answers here, without the call's machinery.
    const Entry* e = entryOf(fn);
    if (e && e->row.kind == TwinKind::Pure) {
      _symval recs[2] = {{0, nullptr, a}, {0, nullptr, b}};
      _cell* r = e->row.fn(m, recs, count, f, n);
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
  if (isSymbol(fn)) {
    QuotedCall call(m, count);
    call.set(fn, a, b);
    return m.eval(call.form, f, n);
  }
  CellFrame g(m, fn);
  _cell* args = count == 2 ? m.cons(b, NILCell) : NILCell;
  g.push(args);
  args = m.cons(a, args);
  g.push(args);
  _cell* quoted = g.push(m.MakeQuoteEach(args));
  return m.callObject(fn, quoted, f, n);
}

_cell* callPlainObject(cfunction& m, _cell* fn, _cell* a, _cell* b, long count, Frame f, long n) {
  if (interruptRequested || m.poolAlarm || stackLow()) return callWith(m, fn, a, b, count, f, n);
  _cell* values[2] = {a, b};
  return m.callObjectOn(fn, values, count, f, n);
}

bool silent(_cell* fn, long count) {
  if (isCons(fn))
    return fn->car == LAMBDA && isCons(fn->cdr) &&
           cfunction::plainLambdaList(fn->cdr->car, count) && silentBody(fn->cdr->cdr);
  if (!isSymbol(fn)) return false;
  if (opOf(fn) != Op::None) return builtinTakes(fn, count);
  if (const Entry* e = entryOf(fn)) return e->row.kind == TwinKind::Pure;
  _symval* rec = gMachine->getFuncval2(fn);
  if (!rec || rec->tag != 'f' || !cfunction::plainLambdaList(rec->value->car, count)) return false;
  // A DEFUN's body is (BLOCK name . forms).
  _cell* body = rec->value->cdr;
  if (!isCons(body) || body->cdr != NILCell || !isCons(body->car) || body->car->car != BLOCKLISP ||
      !isCons(body->car->cdr))
    return false;
  return silentBody(body->car->cdr->cdr);
}

_cell* callText(cfunction& m, _cell* sym, std::initializer_list<_cell*> values, Frame f, long n) {
  CellFrame g(m, sym);
  for (_cell* v : values) g.push(v);
  ensureFree(m, 4 * static_cast<long>(values.size()) + 8);
  _cell* args = NILCell;
  for (auto it = values.end(); it != values.begin();) args = m.cons(*--it, args);
  _cell* form = g.push(m.cons(sym, m.MakeQuoteEach(args)));
  return m.eval(form, f, n);
}

int holds(cfunction& m, _cell* test, _cell* a, _cell* b, Frame f, long n) {
  if (test == EQL) return eqlCells(a, b);
  if (test == EQ) return eqCells(a, b);
  _cell* r = callWith(m, test, a, b, 2, f, n);
  return r ? r != NILCell : -1;
}

bool readKeywords(_cell* rest, bool counting, KeywordArgs& k) {
  k = KeywordArgs{};
  k.testNot = k.key = k.count = k.fromEnd = NILCell;
  if (!isCons(rest)) return true;
  const std::pair<_cell*, _cell**> known[] = {{gTestKey, &k.test},
                                              {gTestNotKey, &k.testNot},
                                              {gKeyKey, &k.key},
                                              {gCountKey, &k.count},
                                              {gFromEndKey, &k.fromEnd}};
  const int taken = counting ? 5 : 3;
  bool seen[5] = {};
  long pairs = 0;
  for (_cell* p = rest; isCons(p); p = p->cdr->cdr) {
    if (++pairs > 64) return false;  // the text's walk, whatever it finds, is the text's
    int i = 0;
    while (i < taken && known[i].first != p->car) i++;
    if (i == taken || !isCons(p->cdr)) return false;
    if (!seen[i]) *known[i].second = p->cdr->car;  // the first occurrence counts
    seen[i] = true;
  }
  return true;
}

int matches(cfunction& m, const KeywordArgs& k, _cell* test, _cell* a, _cell* b, Frame f, long n) {
  if (k.testNot == NILCell) return holds(m, test, a, b, f, n);
  int h = holds(m, k.testNot, a, b, f, n);
  return h < 0 ? h : !h;
}
