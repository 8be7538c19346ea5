// Text: characters, strings and symbol names.
//
// Invariants
// - A character cell holds one byte; a multi-byte character is several cells, so lengths count
//   bytes and every operation here looks at the low 8 bits only.
// - A string is what `isString` accepts; its bytes are read through `stringBytes`. Lists can
//   be circular once RPLACD has run, so every walk here is bounded.
// - The operations take evaluated values and never evaluate. A failure prints its message and
//   returns null through `raise` (the evaluator opens the debug loop) or, for LENGTH,
//   `complain` (it opens none). Only INTERN and INTERN-WIDE set `valuesList`.
#pragma once

#include "heap/heap.h"

// ---- strings ----------------------------------------------------------------------------
_cell* jlength(cmemory& m, _cell* v);                // LENGTH of a list or a one-dimensional array
_cell* charAt(cmemory& m, _cell* s, _cell* i);       // CHAR: the very cell, or NIL past the end
_cell* coerceTo(cmemory& m, _cell* x, _cell* type);  // COERCE to STRING, LIST or FUNCTION
_cell* StringEqual(_cell* a, _cell* b);              // STRING-EQUAL: T or NIL, exact bytes
_cell* charCode(cmemory& m, _cell* c);               // CHAR-CODE: 0 to 255
_cell* codeChar(cmemory& m, _cell* v);               // CODE-CHAR: the code modulo 256

// 1 when the list is a proper list of character cells (the empty list included), else 0.
int isAllMoji(_cell* list);
// 1 when the string was copied into buf as a NUL-terminated name of 1 to len-1 bytes, else 0.
int toPathMojiretsu(_cell* s, unsigned char* buf, int len);

// ---- symbol names -----------------------------------------------------------------------
_cell* symbolName(cmemory& m, _cell* v);  // SYMBOL-NAME: a fresh string, a keyword's ':' dropped
_cell* intern(cmemory& m, _cell* s);      // INTERN: the symbol, and NIL or :INTERNAL
_cell* internWide(cmemory& m, _cell* s);  // INTERN-WIDE: a fresh uninterned symbol, and NIL
