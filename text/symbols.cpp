// Symbol names: SYMBOL-NAME, and INTERN / INTERN-WIDE, which make symbols from strings.
//
// Names of any length work: the bytes are gathered into a growing buffer rather than a
// fixed one, and the result string is built straight from them.

#include <string>
#include <unordered_set>

#include "text/text.h"

namespace {

// The messages of one interning operator.
struct InternMessages {
  const char* lower;
  const char* badChar;
  const char* empty;
};

constexpr InternMessages kIntern = {msg::InternLower, msg::InternChar, msg::InternEmpty};
constexpr InternMessages kInternWide = {msg::InternWideLower, msg::InternWideChar,
                                        msg::InternWideEmpty};

// Bytes a symbol name may not hold: the reader could never give them back as one symbol.
// A NUL byte is refused too, since a name ends at its first NUL.
bool isForbidden(unsigned char b) {
  switch (b) {
    case ' ':
    case '@':
    case ',':
    case '\'':
    case ';':
    case ':':
    case '"':
    case '\0':
      return true;
    default:
      return false;
  }
}

// The name a string gives: its bytes up to its first element that is not a character. False
// when every element is a character and the list never ends (RPLACD can make one): such a
// string has no name to give.
[[nodiscard]] bool nameBytes(const _cell* s, std::string& out) {
  if (stringBytes(s, out) || listLength(stringChars(s)) >= 0) return true;
  // A circular list is read up to its first element seen twice.
  std::unordered_set<const _cell*> seen;
  for (const _cell* p = stringChars(s); seen.insert(p).second; p = p->cdr) {
    if (!isChar(p->car)) return true;
    out.push_back(static_cast<char>(byteOf(p->car)));
  }
  return false;
}

// A name's bytes read as the inside of a string literal: a backslash stands for the byte
// after it and an unescaped double quote ends the text. A lone backslash at the very end has
// nothing to escape and is kept as itself, so no name ever reads past its own end.
std::string unescapeName(const char* name) {
  std::string out;
  for (const char* p = name; *p && *p != '"'; ++p) {
    if (*p == '\\' && p[1] != '\0') ++p;
    out.push_back(*p);
  }
  return out;
}

// The scan INTERN and INTERN-WIDE share: the message that refuses the name (the first
// offending byte decides), or null when the name is acceptable.
[[nodiscard]] const char* checkName(const std::string& name, const InternMessages& m) {
  for (unsigned char b : name) {
    if (b >= 'a' && b <= 'z') return m.lower;
    if (isForbidden(b)) return m.badChar;
  }
  if (name.empty()) return m.empty;
  return nullptr;
}

// INTERN and INTERN-WIDE differ only in their messages and in the symbol they make.
_cell* internString(cmemory& m, _cell* s, const InternMessages& messages, bool wide) {
  std::string name;
  if (!isString(s) || !nameBytes(s, name)) return m.raise(msg::NotStringPlain, s);
  if (const char* problem = checkName(name, messages)) return m.raise(problem, s);
  bool existed = !wide && m.CheckStringCell(name.c_str()) != nullptr;
  // A program that makes symbols (or names) it keeps stops at half the reserve, with the debug
  // loop; the rest is for the names typed there. Uninterned symbols it dropped are collected
  // first: nothing here holds a cell any more, and every caller holds its cells protected, as
  // at a step's start.
  if (!existed && m.freeSymbolSlots() < kSymbolReserve / 2) m.gc(false);
  if (!existed && m.freeSymbolSlots() < kSymbolReserve / 2) return m.raise(msg::TooManySymbols);
  if (!existed && !wide && m.freeStringBytes() < kNameReserve + static_cast<long>(name.size()))
    return m.raise(msg::StringAreaLow);
  _cell* sym = wide ? m.getStringCellWide(name.c_str()) : m.getStringCell(name.c_str());
  if (!sym) return nullptr;
  m.valuesList = m.cons(sym, m.cons(existed ? TINTERNAL : NILCell, NILCell));
  return sym;
}

}  // namespace

// ---- SYMBOL-NAME ------------------------------------------------------------------------

_cell* symbolName(cmemory& m, _cell* v) {
  if (!isSymbol(v)) return m.raise(msg::NotSymbolPlain, v);
  const char* name = nameOf(v);
  if (name[0] == ':') ++name;
  std::string bytes = unescapeName(name);
  return m.stringFromBytes(bytes.data(), bytes.size());
}

// ---- INTERN, INTERN-WIDE ----------------------------------------------------------------

_cell* intern(cmemory& m, _cell* s) { return internString(m, s, kIntern, false); }

_cell* internWide(cmemory& m, _cell* s) { return internString(m, s, kInternWide, true); }
