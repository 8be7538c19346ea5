// start-up and the top-level loop
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "eval/ops.h"
#include "library/twins.h"
#include "shell/clisp.h"
#include "heap/keywords.h"
#include "library/cl_prelude.h"
#include "library/texts.h"
#include "heap/messages.h"
#include "streams/streams.h"

#define ZELKORA_DEFINE_KEYWORD(name, text) _cell* name = nullptr;
ZELKORA_KEYWORDS(ZELKORA_DEFINE_KEYWORD)
#undef ZELKORA_DEFINE_KEYWORD

void clisp::SetKeyword() {
  int row = 0;
#define ZELKORA_INTERN_KEYWORD(name, text)                  \
  name = getStringCell(text);                               \
  if (++row == 10) globalTable[getSymVal2(NIL)].value = NILCell; \
  if (row == 11) globalTable[getSymVal2(T)].value = TCell;
  ZELKORA_KEYWORDS(ZELKORA_INTERN_KEYWORD)
#undef ZELKORA_INTERN_KEYWORD
  // Symbols made before NIL existed get NIL as their cdr now, like every other symbol.
  for (_cell** s = symbolTable; s < symbolTop; s++) (*s)->cdr = NILCell;
  initOperators();
}

int clisp::ReadEvalLoop() {
  if (!LoadRewritten(RewrittenTexts, kLibraryForms)) return 0;
  initTwins(*this);
  return 1;
}

int clisp::LoadTexts(const char* const* texts, int count) {
  for (int i = 0; i < count; i++) {
    size_t length = std::min(std::strlen(texts[i]), static_cast<size_t>(kFormLimit));
    std::memcpy(lineStr, texts[i], length);
    lineStr[length] = 0;
    const char* text = lineStr;
    if (!Rewrite(lineStr) || !LoadRewritten(&text, 1)) return 0;
  }
  return 1;
}

int clisp::LoadRewritten(const char* const* texts, int count) {
  for (int i = 0; i < count; i++) {
    _cell* form = readFromString(texts[i]);
    if (!form) return 0;
    _cell* r;
    {
      CellFrame g(*this, form);
      r = eval(form, nullptr, 0);
    }
    if (!r) return 0;
  }
  return 1;
}

// Read from memory as LOAD reads a file (comments, any layout). An error ends the run with
// its message and status 1, as in a program file: there is nobody to answer a debug loop yet.
int clisp::LoadPrelude() {
  FILE* fp = fmemopen(const_cast<char*>(ClPreludeText), std::strlen(ClPreludeText), "r");
  if (!fp) return 0;
  endOnError = true;
  int ok = 1;
  for (;;) {
    lineStr[0] = 0;
    int got = GetOneSStream(fp);
    if (got == 2 && AllBlank(lineStr)) break;
    _cell* form = got != 0 && CheckBrace(lineStr) == 1 && Rewrite(lineStr)
                      ? readFromString(lineStr) : nullptr;
    _cell* r = nullptr;
    if (form) {
      CellFrame g(*this, form);
      r = eval(form, nullptr, 0);
    }
    if (!r) {
      reportResult(r);  // an uncaught THROW or RETURN-FROM says so
      ok = 0;
      break;
    }
  }
  std::fclose(fp);
  endOnError = false;
  return ok;
}

void clisp::DispMessage() { std::printf("%s\n%s\n", msg::Banner, msg::Notice); }

void clisp::ReadEvalPrintLoop() {
  for (long counter = 1;; counter++) {
    std::printf("[%ld]", counter);
    lineStr[0] = 0;
    int got = GetOneS();
    if (got < 0) continue;  // Ctrl-C dropped the form being typed: a fresh prompt
    // Input that cannot be collected, rewritten or parsed is an error like any other: its
    // message, the debug loop, and the session goes on.
    _cell* form = got && RewriteTyped(lineStr) ? readFromString(lineStr) : nullptr;
    if (!form) {
      errorlisp(nullptr, 0);
      continue;
    }
    _cell* r;
    {
      CellFrame g(*this, form);
      r = eval(form, nullptr, 0);
    }
    reportResult(r);
  }
}

// LOAD's loop on a file already open: (READ s NIL s) until it answers the stream itself,
// evaluating each datum where a form typed at the prompt is evaluated.
int clisp::RunFile(FILE* fp, const char* name, long lines) {
  endOnError = true;
  programInput = true;
  _cell* s = SetFilePointer(*this, fp, name, lines);
  _cell* read = cons(TREAD, cons(s, cons(NILCell, cons(s, NILCell))));
  CellFrame g(*this, read);
  programRead = read;
  for (;;) {
    _cell* datum = eval(read, nullptr, 0);
    if (datum == s) return 0;
    _cell* r = nullptr;
    if (datum) {
      CellFrame h(*this, datum);
      r = evalFrom(datum, nullptr, 0);
    }
    if (!r) {
      reportResult(r);  // an uncaught THROW or RETURN-FROM says so
      FormSource at;
      if (datum && lastFormOf(s, at)) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s:%ld: %s\n", at.file, at.line, at.text);
      }
      return 1;
    }
    if (std::ferror(stdout)) return 1;  // the output is being lost: the run has failed
  }
}

const char* scriptName = "";
long scriptLinesSkipped = 0;

int runInterpreter(FILE* script, bool clPrelude) {
  static clisp lisp;  // static: too large for any thread's frame
  lisp.Init();
  if (!lisp.AllocMemory()) return 1;
  lisp.SetKeyword();
  if (!lisp.ReadEvalLoop()) return 1;
  if (clPrelude && !lisp.LoadPrelude()) {
    say(msg::PreludeFailed);
    return 1;
  }
  catchTermination(true);  // at a terminal, line editing makes Ctrl-C an interruption instead
  if (script) return lisp.RunFile(script, scriptName, scriptLinesSkipped);
  lisp.DispMessage();
  startLineEditing(lisp);
  lisp.ReadEvalPrintLoop();
  return 0;
}
