// parser: rewritten text to cells
//
// Walks the text in place. A list's rest is read as a list again in a loop, and a list
// element that is itself a list ends at its matching parenthesis, found before it is read:
// one pass over the text first pairs every parenthesis, so that finding one is a lookup.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "heap/heap.h"
#include "numbers/numbers.h"
#include "reader/reader.h"
#include "heap/keywords.h"
#include "heap/messages.h"

_cell* TailComma = nullptr;

_cell* tailComma(cmemory& m) {
  if (!TailComma && (TailComma = m.getStringCellWide(","))) m.addRoot(&TailComma);
  return TailComma;
}

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipBlanks(const char* p) {
  while (*p == ' ') p++;
  return p;
}

// The bytes a scan stops at, all below 64, as a mask: the scans below pass over every other
// byte with one test.
constexpr uint64_t byteMask(std::initializer_list<char> bytes) {
  uint64_t m = 0;
  for (char b : bytes) m |= uint64_t{1} << b;
  return m;
}
bool inMask(char c, uint64_t set) {
  auto u = static_cast<unsigned char>(c);
  return u < 64 && (set >> u & 1);
}
constexpr uint64_t kTokenStops = byteMask({'\0', ' ', '(', ')', '"', '#'});
constexpr uint64_t kPairStops = byteMask({'\0', '(', ')', '"', '#'});

// End of the token at p: a blank or parenthesis, with string and character literals whole.
const char* tokenEnd(const char* p) {
  for (;;) {
    while (!inMask(*p, kTokenStops)) p++;
    char c = *p;
    if (c == 0 || c == ' ' || c == '(' || c == ')') return p;
    bool unclosed;  // an unterminated string runs to the end of the text
    p = skipLiteral(p, &unclosed);
  }
}

class Parser {
 public:
  explicit Parser(cmemory& m) : m_(m) {}

  _cell* read(const char* text) {
    pairParentheses(text);
    return datum(text);
  }

 private:
  cmemory& m_;
  const char* text_ = nullptr;
  // By offset of an opening parenthesis: its closing one, or -1 (the other offsets' entries
  // are never read). Kept from read to read (no read starts another), so reading allocates
  // nothing but cells.
  static inline std::vector<int32_t> close_;
  static inline std::vector<int32_t> open_;

  _cell* datum(const char* p) {
    p = skipBlanks(p);
    if (*p == '(') return list(p);
    return atom(p, tokenEnd(p));
  }

  // As matchingClose finds them, for every opening parenthesis outside a literal: none for one
  // left open, or open when a literal runs unterminated to the end.
  void pairParentheses(const char* text) {
    text_ = text;
    size_t length = std::strlen(text);
    if (close_.size() < length) close_.resize(length);
    open_.clear();
    for (const char* p = text;; p++) {
      while (!inMask(*p, kPairStops)) p++;
      if (*p == 0) break;
      if (*p == '(') {
        close_[static_cast<size_t>(p - text)] = -1;
        open_.push_back(static_cast<int32_t>(p - text));
      } else if (*p == ')') {
        if (!open_.empty()) {
          close_[static_cast<size_t>(open_.back())] = static_cast<int32_t>(p - text);
          open_.pop_back();
        }
      } else {
        bool unclosed;
        const char* literal = p;
        p = skipLiteral(p, &unclosed) - 1;
        if (unclosed) {  // the rest is the literal's; no parenthesis in it is paired
          std::fill(close_.begin() + (literal - text), close_.begin() + static_cast<long>(length),
                    -1);
          break;
        }
      }
    }
  }

  const char* matchingCloseOf(const char* q) const {
    int32_t at = close_[static_cast<size_t>(q - text_)];
    return at < 0 ? nullptr : text_ + at;
  }

  _cell* list(const char* p) {
    const char* q = skipBlanks(p + 1);
    _cell* head = nullptr;
    _cell* tail = nullptr;
    for (;;) {
      if (*q == ')') return head ? head : NILCell;
      _cell* rest = nullptr;
      if (q[0] == '.' && q[1] == ' ') {
        const char* d = skipBlanks(q + 2);
        // A comma after the dot unquotes the tail of a backquote template: ", form" (or
        // ", @ form") is read as a list behind a marker of its own, which BACKQUOTE evaluates
        // to the tail; a plain list of the comma symbol would be read as an element.
        if (d[0] == ',' && d[1] == ' ') {
          rest = list(d - 1);
          if (!rest) return nullptr;
          _cell* marker = tailComma(m_);
          if (!marker) return nullptr;  // no symbol slot left: its message is said
          rest = m_.cons(marker, rest->cdr);
        } else {
          rest = datum(q + 2);
        }
        if (!rest) return nullptr;
        if (!head) return rest;
        tail->cdr = rest;
        return head;
      }
      if (*q == 0) {
        say(msg::MissingClose);
        return nullptr;
      }
      _cell* element;
      const char* next;
      if (*q == '(') {
        const char* close = matchingCloseOf(q);
        if (!close) {
          say(msg::MissingClose);
          return nullptr;
        }
        element = list(q);
        next = close + 1;
      } else {
        const char* e = tokenEnd(q);
        element = atom(q, e);
        next = *e == ' ' ? e + 1 : e;
      }
      if (!element) return nullptr;
      _cell* c = m_.cons(element, NILCell);
      if (tail)
        tail->cdr = c;
      else
        head = c;
      tail = c;
      q = skipBlanks(next);
    }
  }

