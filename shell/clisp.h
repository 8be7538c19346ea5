// Interpreter shell: the one interpreter object, start-up and the top-level loop.
//
// Invariants
// - Exactly one `clisp` exists, a static object of `runInterpreter` made on its first call and
//   living for the whole run; it is at once the heap, the evaluator, the reader and the printer.
// - Start-up order: Init, AllocMemory, the bottom frame marks, SetKeyword, the library,
//   the banner, the loop. The bottom marks are never popped.
// - The process ends with status 0 after BYE/QUIT/EXIT or at the end of standard input; with
//   status 1 when start-up fails or a store is exhausted. Input that cannot be collected,
//   rewritten or parsed is an error like any other.
#pragma once

#include "eval/eval.h"
#include "printer/printer.h"
#include "reader/reader.h"

class clisp : public cfunction, public ctextproc, public cprint {
 public:
  void SetKeyword();
  int ReadEvalLoop();
  int LoadTexts(const char* const* texts, int count);  // 1 when every form evaluated
  void DispMessage();
  void ReadEvalPrintLoop();
};

// Runs the whole program on the calling thread; returns the exit status.
int runInterpreter();
