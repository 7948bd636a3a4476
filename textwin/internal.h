// What the text window's own files share, and nothing outside textwin/ uses:
// the state's lock and lookup (state.cpp), the two window procedures
// (window_procs.cpp, installed by window_thread.cpp), and the few constants
// and conversions more than one of them needs.
//
// Record lifetime: the window thread frees the text area's record at the
// frame's WM_NCDESTROY, possibly while the calling thread is printing or
// waiting. The text lock closes that gap: the teardown clears
// current_text_window under the lock before it frees anything, and every
// text operation finds the record under the lock and touches it only while
// it holds the lock. The lock is a pure spin, so it is never held across a
// message send (repaints and the close request are sent after it is let
// go) nor across a call that goes to the display server (the copy to the
// screen is made from a copy of the back buffer): the window thread, which
// takes it only briefly, always makes progress, and nobody spins long.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "textwin/textwin.h"

namespace textwin {

// The library's own close request: WM_SYSCOMMAND with this code.
constexpr WPARAM kCloseRequest = 0x1405;

// --- state.cpp: the shared state and its lock ------------------------------------

inline auto& text_state() { return g_runtime.shared.text; }
void lock_text();
void unlock_text();

// Under the text lock: the open text window's record if its text area is
// `window` (or any open one for kAnyTextWindow), else null. The handle is
// compared, not the record's address, which a freed record's memory may
// give the next window's record.
WindowRecord* open_record(uintptr_t window);

// `window`, or for kAnyTextWindow the text area open at this moment (0 when
// none): an operation that runs a while stays with the window it began on.
uintptr_t resolve_window(uintptr_t window);

// current_text_window with release / acquire ordering, for the hand-offs
// made without the lock (publication, the open's wait for a closing window).
void publish_current(WindowRecord* r);
WindowRecord* load_current();

// One open at a time, in the order the calls came: from closing the old
// window to the new one's publication no other open runs, so no two can
// both find the process without a window. Waits (1 ms sleeps) for the opens
// that came first.
void take_open_turn();
void end_open_turn();

// --- window_procs.cpp -------------------------------------------------------------

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// --- small conversions ------------------------------------------------------------

inline HDC dc_of(const WindowRecord* r) { return reinterpret_cast<HDC>(r->mem_dc); }
inline HWND hwnd_of(uintptr_t h) { return reinterpret_cast<HWND>(h); }
inline int32_t line_height(const WindowRecord* r) { return r->char_height + r->ext_leading; }

}  // namespace textwin
