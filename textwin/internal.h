// What textwin/'s own files share, and nothing outside textwin/ uses: the
// text area's own state, the bounds of every wait, and, file by file, the
// functions one file gives the others. docs/design.md has the threads, the
// records' lifetime, the locks and the waits in one place.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "runtime/blocks.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "textwin/messages.h"
#include "textwin/shown_text.h"
#include "textwin/textwin.h"

static_assert(kUserMessages == WM_USER, "the text area's own messages start at WM_USER");

// What the text window keeps of its text area beyond the registry's
// WindowRecord, reached through the record's text_area_state: made with the
// record by the window thread, before anything can draw or read, and freed
// just before the record (destroy_box_records). Under the text lock once
// published.
struct TextAreaState {
    // What the text area shows, as text (textwin/shown_text.h): written by
    // the text operations, read by the window procedure. Owned.
    StrHandle shown_text;
    // Where the next print goes, in cells of the box as asked for (the
    // record's cur_x and cur_y are its pixels).
    PrintCursor cursor;
    // What a reader gets instead of the rows as shown, once the box has it:
    // the host's own lines, not the wrap. Owned.
    StrHandle reading_text;
    // A text area whose rows do not all fit its screen shows `shown_rows`
    // of its `rows`: the part that scrolls, from `top_row` on, and beneath
    // it the last `pinned_rows`, always in view. shown_rows == rows when
    // every row is in view. top_row is the window thread's to change.
    int32_t rows;
    int32_t shown_rows;
    int32_t pinned_rows;
    int32_t top_row;
    HWND scroll_bar;       // beside the part that scrolls; null when every row is in view
    // What the wheel has turned short of a row, kept for its next notch.
    // The window thread's alone.
    int32_t wheel_rest;
};

namespace textwin {

// Control ids of the frame's children: the text area, and the scroll bar
// of a box whose rows do not all fit.
constexpr int kTextAreaId = 0;
constexpr int kScrollBarId = 1;

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

// --- state.cpp: the shared state, its lock, the lookup and the opens' turn ------

inline auto& text_state() { return g_runtime.shared.text; }
// The text lock: an owner lock (runtime/owner_lock.h); the lock of a holder
// that has ended (killed while it drew) is taken over. False when it could
// not be had within its bound: not taken, and the caller does as if there
// were no box (a text operation) or skips its step (the window thread).
[[nodiscard]] bool lock_text();
void unlock_text();

// Under the text lock: whether the published box's thread has ended (a
// wait of 0 on its handle). False when none is published.
bool window_thread_ended_locked();
// Under the text lock: clears current_text_window and hands over the
// published box's window thread handle (null when none), for the caller to
// close once the lock is let go.
HANDLE unpublish_locked();

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

void note_open_failure(OpenStep step);

// One open at a time: from closing the old box to the new one's
// publication no other open runs, so no two can both find the process
// without a box. Waits, bounded, for the opens that came first. Fails
// (kOpenTurn, or kOpenNested for a thread that already holds the turn)
// without the turn.
OpenStep take_open_turn();
void end_open_turn();

// A new, empty TextAreaState for `record` (a text area just registered),
// or false without memory.
bool attach_text_area_state(WindowRecord* record);

// --- cell_font.cpp: the cell font at a screen's DPI -------------------------------

// A cell of the text font at some DPI.
struct CellMetrics {
    int32_t width;
    int32_t height;
    int32_t ext_leading;
};

// The DPI of the screen `frame` is on, as the system has the frame see it:
// 96 for a host the system scales itself, and on systems without per-window
// DPI.
uint32_t window_dpi(HWND frame);

// Selects the text font, for `dpi`, into the text area record's mem_dc and
// takes the cell metrics into the record. Returns 0, or kErrInvalidCall
// when the font record, its font or the selection is missing.
uint32_t select_text_font(WindowRecord* record, uint32_t dpi);

// The text font's cell on the screen, measured in a DC of its own that is
// gone again when this returns. False when the font cannot be had.
bool measure_screen_cell(CellMetrics* cell);

// --- window_procs.cpp: the two window procedures ----------------------------------

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// --- output.cpp: what the back buffer shows ---------------------------------------

// Under the text lock. Draws the rows in view again from what they show as
// text: those of the part that scrolls (from top_row) and the pinned rows
// beneath. For scrolling, and for the scroll of every row up by one.
void draw_rows_in_view(WindowRecord* record);

// The scroll bar's range, page and place, all three at once from the rows
// (anything may have sent it a range of its own since), with a redraw when
// `redraw`. Nothing when there is no scroll bar. On the window thread.
void show_scroll_bar(const TextAreaState& area, BOOL redraw);

// Scrolls the part of `record` that scrolls so that its row `top` (clamped
// to what there is) is the first in view, and shows it. On the window
// thread, without the text lock; does nothing for a box whose rows are all
// in view.
void scroll_rows_to(WindowRecord* record, int32_t top);

// --- input.cpp: keys and the calling thread's pump ---------------------------------

// Whether `text_area` exists and is the open box's, and that box's thread
// still runs: the windows of a killed thread may outlive it, with nobody to
// answer for them.
bool window_alive(uintptr_t text_area);

// --- close.cpp: closing, and the records' end -------------------------------------

// Asks the open box, if any, to close, and waits, bounded, until it is
// gone. A box whose thread ended without tearing it down is torn down
// here. kOpenOk, or kOpenOldWindow when it is still there.
OpenStep close_old_window();

// Frees the text area's own state, then has the registry destroy the
// records of `frame` and its children with what they own. For the frame's
// WM_NCDESTROY and for an orphan's reclamation, once nothing can reach the
// records any more (unpublished, or never published).
void destroy_box_records(HWND frame);

// --- small conversions ------------------------------------------------------------

// The system's pseudo handles of the calling process and thread: fixed
// values, where a call for each would be two more imports in a DLL that
// must stay small.
inline HANDLE this_process() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
inline HANDLE this_thread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

// The registry and the runtime record are window-free and keep handles as
// numbers: these turn them into the system's types and back.
inline HWND hwnd_of(uintptr_t h) { return reinterpret_cast<HWND>(h); }
inline HANDLE handle_of(uintptr_t h) { return reinterpret_cast<HANDLE>(h); }
inline HGDIOBJ gdi_object_of(uintptr_t h) { return reinterpret_cast<HGDIOBJ>(h); }
inline uintptr_t value_of(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

inline HDC dc_of(const WindowRecord* record) { return reinterpret_cast<HDC>(record->mem_dc); }
inline HWND frame_of(const WindowRecord* record) { return hwnd_of(record->parent); }
inline TextAreaState& area_of(const WindowRecord* record) { return *record->text_area_state; }
inline int32_t line_height(const WindowRecord* record) { return record->char_height + record->ext_leading; }

}  // namespace textwin
