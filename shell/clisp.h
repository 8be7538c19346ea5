// Interpreter shell: the one interpreter object, start-up and the top-level loop.
//
// Invariants
// - Exactly one `clisp` exists, a static object of `runInterpreter` made on its first call and
//   living for the whole run; it is at once the heap, the evaluator, the reader and the printer.
// - Start-up order: Init, AllocMemory, the bottom frame marks, SetKeyword, the library, the
//   Common Lisp prelude when asked for, then either a program file, or the banner, line
//   editing and the loop. The bottom marks are never popped.
// - The process ends with status 0 after BYE/QUIT/EXIT or at the end of standard input or of
//   the program file; with status 1 when start-up fails, a store is exhausted or a program
//   file fails. At the prompt, input that cannot be collected, rewritten or parsed is an
//   error like any other.
#pragma once

#include "eval/eval.h"
#include "printer/printer.h"
#include "reader/reader.h"

class clisp : public cfunction, public ctextproc, public cprint {
 public:
  void SetKeyword();
  int ReadEvalLoop();
  int LoadTexts(const char* const* texts, int count);  // 1 when every form evaluated
  int LoadRewritten(const char* const* texts, int count);  // texts the reader has rewritten
  int LoadPrelude();  // the Common Lisp prelude: 1 when every form evaluated
  void DispMessage();
  void ReadEvalPrintLoop();
  // A program file (`lines` of it already read): 0 at its end, 1 after a failure.
  int RunFile(FILE* fp, const char* name, long lines);
};

// Runs the whole program on the calling thread, interactively or on a program file when
// script is not null, with the Common Lisp prelude first when clPrelude; returns the exit
// status.
int runInterpreter(FILE* script, bool clPrelude);
// The program file's name as given, and the lines its first line (#!) took.
extern const char* scriptName;
extern long scriptLinesSkipped;
