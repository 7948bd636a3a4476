// The text window: a window of equal character cells on a thread of its own.
//
// The calling thread opens it, prints into its back buffer, waits for a key
// and closes it; the window thread owns both windows, runs their procedures
// and frees the records when the frame goes away. The two meet in
// g_runtime.shared.text (current_text_window, active_window, text_lock) and
// in the text area's WindowRecord. At most one text window exists at a time.
//
// Every text operation looks the window up anew through current_text_window
// under the text lock and does nothing when there is none. Win32 only.
#pragma once

#include <stdint.h>

struct ProcFrame;

// Closes any open text window and waits until it is gone, then opens a new
// one of `rows` x `columns` cells with its frame's top-left corner at
// (left, top) on screen, on a new window thread. The caption is the top
// temporary of `f` (the export pushes it borrowed); it is dropped before the
// call returns, and the window thread reads it only while this call waits.
// `style` 0 lets the window thread choose: 0x80C20000 with a caption of one
// unit or more, 0x80820000 without.
// Returns:
//   the text area's window handle   the window is shown, focused and
//                                   reachable by the text operations
//   0                               no window: the thread could not start,
//                                   a window or record could not be made, no
//                                   fixed-pitch font could be selected, or
//                                   the size is not positive (or too large)
// Sleeps 40 ms after the window exists so the first text operation finds it.
uintptr_t open_text_window(ProcFrame& f, uint32_t style, int32_t columns, int32_t rows,
                           int32_t top, int32_t left);

// Prints the top temporary of `f` (UTF-16) at the cursor and drops it, also
// when nothing is open or the text is empty. Every unit is drawn as a glyph,
// control characters included. A run never goes past the right edge: the
// units that do not fit on the row continue on the next, which may scroll.
// Returns once the drawing is on the screen.
void text_print(ProcFrame& f);

// Moves the cursor to the start of the next row; on the last row scrolls
// every row up by one and clears the last.
void text_newline();

// Waits, pumping the calling thread's own messages (1 ms sleeps when its
// queue is empty), until a character has been typed into the text window,
// and pushes it onto `f` as an owned one-unit string. Pushes the empty string
// at once when no window is open, and as soon as the window it waits on is
// gone (closed by another thread's open, or destroyed from outside).
void text_wait_key(ProcFrame& f);

// Takes the waiting character without waiting and pushes it onto `f` as an
// owned one-unit string, or the empty string when there is none (or no
// memory for it; the character is then lost).
void text_take_key(ProcFrame& f);

// Asks the open text window to close and returns once both windows are
// destroyed and current_text_window is null. Does not wait for the window
// thread to end. Nothing happens when no text window is open.
void text_close();

// One step of the calling thread's message pump: handles at most one of its
// own messages, or sleeps 1 ms when its queue is empty.
void pump_messages();
