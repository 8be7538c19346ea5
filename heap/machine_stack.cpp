// the machine-stack guard
#include "heap/machine_stack.h"

namespace {
uintptr_t gEvalLimit = 0;  // below this address evaluation refuses to go deeper
uintptr_t gHardLimit = 0;  // below this even the debug loop has no room

uintptr_t here() {
  volatile char probe = 0;
  return reinterpret_cast<uintptr_t>(&probe);
}
}  // namespace

void setStackLimits(uintptr_t evalLimit, uintptr_t hardLimit) {
  gEvalLimit = evalLimit;
  gHardLimit = hardLimit;
}

bool stackLow() { return here() < gEvalLimit; }
bool stackCritical() { return here() < gHardLimit; }

StackAllowance::StackAllowance(uintptr_t bytes) : saved_(gEvalLimit) {
  uintptr_t sp = here();
  uintptr_t want = sp > gHardLimit + bytes ? sp - bytes : gHardLimit;
  if (want < gEvalLimit) gEvalLimit = want;
}

StackAllowance::~StackAllowance() { gEvalLimit = saved_; }
