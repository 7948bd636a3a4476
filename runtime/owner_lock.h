// A lock whose word holds its holder's whole identity (thread id and a
// stamp no other thread of that id shares, platform.h): the text lock, the
// registry lock and the font list lock. A host may kill a thread anywhere,
// the holder of a lock included; a waiter then asks the system, now and
// then, whether the holder has ended and takes the lock over in one
// compare-exchange of the identity it read, so that exchange cannot succeed
// once anyone else has taken the lock over. A holder the system will not
// answer for, or cannot tell from a thread that runs, is never taken over:
// the waiter gives up at the bound instead.
#pragma once

#include <stdint.h>

#include "runtime/lock_word.h"

// How long a waiter waits at most: a holder that runs lets go within one
// drawing step or list walk, so only one that is stuck, or one the system
// cannot tell apart from a running thread, keeps the lock this long.
constexpr uint32_t kOwnerLockBoundMs = 10000;

// Takes the lock: true once it is the caller's, false at the bound with the
// lock not taken (the caller then goes on without what the lock guards, and
// must not release it: the core's build fails a caller that ignores this).
// A waiter spins a few tries, then sleeps 1 ms between tries.
[[nodiscard]] bool owner_lock_take(OwnerLockWord* word);
void owner_lock_release(OwnerLockWord* word);
