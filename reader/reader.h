// Reader: collecting one balanced form, normalising it, rewriting reader macros, parsing.
//
// Invariants
// - `lineStr` holds the text of the form being read; every reader appends to it and its
//   caller empties it first. A collected form is at most 19,999 bytes, and the rewriting
//   passes never let the text reach the limit, so the 20,000-byte buffer always has its NUL.
// - Scanners move one byte at a time. A string literal runs from a double quote to the next
//   double quote not preceded by a backslash; a character literal is '#', '\' and one byte
//   (fewer at the very end of the text: scanners never step past the NUL).
// - End of standard input ends the process with status 0 (there is nobody left to type).
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kLineStrSize = 20000;
constexpr int kFormLimit = 19999;
extern char lineStr[kLineStrSize];

class ctextproc {
 public:
  // collecting
  static int GetOneS();
  static int GetOneSStream(FILE* f);
  static int CheckBrace(const char* s);
  static int CheckBrace2(const char* s);
  static int CrTabOnly(const char* s);
  static int AllBlank(const char* s);
  static void SkipComment(FILE* f);
  static const char* SkipSpc(const char* s);
  static const char* SkipDoubleQuote(const char* s);
  static const char* SkipDoubleQuote2(const char* s) { return SkipDoubleQuote(s); }

  // normalising and rewriting
  static void SkipTerm(char* s);
  static int MakeFunctionText(char* s, int limit);
  static int MakeQuoteText(char* s, int limit);
  static int MakeBackQuoteText(char* s, int limit);
  static int MakeCommaText(char* s, int limit);
  static int MakeAstText(char* s, int limit);
  static char* taiou(char* s);
  static void slide(char* s, int n);
  // SkipTerm and the five passes in their fixed order: 1 when all succeed.
  static int Rewrite(char* s);

  // token classes
  static int AnaType(const char* token, size_t len);
  static long double myatof(const char* s);
  static void myftoa(char* buf, long double v);
};

// Token classes of AnaType.
namespace Token {
constexpr int Symbol = 0;
constexpr int Float = 1;
constexpr int Integer = 2;
constexpr int Fraction = 3;
constexpr int String = 4;
constexpr int Character = 5;
}  // namespace Token

// Steps over a character literal ('#', '\' and one byte) without passing the end of the text.
inline const char* skipCharLiteral(const char* p) { return p + (p[2] ? 3 : 2); }
inline char* skipCharLiteral(char* p) { return p + (p[2] ? 3 : 2); }

// The matching ')' of the '(' at p, stepping over strings and character literals; null when
// the text ends first, with *unterminated set when it ended inside a string.
const char* matchingClose(const char* p, bool* unterminated = nullptr);

// Reads the leading signed decimal integer of a text; digits beyond 32 bits wrap modulo 2^32.
int32_t parseInt32(const char* s, size_t len);
