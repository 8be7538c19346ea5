// Characters and strings: LENGTH, CHAR, COERCE, STRING-EQUAL, CHAR-CODE, CODE-CHAR, and the
// conversion of a string into a file name.
//
// Text is bytes: a character cell holds one byte and a multi-byte character is several
// cells, so LENGTH counts bytes and every operation here looks at the low 8 bits only.
// Lists can be circular once RPLACD has run, so every walk here is bounded: a list that never
// ends is treated like any other list that is not proper.

#include "eval/eval.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {

// CHAR and COERCE: the first argument, then the second with the first protected; a missing
// argument gets the operator's message and the debug loop. False when either step failed.
bool evalTwo(cfunction& m, _cell* args, Frame f, long n, const char* message, _cell** a,
             _cell** b) {
  if (!isCons(args)) return m.fail(message, f, n), false;
  CellFrame g(m, args);
  if (!(*a = m.eval(args->car, f, n))) return false;
  g.push(*a);
  if (!isCons(args->cdr)) return m.fail(message, f, n), false;
  return (*b = m.eval(args->cdr->car, f, n)) != nullptr;
}

// The element list of a string (the cdr of its CHARACTER cons).
_cell* charsOf(_cell* s) { return s->cdr->cdr; }

}  // namespace

// ---- LENGTH -----------------------------------------------------------------------------

_cell* cfunction::jlength(_cell* v) {
  if (isCons(v) || v == NILCell) {
    long len = listLength(v);
    if (len < 0) {
      say(msg::LengthOperand);
      return nullptr;
    }
    return made(IntToCell(len));
  }
  if (isArray(v)) {
    // The rank is judged before the element list, so a rank of 2 reads "not one-dimensional"
    // whatever follows it.
    if (!isInt(v->car)) {
      say(msg::ArrayBroken);
      return nullptr;
    }
    if (intOf(v->car) != 1) {
      say(msg::NotOneDimensional);
      return nullptr;
    }
    if (!isCons(v->cdr)) {
      say(msg::ArrayBroken);
      return nullptr;
    }
    long len = listLength(v->cdr->cdr);
    if (len < 0) {
      say(msg::LengthOperand);
      return nullptr;
    }
    return made(IntToCell(len));
  }
  say(msg::LengthOperand);
  return nullptr;
}

// ---- CHAR -------------------------------------------------------------------------------

_cell* cfunction::tchar(_cell* args, Frame f, long n) {
  _cell* s;
  _cell* i;
  if (!evalTwo(*this, args, f, n, msg::CharSyntax, &s, &i)) return nullptr;
  if (!isArray(s) || !isInt(i) || intOf(i) < 0 || !isString(s)) return fail(msg::CharSyntax, f, n);
  // At most index steps, so a list made circular by RPLACD still ends the walk.
  _cell* p = charsOf(s);
  for (int32_t k = intOf(i); k > 0 && isCons(p); --k) p = p->cdr;
  return made(isCons(p) ? p->car : NILCell);
}

// ---- COERCE -----------------------------------------------------------------------------

_cell* cfunction::coerce(_cell* args, Frame f, long n) {
  _cell* x;
  _cell* type;
  if (!evalTwo(*this, args, f, n, msg::CoerceSyntax, &x, &type)) return nullptr;

  if (type == STRING) {
    if (!(isCons(x) || x == NILCell) || !isAllMoji(x)) return fail(msg::CoerceSyntax, f, n);
    _cell* body = cons(CHARACTER, Copy(x));
    _cell* a = getCell();
    a->type = Type::Array;
    a->car = IntToCell(1);
    a->cdr = body;
    return made(a);
  }
  if (type == LIST) {
    if (!isString(x)) return fail(msg::CoerceSyntax, f, n);
    return made(Copy(charsOf(x)));
  }
  if (type == FUNCTION) return made(x);
  return fail(msg::CoerceSyntax, f, n);
}

// ---- STRING-EQUAL -----------------------------------------------------------------------

_cell* cfunction::StringEqual(_cell* a, _cell* b) {
  if (!isString(a) || !isString(b)) return made(NILCell);
  _cell* p = charsOf(a);
  _cell* q = charsOf(b);
  long lenA = listLength(p);
  long lenB = listLength(q);
  if (lenA < 0 || lenB < 0 || lenA != lenB) return made(NILCell);
  for (long k = 0; k < lenA; ++k, p = p->cdr, q = q->cdr) {
    if (!isChar(p->car) || !isChar(q->car)) return made(NILCell);
    if (byteOf(p->car) != byteOf(q->car)) return made(NILCell);
  }
  return made(TCell);
}

// ---- CHAR-CODE, CODE-CHAR ---------------------------------------------------------------

_cell* cfunction::char_to_code(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::CharCodeUse, f, n);
  _cell* c = eval(args->car, f, n);
  if (!c) return nullptr;
  if (!isChar(c)) return fail(msg::CharCodeUse, f, n);
  return made(IntToCell(byteOf(c)));
}

_cell* cfunction::code_to_char(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::CodeCharUse, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  if (!isInt(v) || intOf(v) < 0) return fail(msg::CodeCharUse, f, n);
  unsigned code = static_cast<unsigned>(intOf(v)) & 0xffu;
  _cell* c = getMojiCell(static_cast<char>(code));
  c->code = static_cast<intptr_t>(code);  // stored zero-extended, 0 to 255
  return made(c);
}

// ---- helpers for other subsystems -------------------------------------------------------

int cfunction::isAllMoji(_cell* list) {
  long len = listLength(list);
  if (len < 0) return 0;
  _cell* p = list;
  for (long k = 0; k < len; ++k, p = p->cdr)
    if (!isChar(p->car)) return 0;
  return p == NILCell ? 1 : 0;
}

// A NUL byte inside the name is refused: the file system would see a shorter, different name.
int cfunction::toPathMojiretsu(_cell* s, unsigned char* buf, int len) {
  if (!isString(s) || len <= 0) return 0;
  _cell* p = charsOf(s);
  if (!isCons(p)) return 0;
  int pos = 0;
  for (;;) {
    if (!isCons(p)) {
      buf[pos] = 0;
      return 1;
    }
    if (!isChar(p->car)) return 0;
    if (pos >= len - 1) return 0;  // no room left for this byte and the terminator
    unsigned char b = byteOf(p->car);
    if (b == 0) return 0;
    buf[pos++] = b;
    p = p->cdr;
  }
}
