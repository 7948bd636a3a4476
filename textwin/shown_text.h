// What a box shows, kept as text beside the back buffer's pixels,
// so that a screen reader and the clipboard get the words and not a
// picture, and a row can be drawn again from it; and where printing puts
// each character (print_step), which the text window only draws.
// Window-free: textwin/ writes into it under its text lock as it prints,
// and reads it out when asked.
//
// One block from the string allocator: the number of rows and of columns,
// which kept row is the first shown, then per row of cells one unit holding
// the count of units in the row and room for two units per cell. A row
// holds the UTF-16 units printed into it, whole characters on cells as
// strings/cells.h counts them.
#pragma once

#include <stdint.h>

#include "strings/dynstr.h"

// A block for rows x columns cells, every row empty; 0 when the size is not
// positive or the block cannot be allocated (the box then has no text to
// give; nothing else changes).
StrHandle shown_text_make(int32_t rows, int32_t columns);

// The block of a box of rows x columns cells, as shown_text_make, but that
// keeps at most 32,767 columns of a wider box: past those no text area
// shows a cell.
StrHandle shown_text_of_box(int32_t rows, int32_t columns);

// Puts units at cell `column` of `row`: the row is cut at that cell (cells
// passed over read as blanks), then whole characters are appended while they
// fit in the row's cells (zero-cell characters go with the one before them;
// a row that starts empty takes at least one character). Returns the units
// taken: the caller draws those and puts the rest on the next row. A NUL is
// kept as the blank it is drawn as; zero-cell characters past the row's room
// are taken but not kept. Nothing for the handle 0 or a cell out of range
// (returns n, so the caller does not loop).
uint32_t shown_text_put(StrHandle text, int32_t row, int32_t column, const char16_t* units, uint32_t n);

// The units of `row` (for drawing it again, e.g. when the box scrolls its
// rows) and their count; 0 for the handle 0 or a row out of range.
uint32_t shown_text_row(StrHandle text, int32_t row, const char16_t** units);

// The box scrolled: every row moves up one, the last is empty. Only the
// first row's place changes, and one row is cleared, however many rows.
void shown_text_scroll(StrHandle text);

// Where the next print goes on a box of `columns` x `rows` cells, the
// size it asked for (the text area may show fewer: what passes its edge is
// cut, never moved), in cells from the top left.
struct PrintCursor {
    int32_t columns;
    int32_t rows;
    int32_t column;
    int32_t row;
};

// One step of printing: what goes where, for the caller to draw.
struct PrintStep {
    uint32_t units;   // units put at (row, column); 0: a line break came instead
    uint32_t cells;
    int32_t row;
    int32_t column;
    bool scrolled;    // that line break was on the last row: every row moved up one
};

// The first step of printing units[0, n) (n > 0) at `cursor` into `text`:
// the whole characters that fit in the cells left on the cursor's row (at a
// row's start at least one, one wider than the row then cut at its edge),
// put into `text` with the cursor moved past them; or, when not one fits,
// a line break. The caller repeats with what is left. Text that fits its
// rows therefore never breaks or scrolls.
PrintStep print_step(StrHandle text, PrintCursor& cursor, const char16_t* units, uint32_t n);

// A line break at `cursor`: to the start of the next row, or on the last
// row every row of `text` moves up one and the cursor stays on the last.
// True when it scrolled.
bool print_newline(StrHandle text, PrintCursor& cursor);

// All below write at most `room` units into `out` (no terminator) and
// return the length the whole text has, so a caller can ask with room 0
// first. Rows after the last one printed on are left out.

// The rows as shown, joined by CR LF: a screen reader's name for the text area.
uint32_t shown_text_rows(StrHandle text, char16_t* out, uint32_t room);

// The box as a message box copies itself: lines of dashes around the
// caption, the rows before the last empty row (the message) and the rows
// after it (the answers), every line ended by CR LF. Without an empty row
// every row is the message.
uint32_t shown_text_copy(StrHandle text, const char16_t* caption, uint32_t caption_len, char16_t* out,
                         uint32_t room);

// The same copy made from the n units of `rows`, rows joined by CR LF (a
// box's reading text, whose rows are its host's own lines, not the wrap).
uint32_t reading_copy(const char16_t* rows, uint32_t n, const char16_t* caption, uint32_t caption_len,
                      char16_t* out, uint32_t room);
