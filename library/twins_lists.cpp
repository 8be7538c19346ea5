// twins of the library's comparisons, predicates and list functions
#include <cstdint>
#include <vector>

#include "library/twins.h"
#include "heap/keywords.h"
#include "text/text.h"

namespace {

// ---- comparisons ---------------------------------------------------------------------------
// The texts decide by MINUSP and ZEROP of (- x y): integer differences wrap at 32 bits, and a
// float difference is taken in extended precision. Fractions are left to the texts.
enum class Sign { Minus, Zero, Plus, Unknown };

// Integers compare by the sign of their wrapped difference, as the library's text does.
Sign intSign(int32_t x, int32_t y) {
  int32_t d = static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(y));
  return d < 0 ? Sign::Minus : d == 0 ? Sign::Zero : Sign::Plus;
}

Sign signOfDifference(const _cell* x, const _cell* y) {
  if (isInt(x) && isInt(y)) return intSign(intOf(x), intOf(y));
  long double a, b;
  if (isFloat(x) && (isFloat(y) || isInt(y))) {
    a = floatOf(x);
    b = isFloat(y) ? floatOf(y) : intOf(y);
  } else if (isInt(x) && isFloat(y)) {
    a = intOf(x);
    b = floatOf(y);
  } else {
    return Sign::Unknown;
  }
  long double d = a - b;
  if (d != d) return Sign::Unknown;
  return d < 0 ? Sign::Minus : d == 0 ? Sign::Zero : Sign::Plus;
}

template <bool (*decide)(Sign)>
_cell* compare(cfunction&, Frame a, long, Frame, long) {
  Sign s = signOfDifference(a[0].value, a[1].value);
  if (s == Sign::Unknown) return kRunText;
  return truth(decide(s));
}
template <bool (*decide)(Sign)>
bool intOrder(int32_t x, int32_t y) {
  return decide(intSign(x, y));
}
bool less(Sign s) { return s == Sign::Minus; }
bool greater(Sign s) { return s == Sign::Plus; }
bool lessOrEqual(Sign s) { return s != Sign::Plus; }
bool greaterOrEqual(Sign s) { return s != Sign::Minus; }

// ---- predicates ----------------------------------------------------------------------------
_cell* notTwin(cfunction&, Frame a, long, Frame, long) { return truth(a[0].value == NILCell); }

_cell* listpTwin(cfunction&, Frame a, long, Frame, long) {
  return truth(a[0].value == NILCell || isCons(a[0].value));
}

_cell* zeropTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  if (isInt(x)) return truth(intOf(x) == 0);
  if (isFloat(x)) return truth(floatOf(x) == 0);
  if (isRatio(x)) return NILCell;
  return kRunText;
}

// EQUAL walks car-first with a work list; a structure too large to be acyclic for sure is left
// to the text, which nothing observable has happened for.
_cell* equalTwin(cfunction&, Frame a, long, Frame, long) {
  constexpr long kMaxSteps = 50000000;
  switch (equalWithin(a[0].value, a[1].value, kMaxSteps)) {
    case Equality::Equal:
      return TCell;
    case Equality::Different:
      return NILCell;
    default:
      return kRunText;
  }
}

// ---- accessors -----------------------------------------------------------------------------
// c[ad]+r by the letters between c and r, applied right to left; CAR and CDR of anything but a
// cons fail in the text.
template <const char* path>
_cell* cxr(cfunction&, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  const char* end = path;
  while (*end) end++;
  for (const char* p = end; p-- != path;) {
    if (!isCons(x)) return kRunText;
    x = *p == 'a' ? x->car : x->cdr;
  }
  return x;
}

// NTH walks n cdrs and takes the car; running off the list fails in the text.
_cell* nthOf(_cell* n, _cell* l) {
  if (!isInt(n) || intOf(n) < 0) return kRunText;
  for (int32_t k = intOf(n); k > 0; k--) {
    if (!isCons(l)) return kRunText;
    l = l->cdr;
  }
  return isCons(l) ? l->car : kRunText;
}

_cell* nthTwin(cfunction&, Frame a, long, Frame, long) { return nthOf(a[0].value, a[1].value); }

