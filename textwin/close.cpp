// Closing the box and the end of its records: text_close sends the close
// request and waits for it (bounded); the open closes the box before it and
// waits until it is gone; a box whose thread died without tearing it down
// is reclaimed here; and destroy_box_records frees what the text window
// keeps of a text area before the registry destroys the records.
#include "textwin/textwin.h"

#include "runtime/blocks.h"
#include "textwin/internal.h"

namespace textwin {
namespace {

// A box whose thread runs is that thread's to tear down, and one torn
// down the regular way was unpublished before its thread could end. The
// look and the unpublishing are one locked step, so a box published
// meanwhile is never taken for the orphan.
void reclaim_orphaned_window() {
    if (!lock_text()) return;
    WindowRecord* record = text_state().current_text_window;
    const bool orphan = record != nullptr && window_thread_ended_locked();
    HWND frame = orphan ? frame_of(record) : nullptr;
    HANDLE thread = orphan ? unpublish_locked() : nullptr;
    unlock_text();
    if (thread != nullptr) CloseHandle(thread);
    if (orphan) destroy_box_records(frame);
}

}  // namespace

void destroy_box_records(HWND frame) {
    const uintptr_t text_area = find_child_window(value_of(frame));
    WindowRecord* record = text_area != 0 ? find_window_record(text_area) : nullptr;
    TextAreaState* area = record != nullptr ? record->text_area_state : nullptr;
    if (area != nullptr) {
        record->text_area_state = nullptr;
        str_free(area->shown_text);
        str_free(area->reading_text);
        free_record(area);
    }
    destroy_window_record(value_of(frame));
}

OpenStep close_old_window() {
    text_close(kAnyTextWindow);
    const DWORD start = GetTickCount();
    while (load_current() != nullptr) {
        if (GetTickCount() - start >= kOldWindowBoundMs) return kOpenOldWindow;
        Sleep(1);
        reclaim_orphaned_window();
    }
    return kOpenOk;
}

}  // namespace textwin

using namespace textwin;

void text_close(uintptr_t text_area) {
    if (!lock_text()) return;
    WindowRecord* record = open_record(text_area);
    HWND frame = nullptr;
    uint32_t flags = 0;
    WindowRecord* frame_record = nullptr;
    if (record != nullptr) {
        frame = frame_of(record);
        // The frame's record outlives the text area's reference, which the
        // teardown clears under this lock first.
        flags = static_cast<uint32_t>(read_window_field(value_of(frame), kFieldFlags, &frame_record));
    }
    unlock_text();
    if (frame_record == nullptr || (flags & kFlagTextFrame) == 0) return;
    // The teardown clears current_text_window before the send returns. A
    // window thread that does not answer within the bound keeps its box,
    // which stays the open one; one that has died left its records behind,
    // reclaimed here.
    DWORD_PTR ignored;
    SendMessageTimeoutW(frame, WM_SYSCOMMAND, kCloseRequest, 0, SMTO_NORMAL, kCloseBoundMs, &ignored);
    reclaim_orphaned_window();
}
