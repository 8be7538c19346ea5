// Symbol names: SYMBOL-NAME, and INTERN / INTERN-WIDE, which make symbols from strings.
//
// Names of any length work: the bytes are gathered into a growing buffer rather than a
// fixed one, and the result string is built straight from them.

#include <string>

#include "eval/eval.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"

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

// Appends the string's bytes up to its first element that is not a character. False when the
// list turns out to be circular (RPLACD can make one): such a string has no name to give.
[[nodiscard]] bool gatherBytes(_cell* s, std::string& out) {
  _cell* p = s->cdr->cdr;
  _cell* slow = p;
  bool step = false;
  while (isCons(p) && isChar(p->car)) {
    out.push_back(static_cast<char>(byteOf(p->car)));
    p = p->cdr;
    if (step) {
      slow = slow->cdr;
      if (slow == p) return false;
    }
    step = !step;
  }
  return true;
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

}  // namespace

// ---- SYMBOL-NAME ------------------------------------------------------------------------

_cell* cfunction::symbolname(_cell* args, Frame f, long n) {
  if (!isCons(args)) return fail(msg::TooFewArgsPlain, f, n);
  _cell* v = eval(args->car, f, n);
  if (!v) return nullptr;
  if (!isSymbol(v)) return fail(msg::NotSymbolPlain, f, n);
  const char* name = nameOf(v);
  if (name[0] == ':') ++name;
  std::string bytes = unescapeName(name);
  return made(stringFromBytes(bytes.data(), bytes.size()));
}

// ---- INTERN, INTERN-WIDE ----------------------------------------------------------------

namespace {

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

}  // namespace

namespace {
// INTERN and INTERN-WIDE differ only in their messages and in the symbol they make.
_cell* internString(cfunction& m, _cell* args, Frame f, long n, const InternMessages& messages,
                    bool wide) {
  if (!isCons(args)) return m.fail(msg::TooFewArgsPlain, f, n);
  _cell* s = m.eval(args->car, f, n);
  if (!s) return nullptr;
  std::string name;
  if (!isString(s) || !gatherBytes(s, name)) return m.fail(msg::NotStringPlain, f, n);
  if (const char* problem = checkName(name, messages)) return m.fail(problem, f, n);
  bool existed = !wide && m.CheckStringCell(name.c_str()) != nullptr;
  _cell* sym = wide ? m.getStringCellWide(name.c_str()) : m.getStringCell(name.c_str());
  if (!sym) return nullptr;
  m.valuesList = m.cons(sym, m.cons(existed ? TINTERNAL : NILCell, NILCell));
  return sym;
}
}  // namespace

_cell* cfunction::t_intern(_cell* args, Frame f, long n) {
  return internString(*this, args, f, n, kIntern, false);
}

_cell* cfunction::t_intern_wide(_cell* args, Frame f, long n) {
  return internString(*this, args, f, n, kInternWide, true);
}
