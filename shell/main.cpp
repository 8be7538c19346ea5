// main: runs the interpreter on a machine stack of its own
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <ucontext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/eval.h"
#include "heap/messages.h"
#include "reader/reader.h"
#include "shell/clisp.h"

namespace {
// Evaluation, printing and binding recurse on the machine stack. The interpreter gets a
// large stack, mapped lazily so only what is used costs memory, and a depth guard keeps a
// runaway program from ever reaching its end.
constexpr size_t kStackSize = size_t(2) << 30;       // reserved
constexpr size_t kHardReserve = size_t(32) << 20;    // kept free below the last debug loop
// Evaluation stops past this much stack: room for a plain function about 300,000 calls deep
// or 30,000 levels of MAPCAR callbacks, while a runaway recursion stops within a fraction of
// a second and a few hundred megabytes. --stack raises it.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kDefaultEvalMegabytes = 1024;  // the sanitizers' frames are several times larger
#else
constexpr size_t kDefaultEvalMegabytes = 128;
#endif
constexpr size_t kMaxEvalMegabytes = (kStackSize - kHardReserve) / (size_t(1) << 20) - 64;
size_t evalBudget = kDefaultEvalMegabytes << 20;

int status = 0;
FILE* script = nullptr;
bool clPrelude = false;  // --cl

// A first line starting with #! names the interpreter of an executable script. The bytes
// put back were just read from the stream's buffer, so each ungetc is only a step back.
void skipInterpreterLine(FILE* fp) {
  int c = std::getc(fp);
  if (c == '#') {
    int d = std::getc(fp);
    if (d == '!') {
      while ((c = std::getc(fp)) != EOF && c != '\n') {
      }
      scriptLinesSkipped = 1;
      return;
    }
    if (d != EOF) std::ungetc(d, fp);
  }
  if (c != EOF) std::ungetc(c, fp);
}

void runOnStack() {
  volatile char top = 0;
  uintptr_t start = reinterpret_cast<uintptr_t>(&top);
  uintptr_t bottom = start - (kStackSize - (size_t(1) << 20));
  setStackLimits(start - evalBudget, bottom + kHardReserve);
  status = outputStatus(runInterpreter(script, clPrelude));
}

// The sanitizers follow threads well but stack switching poorly; a thread costs a few
// milliseconds of start-up, so the normal build switches stacks in place instead.
#if defined(__SANITIZE_ADDRESS__)
void* runThread(void*) {
  runOnStack();
  return nullptr;
}

bool start(void* stack) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_t thread;
  if (pthread_attr_setstack(&attr, stack, kStackSize) != 0 ||
      pthread_create(&thread, &attr, runThread, nullptr) != 0)
    return false;
  // Signals for the process (Ctrl-C, a resized terminal) go to the interpreter's thread,
  // whose waits for input they must end.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  pthread_join(thread, nullptr);
  return true;
}
#else
ucontext_t mainContext, runContext;

bool start(void* stack) {
  if (getcontext(&runContext) != 0) return false;
  runContext.uc_stack.ss_sp = stack;
  runContext.uc_stack.ss_size = kStackSize;
  runContext.uc_link = &mainContext;
  makecontext(&runContext, runOnStack, 0);
  return swapcontext(&mainContext, &runContext) == 0;
}
#endif
// Reads the command line: -1 to go on (script set for a program file, clPrelude for --cl),
// or the status to end with at once.
int parseArguments(int argc, char** argv) {
  int i = 1;
  for (;; i++) {
    if (i < argc && std::strcmp(argv[i], "--cl") == 0) {
      clPrelude = true;
    } else if (i + 1 < argc && std::strcmp(argv[i], "--stack") == 0) {
      char* end = nullptr;
      unsigned long mb = std::strtoul(argv[i + 1], &end, 10);
      if (*argv[i + 1] == '-' || end == argv[i + 1] || *end || mb < 1 || mb > kMaxEvalMegabytes) {
        std::printf(msg::BadStackSize, argv[i + 1], kMaxEvalMegabytes);
        std::putchar('\n');
        return 2;
      }
      evalBudget = size_t(mb) << 20;
      i++;
    } else {
      break;
    }
  }
  if (i < argc && std::strcmp(argv[i], "--") == 0) {
    i++;
  } else if (i < argc && argv[i][0] == '-') {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      say(msg::Usage);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      say(msg::Banner);
      say(msg::Notice);
      say(lineEditingBuiltIn() ? msg::LineEditingOn : msg::LineEditingOff);
      return 0;
    }
    std::printf(msg::UnknownOption, argv[i]);
    std::putchar('\n');
    say(msg::HelpHint);
    return 2;
  }
  if (i == argc) return -1;
  if (i + 1 < argc) {
    std::printf(msg::ExtraArgument, argv[i + 1]);
    std::putchar('\n');
    say(msg::HelpHint);
    return 2;
  }
  script = std::fopen(argv[i], "r");
  struct stat st;
  if (script && (fstat(fileno(script), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(script);
    script = nullptr;
  }
  if (!script) {
    std::printf(msg::ScriptCannotOpen, argv[i]);
    std::putchar('\n');
    return 2;
  }
  scriptName = argv[i];
  skipInterpreterLine(script);
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  if (int end = parseArguments(argc, argv); end >= 0) return end;
  void* stack = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED || !start(stack)) {
    // No room for a big stack: run here, with the guard sized to the default stack.
    volatile char top = 0;
    uintptr_t start = reinterpret_cast<uintptr_t>(&top);
    setStackLimits(start - (size_t(6) << 20), start - (size_t(7) << 20));
    return outputStatus(runInterpreter(script, clPrelude));
  }
  return status;
}
