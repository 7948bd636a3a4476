// Key input, closing and the calling thread's pump: text_wait_key takes
// pending_char with an atomic exchange, text_close sends the close request
// and waits for it (bounded), pump_messages moves one of the calling
// thread's own messages. They may touch the open text area's record only
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
}  // namespace textwin

using namespace textwin;

bool text_window_is_open(uintptr_t text_area) { return window_alive(resolve_window(text_area)); }

void text_announce(ProcFrame& proc_frame, uintptr_t text_area) {
    // The text is handed over as it is, not copied: a message of megabytes.
    StrHandle text = tmp_slot(proc_frame, 0);
    if ((text & kBorrowedBit) != 0) {
        text = 0;
    } else {
        proc_frame.slots[proc_frame.depth - 1] = 0;
    }
    lock_text();
    WindowRecord* record = open_record(text_area);
    if (record != nullptr && record->reading_text == 0) {
        record->reading_text = text;
        text = 0;
    }
    unlock_text();
    str_free(text);
    tmp_drop(proc_frame);
    if (record != nullptr) NotifyWinEvent(EVENT_SYSTEM_ALERT, hwnd_of(text_area), OBJID_CLIENT, CHILDID_SELF);
}

void text_wait_key(ProcFrame& proc_frame, uintptr_t text_area) {
    text_area = resolve_window(text_area);   // kAnyTextWindow: the one open now
    TakenQuit quit{false, 0};
    for (uint32_t polls = 1;; polls++) {
        lock_text();
        WindowRecord* record = open_record(text_area);
        // Taking from an empty slot takes nothing, so testing and taking
        // are one step.
        uint32_t value = record != nullptr ? atomic_exchange32(&record->pending_char, 0u) : 0;
        unlock_text();
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

void text_close(uintptr_t text_area) {
    lock_text();
    WindowRecord* record = open_record(text_area);
    uintptr_t frame = 0;
    uint32_t flags = 0;
    WindowRecord* frame_record = nullptr;
    if (record != nullptr) {
        frame = record->parent;
        // The frame's record outlives the text area's reference, which the
        // teardown clears under this lock first.
        flags = static_cast<uint32_t>(read_window_field(frame, kFieldFlags, &frame_record));
    }
    unlock_text();
    if (frame_record == nullptr || (flags & kFlagTextFrame) == 0) return;
    // The teardown clears current_text_window before the send returns. A
    // window thread that does not answer within the bound keeps its box,
    // which stays the open one; one that has died left its records behind,
    // reclaimed here.
    DWORD_PTR ignored;
    SendMessageTimeoutW(hwnd_of(frame), WM_SYSCOMMAND, kCloseRequest, 0, SMTO_NORMAL, kCloseBoundMs,
                        &ignored);
    reclaim_orphaned_window();
}

// The thread is asked by its handle, which no later thread can answer to;
// IsWindow, which may go to the display server, outside the lock.
bool textwin::window_alive(uintptr_t text_area) {
    lock_text();
    const bool open = text_area != 0 && open_record(text_area) != nullptr && !window_thread_ended_locked();
    unlock_text();
    return open && IsWindow(hwnd_of(text_area));
}

// A box whose thread runs is that thread's to tear down, and one torn
// down the regular way was unpublished before its thread could end.
void textwin::reclaim_orphaned_window() {
    lock_text();
    WindowRecord* record = text_state().current_text_window;
    const bool orphan = record != nullptr && window_thread_ended_locked();
    const uintptr_t frame = orphan ? record->parent : 0;
    const uintptr_t thread = orphan ? unpublish_locked() : 0;
    unlock_text();
    if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));
    if (orphan) destroy_window_record(frame);
}

OpenStep textwin::close_old_window() {
    text_close(kAnyTextWindow);
    const DWORD start = GetTickCount();
    while (load_current() != nullptr) {
        if (GetTickCount() - start >= kOldWindowBoundMs) return kOpenOldWindow;
        Sleep(1);
        reclaim_orphaned_window();
    }
    return kOpenOk;
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
