// Portable stand-in for the system services, so the window-free runtime
// builds and is tested on any host. It keeps the properties the runtime relies
// on, and calls the test build's hooks where platform_win32.cpp does, so
// tests see leaks and double frees here as they do under Wine.
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <atomic>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

// Block: [4 spare bytes][u32 byte length][data][two zero bytes]. The spare
// bytes put the data at malloc's own 8/16-byte alignment, so pointers kept in
// blocks (registry records) are aligned, as leak checkers need to follow them.
constexpr size_t kHeader = 8;

void* alloc_block(uint64_t bytes) {
    if (bytes > 0x7FFFFFF0u || !hook_allocation_allowed()) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(malloc(static_cast<size_t>(bytes) + kHeader + 2));
    if (!block) return nullptr;
    uint32_t len = static_cast<uint32_t>(bytes);
    memcpy(block + kHeader - 4, &len, 4);
    block[kHeader + bytes] = 0;
    block[kHeader + bytes + 1] = 0;
    hook_string_made(block);
    return block + kHeader;
}

constexpr int kTlsSlots = 64;
std::atomic<bool> g_tls_used[kTlsSlots];
thread_local void* t_tls_values[kTlsSlots];
thread_local void* t_user_pointer;

// Windows-1252 bytes 0x80..0x9F; the five holes map to the C1 control of the
// same value, as the system's table does.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool supported_code_page(uint32_t cp) { return cp == 0 || cp == 1252; }

char16_t cp1252_to_unit(uint8_t b) {
    return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

char unit_to_cp1252(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
    for (int i = 0; i < 32; i++)
        if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
    return '?';   // the system's default character for unmappable units
}

// The threads that have asked for their identity and not yet ended, by id,
// with the stamp each was given: the system's thread table, as far as the
// locks can see it. A stamp is a serial number, so an id the kernel gives
// again comes with a new one, as a reused id does on the system.
std::mutex g_threads_lock;
std::map<uint32_t, uint32_t>* g_threads;   // never freed: threads end after static destructors
std::atomic<uint32_t> g_next_stamp{1};

struct ThreadEntry {
    uint32_t id = 0;
    uint32_t stamp = 0;
    ~ThreadEntry() {
        if (stamp == 0) return;
        std::lock_guard<std::mutex> hold(g_threads_lock);
        auto at = g_threads->find(id);
        if (at != g_threads->end() && at->second == stamp) g_threads->erase(at);
    }
};
thread_local ThreadEntry t_thread;

}  // namespace

uint64_t thread_identity() {
    if (t_thread.stamp == 0) {
        std::lock_guard<std::mutex> hold(g_threads_lock);
        if (g_threads == nullptr) g_threads = new std::map<uint32_t, uint32_t>;
        t_thread.id = static_cast<uint32_t>(syscall(SYS_gettid));
        t_thread.stamp = g_next_stamp++;
        (*g_threads)[t_thread.id] = t_thread.stamp;
    }
    return uint64_t{t_thread.stamp} << 32 | t_thread.id;
}

bool thread_identity_ended(uint64_t identity) {
    if (hook_thread_lookup_refused()) return false;
    std::lock_guard<std::mutex> hold(g_threads_lock);
    if (g_threads == nullptr) return true;
    auto at = g_threads->find(static_cast<uint32_t>(identity));
    return at == g_threads->end() || at->second != static_cast<uint32_t>(identity >> 32);
}

uint32_t tick_count_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

void sleep_ms(uint32_t ms) {
    timespec span{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    nanosleep(&span, nullptr);
}

void* sys_alloc_string_byte_len(uint32_t bytes) { return alloc_block(bytes); }
void* sys_alloc_string_len(uint32_t units) { return alloc_block(uint64_t{units} * 2); }

void sys_free_string(void* data) {
    if (!data) return;
    hook_string_freed();
    free(static_cast<uint8_t*>(data) - kHeader);
}

void* global_alloc_zeroed(uint32_t bytes) {
    if (!hook_allocation_allowed()) return nullptr;
    void* p = calloc(1, bytes ? bytes : 1);
    hook_global_made(p);
    return p;
}

bool global_free(void* block) {
    if (hook_global_free_fails()) return false;
    if (block) {
        hook_global_freed();
        free(block);
    }
    return true;
}

uint32_t tls_alloc() {
    for (int i = 0; i < kTlsSlots; i++) {
        bool expected = false;
        if (g_tls_used[i].compare_exchange_strong(expected, true)) return static_cast<uint32_t>(i);
    }
    return kTlsOutOfIndexes;
}

void* tls_get(uint32_t slot) { return slot < kTlsSlots ? t_tls_values[slot] : nullptr; }

bool tls_set(uint32_t slot, void* value) {
    if (slot >= kTlsSlots) return false;
    t_tls_values[slot] = value;
    return true;
}

void tls_free(uint32_t slot) {
    if (slot < kTlsSlots) g_tls_used[slot] = false;
}

void set_thread_user_pointer(void* value) { t_user_pointer = value; }
void* get_thread_user_pointer() { return t_user_pointer; }

int multibyte_to_wide(uint32_t code_page, uint32_t, const char* src, int n, char16_t* dst, int m) {
    hook_conversion();
    if (!supported_code_page(code_page) || n <= 0 || !src) return 0;
    if (!dst || m == 0) return n;
    int count = n < m ? n : m;
    for (int i = 0; i < count; i++) dst[i] = cp1252_to_unit(static_cast<uint8_t>(src[i]));
    return count;
}

int wide_to_multibyte(uint32_t code_page, uint32_t, const char16_t* src, int n, char* dst, int m) {
    hook_conversion();
    if (!supported_code_page(code_page) || n <= 0 || !src) return 0;
    if (!dst || m == 0) return n;
    int count = n < m ? n : m;
    for (int i = 0; i < count; i++) dst[i] = unit_to_cp1252(src[i]);
    return count;
}

bool get_version_ex_a(OsVersionInfoA* info) {
    if (!info || info->size != sizeof(OsVersionInfoA)) return false;
    info->major_version = 10;
    info->minor_version = 0;
    info->build_number = 19045;
    info->platform_id = hook_platform_id(kPlatformWin32Nt);
    info->csd_version[0] = 0;
    return true;
}

void exit_process(uint32_t code) { _exit(static_cast<int>(code)); }

void variant_clear(void* variant) {
    // Without an automation runtime there is nothing a VARIANT can own here.
    if (variant) memset(variant, 0, 16);
}