template <int k>
_cell* ordinal(cfunction&, Frame a, long, Frame, long) {
  _cell* l = a[0].value;
  for (int i = 0; i < k; i++) {
    if (!isCons(l)) return kRunText;
    l = l->cdr;
  }
  return isCons(l) ? l->car : kRunText;
}

_cell* nthcdrTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* n = a[0].value;
  _cell* l = a[1].value;
  if (!isInt(n) || intOf(n) == INT32_MIN) return kRunText;
  if (intOf(n) < 0) return NILCell;
  for (int32_t k = intOf(n); k > 0 && isCons(l); k--) l = l->cdr;
  return l;
}

// LAST: the last cons (a dotted tail stays behind it), an atom itself; a circular list is the
// text's (LENGTH refuses it).
_cell* lastTwin(cfunction&, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  if (!isCons(x)) return x;
  if (listLength(x) < 0) return kRunText;
  while (isCons(x->cdr)) x = x->cdr;
  return x;
}

// ---- building lists ------------------------------------------------------------------------
// A fresh copy of the conses of x (its dotted tail dropped) ending in y.
_cell* appendCopy(cfunction& m, _cell* x, _cell* y) {
  CellFrame g(m, x, y);
  _cell* head = NILCell;
  _cell* tail = nullptr;
  for (; isCons(x); x = x->cdr) {
    _cell* c = m.cons(x->car, y);
    if (tail) tail->cdr = c;
    else head = g.push(c);
    tail = c;
  }
  return tail ? head : y;
}

_cell* append1Twin(cfunction& m, Frame a, long, Frame, long) {
  long len = listLength(a[0].value);
  if (len < 0 || !ensureFree(m, len)) return kRunText;
  return appendCopy(m, a[0].value, a[1].value);
}

// COPY: every cons reachable through car and cdr fresh (one reached twice copied twice), atoms
// shared, without the text's recursion. A circular value, or a tree larger than the pool, is
// left to the text.
_cell* copyTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  if (!isCons(x)) return x;
  long count = consesUpTo(x, kCells);
  if (count < 0 || !ensureFree(m, count)) return kRunText;
  return m.CopyTree(x);
}

// CONSN (MAKE-ARRAY's elements): N elements, the first the element itself and each next a copy
// of the one before, every copy as fresh as COPY makes it (atoms shared), without the text's
// recursion, which takes a level of machine stack for each element (half a megabyte for a
// thousand). Only where the text, holding an integer, a copy and a frame a level, surely ends
// well: a small count and room to spare in the pools.
_cell* consnTwin(cfunction& m, Frame a, long, Frame, long) {
  constexpr long kMost = 100000;
  _cell* count = a[0].value;
  _cell* element = a[1].value;
  if (!isInt(count) || intOf(count) < 0 || intOf(count) > kMost) return kRunText;
  long n = intOf(count);
  long size = isCons(element) ? consesUpTo(element, 4 * kMost) : 0;
  if (size < 0 || n * (size + 2) > 4 * kMost) return kRunText;
  if (!ensureFree(m, 2 * n * (size + 2) + kCells / kReserveDivisor) ||
      m.freeInts <= n + kInts / kReserveDivisor + kGcThreshold)
    return kRunText;
  _cell* r = NILCell;  // allocation never collects: nothing to protect until the return
  for (long i = 1; i < n; i++) r = m.cons(size ? m.CopyTree(element) : element, r);
  return n ? m.cons(element, r) : r;
}

// REVERSE1 of a list: its elements reversed in fresh conses, a dotted tail dropped.
_cell* reversed(cfunction& m, _cell* x) {
  _cell* r = NILCell;
  for (; isCons(x); x = x->cdr) r = m.cons(x->car, r);
  return r;
}

_cell* reverse1Twin(cfunction& m, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  if (!isCons(x)) return x;
  long len = listLength(x);
  if (len < 0 || !ensureFree(m, len)) return kRunText;
  return reversed(m, x);
}

_cell* reverseTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  if (isString(x)) {
    long len = listLength(stringChars(x));
    if (len < 0 || !isAllMoji(stringChars(x)) || !ensureFree(m, 2 * len + 4)) return kRunText;
    _cell* chars = coerceTo(m, x, LIST);
    if (!chars) return kRunText;
    CellFrame g(m, chars);
    return coerceTo(m, g.push(reversed(m, chars)), STRING);  // all characters: cannot fail
  }
  return reverse1Twin(m, a, 1, nullptr, 0);
}

