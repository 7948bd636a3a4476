#include "runtime/context.h"

RuntimeState g_runtime;

ThreadContext* get_thread_context() {
    void* value = tls_get(g_runtime.tls_slot);
    if (value) return static_cast<ThreadContext*>(value);
    auto* ctx = static_cast<ThreadContext*>(global_alloc_zeroed(sizeof(ThreadContext)));
    if (!ctx) return nullptr;
    if (!tls_set(g_runtime.tls_slot, ctx)) {
        global_free(ctx);
        return nullptr;
    }
    set_thread_user_pointer(ctx);
    // Copied from the process-wide default rather than from first_context,
    // which is gone once the attaching thread has ended.
    ctx->code_page = g_runtime.default_code_page;
    return ctx;
}
