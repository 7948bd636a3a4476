// The seam between the window-free runtime and the operating system.
//
// Everything in strings/, runtime/ (except the entry point and the registry's
// GDI calls) and msgbox/layout reaches the system only through this header, so
// that it builds and is tested natively. platform_win32.cpp binds it to
// kernel32 and oleaut32; platform_native.cpp is a portable stand-in with the
// properties the runtime relies on (length-prefixed, even-aligned,
// zero-terminated string blocks; Windows-1252 as the system ANSI code page).
//
// Fault injection and live-object counters (the ORVANDEL_TEST_HOOKS section
// below, test_hooks.cpp) exist only in the test build of the core,
// orvandel_core_hooks, which CMake builds with ORVANDEL_TEST_HOOKS. Both
// bindings call them there, so the same tests drive the failure paths under
// Wine and natively. The DLL has none of them.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Mirrors OSVERSIONINFOA (148 bytes) so window-free code can hold one.
struct OsVersionInfoA {
    uint32_t size;          // preset to 148 by the caller
    uint32_t major_version;
    uint32_t minor_version;
    uint32_t build_number;
    uint32_t platform_id;   // 2 = NT family
    char csd_version[128];
};
static_assert(sizeof(OsVersionInfoA) == 148, "OSVERSIONINFOA layout");

constexpr uint32_t kTlsOutOfIndexes = 0xFFFFFFFFu;
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint32_t kMbPrecomposed = 1;

// --- string allocator ------------------------------------------------------
// Return the data address of a new block (byte length stored in the 4 bytes
// before it, zero terminator after it), or null on failure. Count 0 is never
// passed: the runtime represents the empty string by the null handle.
void* sys_alloc_string_byte_len(uint32_t bytes);
void* sys_alloc_string_len(uint32_t units);
void sys_free_string(void* data);

// --- global heap -------------------------------------------------------------
void* global_alloc_zeroed(uint32_t bytes);   // null on failure
bool global_free(void* block);               // false when the system refuses

// --- thread-local storage ----------------------------------------------------
uint32_t tls_alloc();                        // kTlsOutOfIndexes when exhausted
void* tls_get(uint32_t slot);
bool tls_set(uint32_t slot, void* value);
void tls_free(uint32_t slot);
// The thread information block's arbitrary-user-pointer word.
void set_thread_user_pointer(void* value);
void* get_thread_user_pointer();

// --- code pages ------------------------------------------------------------
// Same contract as MultiByteToWideChar / WideCharToMultiByte with n > 0:
// with no buffer (or m == 0) they return the exact count, else the count
// written; 0 on failure. Code page 0 is the system ANSI code page.
int multibyte_to_wide(uint32_t code_page, uint32_t flags, const char* src, int n,
                      char16_t* dst, int m);
int wide_to_multibyte(uint32_t code_page, uint32_t flags, const char16_t* src, int n,
                      char* dst, int m);

// --- threads -----------------------------------------------------------------
// The calling thread's identity: its id in the low 32 bits and a stamp in
// the high 32 that no other thread of the process is given with the same
// id, not even one the system made in the same tick as it. Never 0. Asks
// the system: callers keep it rather than ask for every lock.
uint64_t thread_identity();
// Whether the thread `identity` has ended, for sure: its id names no
// thread, or one that has exited, or one made at another time. Everything
// else answers false, as a question the system refuses (access denied, no
// handle to spare) and a thread of the id made in the same tick as the one
// asked about: neither proves that thread has ended.
bool thread_identity_ended(uint64_t identity);

// --- time --------------------------------------------------------------------
// Milliseconds from some start, wrapping at 2^32: differences are what count.
uint32_t tick_count_ms();
// Suspends the calling thread for at least `ms` ms (up to a timer tick more).
void sleep_ms(uint32_t ms);

// --- process and misc --------------------------------------------------------
bool get_version_ex_a(OsVersionInfoA* info);
[[noreturn]] void exit_process(uint32_t code);
void variant_clear(void* variant);

#ifdef ORVANDEL_TEST_HOOKS
// --- fault injection and counters (test build only) ------------------------
// After `successes` more successful allocations (string allocator and global
// heap alike) every allocation fails, until reset with -1.
void platform_fail_allocations_after(int32_t successes);
// While set, global_free reports failure (and keeps the block).
void platform_fail_global_free(bool fail);
// Overrides the platform identifier that get_version_ex_a reports; 0 = real.
void platform_override_platform_id(uint32_t id);
// Counters so tests can check that nothing leaks and nothing is freed twice.
struct PlatformCounters {
    int32_t live_strings;      // blocks from the string allocator not yet freed
    int32_t live_globals;      // blocks from the global heap not yet freed
    int32_t string_allocs;     // successful string allocations so far
    int32_t conversions;       // calls of multibyte_to_wide / wide_to_multibyte
};
PlatformCounters platform_counters();
// The calling thread's identity as the locks see it, from now on; 0 = its own.
void platform_override_thread_identity(uint64_t identity);
// While set, thread_identity_ended answers as if the system refused to look.
void platform_refuse_thread_lookups(bool refuse);
// Each thread_identity_ended takes this many ms more (0: none), so waiters
// that look at the same holder look at once.
void platform_slow_thread_lookups(uint32_t ms);
// An owner lock's waiter gives up after this many ms, not its own bound (0:
// its own again), so a test sees the bound reached without waiting it out.
void platform_lock_bound_ms(uint32_t ms);
#endif  // ORVANDEL_TEST_HOOKS

// --- processor ---------------------------------------------------------------
static inline int32_t atomic_exchange32(volatile int32_t* word, int32_t value) {
    return __atomic_exchange_n(word, value, __ATOMIC_SEQ_CST);
}
static inline uint32_t atomic_exchange32(volatile uint32_t* word, uint32_t value) {
    return __atomic_exchange_n(word, value, __ATOMIC_SEQ_CST);
}

#if defined(__i386__) || defined(__x86_64__)
static inline void load_fpu_control(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }
static inline uint16_t read_fpu_control() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
#else
static inline void load_fpu_control(uint16_t) {}
static inline uint16_t read_fpu_control() { return 0; }
#endif

// 64-bit significand, round to nearest, all exceptions masked.
constexpr uint16_t kRuntimeFpuControl = 0x133F;
