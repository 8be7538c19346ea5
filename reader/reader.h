// Reader: collecting one balanced form, normalising it, rewriting reader macros, parsing.
//
// Invariants
// - `lineStr` holds the text of the form being read; every reader appends to it and its
//   caller empties it first. A collected form is at most 19,999 bytes, and the rewriting
//   passes never let the text reach the limit, so the 20,000-byte buffer always has its NUL.
// - Scanners move one byte at a time and step over literals with the one scanner below, so
//   they all agree. A string literal runs from a double quote to the next unescaped double
//   quote, a backslash inside it escaping exactly the next byte; a character literal is '#',
//   '\' and one byte (fewer at the very end of the text: scanners never step past the NUL).
// - End of standard input ends the process with status 0 (there is nobody left to type).
// - Every byte read from standard input comes through `inputByte`.
#pragma once

#include <signal.h>

#include <cstdint>
#include <cstdio>

constexpr int kLineStrSize = 20000;
constexpr int kFormLimit = 19999;
extern char lineStr[kLineStrSize];

// ---- the line source (reader/terminal.cpp) ----------------------------------------------
// Off unless standard input and output are terminals and startLineEditing was called; then
// lines are edited (with libedit where the program was built with it) and kept in a history.
extern bool lineEditing;
int editedByte();
// Ctrl-C discarded the line being typed (only when lineEditing).
constexpr int kInputCancelled = -2;
// The next byte of standard input, EOF, or kInputCancelled.
inline int inputByte() { return lineEditing ? editedByte() : std::getchar(); }
struct _cell;
class cmemory;
// Tab completes the names of the symbols interned in m.
void startLineEditing(const cmemory& m);
bool lineEditingBuiltIn();  // built with libedit
// While one lives (GetOneS holds one while it collects a form), the lines typed are one form's:
// they go into the history as one entry when it ends.
class FormLines {
 public:
  FormLines();
  ~FormLines();
  FormLines(const FormLines&) = delete;
  FormLines& operator=(const FormLines&) = delete;
};
// Set by Ctrl-C at a terminal (the only thing its signal handler does); the evaluator polls
// it at every step, and the line source clears it before each wait for a line.
extern volatile sig_atomic_t interruptRequested;
// Set by SIGTERM or SIGHUP, and by Ctrl-C unless a terminal session catches it: the process is to end
// with 128 plus this signal's number, its open files flushed and closed, at the next step or
// as soon as a wait for input is interrupted. It sets interruptRequested too, which the
// evaluator polls.
extern volatile sig_atomic_t terminateSignal;
void catchTermination(bool interrupts);  // interrupts: Ctrl-C ends the process too
[[noreturn]] void terminateNow();        // ends the process for terminateSignal
// getc of a file, or of standard input while a program reads it: a wait that a terminating
// signal ended ends the process rather than look like the file's end.
inline int fileByte(FILE* f) {
  int c = std::getc(f);
  if (c == EOF && terminateSignal) terminateNow();
  return c;
}

class ctextproc {
 public:
  // collecting
  // 1 when lineStr holds a complete form, 0 after printing an error, -1 when the user
  // cancelled the form with Ctrl-C.
  static int GetOneS();
  static int endOfCollecting();  // GetOneS at the end of input
  static int GetOneSStream(FILE* f);
  // The line ends of the comments GetOneSStream dropped: before the form's first byte and
  // within it (for where a form starts in its file).
  struct CommentLines {
    long before = 0;
    long within = 0;
  };
  static CommentLines commentLines;
  static int CheckBrace(const char* s);
  static int CheckBrace2(const char* s);
  static int CrTabOnly(const char* s);
  static int AllBlank(const char* s);
  static bool SkipComment(FILE* f);  // true when it took the line end
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
  // Rewrite for a form typed at a prompt: every failure leaves a message, an unterminated
  // string included (the passes fail on it silently).
  static int RewriteTyped(char* s);

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

// The lexical rule every scanner follows, fed one byte at a time: which bytes belong to a
// string or character literal and so are never syntax.
class LiteralScan {
 public:
  // Takes the next byte; true when it stands outside every literal.
  bool feed(char c);
  // True when the next byte belongs to a literal, whatever it is.
  bool midLiteral() const { return state_ == CharByte || inString(); }
  bool inString() const { return state_ == String || state_ == Escape; }
  bool atRest() const { return state_ == Code; }

 private:
  enum State { Code, Hash, CharByte, String, Escape } state_ = Code;
};

inline bool atLiteral(const char* p) { return p[0] == '"' || (p[0] == '#' && p[1] == '\\'); }

// Steps over the string or character literal at p, or over one other byte; p is never the
// end of the text, and the step never passes it. *unclosed tells that the text ended inside
// a string.
const char* skipWholeLiteral(const char* p, bool* unclosed);  // p at a literal
inline const char* skipLiteral(const char* p, bool* unclosed) {
  *unclosed = false;
  return atLiteral(p) ? skipWholeLiteral(p, unclosed) : p + 1;
}
inline char* skipLiteral(char* p, bool* unclosed) {
  return const_cast<char*>(skipLiteral(static_cast<const char*>(p), unclosed));
}

// The matching ')' of the '(' at p, stepping over strings and character literals; null when
// the text ends first, with *unterminated set when it ended inside a string.
const char* matchingClose(const char* p, bool* unterminated = nullptr);

// The reader-macro characters that may stand before a form: quote, backquote, comma, at-sign.
inline bool isPrefix(char c) { return c == '\'' || c == '`' || c == ',' || c == '@'; }

// Reads the leading signed decimal integer of a text; digits beyond 32 bits wrap modulo 2^32.
int32_t parseInt32(const char* s, size_t len);

// The marker of a backquote template's unquoted tail, (a . ,x): an uninterned symbol named ","
// made the first time the parser meets one (so nothing else changes), null until then.
extern _cell* TailComma;
_cell* tailComma(cmemory& m);
