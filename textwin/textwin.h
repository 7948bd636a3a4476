// The text window: a box of equal character cells on a thread of its own.
//
// The words used for its parts, in code and comments here and in msgbox/:
//   box         all the user sees of one call: the frame and its children
//               (the names that say "text window", as open_text_window and
//               current_text_window, mean the box)
//   frame       the top-level window of the class "VORANTEXT", with the caption
//   text area   the STATIC child that shows the cells; its handle is what
//               the text operations take (`text_area`), its WindowRecord the
//               `record` they work on
//   scroll bar  the child beside the rows that scroll, when not all fit
//   back buffer the bitmap the rows in view are drawn into before a paint
//   the result  what the window thread hands the open: the text area's
//               handle or 0 (OpenBlock.result); not the text lock's word
//   proc_frame  a ProcFrame, the runtime's frame of temporaries: `frame`
//               alone is always the window
//
// The calling thread opens the box, prints into its back buffer, waits for
// a key and closes it; the window thread owns the frame and its children,
// runs their procedures and frees the records when the frame goes away
// (docs/design.md). At most one box exists at a time.
//
// Every text operation names the text area it is for, looks it up anew
// through current_text_window under the text lock and does nothing when
// that text area is not the open box's. Win32 only.
#pragma once

#include <stdint.h>

#include "strings/dynstr.h"
#include "textwin/fit.h"

struct ProcFrame;

// The text area a text operation is for: the handle open_text_window
// returned. An operation acts only while that text area is the open box's,
// so a call whose open failed (0) or whose box another open has replaced
// prints into no other box, takes no key typed there and closes no other
// box. kAnyTextWindow stands for the text area of whichever box is open
// when the operation begins; it stays with that one.
constexpr uintptr_t kAnyTextWindow = ~uintptr_t{0};

// Where a failed open stopped: g_runtime.shared.text.open_failure holds it,
// for tests and debuggers (the export only returns 0).
enum OpenStep : uint32_t {
    kOpenOk = 0,
    kOpenLoaderLock,    // called under the loader lock: no thread can start until it is let go
    kOpenNested,        // called on a thread that is itself opening (from a message sent to it)
    kOpenTurn,          // the opens before it did not finish within the bound
    kOpenOldWindow,     // the box before it did not go within the bound
    kOpenThread,        // no block or no thread for the box
    kOpenTimedOut,      // the window thread did not decide the result within the bound
    kOpenCallerGone,    // the opening thread ended before the box was shown
    kOpenClass,         // the window class could not be registered
    kOpenFrame,         // the frame or its record
    kOpenTextArea,      // the text area or its record
    kOpenCells,         // no device context, no fixed-pitch font, or a size out of reach
    kOpenBackBuffer,    // the back buffer could not be made or selected
    kOpenTextLock,      // the text lock could not be had within its bound to publish the box
    kOpenShownText,     // no memory for what the box shows as text: it could not draw a scrolled row
};
// The largest box the screen near (left, top) holds, in cells of the
// box's font at the screen's DPI: its columns without and beside a scroll
// bar, and its rows in view; all 0 when the font cannot be measured.
// `caption`: whether the frame has a caption bar. For the calling thread,
// before it opens: what it lays out within these is shown whole, without
// scrolling or cutting.
FitLimits text_window_limits(int32_t top, int32_t left, bool caption);

