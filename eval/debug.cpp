// errors and the debug loop
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/eval.h"
#include "printer/printer.h"
#include "reader/reader.h"
#include "heap/keywords.h"
#include "heap/messages.h"

namespace {
// Room lent to each debug loop below the evaluation limit: enough to look around in the
// frame of an error that ran out of depth.
constexpr uintptr_t kDebugAllowance = 16u << 20;

enum class Leave { Abort, Continue };
}  // namespace

void cfunction::reportResult(_cell* r, Frame f, long n) {
  if (r) {
    if (valuesList) {
      MultiPrintS(valuesList);
    } else {
      cprint::printS(r);
      std::fputc('\n', stdout);
    }
    if (interruptRequested) interrupted(f, n);  // Ctrl-C stopped the printing
    return;
  }
  if (throwPending) {
    say(msg::ThrowUnreceived);
    throwPending = 0;
  } else if (returnFromPending) {
    say(msg::ReturnFromUnreceived);
    returnFromPending = 0;
  }
}

namespace {
Leave debugLoop(cfunction& m, Frame f, long n, bool isBreak) {
  if (stackCritical()) exhausted(msg::StackGone);
  StackAllowance room(kDebugAllowance);
  // What the loop was opened on, for BACKTRACE, while it runs.
  OnList<cfunction::DebugEntry> entered(m.debugEntries, {nullptr, m.stepForm, m.activations});
  m.breakDepth++;
  for (long counter = 1;; counter++) {
    for (long i = 0; i < m.breakDepth; i++) std::fputc('*', stdout);
    std::printf("[%ld]", counter);
    lineStr[0] = 0;
    int got = ctextproc::GetOneS();
    if (got < 0) continue;  // Ctrl-C dropped the form being typed: a fresh prompt
    if (!got) {
      m.errorlisp(f, n);
      continue;
    }
    if (!ctextproc::RewriteTyped(lineStr)) break;
    _cell* form = m.readFromString(lineStr);
    if (!form) {
      say(msg::DebugUnreadable);
      break;
    }
    if (form == ABORT) break;
    if (isBreak && form == CONTINUELISP) {
      m.breakDepth--;
      return Leave::Continue;
    }
    _cell* r;
    {
      CellFrame g(m, form);
      r = m.eval(form, f, n);
    }
    m.reportResult(r, f, n);
  }
  m.breakDepth--;
  return Leave::Abort;
}
}  // namespace

bool endOnError = false;

// A program file stops at its first error or BREAK, once standard error has where it was:
// how it got there follows, the calls' backtrace.
namespace {
void stopProgram(cfunction& m) {
  cfunction::DebugEntry here{nullptr, m.stepForm, m.activations};
  if (!m.programRead || m.stepForm != m.programRead) m.backtrace(stderr, here);
  endProcess(1);
}
}  // namespace

namespace {
constexpr long kDetailShown = 60;  // bytes of a value or form on the line of what failed

// The fixed arguments of a lambda list, and whether &REST or &BODY takes any more.
long fixedArguments(_cell* params, bool& more) {
  long count = 0;
  more = false;
  CycleGuard guard(params);
  for (_cell* p = params; isCons(p) && guard.passes(p->cdr); p = p->cdr) {
    if (p->car == AMPREST || p->car == AMPBODY) {
      more = true;
      break;
    }
    count++;
  }
  return count;
}
}  // namespace

// One line on standard error naming what failed: the variable, the operator and the value it
// refused, the function and its argument counts, or else the form.
void cfunction::tellWhatFailed() {
  std::fflush(stdout);  // a terminal shows both: the message first
  _cell* form = stepForm;
  if (unboundVariable) {
    std::fprintf(stderr, msg::DetailUnbound, briefText(unboundVariable, kDetailShown).c_str());
  } else if (miscalled) {
    bool more;
    long fixed = fixedArguments(miscalledParams, more);
    std::string name = briefText(miscalled, kDetailShown);
    const char* atLeast = more ? msg::DetailAtLeast : "";
    if (miscalledGiven >= 0)
      std::fprintf(stderr, msg::DetailArgCount, name.c_str(), fixed, atLeast, miscalledGiven);
    else
      std::fprintf(stderr, msg::DetailArgCountTakes, name.c_str(), fixed, atLeast);
  } else if (refusedValue) {
    std::string value = briefText(refusedValue, kDetailShown);
    if (isCons(form) && isSymbol(form->car))
      std::fprintf(stderr, msg::DetailRefused, nameOf(form->car), value.c_str());
    else
      std::fprintf(stderr, msg::DetailRefusedValue, value.c_str());
  } else if (form && !(programRead && form == programRead)) {
    // Where the form is a function's (ERROR's call in a library function, say), which call.
    // The library's own helpers ($ in their names) and LET frames are passed over.
    const Activation* call = activations;
    while (call && (call->head == LET || call->head == LETAST ||
                    (isSymbol(call->head) && std::strchr(nameOf(call->head), '$'))))
      call = call->outer;
    std::string text = briefText(form, kDetailShown);
    if (call)
      std::fprintf(stderr, msg::DetailFormIn, text.c_str(), briefCall(*call, kDetailShown).c_str());
    else
      std::fprintf(stderr, msg::DetailForm, text.c_str());
  }
  unboundVariable = miscalled = miscalledParams = refusedValue = nullptr;
  miscalledGiven = -1;
}

void cfunction::errorlisp(Frame f, long n) {
  if (endOnError || sources) reportSources();  // a program's or LOAD's file: which form failed
  tellWhatFailed();
  if (endOnError) stopProgram(*this);
  say(msg::DebugEnter);
  say(msg::DebugHowAbort);
  debugLoop(*this, f, n, false);
}

_cell* cfunction::lispBreak(_cell*, Frame f, long n) {
  say(msg::BreakEnter);
  if (endOnError) {
    reportSources();
    stopProgram(*this);
  }
  say(msg::BreakHowContinue);
  say(msg::DebugHowAbort);
  return debugLoop(*this, f, n, true) == Leave::Continue ? NILCell : nullptr;
}
