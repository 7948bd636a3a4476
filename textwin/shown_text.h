// What a text window shows, kept as text beside the back buffer's pixels,
// so that a screen reader and the clipboard get the words and not a
// picture. Window-free: the text window writes into it under its text lock
// as it prints, and reads it out when asked.
//
// One block from the string allocator: the number of rows and of columns,
// then one row of 1 + columns UTF-16 units per row of cells, whose first
// unit is the row's length.
#pragma once

#include <stdint.h>

#include "strings/dynstr.h"

// A block for rows x columns cells, every row empty; 0 when the size is not
// positive or the block cannot be allocated (the window then has no text to
// give; nothing else changes).
StrHandle shown_text_make(int32_t rows, int32_t columns);

// `n` units printed from (row, column) on; units past the row's last cell
// are not kept. Cells passed over and NUL units read as blanks. Nothing
// happens for the handle 0 or a cell out of range.
void shown_text_put(StrHandle text, int32_t row, int32_t column, const char16_t* units, uint32_t n);

// The window scrolled: every row moves up one, the last is empty.
void shown_text_scroll(StrHandle text);

// Both below write at most `room` units into `out` (no terminator) and
// return the length the whole text has, so a caller can ask with room 0
// first. Rows after the last one printed on are left out.

// The rows as shown, joined by CR LF: a screen reader's name for the window.
uint32_t shown_text_rows(StrHandle text, char16_t* out, uint32_t room);

// The window as a message box copies itself: lines of dashes around the
// caption, the rows before the last empty row (the message) and the rows
// after it (the answers), every line ended by CR LF. Without an empty row
// every row is the message.
uint32_t shown_text_copy(StrHandle text, const char16_t* caption, uint32_t caption_len, char16_t* out,
                         uint32_t room);

// STAND-IN until the reworked model lands.
uint32_t shown_text_row(StrHandle text, int32_t row, const char16_t** units);
uint32_t reading_copy(const char16_t* rows, uint32_t n, const char16_t* caption, uint32_t caption_len,
                      char16_t* out, uint32_t room);
