// The box's shared state: current_text_window and the text lock in
// g_runtime.shared.text. Owns the lock's discipline and the lookup of the
// open box, the turns that opens take, the text area's own state and what
// goes when the library is unloaded; draws nothing.
#include "textwin/internal.h"

namespace textwin {

// An owner lock (runtime/owner_lock.h): a caller killed while it draws a
// row leaves the lock to whoever needs it next.
bool lock_text() { return owner_lock_take(&text_state().text_lock); }

void unlock_text() { owner_lock_release(&text_state().text_lock); }

bool window_thread_ended_locked() {
    HANDLE thread = handle_of(text_state().window_thread);
    return thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

HANDLE unpublish_locked() {
    publish_current(nullptr);
    HANDLE thread = handle_of(text_state().window_thread);
    text_state().window_thread = 0;
    return thread;
}

WindowRecord* open_record(uintptr_t text_area) {
    WindowRecord* record = text_state().current_text_window;
    if (record == nullptr || record->type_code != kTypeTextArea) return nullptr;
    return text_area == kAnyTextWindow || record->hwnd == text_area ? record : nullptr;
}

uintptr_t resolve_window(uintptr_t text_area) {
    if (text_area != kAnyTextWindow) return text_area;
    if (!lock_text()) return 0;
    WindowRecord* record = open_record(kAnyTextWindow);
    uintptr_t h = record != nullptr ? record->hwnd : 0;
    unlock_text();
    return h;
}

void publish_current(WindowRecord* record) {
    __atomic_store_n(&text_state().current_text_window, record, __ATOMIC_RELEASE);
}

WindowRecord* load_current() {
    return __atomic_load_n(&text_state().current_text_window, __ATOMIC_ACQUIRE);
}

void note_open_failure(OpenStep step) {
    __atomic_store_n(&text_state().open_failure, static_cast<uint32_t>(step), __ATOMIC_RELEASE);
}

// An unload's process detach (the detach hook): the system does not
// unregister a DLL's window classes when it is unloaded, so a host that
// frees and loads the library again would find "VORANTEXT" still
// registered, pointing at the old image's window procedure, and could never
// open a box again; the class goes unless a box is still up. The opens'
// turn goes too. At process end the detach hook is not called: both go
// with the process.
static void text_window_detach(uintptr_t module) {
    const ATOM atom = static_cast<ATOM>(text_state().text_class_atom);
    if (atom != 0 && text_state().current_text_window == nullptr) {
        UnregisterClassW(reinterpret_cast<LPCWSTR>(uintptr_t{atom}), reinterpret_cast<HINSTANCE>(module));
    }
    HANDLE turn = handle_of(text_state().turn_mutex);
    if (turn != nullptr) CloseHandle(turn);
}

// A kernel mutex rather than a polled word: when a holder is killed the
// system passes the turn on and tells the next waiter so, which no word of
// ours could learn. Made by the first open, which is also when the text
// window first has something for the unload to undo.
static HANDLE turn_mutex() {
    auto& slot = text_state().turn_mutex;
    HANDLE mutex = handle_of(__atomic_load_n(&slot, __ATOMIC_ACQUIRE));
    if (mutex != nullptr) return mutex;
    __atomic_store_n(&g_runtime.shared.detach_hook, &text_window_detach, __ATOMIC_RELEASE);
    HANDLE made = CreateMutexW(nullptr, FALSE, nullptr);
    uintptr_t expected = 0;
    if (made != nullptr && !__atomic_compare_exchange_n(&slot, &expected, value_of(made), false, __ATOMIC_ACQ_REL,
                                                        __ATOMIC_ACQUIRE)) {
        CloseHandle(made);   // another open's came first
        return handle_of(expected);
    }
    return made;
}

// The bound is for one holder, not for the queue: it starts again whenever
// the turn passes on, so the last of many callers waits as long as the
// queue moves, and gives up only behind a holder stuck past its own bounds.
OpenStep take_open_turn() {
    HANDLE mutex = turn_mutex();
    if (mutex == nullptr) return kOpenTurn;
    uint32_t seen = __atomic_load_n(&text_state().turn_passes, __ATOMIC_RELAXED);
    DWORD since = GetTickCount();
    DWORD waited;
    while ((waited = WaitForSingleObject(mutex, kTurnLookMs)) == WAIT_TIMEOUT) {
        const uint32_t passes = __atomic_load_n(&text_state().turn_passes, __ATOMIC_RELAXED);
        if (passes != seen) {
            seen = passes;
            since = GetTickCount();
        } else if (GetTickCount() - since >= kTurnBoundMs) {
            return kOpenTurn;
        }
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return kOpenTurn;
    const DWORD me = GetCurrentThreadId();
    // The mutex is the thread's already: a message sent to it while it
    // opens has called again. That call cannot wait for its own turn.
    if (waited == WAIT_OBJECT_0 && text_state().turn_owner == me) {
        ReleaseMutex(mutex);
        return kOpenNested;
    }
    text_state().turn_owner = me;
    __atomic_fetch_add(&text_state().turn_passes, 1, __ATOMIC_RELAXED);
    return kOpenOk;
}

void end_open_turn() {
    text_state().turn_owner = 0;
    ReleaseMutex(handle_of(text_state().turn_mutex));
}

bool attach_text_area_state(WindowRecord* record) {
    record->text_area_state = static_cast<TextAreaState*>(alloc_zeroed_record(sizeof(TextAreaState)));
    return record->text_area_state != nullptr;
}

}  // namespace textwin
