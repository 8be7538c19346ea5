// main: runs the interpreter on a machine stack of its own
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <cstdint>
#include <cstdio>

#include "eval/eval.h"
#include "shell/clisp.h"

namespace {
// Evaluation, printing and binding recurse on the machine stack. The interpreter gets a
// large stack, mapped lazily so only what is used costs memory, and a depth guard keeps a
// runaway program from ever reaching its end.
constexpr size_t kStackSize = size_t(2) << 30;       // reserved
constexpr size_t kEvalBudget = size_t(1) << 30;      // evaluation stops past this much
constexpr size_t kHardReserve = size_t(32) << 20;    // kept free below the last debug loop

int status = 0;

void runOnStack() {
  volatile char top = 0;
  uintptr_t start = reinterpret_cast<uintptr_t>(&top);
  uintptr_t bottom = start - (kStackSize - (size_t(1) << 20));
  setStackLimits(start - kEvalBudget, bottom + kHardReserve);
  status = runInterpreter();
  std::fflush(stdout);
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
}  // namespace

int main() {
  void* stack = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED || !start(stack)) {
    // No room for a big stack: run here, with the guard sized to the default stack.
    volatile char top = 0;
    uintptr_t start = reinterpret_cast<uintptr_t>(&top);
    setStackLimits(start - (size_t(6) << 20), start - (size_t(7) << 20));
    return runInterpreter();
  }
  return status;
}
