// The start-up library: 123 Lisp source forms that the loader reads and evaluates in index
// order before the banner. Every entry is one complete form; a failure ends start-up.
#pragma once

extern const char* const ReadEvalData[];
extern const int kLibraryForms;  // how many there are
