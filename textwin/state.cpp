// The text window's shared state: current_text_window and the text lock in
// g_runtime.shared.text. Owns the lock's discipline and the lookup of the
// open window, and the turns that opens take; touches nothing else (no
// window, no GDI object).
#include "textwin/internal.h"

namespace textwin {

void lock_text() { spin_acquire(&text_state().text_lock); }
void unlock_text() { spin_release(&text_state().text_lock); }

WindowRecord* open_record(uintptr_t window) {
    WindowRecord* r = text_state().current_text_window;
    if (r == nullptr || r->type_code != kTypeTextArea) return nullptr;
    return window == kAnyTextWindow || r->hwnd == window ? r : nullptr;
}

uintptr_t resolve_window(uintptr_t window) {
    if (window != kAnyTextWindow) return window;
    lock_text();
    WindowRecord* r = open_record(kAnyTextWindow);
    uintptr_t h = r != nullptr ? r->hwnd : 0;
    unlock_text();
    return h;
}

void publish_current(WindowRecord* r) {
    __atomic_store_n(&text_state().current_text_window, r, __ATOMIC_RELEASE);
}

WindowRecord* load_current() {
    return __atomic_load_n(&text_state().current_text_window, __ATOMIC_ACQUIRE);
}

void take_open_turn() {
    const uint32_t ticket = __atomic_fetch_add(&text_state().open_ticket, 1u, __ATOMIC_ACQ_REL);
    while (__atomic_load_n(&text_state().open_serving, __ATOMIC_ACQUIRE) != ticket) Sleep(1);
}

void end_open_turn() { __atomic_fetch_add(&text_state().open_serving, 1u, __ATOMIC_RELEASE); }

}  // namespace textwin
