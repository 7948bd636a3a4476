// A spin lock whose word holds its holder's whole identity (thread id and
// creation stamp, platform.h): the text lock, the registry lock and the font
// list lock. A host may kill a thread anywhere, the holder of a lock
// included; a waiter then asks the system, now and then, whether the holder
// has ended and takes the lock over in one compare-exchange of the identity
// it read. An identity is never given to a later thread, so that exchange
// cannot succeed once anyone else has taken the lock over, and a holder the
// system will not answer for is taken to run.
#pragma once

#include "runtime/lock_word.h"

// Takes the lock; returns once it is the caller's. The wait has no bound of
// its own: it ends when the holder lets go or has ended.
void owner_lock_take(OwnerLockWord* word);
void owner_lock_release(OwnerLockWord* word);
