// printer: readable and plain style, to the terminal or a file
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "heap/heap.h"
#include "heap/machine_stack.h"
#include "printer/printer.h"
#include "reader/reader.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
enum class Style { Readable, Plain };
enum class Place { Whole, Element, LastElement, Tail };

class Printer {
 public:
  Printer(FILE* out, Style style, bool toFile, long limit = -1)
      : out_(out), style_(style), toFile_(toFile), budget_(limit < 0 ? LONG_MAX : limit) {}

  void print(_cell* c) {
    if (refused(c)) return;
    if (cmemory::structureMutated && mayHoldCycle(c)) {
      findCycleTargets(c, targets_, true);
      labelled_ = !targets_.empty();
    }
    value(c, Place::Whole);
  }

 private:
  FILE* out_;
  Style style_;
  bool toFile_;
  bool labelled_ = false;
  // Bytes still to write: past them, or at Ctrl-C, the walk itself stops (a value sharing
  // structure can print as more text than memory holds). Ctrl-C stays requested, for the
  // evaluator's next step to answer with the debug loop.
  long budget_;
  std::unordered_set<const _cell*> targets_;
  std::unordered_map<const _cell*, int> labels_;

  static bool mayHoldCycle(const _cell* c) { return isCons(c) || isArray(c); }
  bool readable() const { return style_ == Style::Readable; }
  void put(const char* s) {
    budget_ -= static_cast<long>(std::strlen(s));
    std::fputs(s, out_);
  }
  void putc(char c) {
    budget_--;
    std::fputc(c, out_);
  }
  void spent(int written) {  // a failed write (-1) costs nothing
    if (written > 0) budget_ -= written;
  }
  bool stop() {
    if (terminateSignal) terminateNow();
    return budget_ < 0 || interruptRequested;
  }

  // Prints "#n#" for a labelled cell seen before, "#n=" before its first printing.
  bool label(_cell* c) {
    if (!labelled_ || !targets_.count(c)) return false;
    auto it = labels_.find(c);
    if (it != labels_.end()) {
      spent(std::fprintf(out_, "#%d#", it->second));
      return true;
    }
    int n = static_cast<int>(labels_.size()) + 1;
    labels_.emplace(c, n);
    spent(std::fprintf(out_, "#%d=", n));
    return false;
  }

  void value(_cell* c, Place place) {
    if (stop()) return;
    if (stackCritical()) {
      put("...");
      return;
    }
    switch (typeOf(c)) {
      case Type::Symbol:
        put(nameOf(c));
        break;
      case Type::Int:
        spent(std::fprintf(out_, "%ld", static_cast<long>(intOf(c))));
        break;
      case Type::Ratio:
        spent(std::fprintf(out_, "%ld/%ld", static_cast<long>(numOf(c)),
                           static_cast<long>(denOf(c))));
        break;
      case Type::Float: {
        char buf[32];
        ctextproc::myftoa(buf, floatOf(c));
        put(buf);
        break;
      }
      case Type::Char:
        if (readable()) put("#\\");
        putc(static_cast<char>(byteOf(c)));
        break;
      case Type::Array:
        array(c, place);
        break;
      case Type::Cons:
        if (label(c)) break;
        list(c);
        break;
      default:
        if (kGcStress && isPoisoned(c)) std::abort();  // printing a reclaimed cell
        break;
    }
  }

  // A string prints as a literal only when a literal can hold it: its elements a proper list
  // of characters. One that RPLACA or RPLACD changed into something else (a symbol among its
  // characters, a dotted or circular tail) prints whole as any other array does.
  static bool literalString(const _cell* c) {
    if (!isString(c)) return false;
    const _cell* p = stringChars(c);
    if (cmemory::structureMutated && listLength(p) < 0) return false;
    for (; isCons(p); p = p->cdr)
      if (!isChar(p->car)) return false;
    return p == NILCell;
  }

  void array(_cell* c, Place place) {
    if (literalString(c)) {
      if (readable())
        cprint::PutString(stringChars(c), out_);
      else
        cprint::PutStringC(stringChars(c), out_);
      return;
    }
    if (label(c)) return;
    putc('#');
    if (!(isInt(c->car) && intOf(c->car) == 1)) value(c->car, Place::Whole);
    putc('A');
    value(isCons(c->cdr) ? c->cdr->cdr : NILCell, Place::Whole);
    if (place == Place::Whole || place == Place::Tail) putc(' ');
  }

  bool refused(_cell* c) {  // arrays other than strings are not written to files readably
    if (toFile_ && readable() && isArray(c) && !literalString(c)) {
      say(msg::ArrayToFile);
      return true;
    }
    return false;
  }

  void list(_cell* c) {
    putc('(');
    for (;;) {
      bool last = c->cdr == NILCell;
      _cell* e = c->car;
      if (!refused(e)) {
        value(e, last ? Place::LastElement : Place::Element);
        if (!last) putc(' ');
      }
      _cell* tail = c->cdr;
      if (tail == NILCell || stop()) break;
      if (isCons(tail) && !(labelled_ && targets_.count(tail))) {
        c = tail;
        continue;
      }
      if (!refused(tail)) {
        put(". ");
        value(tail, Place::Tail);
      }
      break;
    }
    putc(')');
  }
};
}  // namespace

void cprint::printS(_cell* c) { Printer(stdout, Style::Readable, false).print(c); }
void cprint::printSStrm(_cell* c, FILE* f) { Printer(f, Style::Readable, true).print(c); }
void cprint::princS(_cell* c, FILE* f) { Printer(f, Style::Plain, false).print(c); }
void cprint::printTo(_cell* c, FILE* f, long limit) {
  Printer(f, Style::Readable, false, limit).print(c);
}

void cprint::PutString(_cell* list, FILE* f) {
  std::fputc('"', f);
  for (; isCons(list); list = list->cdr) {
    _cell* ch = list->car;
    if (!isChar(ch)) return;
    char b = static_cast<char>(byteOf(ch));
    if (b == '"' || b == '\\') std::fputc('\\', f);
    std::fputc(b, f);
  }
  std::fputc('"', f);
}

void cprint::PutStringC(_cell* list, FILE* f) {
  for (; isCons(list); list = list->cdr) {
    if (!isChar(list->car)) return;
    std::fputc(static_cast<char>(byteOf(list->car)), f);
  }
}


