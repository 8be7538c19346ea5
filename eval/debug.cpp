// errors and the debug loop
#include <cstdio>
#include <cstdlib>

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

// A program file stops at its first error or BREAK: where, and how it got there, go to
// standard error; standard output has had the message.
namespace {
void stopProgram(cfunction& m) {
  m.reportSources();
  cfunction::DebugEntry here{nullptr, m.stepForm, m.activations};
  if (!m.programRead || m.stepForm != m.programRead) m.backtrace(stderr, here);
  endProcess(1);
}
}  // namespace

void cfunction::errorlisp(Frame f, long n) {
  if (endOnError) stopProgram(*this);
  if (sources) reportSources();  // LOAD's file: which form failed
  say(msg::DebugEnter);
  say(msg::DebugHowAbort);
  debugLoop(*this, f, n, false);
}

_cell* cfunction::lispBreak(_cell*, Frame f, long n) {
  say(msg::BreakEnter);
  if (endOnError) stopProgram(*this);
  say(msg::BreakHowContinue);
  say(msg::DebugHowAbort);
  return debugLoop(*this, f, n, true) == Leave::Continue ? NILCell : nullptr;
}
