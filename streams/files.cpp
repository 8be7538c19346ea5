// File slots, OPEN and CLOSE.

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "streams/sources.h"
#include "streams/streams.h"
#include "text/text.h"

// ---- slots ------------------------------------------------------------------------------

FILE* getStream(cmemory& m, _cell* c) {
  if (!c || !isInt(c)) return nullptr;
  int32_t k = intOf(c);
  if (k < 1 || k > kFileSlots) return nullptr;
  return m.files[k - 1];
}

FILE* getStream2(cmemory& m, _cell* c) {
  FILE* fp = getStream(m, c);
  if (fp) m.files[intOf(c) - 1] = nullptr;
  return fp;
}

_cell* SetFilePointer(cmemory& m, FILE* fp, const char* name, long lines) {
  for (int k = 0; k < kFileSlots; ++k) {
    if (m.files[k]) continue;
    m.files[k] = fp;
    slotSource(k).open(name, lines);
    _cell* s = m.IntToCell(k + 1);
    s->attr = Attr::Stream;
    return s;
  }
  return NILCell;
}

// ---- OPEN -------------------------------------------------------------------------------

namespace {

bool hasFreeSlot(const cmemory& m) {
  for (FILE* fp : m.files)
    if (!fp) return true;
  return false;
}

}  // namespace

// A symbol's whole name is used (never a cut-down one that names another file); the file
// system refuses one that is too long.
const char* fileName(_cell* v, unsigned char (&path)[kPathBuffer]) {
  if (isSymbol(v)) return nameOf(v);
  if (isString(v) && toPathMojiretsu(v, path, kPathBuffer))
    return reinterpret_cast<const char*>(path);
  return nullptr;
}

_cell* openFile(cmemory& m, const char* name, const OpenOptions& options) {
  // Checked before opening: an output file must not be truncated when it cannot be kept.
  if (!hasFreeSlot(m)) return m.raise(msg::TooManyFiles);
  struct stat info;
  bool exists = ::stat(name, &info) == 0;  // readable or not: :IF-EXISTS :ERROR must see it
  IfMissing missing = options.output && !options.missingGiven ? IfMissing::Create : options.ifMissing;
  if (!exists && missing == IfMissing::Nil) return NILCell;
  if (!exists && missing == IfMissing::Error) return m.raise(msg::CannotOpen);
  if (exists && options.output && options.ifExists == IfExists::Error)
    return m.raise(msg::FileExists);
  const char* mode = !options.output ? "rb" : options.ifExists == IfExists::Append ? "ab" : "wb";
  if (!options.output && !exists) {  // :IF-DOES-NOT-EXIST :CREATE for input: an empty file
    FILE* made = std::fopen(name, "ab");
    if (!made) return m.raise(msg::CannotOpen);
    std::fclose(made);
  }
  FILE* fp = std::fopen(name, mode);
  if (!fp) return m.raise(msg::CannotOpen);
  _cell* s = SetFilePointer(m, fp, name);
  if (s == NILCell) {
    std::fclose(fp);
    return m.raise(msg::TooManyFiles);
  }
  m.fileOutput[intOf(s) - 1] = options.output;
  return s;
}

// ---- CLOSE ------------------------------------------------------------------------------

_cell* closeStream(cmemory& m, _cell* v) {
  if (!isInt(v) || !isStreamValue(v)) return m.raise(msg::CannotClose);
  FILE* fp = getStream2(m, v);
  if (!fp) return m.raise(msg::CannotClose);
  slotSource(intOf(v) - 1).open("", 0);
  // What is still buffered is written now: a failure is CLOSE's.
  if (std::fclose(fp) != 0) return m.raise(msg::WriteFailed);
  return TCell;
}
