// Key input and the calling thread's pump: text_wait_key takes pending_char
// with an atomic exchange, pump_messages moves one of the calling thread's
// own messages meanwhile, and the wait asks now and then whether the box
// can still take a key. They may touch the open text area's record only
// while they hold the text lock, and send nothing while they hold it.
#include "textwin/textwin.h"

#include "strings/dynstr.h"
#include "textwin/internal.h"

namespace textwin {
namespace {

void push_key(ProcFrame& proc_frame, uint32_t value) {
    StrHandle h = 0;
    if (value != 0) {
        h = str_alloc_wide(1);
        if (h != 0) *reinterpret_cast<char16_t*>(h) = static_cast<char16_t>(value & 0xFFFF);
    }
    tmp_push_owned(proc_frame, h);
}

}  // namespace

// The thread is asked by its handle, which no later thread can answer to;
// IsWindow, which may go to the display server, outside the lock.
bool window_alive(uintptr_t text_area) {
    if (!lock_text()) return false;
    const bool open = text_area != 0 && open_record(text_area) != nullptr && !window_thread_ended_locked();
    unlock_text();
    return open && IsWindow(hwnd_of(text_area));
}

}  // namespace textwin

using namespace textwin;

bool text_window_is_open(uintptr_t text_area) { return window_alive(resolve_window(text_area)); }

void text_wait_key(ProcFrame& proc_frame, uintptr_t text_area) {
    text_area = resolve_window(text_area);   // kAnyTextWindow: the one open now
    TakenQuit quit{false, 0};
    for (uint32_t polls = 1;; polls++) {
        WindowRecord* record = nullptr;
        uint32_t value = 0;
        if (lock_text()) {
            record = open_record(text_area);
            // Taking from an empty slot takes nothing, so testing and
            // taking are one step.
            value = record != nullptr ? atomic_exchange32(&record->pending_char, 0u) : 0;
            unlock_text();
        }
        // A box whose thread has died is still named by
        // current_text_window, but no key can come from it any more.
        const bool gone = record == nullptr || (polls % kLivenessCheckPolls == 0 && !window_alive(text_area));
        if (gone || value != 0) {
            // As any modal loop does: the quit was the host's, not ours.
            if (quit.taken) PostQuitMessage(quit.exit_code);
            push_key(proc_frame, value);
            return;
        }
        pump_messages(quit);
    }
}

void pump_messages(TakenQuit& quit) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        Sleep(1);
        return;
    }
    if (msg.message == WM_QUIT) {
        quit = TakenQuit{true, static_cast<int>(msg.wParam)};
        return;
    }
    HWND active = hwnd_of(text_state().active_window);
    if (IsWindow(active) && IsDialogMessageW(active, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}
