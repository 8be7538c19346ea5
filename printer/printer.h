// Printer: the readable style (PRIN1) and the plain style (PRINC), to the terminal or a file.
//
// Invariants
// - Printing never allocates cells and never fails; write errors are ignored.
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
  static void printTo(_cell* c, FILE* f);       // readable, anywhere (a report about a value)
  static void princS(_cell* c, FILE* f);        // plain
  static void PutString(_cell* list, FILE* f);
  static void PutStringC(_cell* list, FILE* f);
};
