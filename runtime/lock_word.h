// The word of an owner lock (runtime/owner_lock.h), apart from the lock's
// operations so the runtime record can hold lock words without depending on
// the code that takes them.
#pragma once

#include <stdint.h>

// 8-aligned, so the word is read and exchanged in one step on x86 too.
typedef volatile uint64_t OwnerLockWord __attribute__((aligned(8)));
