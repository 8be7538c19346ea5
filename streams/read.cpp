// READ and READ-LINE, from the terminal and from file streams.
//
// READ-LINE builds its string straight from the line's bytes, so a line holds exactly what the
// file held (quotes, backslashes and NUL bytes included) and nothing is ever re-escaped into
// a fixed buffer. End of standard input during READ-LINE answers like end of file: the empty
// string and T. READ from the terminal shares the prompt's form reader, which ends the process
// with status 0 when standard input is exhausted. Ctrl-C while either waits at a terminal
// interrupts the running program like an error.

#include <cstdio>

#include "reader/reader.h"
#include "streams/sources.h"
#include "streams/streams.h"

namespace {

// The longest line one READ-LINE returns; the rest of a longer line is left for the next.
constexpr int kLineMax = kLineStrSize - 2;

// One line's bytes; reused by every READ-LINE (nothing keeps it between calls).
char lineBuf[kLineMax];

bool atEnd(FILE* fp) {
  int c = fileByte(fp);
  if (c == EOF) return true;
  std::ungetc(c, fp);
  return false;
}

// Text left over at end of file that is more than blanks is an unfinished form (a list or a
// string whose end is missing), never a clean end of file.
bool unfinished() { return !ctextproc::AllBlank(lineStr); }

}  // namespace

// ---- READ-LINE --------------------------------------------------------------------------

_cell* ReadLine(cmemory& m) {
  std::fflush(stdout);  // whatever asked the question is shown before the wait
  int len = 0;
  bool sawAnything = false;
  while (len < kLineMax) {
    int c = inputByte();
    if (c == kInputCancelled) return m.raise(msg::Interrupted);
    if (c == EOF) break;
    sawAnything = true;
    if (c == '\n') break;
    lineBuf[len++] = static_cast<char>(c);
  }
  _cell* s = m.stringFromBytes(lineBuf, static_cast<size_t>(len));
  // Nothing left to read at all: the answer of a file's end, not an empty line.
  _cell* flag = sawAnything ? NILCell : TCell;
  m.valuesList = m.cons(s, m.cons(flag, NILCell));
  return s;
}

_cell* ReadLineStrm(cmemory& m, FILE* fp) {
  int len = 0;
  bool ended = false;  // a newline or carriage return closed the line
  while (len < kLineMax) {
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
    lineBuf[len++] = static_cast<char>(c);
  }
  if (int slot = ended ? slotOf(m, fp) : -1; slot >= 0) slotSource(slot).lineRead();
  _cell* s = m.stringFromBytes(lineBuf, static_cast<size_t>(len));
  m.valuesList = m.cons(s, m.cons(ended ? NILCell : TCell, NILCell));
  return s;
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
