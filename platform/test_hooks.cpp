// The seam's test machinery, built into the test build of the core only
// (ORVANDEL_TEST_HOOKS): fault injection and the counters that let tests see
// leaks and double frees, the same under Wine and natively. The bindings call
// the hooks from any thread, so every word is atomic.
#include "platform/test_hooks.h"

#ifndef ORVANDEL_TEST_HOOKS
#error "test_hooks.cpp belongs to the test build of the core (ORVANDEL_TEST_HOOKS) only"
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace {

std::atomic<int32_t> g_allocs_left{-1};   // -1: never fail
std::atomic<bool> g_fail_global_free{false};
std::atomic<uint32_t> g_platform_id{0};   // 0: the real one
std::atomic<int32_t> g_live_strings{0};
std::atomic<int32_t> g_live_globals{0};
std::atomic<int32_t> g_string_allocs{0};
std::atomic<int32_t> g_conversions{0};
std::atomic<bool> g_refuse_thread_lookups{false};
std::atomic<uint32_t> g_thread_lookup_ms{0};
std::atomic<uint32_t> g_lock_bound_ms{0};   // 0: the lock's own
thread_local uint64_t t_thread_identity = 0;   // 0: the thread's own

}  // namespace

bool hook_allocation_allowed() {
    int32_t left = g_allocs_left.load();
    while (left > 0) {
        if (g_allocs_left.compare_exchange_weak(left, left - 1)) return true;
    }
    return left < 0;
}

bool hook_global_free_fails() { return g_fail_global_free.load(); }

void hook_string_made(const void* block) {
    if (!block) return;
    g_live_strings++;
    g_string_allocs++;
}

void hook_string_freed() { g_live_strings--; }

void hook_global_made(const void* block) {
    if (block) g_live_globals++;
}

void hook_global_freed() { g_live_globals--; }

void hook_conversion() { g_conversions++; }

uint32_t hook_platform_id(uint32_t actual) {
    const uint32_t id = g_platform_id.load();
    return id ? id : actual;
}

uint64_t hook_thread_identity(uint64_t actual) { return t_thread_identity ? t_thread_identity : actual; }
bool hook_thread_lookup_refused() {
    if (const uint32_t ms = g_thread_lookup_ms.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return g_refuse_thread_lookups.load();
}

void platform_fail_allocations_after(int32_t successes) { g_allocs_left = successes; }
void platform_fail_global_free(bool fail) { g_fail_global_free = fail; }
void platform_override_platform_id(uint32_t id) { g_platform_id = id; }
void platform_override_thread_identity(uint64_t identity) { t_thread_identity = identity; }
void platform_refuse_thread_lookups(bool refuse) { g_refuse_thread_lookups = refuse; }
void platform_slow_thread_lookups(uint32_t ms) { g_thread_lookup_ms = ms; }
void platform_lock_bound_ms(uint32_t ms) { g_lock_bound_ms = ms; }

uint32_t hook_lock_bound_ms(uint32_t actual) {
    const uint32_t ms = g_lock_bound_ms.load();
    return ms ? ms : actual;
}

PlatformCounters platform_counters() {
    return PlatformCounters{g_live_strings.load(), g_live_globals.load(), g_string_allocs.load(),
                            g_conversions.load()};
}
