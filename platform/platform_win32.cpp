// The seam bound to kernel32 and oleaut32. Compiled into the freestanding
// DLL, so it uses nothing from the C or C++ runtime.
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <windows.h>
#include <oleauto.h>

void* sys_alloc_string_byte_len(uint32_t bytes) {
    if (!hook_allocation_allowed()) return nullptr;
    BSTR s = SysAllocStringByteLen(nullptr, bytes);
    hook_string_made(s);
    return s;
}

void* sys_alloc_string_len(uint32_t units) {
    if (!hook_allocation_allowed()) return nullptr;
    BSTR s = SysAllocStringLen(nullptr, units);
    hook_string_made(s);
    return s;
}

void sys_free_string(void* data) {
    if (!data) return;
    hook_string_freed();
    SysFreeString(static_cast<BSTR>(data));
}

void* global_alloc_zeroed(uint32_t bytes) {
    if (!hook_allocation_allowed()) return nullptr;
    void* p = reinterpret_cast<void*>(GlobalAlloc(GMEM_ZEROINIT, bytes));
    hook_global_made(p);
    return p;
}

bool global_free(void* block) {
    if (hook_global_free_fails()) return false;
    if (!block) return true;
    if (GlobalFree(reinterpret_cast<HGLOBAL>(block)) != nullptr) return false;
    hook_global_freed();
    return true;
}

uint32_t tls_alloc() { return TlsAlloc(); }
void* tls_get(uint32_t slot) { return TlsGetValue(slot); }
bool tls_set(uint32_t slot, void* value) { return TlsSetValue(slot, value) != FALSE; }
void tls_free(uint32_t slot) { TlsFree(slot); }

// The thread information block's arbitrary-user-pointer word, addressed
// through the thread's segment register. (The system headers' NtCurrentTeb
// would take a second load, and GCC warns about its segment reads.)
#if defined(__x86_64__)
#define USER_POINTER_WORD "%%gs:0x28"
#else
#define USER_POINTER_WORD "%%fs:0x14"
#endif

void set_thread_user_pointer(void* value) {
    __asm__ volatile("mov %0, " USER_POINTER_WORD : : "r"(value) : "memory");
}

void* get_thread_user_pointer() {
    void* value;
    __asm__ volatile("mov " USER_POINTER_WORD ", %0" : "=r"(value));
    return value;
}

int multibyte_to_wide(uint32_t code_page, uint32_t flags, const char* src, int n, char16_t* dst,
                      int m) {
    hook_conversion();
    return MultiByteToWideChar(code_page, flags, src, n, reinterpret_cast<wchar_t*>(dst), m);
}

int wide_to_multibyte(uint32_t code_page, uint32_t flags, const char16_t* src, int n, char* dst,
                      int m) {
    hook_conversion();
    return WideCharToMultiByte(code_page, flags, reinterpret_cast<const wchar_t*>(src), n, dst, m,
                               nullptr, nullptr);
}

bool get_version_ex_a(OsVersionInfoA* info) {
    static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfoA), "OSVERSIONINFOA size");
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info))) return false;
    info->platform_id = hook_platform_id(info->platform_id);
    return true;
}

namespace {

// A stamp's low half: the thread's creation time folded to 15 bits, and a
// bit that says the system told it. Threads made at other times mostly fold
// apart, so a fold that differs proves another thread; two threads made in
// one timer tick (the granularity of the time the system keeps) fold alike,
// so an equal fold proves nothing.
constexpr uint32_t kCreationKnown = 0x8000;
constexpr uint32_t kCreationFold = 0x7FFF;

uint32_t creation_fold(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    // Steps of 819.2 us, finer than any tick, wrapping every 26.8 s.
    const uint64_t at = uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime;
    return kCreationKnown | (static_cast<uint32_t>(at >> 13) & kCreationFold);
}

// A stamp's high half: how many identities the process had handed out, so
// that two threads of one id made in the same tick still differ (unless
// 65,536 identities lie between them).
volatile uint32_t g_identities_made;

}  // namespace

uint64_t thread_identity() {
    const uint32_t made = __atomic_add_fetch(&g_identities_made, 1, __ATOMIC_RELAXED);
    // The thread's pseudo handle, a fixed value: one import less.
    const uint32_t stamp = made << 16 | creation_fold(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)));
    return uint64_t{stamp} << 32 | GetCurrentThreadId();
}

bool thread_identity_ended(uint64_t identity) {
    if (hook_thread_lookup_refused()) return false;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                               static_cast<DWORD>(identity));
    // No thread has the id (any more): the one question answered for sure.
    if (thread == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    // The thread that has the id now has ended, or is another one: either
    // way the one asked about has ended. A creation time either side could
    // not learn tells nothing, nor does an equal one.
    bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    if (!ended) {
        const uint32_t held = static_cast<uint32_t>(identity >> 32) & (kCreationKnown | kCreationFold);
        const uint32_t now = (held & kCreationKnown) != 0 ? creation_fold(thread) : 0;
        ended = (now & kCreationKnown) != 0 && now != held;
    }
    CloseHandle(thread);
    return ended;
}

uint32_t tick_count_ms() { return GetTickCount(); }
void sleep_ms(uint32_t ms) { Sleep(ms); }

void exit_process(uint32_t code) { ExitProcess(code); }
void variant_clear(void* variant) { VariantClear(static_cast<VARIANTARG*>(variant)); }
