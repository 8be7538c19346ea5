// The start-up library: 123 Lisp source forms that the loader reads and evaluates in index
// order before the banner. Every entry is one complete form; a failure ends start-up.
#pragma once

extern const char* const ReadEvalData[];
extern const int kLibraryForms;  // how many there are
// The same texts as the reader rewrites them, in the same order, made when the program is
// built (library/rewrite_texts.cpp): what a start parses.
extern const char* const RewrittenTexts[];
