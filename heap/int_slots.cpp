// the integer pool's accounting: slots shared by FLOOR's copies
#include <vector>

#include "heap/heap.h"

// The slot's owner is the integer that first had it, never a copy: a copy of a copy shares
// the same owner.
void IntSlots::share(_cell* copy, _cell* of) {
  copy->slotOwner = of->flags & Flag::SharedSlot ? of->slotOwner : of;
  copy->flags = Flag::SharedSlot;
  sharing.push_back(copy);
}

// A cell sharing a slot whose owner was not marked takes the slot over, and the others
// sharing it follow it.
void IntSlots::settle(uint32_t epoch) {
  size_t kept = 0;
  for (_cell* c : sharing) {
    if (c->epoch != epoch) continue;  // unreachable: forgotten with its cell
    _cell* owner = c->slotOwner;
    if (IntPool::holds(owner) ? IntPool::epoch(owner) == static_cast<uint8_t>(epoch)
                              : owner->epoch == epoch) {
      sharing[kept++] = c;
    } else if (owner->flags & Flag::Forwarded) {
      c->slotOwner = owner->slotOwner;
      sharing[kept++] = c;
    } else {
      c->flags &= static_cast<uint8_t>(~Flag::SharedSlot);
      c->slotEpoch = epoch;
      owner->flags |= Flag::Forwarded;
      owner->slotOwner = c;
    }
  }
  sharing.resize(kept);
}
