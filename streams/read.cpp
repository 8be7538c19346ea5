// READ and READ-LINE, from the terminal and from file streams.
//
// READ-LINE builds its string straight from the line's bytes, so a line holds exactly what the
// file held (quotes, backslashes and NUL bytes included) and nothing is ever re-escaped into
// a fixed buffer. A line is returned whole however long it is, or, when its string cannot be
// made, refused after the whole line was read: what follows a long line is never taken for
// the next line, nor, at the prompt, for a form. End of standard input during READ-LINE
// answers like end of file: the empty string and T. READ from the terminal shares the prompt's
// form reader, which ends the process with status 0 when standard input is exhausted. Ctrl-C
// while either waits at a terminal interrupts the running program like an error.

#include <cstdio>
#include <string>

#include "reader/reader.h"
#include "streams/sources.h"
#include "streams/streams.h"

namespace {

// A string takes two cells a byte, so a line longer than this could never be made: past it
// the bytes are read and dropped.
constexpr size_t kLineKept = kCells / 2;
// The cells a line's string may take leave the pool's reserve untouched: a long line is
// refused rather than bring the session to its last cells.
constexpr long kLineReserve = kCells / kReserveDivisor;

// One line's bytes; reused by every READ-LINE (nothing keeps it between calls).
std::string lineBuf;

// Keeps a byte of the line being read, unless the line is already too long to keep; false
// when Ctrl-C asks to give up a line past that length (an endless one, from a device).
bool keep(int c) {
  if (lineBuf.size() < kLineKept) {
    lineBuf.push_back(static_cast<char>(c));
    return true;
  }
  if (terminateSignal) terminateNow();
  return !interruptRequested;
}

_cell* givenUp(cmemory& m) {
  interruptRequested = 0;
  lineBuf.clear();
  return m.raise(msg::Interrupted);
}

bool atEnd(FILE* fp) {
  int c = fileByte(fp);
  if (c == EOF) return true;
  std::ungetc(c, fp);
  return false;
}

// Text left over at end of file that is more than blanks is an unfinished form (a list or a
// string whose end is missing), never a clean end of file.
bool unfinished() { return !ctextproc::AllBlank(lineStr); }

// The string of the line in lineBuf, with its values (the string and `flag`); null after the
// message when the line is too long for the cells there are.
_cell* lineString(cmemory& m, size_t read, _cell* flag) {
  long need = 2 * static_cast<long>(read) + 4 + kLineReserve;
  if (read > lineBuf.size() || (m.collectIfDue(need), !m.roomFor(need))) {
    lineBuf.clear();
    return m.raise(msg::CellsLow);
  }
  _cell* s = m.stringFromBytes(lineBuf.data(), lineBuf.size());
  lineBuf.clear();
  m.valuesList = m.cons(s, m.cons(flag, NILCell));
  return s;
}

}  // namespace

// ---- READ-LINE --------------------------------------------------------------------------

_cell* ReadLine(cmemory& m) {
  std::fflush(stdout);  // whatever asked the question is shown before the wait
  lineBuf.clear();
  size_t read = 0;
  bool sawAnything = false;
  for (;;) {
    int c = inputByte();
    if (c == kInputCancelled) return givenUp(m);
    if (c == EOF) break;
    sawAnything = true;
    if (c == '\n') break;
    if (!keep(c)) return givenUp(m);
    read++;
  }
  // Nothing left to read at all: the answer of a file's end, not an empty line.
  return lineString(m, read, sawAnything ? NILCell : TCell);
}

_cell* ReadLineStrm(cmemory& m, FILE* fp) {
  lineBuf.clear();
  size_t read = 0;
  bool ended = false;  // a newline or carriage return closed the line
  for (;;) {
    int c = fileByte(fp);
    if (c == EOF) break;
    if (c == '\n') {
      ended = true;
      break;
    }
    if (c == '\r') {
      int next = fileByte(fp);
      if (next != '\n' && next != EOF) std::ungetc(next, fp);
      ended = true;
      break;
    }
    if (!keep(c)) return givenUp(m);
    read++;
  }
  if (int slot = ended ? slotOf(m, fp) : -1; slot >= 0) slotSource(slot).lineRead();
  return lineString(m, read, ended ? NILCell : TCell);
}

// Given eof-error-p and eof-value, READ-LINE answers the end of a file as READ does, so a
// reading loop can end; the later arguments may have closed the stream meanwhile.
_cell* readLineOrEnd(cmemory& m, _cell* s, bool eofError, _cell* eofValue) {
  FILE* fp = s == NILCell ? stdin : getStream(m, s);
  if (!fp) return m.raise(msg::InvalidStream);
  if (atEnd(fp)) {
    if (eofError) return m.raise(msg::ReadError);
    m.valuesList = nullptr;
    return eofValue;
  }
  return ReadLineStrm(m, fp);
}

// ---- READ -------------------------------------------------------------------------------

bool programInput = false;

_cell* inputStream(cmemory& m, _cell* s, const char* invalid) {
  if (s == NILCell && programInput) return s;
  if (!isStreamValue(s)) return m.raise(msg::NotStream);
  if (!getStream(m, s)) return m.raise(invalid);
  if (m.fileOutput[intOf(s) - 1]) return m.raise(msg::NotInputStream);
  return s;
}

_cell* readTerminal(cmemory& m) {
  lineStr[0] = '\0';
  int got = ctextproc::GetOneS();
  if (got < 0) return m.raise(msg::Interrupted);  // Ctrl-C while the program waits
  if (!got) return m.raised();
  if (!ctextproc::Rewrite(lineStr)) return nullptr;
  return m.readFromString(lineStr);
}

// The later arguments may have closed the stream since it was checked.
_cell* readStream(cmemory& m, _cell* s, bool eofError, _cell* eofValue) {
  FILE* fp = s == NILCell ? stdin : getStream(m, s);
  if (!fp) return m.raise(msg::StreamInvalidRead);
  lineStr[0] = '\0';
  int got = ctextproc::GetOneSStream(fp);
  int slot = s == NILCell ? -1 : intOf(s) - 1;
  if (slot >= 0) slotSource(slot).collected(lineStr);
  if (got == 2 && unfinished()) return m.raise(msg::ParenMismatch);
  if (got == 2) return eofError ? m.raise(msg::ReadError) : eofValue;
  // Nothing could be read: the reader has given its reason.
  if (got == 0) return eofError ? m.raise(msg::ReadError) : m.raised();
  if (ctextproc::CheckBrace(lineStr) != 1) return m.raise(msg::ParenMismatch);
  if (!ctextproc::Rewrite(lineStr)) return nullptr;
  _cell* datum = m.readFromString(lineStr);
  if (datum && slot >= 0) {
    for (int k = 0; k < kFileSlots; k++) slotSource(k).took(k == slot ? datum : nullptr);
    if (isCons(datum)) setConsFlag(datum, ConsMeta::ReadForm);
  }
  return datum;
}
