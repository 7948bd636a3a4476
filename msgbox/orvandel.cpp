// The message box: the library's export (this file) and its layout.
//
// The export lays the box out (layout.cpp), opens it (textwin/), waits on
// the caller's thread for an accepted key, closes the box and returns the
// choice.
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

// margin + offset in 32-bit arithmetic that wraps, as the host's own would:
// an offset near the type's end must not make the addition undefined. A
// frame placed so far off lands on the nearest monitor anyway.
inline int32_t offset_from(int32_t margin, int offset) {
    return static_cast<int32_t>(static_cast<uint32_t>(margin) + static_cast<uint32_t>(offset));
}

inline StrHandle handle_of(BSTR* ref) { return ref ? reinterpret_cast<StrHandle>(*ref) : 0; }

inline bool print_row(ProcFrame& proc_frame, uintptr_t text_area, StrHandle row) {
    tmp_push_ref(proc_frame, row);
    const bool open = text_print(proc_frame, text_area);
    reload_fpu();
    return open;
}

inline bool newline(uintptr_t text_area) {
    const bool open = text_newline(text_area);
    reload_fpu();
    return open;
}

// The rows, the blank row and the prompts. No line break after the last
// prompt: the box has exactly these rows. Complete now, the box is
// announced, with its reading text: the host's lines, not the wrap. A box
// found gone (replaced, or its lock not to be had) is printed no further,
// so every row does not wait out a bound of its own. False then.
bool print_box(MsgBoxLocals& locals, uintptr_t text_area) {
    bool open = true;
    for (int32_t i = 1; open && i <= locals.line_count; i++) {
        open = print_row(locals.proc_frame, text_area, msgbox_line(locals, i)) && newline(text_area);
    }
    const StrHandle prompts[3] = {locals.prompt1, locals.prompt2, locals.prompt3};
    for (int32_t i = 0; open && i < msgbox_prompt_count(locals); i++) {
        open = newline(text_area) && print_row(locals.proc_frame, text_area, prompts[i]);
    }
    if (!open) return false;
    tmp_push_owned(locals.proc_frame, locals.reading);   // the text area's record keeps it
    locals.reading = 0;
    text_announce(locals.proc_frame, text_area);
    return true;
}

// The user cannot close the box, so the wait ends only with an accepted
// key, or when the box is no longer ours (locals.result then stays 0).
void wait_for_answer(MsgBoxLocals& locals, uintptr_t text_area) {
    msgbox_accepted_keys(locals);
    while (text_window_is_open(text_area)) {
        text_wait_key(locals.proc_frame, text_area);
        reload_fpu();
        tmp_assign(locals.proc_frame, &locals.key);
        if (msgbox_key_result(locals, &locals.result)) break;
    }
}

// How long a call waits, at most, for its frame to go once it is closed.
constexpr DWORD kFrameGoneBoundMs = 5000;

// Closes the box. A box replaced by another thread's is closed by that
// thread, and its text area's record is gone before its frame is: wait,
// bounded, for the frame, so no call returns while its box is still on
// screen.
void close_box(uintptr_t text_area, HWND frame) {
    text_close(text_area);
    const DWORD closed_at = GetTickCount();
    while (frame && IsWindow(frame) && GetTickCount() - closed_at < kFrameGoneBoundMs) Sleep(1);
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
    MsgBoxLocals locals;
    msgbox_locals_init(locals);
    reload_fpu();

    const int32_t top = offset_from(kTopMargin, y_offset);
    const int32_t left = offset_from(kLeftMargin, x_offset);
    // What does not fit the screen is wrapped to its width and scrolled.
    const FitLimits limits = text_window_limits(top, left, str_len_wide(handle_of(caption)) != 0);
    reload_fpu();
    // A box that cannot have all it shows is not opened: blank once scrolled,
    // it would wait for a key the user cannot know.
    const StrHandle shown = msgbox_layout_box(locals, reinterpret_cast<const StrHandle*>(caption),
                                              reinterpret_cast<const StrHandle*>(message),
                                              reinterpret_cast<const StrHandle*>(choice1),
                                              reinterpret_cast<const StrHandle*>(choice2),
                                              reinterpret_cast<const StrHandle*>(choice3), limits);
    if (shown == 0) {
        release_locals(locals.proc_frame);
        reload_fpu();
        return 0;
    }

    // The caption is borrowed, and the open copies it for the window thread.
    // A null caption address reads as the empty caption.
    tmp_push_ref(locals.proc_frame, handle_of(caption));
    // Every text operation below names this call's own text area: after a
    // failed open (0), or once another thread's box has replaced it, they
    // touch no other thread's box.
    // The blank row and the prompts stay in view beneath message rows that
    // scroll.
    uintptr_t text_area = open_text_window(locals.proc_frame, 0, msgbox_columns(locals), msgbox_rows(locals), top,
                                           left, locals.extra_rows, shown);
    reload_fpu();

    HWND frame = text_area ? GetParent(reinterpret_cast<HWND>(text_area)) : nullptr;
    if (frame) {
        SetForegroundWindow(frame);
        reload_fpu();
    }
    if (print_box(locals, text_area)) wait_for_answer(locals, text_area);
    close_box(text_area, frame);

    int result = locals.result;
    release_locals(locals.proc_frame);
    reload_fpu();
    return result;
}
