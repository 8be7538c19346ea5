// The machine stack: evaluation, printing and binding recurse on it, so a guard keeps a
// runaway program from reaching its end.
//
// Invariants
// - Below the evaluation limit evaluation refuses to go deeper ("too deep"); below the hard
//   limit even a debug loop has no room. A debug loop borrows room below the evaluation limit
//   with StackAllowance and gives it back when it ends.
#pragma once

#include <cstdint>

namespace machine_stack {
extern uintptr_t evalLimit;  // below this address evaluation refuses to go deeper
}

// Machine-stack guard: true when evaluation has used up its share of the stack. Inline: every
// evaluation step asks.
// The address of a local, not __builtin_frame_address: that would make every function asking
// keep a frame pointer, a register and three instructions on the evaluator's hottest paths.
inline bool stackLow() {
  char here;
  return reinterpret_cast<uintptr_t>(&here) < machine_stack::evalLimit;
}
// True when even the debug loop has no room left.
bool stackCritical();

// Sets the addresses below which evaluation stops (eval) and the debug loop gives up (hard).
void setStackLimits(uintptr_t evaluation, uintptr_t hard);

// Lends a debug loop room below the evaluation limit, so a user can still evaluate there
// after "too deep"; the old limit comes back when the loop ends.
class StackAllowance {
 public:
  explicit StackAllowance(uintptr_t bytes);
  ~StackAllowance();
  StackAllowance(const StackAllowance&) = delete;
  StackAllowance& operator=(const StackAllowance&) = delete;

 private:
  uintptr_t saved_;
};
