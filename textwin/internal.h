// What textwin/'s own files share, and nothing outside textwin/ uses:
// the state's lock and lookup (state.cpp), the two window procedures
// (window_procs.cpp, installed by window_thread.cpp), the opens' turn and
// the bounds of every wait, and the few constants and conversions more than
// one of them needs. docs/design.md has the threads, the record's lifetime,
// the locks and the waits in one place.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "textwin/messages.h"
#include "textwin/textwin.h"

static_assert(kUserMessages == WM_USER, "the text area's own messages start at WM_USER");

namespace textwin {

// Control ids of the frame's children: the text area, and the scroll bar
// of a box whose rows do not all fit.
constexpr int kTextAreaId = 0;
constexpr int kScrollBarId = 1;

// --- state.cpp: the shared state and its lock ------------------------------------

inline auto& text_state() { return g_runtime.shared.text; }
// The text lock: an owner lock (runtime/owner_lock.h); the lock of a holder
// that has ended (killed while it drew) is taken over.
void lock_text();
void unlock_text();

// Under the text lock: whether the published box's thread has ended (a
// wait of 0 on its handle). False when none is published.
bool window_thread_ended_locked();
// Under the text lock: clears current_text_window and hands over the
// published box's window thread handle (0 when none), for the caller to close
// once the lock is let go.
uintptr_t unpublish_locked();

// Under the text lock: the open box's text area record if its handle is
// `text_area` (or any open one for kAnyTextWindow), else null. The handle
// is compared, not the record's address, which a freed record's memory may
// give the next box's record.
WindowRecord* open_record(uintptr_t text_area);

// `text_area`, or for kAnyTextWindow the text area open at this moment (0
// when none): an operation that runs a while stays with the box it began
// on.
uintptr_t resolve_window(uintptr_t text_area);

// current_text_window with release / acquire ordering, for the hand-offs
// made without the lock (publication, the open's wait for a closing box).
void publish_current(WindowRecord* record);
WindowRecord* load_current();

// The bounds of the library's waits between threads: each wait also ends as
// soon as what it waits for can no longer happen, so a bound is reached only
// by a thread that is stuck. Seconds, since a machine that emulates the
// processor may take a second or two for a window.
constexpr DWORD kCloseBoundMs = 10000;        // for a window thread to handle the close request
constexpr DWORD kOldWindowBoundMs = 10000;    // for the closed box's records to go
constexpr DWORD kWindowThreadBoundMs = 20000; // for the window thread to make the box
constexpr DWORD kRepaintBoundMs = 10000;      // for a window thread to paint a printed run
// For the turn to pass on: one holder's own waits, and a margin for the
// steps between them. It starts again each time the turn moves.
constexpr DWORD kTurnBoundMs = kCloseBoundMs + kOldWindowBoundMs + kWindowThreadBoundMs + 5000;
// How often a waiter for the turn looks whether it has moved.
constexpr DWORD kTurnLookMs = 250;
// A wait that polls with 1 ms sleeps looks every this many polls whether
// the thread on the other side still runs: a question to the system, too
// dear for every poll. A sleep of 1 ms lasts up to a timer tick (15.6 ms
// by default), so this is 64 ms to 1 s.
constexpr uint32_t kLivenessCheckPolls = 64;

void note_open_failure(OpenStep step);

// One open at a time: from closing the old box to the new one's
// publication no other open runs, so no two can both find the process
// without a box. Waits, bounded, for the opens that came first. Fails
// (kOpenTurn, or kOpenNested for a thread that already holds the turn)
// without the turn.
OpenStep take_open_turn();
void end_open_turn();

// Asks the open box, if any, to close, and waits, bounded, until it is
// gone. A box whose thread ended without tearing it down is torn down
// here. kOpenOk, or kOpenOldWindow when it is still there.
OpenStep close_old_window();

// Whether `text_area` exists and is the open box's, and that box's thread
// still runs: the windows of a killed thread may outlive it, with nobody to
// answer for them.
bool window_alive(uintptr_t text_area);

// Frees the records of the open box when its thread has ended (killed, or
// its windows destroyed with it) without the frame's WM_NCDESTROY. The
// look and the unpublishing are one locked step, so a box published
// meanwhile is never taken for the orphan.
void reclaim_orphaned_window();

// --- output.cpp: what the back buffer shows --------------------------------------

// Under the text lock. Draws the rows in view again from what they show as
// text: those of the part that scrolls (from top_row) and the pinned rows
// beneath. For scrolling, and for the scroll of every row up by one.
void draw_rows_in_view(WindowRecord* record);

// Scrolls the part of `record` that scrolls so that its row `top` (clamped
// to what there is) is the first in view, and shows it. On the window
// thread, without the text lock; does nothing for a box whose rows are all
// in view.
void scroll_rows_to(WindowRecord* record, int32_t top);

// --- window_procs.cpp -------------------------------------------------------------

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// --- small conversions ------------------------------------------------------------

// The system's pseudo handles of the calling process and thread: fixed
// values, where a call for each would be two more imports in a DLL that
// must stay small.
inline HANDLE this_process() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
inline HANDLE this_thread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

inline HDC dc_of(const WindowRecord* record) { return reinterpret_cast<HDC>(record->mem_dc); }
inline HWND hwnd_of(uintptr_t h) { return reinterpret_cast<HWND>(h); }
inline int32_t line_height(const WindowRecord* record) { return record->char_height + record->ext_leading; }

}  // namespace textwin
