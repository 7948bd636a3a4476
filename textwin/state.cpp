// The text window's shared state: current_text_window and the text lock in
// g_runtime.shared.text. Owns the lock's discipline and the lookup of the
// open window; touches nothing else (no window, no GDI object).
#include "textwin/internal.h"

namespace textwin {

void lock_text() { spin_acquire(&text_state().text_lock); }
void unlock_text() { spin_release(&text_state().text_lock); }

WindowRecord* open_record() {
    WindowRecord* r = text_state().current_text_window;
    return r != nullptr && r->type_code == kTypeTextArea ? r : nullptr;
}

void publish_current(WindowRecord* r) {
    __atomic_store_n(&text_state().current_text_window, r, __ATOMIC_RELEASE);
}

WindowRecord* load_current() {
    return __atomic_load_n(&text_state().current_text_window, __ATOMIC_ACQUIRE);
}

}  // namespace textwin
