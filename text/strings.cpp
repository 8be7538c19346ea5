// Characters and strings: LENGTH, CHAR, COERCE, STRING-EQUAL, CHAR-CODE, CODE-CHAR, and the
// conversion of a string into a file name.

#include <string>

#include "text/text.h"

// ---- LENGTH -----------------------------------------------------------------------------

_cell* jlength(cmemory& m, _cell* v) {
  if (isCons(v) || v == NILCell) {
    long len = listLength(v);
    if (len < 0) return m.complain(msg::LengthOperand);
    return m.IntToCell(len);
  }
  if (isArray(v)) {
    // The rank is judged before the element list, so a rank of 2 reads "not one-dimensional"
    // whatever follows it.
    if (!isInt(v->car)) return m.complain(msg::ArrayBroken);
    if (intOf(v->car) != 1) return m.complain(msg::NotOneDimensional);
    if (!isCons(v->cdr)) return m.complain(msg::ArrayBroken);
    long len = listLength(v->cdr->cdr);
    if (len < 0) return m.complain(msg::LengthOperand);
    return m.IntToCell(len);
  }
  return m.complain(msg::LengthOperand);
}

// ---- CHAR -------------------------------------------------------------------------------

_cell* charAt(cmemory& m, _cell* s, _cell* i) {
  if (!isArray(s) || !isInt(i) || intOf(i) < 0 || !isString(s)) return m.raise(msg::CharSyntax);
  // At most index steps, so a list made circular by RPLACD still ends the walk.
  _cell* p = stringChars(s);
  for (int32_t k = intOf(i); k > 0 && isCons(p); --k) p = p->cdr;
  return isCons(p) ? p->car : NILCell;
}

// ---- COERCE -----------------------------------------------------------------------------

// A string made by COERCE shares the list's character cells, so it is built here rather than
// from bytes.
_cell* coerceTo(cmemory& m, _cell* x, _cell* type) {
  if (type == STRING) {
    if (!(isCons(x) || x == NILCell) || !isAllMoji(x)) return m.raise(msg::CoerceSyntax);
    _cell* body = m.cons(CHARACTER, m.Copy(x));
    _cell* a = m.atomCell(Type::Array);
    a->car = m.IntToCell(1);
    a->cdr = body;
    return a;
  }
  if (type == LIST) {
    if (!isString(x)) return m.raise(msg::CoerceSyntax);
    return m.Copy(stringChars(x));
  }
  if (type == FUNCTION) return x;
  return m.raise(msg::CoerceSyntax);
}

// ---- STRING-EQUAL -----------------------------------------------------------------------

_cell* StringEqual(_cell* a, _cell* b) {
  if (!isString(a) || !isString(b)) return NILCell;
  // The bytes of both, compared in one walk: an element that is not a character, a differing
  // byte, an end of one before the other's and a circular first list all make them unequal, so
  // the order they are found in does not matter.
  const _cell* p = stringChars(a);
  const _cell* q = stringChars(b);
  CycleGuard guard(p);
  while (isCons(p)) {
    if (!isCons(q) || !isChar(p->car) || !isChar(q->car) || byteOf(p->car) != byteOf(q->car))
      return NILCell;
    p = p->cdr;
    q = q->cdr;
    if (!guard.passes(p)) return NILCell;
  }
  return isCons(q) ? NILCell : TCell;
}

// ---- CHAR-CODE, CODE-CHAR ---------------------------------------------------------------

_cell* charCode(cmemory& m, _cell* c) {
  if (!isChar(c)) return m.raise(msg::CharCodeUse, c);
  return m.IntToCell(byteOf(c));
}

_cell* codeChar(cmemory& m, _cell* v) {
  if (!isInt(v) || intOf(v) < 0) return m.raise(msg::CodeCharUse, v);
  unsigned code = static_cast<unsigned>(intOf(v)) & 0xffu;
  _cell* c = m.getMojiCell(static_cast<char>(code));
  c->code = static_cast<intptr_t>(code);  // stored zero-extended, 0 to 255
  return c;
}

// ---- helpers for other subsystems -------------------------------------------------------

int isAllMoji(_cell* list) {
  long len = listLength(list);
  if (len < 0) return 0;
  _cell* p = list;
  for (long k = 0; k < len; ++k, p = p->cdr)
    if (!isChar(p->car)) return 0;
  return p == NILCell ? 1 : 0;
}

// A NUL byte inside the name is refused: the file system would see a shorter, different name.
int toPathMojiretsu(_cell* s, unsigned char* buf, int len) {
  if (!isString(s) || len <= 0) return 0;
  std::string name;
  if (!stringBytes(s, name) || name.empty()) return 0;
  if (name.size() > static_cast<size_t>(len - 1)) return 0;  // no room for the terminator
  if (name.find('\0') != std::string::npos) return 0;
  name.copy(reinterpret_cast<char*>(buf), name.size());
  buf[name.size()] = 0;
  return 1;
}
