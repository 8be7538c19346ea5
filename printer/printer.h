// Printer: the readable style (PRIN1) and the plain style (PRINC), to the terminal or a file.
//
// Invariants
// - Printing never allocates cells and never fails; write errors are ignored. Ctrl-C stops a
//   print where it is (the evaluator's next step answers it); SIGTERM ends the process.
// - Acyclic values print exactly in the documented shapes. Only after some cons has been
//   changed in place (RPLACA, RPLACD) can a value hold a cycle, so only then is a value
//   checked first; one that holds a cycle prints with labels, as #1=(1 2 . #1#).
// - Nesting through car recurses; along cdr it loops. Deep nesting is bounded by the
//   evaluator's stack guard.
#pragma once

#include <cstddef>
#include <cstdio>

struct _cell;

class cprint {
 public:
  static void printS(_cell* c);                 // readable, to the terminal
  static void printSStrm(_cell* c, FILE* f);    // readable, to a file (arrays refused)
  // Readable, anywhere (a report about a value); with a limit, the walk stops soon after that
  // many bytes.
  static void printTo(_cell* c, FILE* f, long limit = -1);
  static void princS(_cell* c, FILE* f);        // plain
  static void PutString(_cell* list, FILE* f);
  static void PutStringC(_cell* list, FILE* f);
};
