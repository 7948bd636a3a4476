// The library's export: lays the box out, shows it in the text window, waits
// on the caller's thread for an accepted key, closes the window and returns
// the choice.
#include <windows.h>

#include "include/orvandel.h"   // ORVANDEL_BUILDING comes from the build: no dllimport here

#include "msgbox/layout.h"
#include "platform/platform.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"
#include "textwin/textwin.h"

namespace {

// The host's floating-point setting is not restored: the runtime's numeric
// routines rely on 64-bit precision, and a system call may have changed it.
inline void reload_fpu() { load_fpu_control(kRuntimeFpuControl); }

inline StrHandle handle_of(BSTR* ref) { return ref ? reinterpret_cast<StrHandle>(*ref) : 0; }

inline void print_row(ProcFrame& f, uintptr_t box, StrHandle row) {
    tmp_push_ref(f, row);
    text_print(f, box);
    reload_fpu();
}

inline void newline(uintptr_t box) {
    text_newline(box);
    reload_fpu();
}

}  // namespace

// Orvandel: see include/orvandel.h for the host's contract.
//
//   result  meaning
//   0       answered with Enter, or the box was gone before an answer:
//           the open failed, or another thread's box replaced it
//   1..3    the number of the choice typed
extern "C" int __stdcall Orvandel(BSTR* caption, BSTR* message, int x_offset, int y_offset,
                                  BSTR* choice1, BSTR* choice2, BSTR* choice3) {
    MsgBoxLocals l;
    msgbox_locals_init(l);
    reload_fpu();

    msgbox_layout(l, reinterpret_cast<const StrHandle*>(caption),
                  reinterpret_cast<const StrHandle*>(message),
                  reinterpret_cast<const StrHandle*>(choice1),
                  reinterpret_cast<const StrHandle*>(choice2),
                  reinterpret_cast<const StrHandle*>(choice3));

    // The caption is borrowed: the caller's string stays untouched while the
    // window thread reads it, and the open returns only after the window is
    // made. A null caption address reads as the empty caption.
    tmp_push_ref(l.frame, handle_of(caption));
    // Every text operation below names this call's own window: after a
    // failed open (0), or once another thread's box has replaced it, they
    // touch no other thread's box.
    uintptr_t text_area = open_text_window(l.frame, 0, msgbox_columns(l), msgbox_rows(l),
                                           80 + y_offset, 30 + x_offset);
    reload_fpu();

    HWND frame = text_area ? GetParent(reinterpret_cast<HWND>(text_area)) : nullptr;
    if (frame) {
        SetForegroundWindow(frame);
        reload_fpu();
    }

    for (int32_t i = 1; i <= l.line_count; i++) {
        print_row(l.frame, text_area, msgbox_line(l, i));
        newline(text_area);
    }
    newline(text_area);
    print_row(l.frame, text_area, l.prompt1);
    if (l.extra_rows > 2) {
        newline(text_area);
        print_row(l.frame, text_area, l.prompt2);
    }
    if (l.extra_rows > 3) {
        newline(text_area);
        print_row(l.frame, text_area, l.prompt3);
    }
    // No line break after the last prompt: the window has exactly these rows
    // and must not scroll. Complete now, the box is announced.
    text_announce(text_area);

    msgbox_accepted_keys(l);

    // The user cannot close the box, so the wait ends only with an accepted
    // key, or when the window is no longer ours.
    while (text_window_is_open(text_area)) {
        text_wait_key(l.frame, text_area);
        reload_fpu();
        tmp_assign(l.frame, &l.key);
        if (msgbox_key_result(l, &l.result)) break;
    }

    text_close(text_area);
    // A box replaced by another thread's is closed by that thread, and its
    // record is gone before its frame is: wait, bounded, for the frame, so
    // no call returns while its box is still on screen.
    const DWORD closed_at = GetTickCount();
    while (frame && IsWindow(frame) && GetTickCount() - closed_at < 5000) Sleep(1);
    reload_fpu();

    int result = l.result;
    release_locals(l.frame);
    reload_fpu();
    return result;
}
