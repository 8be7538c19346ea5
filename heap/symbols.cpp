// symbol table: the string area and interning
#include <cstring>
#include <string_view>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

const char* cmemory::getString(const char* s) {
  size_t len = std::strlen(s);
  if (static_cast<long>(len) + 2 > freeStringBytes()) {
    say(msg::StringAreaLow);
    return nullptr;
  }
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
// An interned name lives in the string area for ever; an uninterned one is its symbol's own,
// freed with it by the collector.
_cell* makeSymbol(cmemory& m, const char* s, char attr) {
  if (m.freeSymbolSlots() <= 0) {
    say(msg::TooManySymbols);
    return nullptr;
  }
  if (m.freeSymbolSlots() < m.symbolFloor && !m.symbolsDue) {
    m.symbolsDue = true;  // the next step's start collects
    m.room = -1;
  }
  const char* name;
  if (attr == Attr::Uninterned) {
    size_t len = std::strlen(s);
    char* own = new char[len + 1];
    std::memcpy(own, s, len + 1);
    name = own;
  } else if (!(name = m.getString(s))) {
    return nullptr;
  }
  _cell* c = m.getCell();
  c->type = Type::Symbol;
  c->attr = attr;
  c->name = name;
  if (!m.freeSymbols.empty()) {
    c->symIndex = m.freeSymbols.back();
    m.freeSymbols.pop_back();
  } else {
    c->symIndex = static_cast<int32_t>(m.symbolCount());
    m.symbolTop++;
  }
  m.symbolTable[c->symIndex] = c;
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
