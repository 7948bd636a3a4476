// What a box shows, kept as text beside the back buffer's pixels,
// so that a screen reader and the clipboard get the words and not a
// picture, and a row can be drawn again from it. Window-free: textwin/
// writes into it under its text lock as it prints, and reads it out when
// asked.
//
// One block from the string allocator: the number of rows and of columns,
// then per row of cells one unit holding the count of units in the row and
// room for two units per cell. A row holds the UTF-16 units printed into it,
// whole characters on cells as strings/cells.h counts them.
#pragma once

#include <stdint.h>

#include "strings/dynstr.h"

// A block for rows x columns cells, every row empty; 0 when the size is not
// positive or the block cannot be allocated (the box then has no text to
// give; nothing else changes).
StrHandle shown_text_make(int32_t rows, int32_t columns);

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

// The box scrolled: every row moves up one, the last is empty.
void shown_text_scroll(StrHandle text);

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