// ---- searching ----------------------------------------------------------------------------

// The first cons of l whose car EQ or EQL finds equal to x (for ASSOC, the first entry whose
// key is); NIL at the end; kRunText where the text fails before a match (a cycle, MEMBER's dotted
// tail, ASSOC's entry that is not a cons).
template <bool (*same)(_cell*, _cell*), bool entries>
_cell* find(_cell* x, _cell* l) {
  CycleGuard guard(l);
  _cell* p = l;
  for (; isCons(p);) {
    _cell* e = p->car;
    if (entries && !isCons(e)) return kRunText;
    if (same(x, entries ? e->car : e)) return entries ? e : p;
    p = p->cdr;
    if (!guard.passes(p)) return kRunText;
  }
  // ASSOC ends at any atom; MEMBER takes the CAR of anything but NIL
  return entries || p == NILCell ? NILCell : kRunText;
}

// EQ and EQL of an integer x, which both match only an integer of its value.
inline bool sameInt(_cell* x, _cell* y) { return isInt(y) && intOf(y) == intOf(x); }

_cell* gMember = nullptr;  // the library's names, for the rest of a recursive text's work
_cell* gAssoc = nullptr;
_cell* gMapcar = nullptr;

// MEMBER's and ASSOC's walk when :KEY or :TEST-NOT is given: only where the key and the test
// can show nothing but their answers, so the calls are made in the text's order and nothing
// can change under the walk. Every element reached must be a cons for ASSOC and the list must
// end in NIL for MEMBER, else the text decides.
template <bool entries>
_cell* keyedFind(cfunction& m, _cell* x, _cell* l, const KeywordArgs& k, _cell* test, Frame f,
                 long n) {
  _cell* pred = k.testNot != NILCell ? k.testNot : test;
  bool keyed = k.key != NILCell;
  if (!silent(pred, 2) || (keyed && !silent(k.key, 1)) || listLength(l) < 0) return kRunText;
  _cell* end = l;
  for (; isCons(end); end = end->cdr) {
    if (entries && !isCons(end->car)) return kRunText;
    if (keyed && !acceptsValue(k.key, entries ? end->car->car : end->car)) return kRunText;
  }
  if (!entries && end != NILCell) return kRunText;
  CellFrame g(m, x, l);
  g.push(pred);
  g.push(k.key);
  for (_cell* p = l; isCons(p); p = p->cdr) {
    _cell* v = entries ? p->car->car : p->car;
    if (keyed && !(v = callWith(m, k.key, v, NILCell, 1, f, n))) return nullptr;
    CellFrame h(m, v);
    int r = matches(m, k, test, x, v, f, n);
    if (r < 0) return nullptr;
    if (r) return entries ? p->car : p;
  }
  return NILCell;
}

// MEMBER: :TEST (EQL when not given), :TEST-NOT and :KEY; every element up to the match must be
// reachable by CAR, so a dotted tail before a match is the text's.
_cell* memberTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* item = a[0].value;
  _cell* l = a[1].value;
  KeywordArgs k;
  if (!readKeywords(a[2].value, false, k)) return kRunText;
  _cell* test = k.test ? k.test : EQL;
  if (k.testNot != NILCell || k.key != NILCell) return keyedFind<false>(m, item, l, k, test, f, n);
  if ((test == EQL || test == EQ) && isInt(item)) return find<sameInt, false>(item, l);
  if (test == EQL) return find<eqlCells, false>(item, l);
  if (test == EQ) return find<eqCells, false>(item, l);
  if (!callableWith(m, test, 2) || listLength(l) < 0) return kRunText;
  _cell* end = l;  // a user test sees every element: a dotted tail must not come
  while (isCons(end)) end = end->cdr;
  if (end != NILCell) return kRunText;
  // The text reads (CDR lst) after each test: the cursor is rooted and read again.
  CellFrame g(m, item, test);
  _cell*& p = rootedSlot(m, l);
  TwinWatch watch;
  while (isCons(p)) {
    int h = holds(m, test, item, p->car, f, n);
    if (h < 0) return nullptr;
    if (h) return p;
    p = p->cdr;
    if (watch.changed()) return callText(m, gMember, {item, p, gTestKey, test}, f, n);
  }
  return NILCell;
}

