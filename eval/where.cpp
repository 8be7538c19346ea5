// where evaluation is: BACKTRACE in the debug loop, and where a program file or LOAD failed
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eval/eval.h"
#include "printer/printer.h"
#include "streams/streams.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
// What `write` writes, on one line (a line end inside shows as a blank), cut after `limit` bytes
// at a character's start with "..." saying so.
template <class Write>
std::string oneLine(long limit, Write write) {
  char* bytes = nullptr;
  size_t size = 0;
  FILE* mem = open_memstream(&bytes, &size);
  if (!mem) return "";
  write(mem);
  std::fclose(mem);
  std::string text(bytes, size);
  std::free(bytes);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  if (static_cast<long>(text.size()) <= limit) return text;
  long cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut--;
  text.resize(static_cast<size_t>(cut));
  return text + "...";
}
}  // namespace

std::string briefText(_cell* v, long limit) {
  return oneLine(limit, [&](FILE* out) { cprint::printTo(v, out, limit + 4); });
}

namespace {
// A value's readable text longer than this is cut, and "..." says so.
constexpr long kValueShown = 40;
constexpr long kArgumentsShown = 20;  // of a rest list
// A runaway recursion leaves hundreds of thousands of calls: the innermost ones show where it
// ran away, the outermost how it started.
constexpr long kInnermostShown = 20;
constexpr long kOutermostShown = 5;

void showValue(FILE* out, _cell* v) { std::fputs(briefText(v, kValueShown).c_str(), out); }

// (NAME value ...), ((LAMBDA params ...) value ...), or (LET ((var value) ...) ...).
void showActivation(FILE* out, const Activation& a) {
  bool binding = a.head == LET || a.head == LETAST;
  std::fputc('(', out);
  if (isCons(a.head)) {
    std::fputs("(LAMBDA ", out);
    showValue(out, isCons(a.head->cdr) ? a.head->cdr->car : NILCell);
    std::fputs(" ...)", out);
  } else {
    showValue(out, a.head);
  }
  // A lambda list with &REST leaves its last records without a symbol: the last one that has
  // one holds the rest of the arguments, shown as arguments.
  long named = a.own;
  while (named > 0 && !a.frame[named - 1].symbol) named--;
  long rest = !binding && named < a.own ? named - 1 : -1;
  if (binding) std::fputs(" (", out);
  for (long i = 0; i < named; i++) {
    _cell* v = a.frame[i].value ? a.frame[i].value : NILCell;
    if (binding) {
      std::fputs(i ? " (" : "(", out);
      showValue(out, a.frame[i].symbol);
      std::fputc(' ', out);
      showValue(out, v);
      std::fputc(')', out);
    } else if (i == rest) {
      CycleGuard guard(v);
      long shown = 0;
      for (_cell* p = v; isCons(p); p = p->cdr) {
        if (++shown > kArgumentsShown || !guard.passes(p->cdr)) {
          std::fputs(" ...", out);
          break;
        }
        std::fputc(' ', out);
        showValue(out, p->car);
      }
    } else {
      std::fputc(' ', out);
      showValue(out, v);
    }
  }
  std::fputs(binding ? ") ...)\n" : ")\n", out);
}
}  // namespace

std::string briefCall(const Activation& a, long limit) {
  return oneLine(limit, [&](FILE* out) { showActivation(out, a); });
}

void cfunction::backtrace(FILE* out, const DebugEntry& at) {
  long i = 0;
  if (at.failed) {
    std::fprintf(out, "%ld: ", i++);
    showValue(out, at.failed);
    std::fputc('\n', out);
  }
  long count = 0;
  for (const Activation* a = at.activations; a; a = a->outer) count++;
  long skipFrom = kInnermostShown - (at.failed ? 1 : 0);  // left out: [skipFrom, skipTo)
  long skipTo = count - kOutermostShown;
  long k = 0;
  for (const Activation* a = at.activations; a; a = a->outer, k++) {
    if (k >= skipFrom && k < skipTo) {
      if (k == skipFrom) std::fprintf(out, msg::BacktraceLeftOut, skipTo - skipFrom);
      continue;
    }
    std::fprintf(out, "%ld: ", i + k);
    showActivation(out, *a);
  }
}

_cell* cfunction::lispBacktrace() {
  if (debugEntries) backtrace(stdout, *debugEntries);
  return made(NILCell);
}

void cfunction::reportSources() {
  std::fflush(stdout);
  for (const SourceForm* s = sources; s; s = s->outer)
    std::fprintf(stderr, "%s:%ld: %s\n", s->file, s->line, s->text);
  // A program file's next form could not be read: where it starts.
  FormSource at;
  if (!sources && programRead && stepForm == programRead && lastFormOf(programRead->cdr->car, at))
    std::fprintf(stderr, "%s:%ld: %s\n", at.file, at.line, at.text);
}

_cell* cfunction::evalFrom(_cell* form, Frame f, long n) {
  FormSource at;
  if (!sourceOf(form, at)) return eval(form, f, n);
  OnList<SourceForm> here(sources, {nullptr, at.file, at.line, at.text});
  return eval(form, f, n);
}
