// strings: making them and reading their bytes
#include "heap/heap.h"

_cell* cmemory::stringFromBytes(const char* bytes, size_t n) {
  _cell* one = IntToCell(1);
  _cell* arr = atomCell(Type::Array);
  arr->car = one;
  _cell* kind = cons(CHARACTER, NILCell);
  arr->cdr = kind;
  _cell* tail = kind;
  for (size_t i = 0; i < n; i++) {
    _cell* c = cons(getMojiCell(bytes[i]), NILCell);
    tail->cdr = c;
    tail = c;
  }
  return arr;
}

bool stringBytes(const _cell* s, std::string& out) {
  const _cell* p = stringChars(s);
  long len = listLength(p);
  if (len < 0) return false;
  for (long k = 0; k < len; ++k, p = p->cdr) {
    if (!isChar(p->car)) return false;
    out.push_back(static_cast<char>(byteOf(p->car)));
  }
  return true;
}