// ASSOC: :TEST (EQ when not given), :TEST-NOT and :KEY (of each entry's key); each entry before
// the match must be a cons.
_cell* assocTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* x = a[0].value;
  _cell* l = a[1].value;
  KeywordArgs k;
  if (!readKeywords(a[2].value, false, k)) return kRunText;
  _cell* test = k.test ? k.test : EQ;
  if (k.testNot != NILCell || k.key != NILCell) return keyedFind<true>(m, x, l, k, test, f, n);
  if ((test == EQL || test == EQ) && isInt(x)) return find<sameInt, true>(x, l);
  if (test == EQ) return find<eqCells, true>(x, l);
  if (test == EQL) return find<eqlCells, true>(x, l);
  if (!callableWith(m, test, 2) || listLength(l) < 0) return kRunText;
  for (_cell* p = l; isCons(p); p = p->cdr)
    if (!isCons(p->car)) return kRunText;
  CellFrame g(m, x, test);
  _cell*& p = rootedSlot(m, l);
  TwinWatch watch;
  while (isCons(p)) {
    int h = holds(m, test, x, p->car->car, f, n);
    if (h < 0) return nullptr;
    if (h) return p->car;  // read after the test, as the text reads it
    p = p->cdr;
    if (watch.changed()) return callText(m, gAssoc, {x, p, gTestKey, test}, f, n);
  }
  return NILCell;
}

// MAPCAR of one list, or of two (the first of the rest lists), stopping at the shorter; the
// function is called on the elements in order, and the results are collected in fresh conses.
// The text reads each list's next cons after the call, so the cursors are rooted and read again.
_cell* mapcarTwin(cfunction& m, Frame a, long, Frame f, long n) {
  _cell* fn = a[0].value;
  _cell* l1 = a[1].value;
  _cell* rest = a[2].value;
  bool two = isCons(rest);
  _cell* l2 = two ? rest->car : NILCell;
  if (!isCons(l1) || (two && !isCons(l2))) return NILCell;
  long len1 = listLength(l1);
  if (!callableWith(m, fn, two ? 2 : 1) || len1 < 0 || (two && listLength(l2) < 0)) return kRunText;
  if (!two)
    for (_cell* p = l1; isCons(p); p = p->cdr)
      if (!acceptsValue(fn, p->car)) return kRunText;
  if (!ensureFree(m, len1)) return kRunText;
  CellFrame g(m, fn);
  _cell*& at1 = rootedSlot(m, l1);  // the conses being visited, whatever a call cuts off
  _cell*& at2 = rootedSlot(m, l2);
  _cell*& head = rootedSlot(m, NILCell);
  _cell* tail = nullptr;
  TwinWatch watch;
  // Looked at once: the loop leaves at the first change in place, to the lambda list too.
  bool plain = isCons(fn) && cfunction::plainLambdaList(fn->cdr->car, two ? 2 : 1);
  while (isCons(l1) && (!two || isCons(l2))) {
    at1 = l1;
    at2 = l2;
    _cell* v = plain ? callPlainObject(m, fn, l1->car, two ? l2->car : NILCell, two ? 2 : 1, f, n)
                     : callWith(m, fn, l1->car, two ? l2->car : NILCell, two ? 2 : 1, f, n);
    if (!v) return nullptr;
    l1 = l1->cdr;
    if (two) l2 = l2->cdr;
    if (watch.changed()) {
      CellFrame h(m, v);
      _cell* more = two ? callText(m, gMapcar, {fn, l1, l2}, f, n) : callText(m, gMapcar, {fn, l1}, f, n);
      if (!more) return nullptr;
      v = m.cons(v, more);
    } else {
      {  // the calls may have used what was made room for
        CellFrame h(m, v);
        at1 = l1;
        at2 = l2;
        m.collectIfDue(1);
      }
      v = m.cons(v, NILCell);
    }
    if (tail) tail->cdr = v;
    else head = v;
    tail = v;
    if (v->cdr != NILCell) break;  // the text made the rest
  }
  return head;
}

