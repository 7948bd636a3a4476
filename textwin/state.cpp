// The text window's shared state: current_text_window and the text lock in
// g_runtime.shared.text. Owns the lock's discipline and the lookup of the
// open window, and the turns that opens take; touches nothing else (no
// window, no GDI object).
#include "textwin/internal.h"

namespace textwin {
namespace {

// How often a waiter for the text lock looks whether its holder still runs.
constexpr uint32_t kHolderCheckSpins = 1u << 14;

}  // namespace

bool thread_running(DWORD id) {
    HANDLE thread = id != 0 ? OpenThread(SYNCHRONIZE, FALSE, id) : nullptr;
    if (thread == nullptr) return false;
    const bool running = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return running;
}

// The lock word holds its holder's thread id. A calling thread holds the
// lock while it draws a row, and a host may kill it there: every so often
// a waiter looks whether the holder still runs, and takes over the lock of
// one that has ended rather than spin on it for ever.
void lock_text() {
    volatile int32_t* word = &text_state().text_lock;
    const int32_t me = static_cast<int32_t>(GetCurrentThreadId());
    for (uint32_t spins = 1;; spins++) {
        int32_t holder = 0;
        if (__atomic_compare_exchange_n(word, &holder, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return;
        if (spins % kHolderCheckSpins == 0 && !thread_running(static_cast<DWORD>(holder)) &&
            __atomic_compare_exchange_n(word, &holder, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
            return;
        }
        __builtin_ia32_pause();
    }
}

void unlock_text() { __atomic_store_n(&text_state().text_lock, 0, __ATOMIC_RELEASE); }

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

void note_open_failure(OpenStep step) {
    __atomic_store_n(&text_state().open_failure, static_cast<uint32_t>(step), __ATOMIC_RELEASE);
}

// A kernel mutex rather than a polled word: when a holder is killed the
// system passes the turn on and tells the next waiter so, which no word of
// ours could learn.
static HANDLE turn_mutex() {
    auto& slot = text_state().turn_mutex;
    HANDLE m = reinterpret_cast<HANDLE>(__atomic_load_n(&slot, __ATOMIC_ACQUIRE));
    if (m != nullptr) return m;
    HANDLE made = CreateMutexW(nullptr, FALSE, nullptr);
    uintptr_t expected = 0;
    if (made != nullptr && !__atomic_compare_exchange_n(&slot, &expected, reinterpret_cast<uintptr_t>(made),
                                                        false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        CloseHandle(made);   // another open's came first
        return reinterpret_cast<HANDLE>(expected);
    }
    return made;
}

OpenStep take_open_turn() {
    HANDLE m = turn_mutex();
    if (m == nullptr) return kOpenTurn;
    const DWORD waited = WaitForSingleObject(m, kTurnBoundMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return kOpenTurn;
    const DWORD me = GetCurrentThreadId();
    // The mutex is the thread's already: a message sent to it while it
    // opens has called again. That call cannot wait for its own turn.
    if (waited == WAIT_OBJECT_0 && text_state().turn_owner == me) {
        ReleaseMutex(m);
        return kOpenNested;
    }
    text_state().turn_owner = me;
    return kOpenOk;
}

void end_open_turn() {
    text_state().turn_owner = 0;
    ReleaseMutex(reinterpret_cast<HANDLE>(text_state().turn_mutex));
}

}  // namespace textwin
