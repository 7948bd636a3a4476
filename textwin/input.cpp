// Key input, closing and the calling thread's pump: text_wait_key and
// text_take_key take pending_char with an atomic exchange, text_close sends
// the close request and waits for it, pump_messages moves one of the calling
// thread's own messages. They may touch the open text area's record only
// while they hold the text lock, and send nothing while they hold it.
#include "textwin/textwin.h"

#include "strings/dynstr.h"
#include "textwin/internal.h"

namespace textwin {
namespace {

// Takes the key from `r` if it is still the open window named `hwnd`.
uint32_t take_key_from(WindowRecord* r, uintptr_t hwnd) {
    lock_text();
    WindowRecord* open = open_record();
    uint32_t value = 0;
    if (open != nullptr && open == r && open->hwnd == hwnd) {
        value = atomic_exchange32(&open->pending_char, 0u);
    }
    unlock_text();
    return value;
}

void push_key(ProcFrame& f, uint32_t value) {
    StrHandle h = 0;
    if (value != 0) {
        h = str_alloc_wide(1);
        if (h != 0) *reinterpret_cast<char16_t*>(h) = static_cast<char16_t>(value & 0xFFFF);
    }
    tmp_push_owned(f, h);
}

}  // namespace
}  // namespace textwin

using namespace textwin;

void text_take_key(ProcFrame& f) {
    lock_text();
    WindowRecord* r = open_record();
    uint32_t value = r != nullptr ? atomic_exchange32(&r->pending_char, 0u) : 0;
    unlock_text();
    push_key(f, value);
}

void text_wait_key(ProcFrame& f) {
    lock_text();
    WindowRecord* r = open_record();
    uintptr_t hwnd = r != nullptr ? r->hwnd : 0;
    unlock_text();
    if (r == nullptr) {
        tmp_push_owned(f, 0);
        return;
    }
    for (;;) {
        lock_text();
        WindowRecord* open = open_record();
        // The record's address alone could name a newer window that reuses
        // the freed block; its handle tells them apart.
        bool same = open != nullptr && open == r && open->hwnd == hwnd;
        uint32_t waiting = same ? r->pending_char : 0;
        unlock_text();
        if (!same) {
            tmp_push_owned(f, 0);
            return;
        }
        if (waiting != 0) break;
        pump_messages();
    }
    push_key(f, take_key_from(r, hwnd));
}

void text_close() {
    lock_text();
    WindowRecord* r = open_record();
    uintptr_t frame = 0;
    uint32_t flags = 0;
    WindowRecord* frame_rec = nullptr;
    if (r != nullptr) {
        frame = r->parent;
        // The frame's record outlives the text area's reference, which the
        // teardown clears under this lock first.
        flags = static_cast<uint32_t>(read_window_field(frame, kFieldFlags, &frame_rec));
    }
    unlock_text();
    if (frame_rec == nullptr || (flags & kFlagTextFrame) == 0) return;
    SendMessageW(hwnd_of(frame), WM_SYSCOMMAND, kCloseRequest, 0);
    // Only the reference to the window just closed: a window opened by
    // another thread meanwhile stays reachable.
    WindowRecord* expected = r;
    __atomic_compare_exchange_n(&text_state().current_text_window, &expected, nullptr, false,
                                __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

void pump_messages() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        Sleep(1);
        return;
    }
    HWND active = hwnd_of(text_state().active_window);
    if (IsWindow(active) && IsDialogMessageW(active, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}