// Closes any open box and waits until it is gone, then opens a new one of
// `rows` x `columns` cells with its frame's top-left corner at (left, top)
// on screen, on a new window thread. The caption is the top temporary of
// `proc_frame` (the export pushes it borrowed); it is copied for the window thread
// and dropped before the call returns.
// The frame lies wholly in the work area of the monitor nearest (left,
// top): there when it fits, else moved the least that makes it fit. A box
// larger than the work area has fewer columns (what passes the right edge
// is cut) and fewer rows in view: its rows then scroll, but for the last
// `pinned_rows`, which stay in view beneath them; the user scrolls with the
// arrow keys, PgUp/PgDn, Home/End, the wheel or the scroll bar.
// `style` 0 lets the window thread choose the frame's: WS_POPUP |
// WS_CAPTION | WS_MINIMIZEBOX with a caption of one unit or more,
// WS_POPUP | WS_BORDER | WS_MINIMIZEBOX without.
// Opens take turns (docs/design.md): a call waits, bounded, for the opens
// of other threads before it, then replaces their boxes, so at most one
// box exists at any time. A call under the loader lock, or from a message
// sent to a thread that is itself opening, fails at once.
// Returns:
//   the text area's handle   the box is shown, focused and reachable by
//                            the text operations
//   0                        no box: a step failed or a wait reached its
//                            bound (open_failure says which), e.g. no
//                            thread, no window or record, no fixed-pitch
//                            font, a size not positive or out of reach, no
//                            back buffer, no memory for the shown text
// Then pauses 40 ms before it returns. No text operation needs the pause
// any more: the window thread decides the result and publishes the box in
// one step under the text lock, and the open takes that lock once it has
// seen the result. It stays because every host has always had it: the box
// has been on screen that long before its first row is printed, and taking
// it out is a change of behaviour, to be weighed on its own.
// `shown_text`, when not 0, is what the box shows as text, made for these
// rows and columns (shown_text_of_box): the box takes it over, and the
// open frees it when no box does. With 0 the window thread makes one.
uintptr_t open_text_window(ProcFrame& proc_frame, uint32_t style, int32_t columns, int32_t rows,
                           int32_t top, int32_t left, int32_t pinned_rows = 0, StrHandle shown_text = 0);

// Whether `text_area` is the open box's and can still take a key: it
// exists and its thread runs. A box for which this turns false is never
// answered, and its call ends.
bool text_window_is_open(uintptr_t text_area);

// Prints the top temporary of `proc_frame` (UTF-16) at the cursor of `text_area`
// and drops it, also when that text area is not open or the text is empty.
// Each character is drawn in its cells (strings/cells.h), control
// characters as glyphs. Rows are the box's as asked for (its `columns`): a
// character never goes past a row's last cell, those that do not fit
// continue on the next row, which may scroll; text that fits its rows is
// never broken or scrolled. Where the text area shows fewer columns than
// asked, what passes its edge is kept but not drawn. A row scrolled out of
// view is kept and drawn once it is scrolled into view. Returns once the
// drawing is on the screen: false when `text_area` was found not to be the
// open box's (or the text lock could not be had within its bound), so a
// caller need print no further into a box that is gone.
bool text_print(ProcFrame& proc_frame, uintptr_t text_area);

// Moves the cursor of `text_area` to the start of the next row; on the
// last row scrolls every row up by one and clears the last. False as for
// text_print.
bool text_newline(uintptr_t text_area);

// Tells assistive technology that the box of `text_area` is up and
// complete, as message boxes do when they are shown: an alert event for
// the text area. From then on its name (its text) and what Ctrl+C copies
// are the top temporary of `proc_frame`, rows joined by CR LF with the host's own
// line breaks, whatever is scrolled out of view. An owned text is kept by the text area's
// record, not copied; a borrowed one is only dropped, and the rows as
// shown stay what is read. Nothing but the drop when `text_area` is not
// open.
void text_announce(ProcFrame& proc_frame, uintptr_t text_area);

// Waits, pumping the calling thread's own messages (1 ms sleeps when its
// queue is empty), until a character has been typed into `text_area`, and
// pushes it onto `proc_frame` as an owned one-unit string. Pushes the empty string
// at once when `text_area` is not open, and as soon as it is gone (closed
// by another thread's open, or destroyed from outside). A WM_QUIT the pump
// takes meanwhile does not end the wait; it is posted again, with its exit
// code, before this returns, so the host's own loop still finds it.
void text_wait_key(ProcFrame& proc_frame, uintptr_t text_area);

// Asks the box of `text_area` to close, in a send bounded by kCloseBoundMs
// (textwin/internal.h). When its window thread handles the request, the
// frame and its children are destroyed and current_text_window is null by
// the time this returns. When the bound runs out first (a hung thread),
// this returns with the box still up and still the open one. When the
// thread has died, the send fails at once and the box's records are
// reclaimed here. Does not wait for the window thread to end. Nothing
// happens when `text_area` is not open.
void text_close(uintptr_t text_area);

// A WM_QUIT taken from the calling thread's queue while it waited, for the
// waiter to post again once it is done.
struct TakenQuit {
    bool taken;
    int exit_code;
};

// One step of the calling thread's message pump: handles at most one of its
// own messages, or sleeps 1 ms when its queue is empty. A WM_QUIT is not
// dispatched but kept in `quit`.
void pump_messages(TakenQuit& quit);
