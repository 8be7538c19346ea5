// Time: the clock and calendar conversion in the process's time zone.
//
// Invariants
// - A moment is the pair (hours . seconds) of two 32-bit integers; inside, seconds are 64-bit.
// - The operations take evaluated arguments; a failure prints its message and returns null
//   through `raise`, so the evaluator opens the debug loop.
#pragma once

#include "heap/heap.h"

_cell* now(cmemory& m);                  // NOW: the current moment
_cell* localTime(cmemory& m, _cell* v);  // LOCAL-TIME: (sec min hour day month year weekday)
_cell* makeTime(cmemory& m, _cell* v);   // MAKE-TIME: the moment of such a list
