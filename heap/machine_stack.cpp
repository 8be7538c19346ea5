// the machine-stack guard
#include "heap/machine_stack.h"

namespace machine_stack {
uintptr_t evalLimit = 0;
}

namespace {
using machine_stack::evalLimit;
uintptr_t gHardLimit = 0;  // below this even the debug loop has no room

uintptr_t here() {
  volatile char probe = 0;
  return reinterpret_cast<uintptr_t>(&probe);
}
}  // namespace

void setStackLimits(uintptr_t evaluation, uintptr_t hard) {
  evalLimit = evaluation;
  gHardLimit = hard;
}

bool stackCritical() { return here() < gHardLimit; }

StackAllowance::StackAllowance(uintptr_t bytes) : saved_(evalLimit) {
  uintptr_t sp = here();
  uintptr_t want = sp > gHardLimit + bytes ? sp - bytes : gHardLimit;
  if (want < evalLimit) evalLimit = want;
}

StackAllowance::~StackAllowance() { evalLimit = saved_; }
