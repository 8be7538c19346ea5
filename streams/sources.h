// Where the forms READ takes from a file start: each slot counts the lines read from its file,
// so an error can say which file, line and form it came from.
#pragma once

#include <string>

#include "streams/streams.h"

class SlotSource {
 public:
  void open(const char* name, long lines) {
    name_ = name;
    lines_ = lines;
    datum_ = nullptr;
  }
  // After READ collected a form's text into lineStr (comments dropped, their line ends counted
  // in ctextproc::commentLines): the line where the form starts, its first bytes, and the
  // lines it took.
  void collected(const char* text);
  void took(const _cell* datum) { datum_ = datum; }
  void lineRead() { lines_++; }  // READ-LINE took a whole line
  bool describes(const _cell* datum) const { return datum && datum == datum_; }
  void describe(FormSource& out) const;

 private:
  std::string name_;
  long lines_ = 0;
  long formLine_ = 0;
  std::string text_;
  const _cell* datum_ = nullptr;  // compared, never followed: it may have been collected
};

SlotSource& slotSource(int slot);
// The slot whose file is fp, or -1.
int slotOf(const cmemory& m, FILE* fp);
