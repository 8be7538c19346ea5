// Where the forms READ takes from a file start.
#include "streams/sources.h"

#include <cstring>

#include "reader/reader.h"

namespace {
SlotSource gSlots[kFileSlots];
constexpr size_t kTextShown = 60;  // bytes of a form shown in an error report
}  // namespace

SlotSource& slotSource(int slot) { return gSlots[slot]; }

int slotOf(const cmemory& m, FILE* fp) {
  for (int k = 0; k < kFileSlots; k++)
    if (m.files[k] == fp) return k;
  return -1;
}

void SlotSource::collected(const char* text) {
  const char* p = text;
  long before = 0;
  for (; *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'; p++) before += *p == '\n';
  formLine_ = lines_ + before + ctextproc::commentLines.before + 1;
  text_.clear();
  for (const char* q = p; *q && text_.size() < kTextShown; q++)
    text_.push_back(*q == '\n' || *q == '\r' || *q == '\t' ? ' ' : *q);
  // A character cut in two is left out, whether the cut fell after its first byte or later.
  size_t start = text_.size();
  while (start > 0 && (static_cast<unsigned char>(text_[start - 1]) & 0xC0) == 0x80) start--;
  if (start > 0) {
    unsigned char lead = static_cast<unsigned char>(text_[start - 1]);
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (text_.size() - (start - 1) < need) text_.resize(start - 1);
  }
  while (!text_.empty() && text_.back() == ' ') text_.pop_back();
  for (const char* q = text; *q; q++) lines_ += *q == '\n';
  lines_ += ctextproc::commentLines.before + ctextproc::commentLines.within;
  datum_ = nullptr;
}

void SlotSource::describe(FormSource& out) const {
  std::snprintf(out.file, sizeof out.file, "%s", name_.c_str());
  out.line = formLine_;
  std::snprintf(out.text, sizeof out.text, "%s", text_.c_str());
}

bool lastFormOf(const _cell* s, FormSource& out) {
  if (!isStreamValue(s) || intOf(s) < 1 || intOf(s) > kFileSlots) return false;
  gSlots[intOf(s) - 1].describe(out);
  return true;
}

bool sourceOf(const _cell* datum, FormSource& out) {
  for (const SlotSource& s : gSlots) {
    if (!s.describes(datum)) continue;
    s.describe(out);
    return true;
  }
  return false;
}
