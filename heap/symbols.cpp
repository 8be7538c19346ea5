// symbol table: the string area and interning
#include <cstring>
#include <string_view>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

const char* cmemory::getString(const char* s) {
  size_t len = std::strlen(s);
  long used = stringTop - stringArea;
  if (used + static_cast<long>(len) + 2 > kStringArea - 1) exhausted(msg::StringAreaFull);
  char* at = stringTop;
  std::memcpy(at, s, len + 1);
  stringTop += len + 1;
  return at;
}

_cell* cmemory::CheckStringCell(const char* s) {
  auto it = symbolMap.find(std::string_view(s));
  return it == symbolMap.end() ? nullptr : it->second;
}

namespace {
_cell* makeSymbol(cmemory& m, const char* s, char attr) {
  if (m.symbolCount() >= kSymbols - 1) {
    say(msg::TooManySymbols);
    return nullptr;
  }
  const char* name = m.getString(s);
  _cell* c = m.getCell();
  c->type = Type::Symbol;
  c->attr = attr;
  c->name = name;
  c->symIndex = static_cast<int32_t>(m.symbolCount());
  *m.symbolTop++ = c;
  return c;
}
}  // namespace

_cell* cmemory::getStringCell(const char* s) {
  if (_cell* c = CheckStringCell(s)) return c;
  _cell* c = makeSymbol(*this, s, s[0] == ':' ? Attr::Keyword : Attr::Plain);
  if (c) symbolMap.emplace(std::string_view(c->name), c);
  return c;
}

_cell* cmemory::getStringCellWide(const char* s) { return makeSymbol(*this, s, Attr::Uninterned); }