// ---- arithmetic ----------------------------------------------------------------------------
// MOD of integers: x minus y times the floor of the exact quotient, wrapping at 32 bits.
_cell* modTwin(cfunction& m, Frame a, long, Frame, long) {
  _cell* x = a[0].value;
  _cell* y = a[1].value;
  if (!isInt(x) || !isInt(y) || intOf(y) == 0) return kRunText;
  int64_t p = intOf(x);
  int64_t q = intOf(y);
  if (p == INT32_MIN || q == INT32_MIN) return kRunText;  // the exact quotient may not fit
  int64_t fl = p / q;
  if ((p % q != 0) && ((p < 0) != (q < 0))) fl--;
  uint32_t prod = static_cast<uint32_t>(fl) * static_cast<uint32_t>(q);
  return m.IntToCell(static_cast<int32_t>(static_cast<uint32_t>(p) - prod));
}

// ---- macros --------------------------------------------------------------------------------
// (append a b c) is (append1 a (append b c)); (append a) is a; (append) is NIL.
_cell* appendMacro(cfunction& m, _cell* forms) {
  if (!isCons(forms)) return forms == NILCell ? NILCell : kRunText;
  if (!isCons(forms->cdr)) return forms->cdr == NILCell ? forms->car : kRunText;
  static _cell* append1 = nullptr;
  static _cell* append = nullptr;
  if (!append1) {
    append1 = m.CheckStringCell("APPEND1");
    append = m.CheckStringCell("APPEND");
  }
  return m.cons(append1, m.cons(forms->car, m.cons(m.cons(append, forms->cdr), NILCell)));
}

constexpr char kCaar[] = "aa", kCadr[] = "ad", kCdar[] = "da", kCddr[] = "dd";
constexpr char kCaaar[] = "aaa", kCaadr[] = "aad", kCadar[] = "ada", kCaddr[] = "add";
constexpr char kCdaar[] = "daa", kCdadr[] = "dad", kCddar[] = "dda", kCdddr[] = "ddd";
constexpr char kCaaaar[] = "aaaa", kCaaadr[] = "aaad", kCaadar[] = "aada", kCaaddr[] = "aadd";
constexpr char kCadaar[] = "adaa", kCadadr[] = "adad", kCaddar[] = "adda", kCadddr[] = "addd";
constexpr char kCdaaar[] = "daaa", kCdaadr[] = "daad", kCdadar[] = "dada", kCdaddr[] = "dadd";
constexpr char kCddaar[] = "ddaa", kCddadr[] = "ddad", kCdddar[] = "ddda", kCddddr[] = "dddd";
constexpr char kFirst[] = "a", kRest[] = "d";
}  // namespace

