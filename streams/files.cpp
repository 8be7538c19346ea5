// File slots, OPEN and CLOSE.
//
// A stream is an integer cell marked Attr::Stream holding a slot number 1..10; the slot holds
// the open handle. Every handle this file opens is either stored in a slot or closed again
// before OPEN returns, so no failure path leaks one.

#include <cstdio>

#include "eval/eval.h"
#include "printer/printer.h"
#include "heap/keywords.h"
#include "heap/messages.h"
#include "text/text.h"

namespace {

// OPEN's file-name buffer: names of 1 to 255 bytes, as the file system allows.
constexpr int kPathBuffer = 256;

}  // namespace

// ---- slots ------------------------------------------------------------------------------

FILE* cfunction::getStream(_cell* c) {
  if (!c || !isInt(c)) return nullptr;
  int32_t k = intOf(c);
  if (k < 1 || k > kFileSlots) return nullptr;
  return files[k - 1];
}

FILE* cfunction::getStream2(_cell* c) {
  FILE* fp = getStream(c);
  if (fp) files[intOf(c) - 1] = nullptr;
  return fp;
}

_cell* cfunction::SetFilePointer(FILE* fp) {
  for (int k = 0; k < kFileSlots; ++k) {
    if (files[k]) continue;
    files[k] = fp;
    _cell* s = IntToCell(k + 1);
    s->attr = Attr::Stream;
    return s;
  }
  return NILCell;
}

// ---- OPEN -------------------------------------------------------------------------------

namespace {

bool unwinding(const cfunction& m) { return m.throwPending || m.returnFromPending; }

bool hasFreeSlot(const cfunction& m) {
  for (FILE* fp : m.files)
    if (!fp) return true;
  return false;
}

}  // namespace

// OPEN enters the debug loop itself, without a message, when its name is missing, fails or
// is no name, even after that evaluation's own report; a pending THROW or RETURN-FROM is
// passed on untouched instead. A symbol's whole name is used (never a cut-down one that
// names another file); the file system refuses one that is too long.
_cell* cfunction::topen(_cell* args, Frame f, long n) {
  if (!isCons(args)) {
    errorlisp(f, n);
    return nullptr;
  }
  CellFrame g(*this, args);
  _cell* v = eval(args->car, f, n);
  if (!v) {
    if (!unwinding(*this)) errorlisp(f, n);
    return nullptr;
  }
  unsigned char path[kPathBuffer];
  const char* name = nullptr;
  if (isSymbol(v)) {
    name = nameOf(v);
  } else if (isString(v) && toPathMojiretsu(v, path, kPathBuffer)) {
    name = reinterpret_cast<const char*>(path);
  } else {
    errorlisp(f, n);
    return nullptr;
  }

  const char* mode = "rb";
  _cell* rest = args->cdr;
  if (isCons(rest) && rest->car == COLDIRECTION && isCons(rest->cdr)) {
    _cell* dir = eval(rest->cdr->car, f, n);
    if (!dir) {
      if (!unwinding(*this)) errorlisp(f, n);
      return nullptr;
    }
    if (dir == COLOUTPUT) mode = "wb";
  }

  // Checked before opening: an output file must not be truncated when it cannot be kept.
  if (!hasFreeSlot(*this)) return fail(msg::TooManyFiles, f, n);
  FILE* fp = std::fopen(name, mode);
  if (!fp) return fail(msg::CannotOpen, f, n);
  _cell* s = SetFilePointer(fp);
  if (s == NILCell) {
    std::fclose(fp);
    return fail(msg::TooManyFiles, f, n);
  }
  return made(s);
}

// ---- CLOSE ------------------------------------------------------------------------------

_cell* cfunction::tclose(_cell* form, Frame f, long n) {
  _cell* v = eval(form, f, n);
  if (!v) return nullptr;
  if (!isInt(v) || !isStreamValue(v)) return fail(msg::CannotClose, f, n);
  FILE* fp = getStream2(v);
  if (!fp) return fail(msg::CannotClose, f, n);
  std::fclose(fp);
  return made(TCell);
}