  _cell* atom(const char* p, const char* e) {
    const size_t len = static_cast<size_t>(e - p);
    switch (ctextproc::AnaType(p, len)) {
      case Token::Float:
        return m_.NumberToCell(ctextproc::myatof(std::string(p, len).c_str()));
      case Token::Integer:
        return m_.IntToCell(parseInt32(p, len));
      case Token::Fraction:
        return fraction(p, len);
      case Token::String:
        return m_.getMojiretsuCell(p);  // it ends at its closing quote, inside the token
      case Token::Character:
        return m_.getMojiCell(p[2]);
      default:
        return m_.getStringCell(p, len);
    }
  }

  _cell* fraction(const char* tok, size_t len) {
    size_t slash = static_cast<size_t>(static_cast<const char*>(std::memchr(tok, '/', len)) - tok);
    int32_t n = parseInt32(tok, slash);
    if (n == 0) return m_.IntToCell(0);
    int32_t d = parseInt32(tok + slash + 1, len - slash - 1);
    if (d == 0) {
      say(msg::ZeroDenominatorLiteral);
      return nullptr;
    }
    long rn, rd;
    cmathproc::yakubun(n, d, &rn, &rd);
    if (rd == 1) return m_.IntToCell(rn);
    return m_.BunsuToCell(rn, rd);
  }
};
}  // namespace

int32_t parseInt32(const char* s, size_t len) {
  size_t i = 0;
  while (i < len && (s[i] == ' ' || s[i] == '\t')) i++;
  bool negative = false;
  if (i < len && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  uint32_t v = 0;
  for (; i < len && isDigit(s[i]); i++) v = v * 10u + static_cast<uint32_t>(s[i] - '0');
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

int ctextproc::AnaType(const char* t, size_t len) {
  auto at = [&](size_t i) { return i < len ? t[i] : '\0'; };
  // Most tokens are names: only these first bytes can begin anything else.
  char first = at(0);
  if (!isDigit(first) && first != '-' && first != '.' && first != '"' && first != '#')
    return Token::Symbol;
  if (len == 2 && t[0] == '1' && (t[1] == '+' || t[1] == '-')) return Token::Symbol;
  if ((at(0) == '.' && isDigit(at(1))) || (at(0) == '-' && at(1) == '.' && isDigit(at(2))))
    return Token::Float;
  size_t s = at(0) == '-' ? 1 : 0;
  if (isDigit(at(s))) {
    size_t j = s + 1;
    while (isDigit(at(j))) j++;
    char c = at(j), d = at(j + 1);
    if (c == '.' && isDigit(d)) return Token::Float;
    if (c == 'E' && (isDigit(d) || d == '+' || d == '-')) return Token::Float;
    if (c == '/' && isDigit(d)) return Token::Fraction;
    return Token::Integer;
  }
  if (at(0) == '"') return Token::String;
  if (at(0) == '#' && at(1) == '\\' && len >= 3) return Token::Character;
  return Token::Symbol;
}

long double ctextproc::myatof(const char* s) { return std::strtold(s, nullptr); }

void ctextproc::myftoa(char* buf, long double v) {
  std::snprintf(buf, 30, "%.15Lg", v);
  if (!std::strchr(buf, '.') && !std::strchr(buf, 'e')) std::strcat(buf, ".0");
}

_cell* cmemory::readFromString(const char* text) {
  Parser p(*this);
  return p.read(text);
}

_cell* cmemory::getMojiretsuCell(const char* text) {
  const char* p = text + 1;
  const char* end = p;
  while (*end && *end != '"' && *end != '\\') end++;
  if (*end != '\\') return stringFromBytes(p, static_cast<size_t>(end - p));  // nothing escaped
  std::string bytes;
  while (*p && *p != '"') {
    if (*p == '\\') {
      if (!p[1]) break;  // a lone backslash at the very end escapes nothing
      bytes.push_back(p[1]);
      p += 2;
    } else {
      bytes.push_back(*p++);
    }
  }
  return stringFromBytes(bytes.data(), bytes.size());
}
