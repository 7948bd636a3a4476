// The owner lock: a spin that yields, with a takeover of a holder that has
// ended (owner_lock.h).
#include "runtime/owner_lock.h"

#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "runtime/context.h"

namespace {

// Tries with the processor's pause before the first yield: most holds are
// a few loads and stores.
constexpr uint32_t kPauseTries = 64;
// How often a waiter asks whether its holder has ended: a few system calls,
// too dear for every try, and a holder that runs lets go long before.
constexpr uint32_t kFateCheckTries = 1024;

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

void owner_lock_take(OwnerLockWord* word) {
    const uint64_t me = my_identity();
    for (uint32_t tries = 1;; tries++) {
        uint64_t held = 0;
        if (__atomic_compare_exchange_n(word, &held, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return;
        // `held` is whoever had it at that moment. Only the exchange of that
        // very identity takes over, so of several waiters that saw the same
        // ended holder one wins, and none once the lock has moved on.
        if (tries % kFateCheckTries == 0 && thread_identity_ended(held) &&
            __atomic_compare_exchange_n(word, &held, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
            return;
        }
        if (tries < kPauseTries) {
            __builtin_ia32_pause();
        } else {
            yield_processor();
        }
    }
}

void owner_lock_release(OwnerLockWord* word) { __atomic_store_n(word, 0, __ATOMIC_RELEASE); }
