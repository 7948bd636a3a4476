// Where the core reaches the test machinery: the two platform bindings at
// each allocation, free, conversion and thread look-up, and the owner lock
// (runtime/owner_lock.cpp) for the identity a test gives a thread and the
// bound of its wait. Only the
// test build of the core (ORVANDEL_TEST_HOOKS) has it, in test_hooks.cpp;
// without the switch each hook is an empty inline function, so the DLL
// carries no fault injection, no counters and no state for them.
#pragma once

#include <stdint.h>

#ifdef ORVANDEL_TEST_HOOKS
bool hook_allocation_allowed();             // false once platform_fail_allocations_after's count is spent
bool hook_global_free_fails();              // set by platform_fail_global_free
void hook_string_made(const void* block);   // counts a block that is not null
void hook_string_freed();
void hook_global_made(const void* block);   // counts a block that is not null
void hook_global_freed();
void hook_conversion();
uint32_t hook_platform_id(uint32_t actual);   // platform_override_platform_id's value, else `actual`
uint64_t hook_thread_identity(uint64_t actual);   // the calling thread's override, else `actual`
// Set by platform_refuse_thread_lookups; first waits platform_slow_thread_lookups' time.
bool hook_thread_lookup_refused();
uint32_t hook_lock_bound_ms(uint32_t actual);   // platform_lock_bound_ms's value, else `actual`
#else
inline bool hook_allocation_allowed() { return true; }
inline bool hook_global_free_fails() { return false; }
inline void hook_string_made(const void*) {}
inline void hook_string_freed() {}
inline void hook_global_made(const void*) {}
inline void hook_global_freed() {}
inline void hook_conversion() {}
inline uint32_t hook_platform_id(uint32_t actual) { return actual; }
inline uint64_t hook_thread_identity(uint64_t actual) { return actual; }
inline bool hook_thread_lookup_refused() { return false; }
inline uint32_t hook_lock_bound_ms(uint32_t actual) { return actual; }
#endif
