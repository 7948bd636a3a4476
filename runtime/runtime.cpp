// The runtime core, beneath the strings: the library's own memory, state, errors, locks and lists.
// This file is its top, the entry logic that attaches and detaches it.
#include "runtime/runtime.h"

#include <string.h>

#include "platform/platform.h"
#include "runtime/fonts.h"
#include "runtime/literals.h"

namespace {

// Undoes a partial attach so a refused load leaves no TLS slot or context.
void abandon_attach() {
    if (g_runtime.tls_slot != kTlsOutOfIndexes) {
        release_thread_context();
        release_font_list();
        tls_free(g_runtime.tls_slot);
        g_runtime.tls_slot = kTlsOutOfIndexes;
    }
    g_runtime.first_context = nullptr;
}

bool attach_steps(uintptr_t module, uintptr_t reserved) {
    place_literal_pool(g_runtime.literal_pool);
    g_runtime.attach_result = 0;
    g_runtime.first_context = nullptr;
    g_runtime.tls_slot = kTlsOutOfIndexes;
    load_fpu_control(kRuntimeFpuControl);

    memset(&g_runtime.platform_version, 0, sizeof g_runtime.platform_version);
    g_runtime.platform_version.size = sizeof(OsVersionInfoA);
    if (!get_version_ex_a(&g_runtime.platform_version) ||
        g_runtime.platform_version.platform_id != kPlatformWin32Nt)
        return false;

    g_runtime.module_handle = module;
    g_runtime.saved_reserved = reserved;

    g_runtime.tls_slot = tls_alloc();
    if (g_runtime.tls_slot == kTlsOutOfIndexes) return false;

    g_runtime.default_code_page = 0;
    ThreadContext* ctx = get_thread_context();
    if (!ctx) {
        abandon_attach();
        return false;
    }
    g_runtime.first_context = ctx;
    ctx->code_page = 0;
    g_runtime.attach_result = 1;
    return true;
}

}  // namespace

uint32_t library_callback(uintptr_t, uint32_t reason, uintptr_t) { return reason <= kThreadDetach ? 1u : 0u; }

void runtime_reset() {
    memset(&g_runtime.shared, 0, sizeof g_runtime.shared);
    build_default_font_list();
}

uint32_t library_entry(uintptr_t module, uint32_t reason, uintptr_t reserved) {
    if (reason == kProcessAttach && !attach_steps(module, reserved)) return 0;
    g_runtime.current_reason = reason;
    if (reason == kProcessAttach) runtime_reset();
    uint32_t r = library_callback(g_runtime.module_handle, g_runtime.current_reason,
                                  g_runtime.saved_reserved);
    g_runtime.attach_result = static_cast<uint16_t>(r);
    if (reason == kProcessAttach && g_runtime.attach_result == 0) {
        // Undone here: a loader may still send a detach after a refused
        // attach, and it then finds nothing left to free.
        abandon_attach();
        return 0;
    }
    if (reason == kProcessDetach && reserved != 0) {
        // The process is ending. The system has already ended every other
        // thread, perhaps the window thread inside one of our spin locks or
        // inside the heap or GDI, and reclaims memory, handles and the TLS
        // slot itself: a lock taken or an object freed here could wait
        // forever on a thread that is gone.
        return g_runtime.attach_result;
    }
    if (reason == kThreadDetach) release_thread_context();
    if (reason == kProcessDetach) {
        void (*detach_hook)(uintptr_t) = __atomic_load_n(&g_runtime.shared.detach_hook, __ATOMIC_ACQUIRE);
        if (detach_hook != nullptr) detach_hook(module);
        process_release_list(kModuleReleaseList, &g_runtime);
        release_thread_context();
        release_font_list();
        tls_free(g_runtime.tls_slot);
        g_runtime.tls_slot = kTlsOutOfIndexes;
    }
    return g_runtime.attach_result;
}

void release_thread_context() {
    void* value = tls_get(g_runtime.tls_slot);
    if (!value) return;
    process_release_list(kThreadReleaseList, value);
    if (value == g_runtime.first_context) g_runtime.first_context = nullptr;
    (void)global_free(value);   // a failure here is ignored: the slot is cleared all the same
    tls_set(g_runtime.tls_slot, nullptr);
    set_thread_user_pointer(nullptr);
}