void registerListTwins(cfunction& m) {
  gMember = m.CheckStringCell("MEMBER");
  gAssoc = m.CheckStringCell("ASSOC");
  gMapcar = m.CheckStringCell("MAPCAR");
  using K = TwinKind;
  addFunctionTwin("<", K::Pure, compare<less>, intOrder<less>);
  addFunctionTwin(">", K::Pure, compare<greater>, intOrder<greater>);
  addFunctionTwin("<=", K::Pure, compare<lessOrEqual>, intOrder<lessOrEqual>);
  addFunctionTwin(">=", K::Pure, compare<greaterOrEqual>, intOrder<greaterOrEqual>);
  addFunctionTwin("copy", K::Value, copyTwin);
  addFunctionTwin("consn", K::Value, consnTwin);
  addFunctionTwin("not", K::Pure, notTwin);
  addFunctionTwin("listp", K::Pure, listpTwin);
  addFunctionTwin("zerop", K::Pure, zeropTwin);
  addFunctionTwin("equal", K::Pure, equalTwin);
  addFunctionTwin("first", K::Value, cxr<kFirst>);
  addFunctionTwin("rest", K::Value, cxr<kRest>);
  addFunctionTwin("caar", K::Value, cxr<kCaar>);
  addFunctionTwin("cadr", K::Value, cxr<kCadr>);
  addFunctionTwin("cdar", K::Value, cxr<kCdar>);
  addFunctionTwin("cddr", K::Value, cxr<kCddr>);
  addFunctionTwin("caaar", K::Value, cxr<kCaaar>);
  addFunctionTwin("caadr", K::Value, cxr<kCaadr>);
  addFunctionTwin("cadar", K::Value, cxr<kCadar>);
  addFunctionTwin("caddr", K::Value, cxr<kCaddr>);
  addFunctionTwin("cdaar", K::Value, cxr<kCdaar>);
  addFunctionTwin("cdadr", K::Value, cxr<kCdadr>);
  addFunctionTwin("cddar", K::Value, cxr<kCddar>);
  addFunctionTwin("cdddr", K::Value, cxr<kCdddr>);
  addFunctionTwin("caaaar", K::Value, cxr<kCaaaar>);
  addFunctionTwin("caaadr", K::Value, cxr<kCaaadr>);
  addFunctionTwin("caadar", K::Value, cxr<kCaadar>);
  addFunctionTwin("caaddr", K::Value, cxr<kCaaddr>);
  addFunctionTwin("cadaar", K::Value, cxr<kCadaar>);
  addFunctionTwin("cadadr", K::Value, cxr<kCadadr>);
  addFunctionTwin("caddar", K::Value, cxr<kCaddar>);
  addFunctionTwin("cadddr", K::Value, cxr<kCadddr>);
  addFunctionTwin("cdaaar", K::Value, cxr<kCdaaar>);
  addFunctionTwin("cdaadr", K::Value, cxr<kCdaadr>);
  addFunctionTwin("cdadar", K::Value, cxr<kCdadar>);
  addFunctionTwin("cdaddr", K::Value, cxr<kCdaddr>);
  addFunctionTwin("cddaar", K::Value, cxr<kCddaar>);
  addFunctionTwin("cddadr", K::Value, cxr<kCddadr>);
  addFunctionTwin("cdddar", K::Value, cxr<kCdddar>);
  addFunctionTwin("cddddr", K::Value, cxr<kCddddr>);
  addFunctionTwin("nth", K::Value, nthTwin);
  addFunctionTwin("second", K::Value, ordinal<1>);
  addFunctionTwin("third", K::Value, ordinal<2>);
  addFunctionTwin("fourth", K::Value, ordinal<3>);
  addFunctionTwin("fifth", K::Value, ordinal<4>);
  addFunctionTwin("sixth", K::Value, ordinal<5>);
  addFunctionTwin("seventh", K::Value, ordinal<6>);
  addFunctionTwin("eighth", K::Value, ordinal<7>);
  addFunctionTwin("ninth", K::Value, ordinal<8>);
  addFunctionTwin("tenth", K::Value, ordinal<9>);
  addFunctionTwin("nthcdr", K::Value, nthcdrTwin);
  addFunctionTwin("last", K::Value, lastTwin);
  addFunctionTwin("append1", K::Value, append1Twin);
  addFunctionTwin("reverse1", K::Value, reverse1Twin);
  addFunctionTwin("reverse", K::Value, reverseTwin);
  addFunctionTwin("member", K::Calls, memberTwin);
  addFunctionTwin("assoc", K::Calls, assocTwin);
  addFunctionTwin("mapcar", K::Calls, mapcarTwin);
  addFunctionTwin("mod", K::Value, modTwin);
  addTwin({"append", K::Macro, nullptr, appendMacro, nullptr, false, true});
}

Equality equalWithin(_cell* x, _cell* y, long maxSteps) {
  static std::vector<std::pair<_cell*, _cell*>> work;  // reused: the walk calls nothing back
  work.assign(1, {x, y});
  long steps = 0;
  while (!work.empty()) {
    auto [a, b] = work.back();
    work.pop_back();
    for (;;) {
      if (++steps > maxSteps) return Equality::Unknown;
      if (!isCons(a)) {
        if (eqlCells(a, b) || (isString(a) && isString(b) && StringEqual(a, b) != NILCell)) break;
        return Equality::Different;
      }
      if (!isCons(b)) return Equality::Different;
      work.push_back({a->cdr, b->cdr});
      a = a->car;
      b = b->car;
    }
  }
  return Equality::Equal;
}
