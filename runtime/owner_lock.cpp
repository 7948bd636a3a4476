// The owner lock: a short spin, then 1 ms sleeps, a takeover of a holder
// that has ended, and a bound (owner_lock.h).
#include "runtime/owner_lock.h"

#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "runtime/context.h"

namespace {

// Tries with the processor's pause before the first sleep: most holds are
// a few loads and stores.
constexpr uint32_t kPauseTries = 64;
// How often, in 1 ms sleeps, a waiter asks whether its holder has ended: a
// few system calls, too dear for every try. A sleep of 1 ms lasts up to a
// timer tick (15.6 ms by default), so this is 64 ms to 1 s.
constexpr uint32_t kFateCheckSleeps = 64;

bool exchange(OwnerLockWord* word, uint64_t* held, uint64_t me) {
    return __atomic_compare_exchange_n(word, held, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

// The calling thread's identity, kept in its context when it has one: the
// question goes to the system, and a thread that waits for keys takes a
// lock every millisecond. No context is made for it.
uint64_t my_identity() {
    auto* ctx = g_runtime.tls_slot != kTlsOutOfIndexes ? static_cast<ThreadContext*>(tls_get(g_runtime.tls_slot))
                                                        : nullptr;
    uint64_t id = ctx != nullptr ? uint64_t{ctx->lock_identity[1]} << 32 | ctx->lock_identity[0] : 0;
    if (id == 0) {
        id = thread_identity();
        if (ctx != nullptr) {
            ctx->lock_identity[0] = static_cast<uint32_t>(id);
            ctx->lock_identity[1] = static_cast<uint32_t>(id >> 32);
        }
    }
    return hook_thread_identity(id);
}

}  // namespace

bool owner_lock_take(OwnerLockWord* word) {
    const uint64_t me = my_identity();
    uint64_t held = 0;
    for (uint32_t tries = 0; tries < kPauseTries; tries++, held = 0) {
        if (exchange(word, &held, me)) return true;
        __builtin_ia32_pause();
    }
    // Sleeps rather than yields: a yield with no other thread ready comes
    // straight back, and the waiter would spin a whole core.
    const uint32_t bound = hook_lock_bound_ms(kOwnerLockBoundMs);
    const uint32_t start = tick_count_ms();
    for (uint32_t sleeps = 1;; sleeps++) {
        sleep_ms(1);
        held = 0;
        if (exchange(word, &held, me)) return true;
        // `held` is whoever had it at that moment. Only the exchange of that
        // very identity takes over, so of several waiters that saw the same
        // ended holder one wins, and none once the lock has moved on.
        if (sleeps % kFateCheckSleeps == 0 && thread_identity_ended(held) && exchange(word, &held, me)) return true;
        if (tick_count_ms() - start >= bound) return false;
    }
}

void owner_lock_release(OwnerLockWord* word) { __atomic_store_n(word, 0, __ATOMIC_RELEASE); }
