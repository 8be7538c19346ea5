// symbol table: the string area and interning
#include <cstring>

#include "heap/heap.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
// The string area's copy of a name of len bytes, or null (said) when the area is full.
const char* storeName(cmemory& m, const char* s, size_t len) {
  if (static_cast<long>(len) + 2 > m.freeStringBytes()) {
    say(msg::StringAreaLow);
    return nullptr;
  }
  char* at = m.stringTop;
  std::memcpy(at, s, len);
  at[len] = 0;
  m.stringTop += len + 1;
  return at;
}
}  // namespace

void SymbolIndex::add(_cell* sym, uint32_t h) {
  if (2 * (used_ + 1) > slots_.size()) grow();
  const size_t mask = slots_.size() - 1;
  size_t i = h & mask;
  while (slots_[i].sym) i = (i + 1) & mask;
  slots_[i] = {h, sym};
  used_++;
}

void SymbolIndex::grow() {
  std::vector<Slot> old(2 * slots_.size(), Slot{0, nullptr});
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& s : old)
    if (s.sym) {
      size_t i = s.hash & mask;
      while (slots_[i].sym) i = (i + 1) & mask;
      slots_[i] = s;
    }
}

const char* cmemory::getString(const char* s) { return storeName(*this, s, std::strlen(s)); }

_cell* cmemory::CheckStringCell(const char* s) {
  size_t len = std::strlen(s);
  return symbolIndex.find(s, len, SymbolIndex::hash(s, len));
}

namespace {
// An interned name lives in the string area for ever; an uninterned one is its symbol's own,
// freed with it by the collector.
_cell* makeSymbol(cmemory& m, const char* s, size_t len, char attr) {
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
    char* own = new char[len + 1];
    std::memcpy(own, s, len);
    own[len] = 0;
    name = own;
  } else if (!(name = storeName(m, s, len))) {
    return nullptr;
  }
  _cell* c = m.atomCell(Type::Symbol);
  c->attr = attr;
  c->name = name;
  c->cdr = NILCell;
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

_cell* cmemory::internNew(const char* s, size_t len, uint32_t hash) {
  _cell* c = makeSymbol(*this, s, len, len && s[0] == ':' ? Attr::Keyword : Attr::Plain);
  if (c) symbolIndex.add(c, hash);
  return c;
}

_cell* cmemory::getStringCell(const char* s) { return getStringCell(s, std::strlen(s)); }

_cell* cmemory::getStringCellWide(const char* s) {
  return makeSymbol(*this, s, std::strlen(s), Attr::Uninterned);
}
