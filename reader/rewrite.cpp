// normalising and the rewriting passes
#include <cstring>

#include "reader/reader.h"
#include "heap/messages.h"

namespace {

// In their fixed order: #' holds a quote, so the function pass runs before the quote pass.
enum class Pass { Function, Quote, BackQuote, Comma, At };
constexpr Pass kPasses[] = {Pass::Function, Pass::Quote, Pass::BackQuote, Pass::Comma, Pass::At};

enum class Outcome { Done, TooLong, OpenString };

// The character that starts what a pass rewrites.
char triggerChar(Pass pass) {
  switch (pass) {
    case Pass::Function:
      return '#';
    case Pass::Quote:
      return '\'';
    case Pass::BackQuote:
      return '`';
    case Pass::Comma:
      return ',';
    case Pass::At:
      return '@';
  }
  return 0;
}

bool triggers(Pass pass, const char* p) {
  return p[0] == triggerChar(pass) && (pass != Pass::Function || p[1] == '\'');
}

Outcome tooLong() {
  say(msg::RewriteTooLong);
  return Outcome::TooLong;
}

// Rewrites one prefix at p into "(KEYWORD datum)"; returns where the scan goes on, or null
// when the text would grow too long.
char* wrap(char* s, char* p, int limit, const char* keyword, int triggerLen) {
  const int kw = static_cast<int>(std::strlen(keyword));  // keyword and its blank
  const int growth = kw + 2 - triggerLen;                 // "(" + keyword + " " - trigger
  int len = static_cast<int>(std::strlen(s));
  if (len + growth >= limit) return nullptr;
  p[0] = '(';
  ctextproc::slide(p + 1, growth);
  std::memcpy(p + 1, keyword, static_cast<size_t>(kw));
  char* blank = p + 1 + kw;
  *blank = ' ';
  char* end = ctextproc::taiou(blank);
  if (len + growth + 1 >= limit) return nullptr;
  ctextproc::slide(end, 1);
  *end = ')';
  return blank;
}

Outcome pass(char* s, int limit, Pass which) {
  if (static_cast<int>(std::strlen(s)) >= limit) return tooLong();
  char* p = s;
  while (*p) {
    if (!triggers(which, p)) {
      bool unclosed;
      p = skipLiteral(p, &unclosed);
      if (unclosed) return Outcome::OpenString;
      continue;
    }
    switch (which) {
      case Pass::Function:
        p = wrap(s, p, limit, "FUNCTION", 2);
        break;
      case Pass::Quote:
        p = wrap(s, p, limit, "QUOTE", 1);
        break;
      case Pass::BackQuote:
        p = wrap(s, p, limit, "BACKQUOTE", 1);
        break;
      case Pass::Comma:
      case Pass::At:
        if (static_cast<int>(std::strlen(s)) + 1 >= limit) return tooLong();
        ctextproc::slide(p + 1, 1);
        p[1] = ' ';
        p += 2;
        break;
    }
    if (!p) return tooLong();
  }
  return Outcome::Done;
}

Outcome rewrite(char* s) {
  ctextproc::SkipTerm(s);
  for (Pass which : kPasses) {
    // The first pass finds an unclosed string or a text too long, and every pass that ends
    // leaves the text shorter than the limit: a later pass whose character does not occur in
    // the text would change nothing.
    if (which != kPasses[0] && !std::strchr(s, triggerChar(which))) continue;
    Outcome o = pass(s, kFormLimit, which);
    if (o != Outcome::Done) return o;
  }
  return Outcome::Done;
}
}  // namespace

void ctextproc::slide(char* s, int n) {
  std::memmove(s + n, s, std::strlen(s) + 1);
}

char* ctextproc::taiou(char* s) {
  char* p = s;
  while (*p == ' ') p++;
  while (isPrefix(*p)) p++;
  if (*p == '(') {
    const char* close = matchingClose(p);
    return close ? p + (close - p) + 1 : p + std::strlen(p);
  }
  while (*p && *p != ')' && *p != ' ' && *p != '(') {
    bool unclosed;  // an unterminated string runs to the end of the text
    p = skipLiteral(p, &unclosed);
  }
  return p;
}

void ctextproc::SkipTerm(char* s) {
  char* p = s;
  while (*p) {
    if (atLiteral(p)) {
      bool unclosed;
      p = skipLiteral(p, &unclosed);
      if (unclosed) return;
      continue;
    }
    if (*p == '\n' || *p == '\r' || *p == '\t')
      *p = ' ';
    else if (*p >= 'a' && *p <= 'z')
      *p = static_cast<char>(*p - 'a' + 'A');
    p++;
  }
}

int ctextproc::MakeFunctionText(char* s, int limit) {
  return pass(s, limit, Pass::Function) == Outcome::Done;
}
int ctextproc::MakeQuoteText(char* s, int limit) {
  return pass(s, limit, Pass::Quote) == Outcome::Done;
}
int ctextproc::MakeBackQuoteText(char* s, int limit) {
  return pass(s, limit, Pass::BackQuote) == Outcome::Done;
}
int ctextproc::MakeCommaText(char* s, int limit) {
  return pass(s, limit, Pass::Comma) == Outcome::Done;
}
int ctextproc::MakeAstText(char* s, int limit) { return pass(s, limit, Pass::At) == Outcome::Done; }

int ctextproc::Rewrite(char* s) { return rewrite(s) == Outcome::Done; }

int ctextproc::RewriteTyped(char* s) {
  Outcome o = rewrite(s);
  if (o == Outcome::OpenString) say(msg::UnclosedString);
  return o == Outcome::Done;
}
