// Streams: the ten file slots, OPEN, CLOSE, READ and READ-LINE.
//
// Invariants
// - A stream is an integer cell marked Attr::Stream holding a slot number 1 to 10; the slot
//   holds the open handle or null. Only the attribute makes a stream: callers test it before
//   `getStream`, which looks at the number alone.
// - Every handle OPEN opens is stored in a slot or closed again before it returns.
// - READ reads through `lineStr`, READ-LINE through a line buffer of its own; nothing is kept
//   between calls. READ-LINE takes a whole line, however long, and returns it or refuses it.
// - The operations take evaluated values and never evaluate. A failure prints its message and
//   returns null through `raise` (or `raised` when the reader printed it), and the evaluator
//   opens the debug loop; a failed rewriting or parse returns null without asking for it.
//   READ-LINE's results carry their values in `valuesList`.
#pragma once

#include <cstdio>

#include "heap/heap.h"

// OPEN's file-name buffer: names of 1 to 255 bytes, as the file system allows.
constexpr int kPathBuffer = 256;

// ---- slots ------------------------------------------------------------------------------
FILE* getStream(cmemory& m, _cell* c);        // the handle in the slot c names, or null
FILE* getStream2(cmemory& m, _cell* c);       // the same, and the slot is emptied
// A new stream for fp, or NIL when all are taken; `name` is the file's, for error reports, and
// `lines` how many of its lines were read before.
_cell* SetFilePointer(cmemory& m, FILE* fp, const char* name = "", long lines = 0);

// ---- OPEN, CLOSE ------------------------------------------------------------------------
// The file name a symbol or a string gives (a string's is copied into path), or null when
// the value names no file.
const char* fileName(_cell* v, unsigned char (&path)[kPathBuffer]);
// What OPEN does with a file that exists, or does not.
enum class IfExists { Supersede, Append, Error };
enum class IfMissing { Create, Error, Nil };
struct OpenOptions {
  bool output = false;
  IfExists ifExists = IfExists::Supersede;
  IfMissing ifMissing = IfMissing::Error;  // for output, Create unless given
  bool missingGiven = false;
};
// OPEN: a new stream, or NIL for a missing file under :IF-DOES-NOT-EXIST NIL.
_cell* openFile(cmemory& m, const char* name, const OpenOptions& options);

_cell* closeStream(cmemory& m, _cell* v);                    // CLOSE: T

// ---- READ, READ-LINE --------------------------------------------------------------------
// Set while a program file runs: standard input is then the program's data, read as a file is
// (READ takes the next form wherever it starts, the end of input is a file's end), and NIL
// stands for it as READ's and READ-LINE's stream.
extern bool programInput;
// The stream argument of READ or READ-LINE: s itself (NIL for standard input while a program
// file runs), or null after the message that it is no stream, or `invalid` when its slot is
// empty.
_cell* inputStream(cmemory& m, _cell* s, const char* invalid);
_cell* readTerminal(cmemory& m);  // READ from the terminal: the datum
// READ from a stream (NIL: standard input): the datum, or at the end eofValue unless eofError.
_cell* readStream(cmemory& m, _cell* s, bool eofError, _cell* eofValue);
_cell* ReadLine(cmemory& m);  // READ-LINE from the terminal: line and NIL, or "" and T
// READ-LINE from a file: line, and T unless a line end ended it; null after the message when
// the line is too long for the cells there are.
_cell* ReadLineStrm(cmemory& m, FILE* fp);
// READ-LINE from a stream given eof-error-p and eof-value: at the end of the file a failure,
// or eofValue alone.
_cell* readLineOrEnd(cmemory& m, _cell* s, bool eofError, _cell* eofValue);

// ---- where a form came from -------------------------------------------------------------
// A form READ took from a file while the stream is open: the file's name, the line where the
// form starts, and its first bytes on one line.
struct FormSource {
  char file[kPathBuffer];
  long line;
  char text[64];
};
// Whether `datum` is the form READ last took from an open file; if so, where it came from.
bool sourceOf(const _cell* datum, FormSource& out);
// Where the last form READ collected from stream s (read or not) starts; false for no file.
bool lastFormOf(const _cell* s, FormSource& out);
