// Where a box goes and how much of it shows: the frame lies wholly in the
// work area of its monitor. A box that fits where it was asked
// is exactly there, as asked; one that does not is moved the least that
// makes it fit; one larger than the work area is cut to it: fewer columns,
// and fewer rows in view, the rest reached by scrolling, with the last
// `pinned` rows always in view beneath the part that scrolls.
// Window-free: the window thread measures, this decides.
#pragma once

#include <stdint.h>

struct FitArea {
    int32_t left, top, right, bottom;   // the work area, screen pixels
};

// What the frame adds around its cells, and the cells.
struct FitFrame {
    int32_t extra_width;    // borders
    int32_t extra_height;   // borders and caption
    int32_t bar_width;      // a vertical scroll bar
    int32_t cell_width;
    int32_t line_height;
};

// The largest box the work area holds, in cells.
struct FitLimits {
    int32_t max_columns;            // without a scroll bar
    int32_t max_columns_scrolling;  // beside a scroll bar
    int32_t max_rows;               // rows in view at once
};

struct FitResult {
    int32_t columns;      // columns shown: those asked, or as many as fit
    int32_t shown_rows;   // rows in view: all rows, or as many as fit
    bool scrolling;       // not every row is in view: a scroll bar is beside them
    int32_t x, y;         // the frame's top-left corner
    int32_t frame_width, frame_height;
};

FitLimits fit_limits(const FitArea& work, const FitFrame& around);

// The limits a box is laid out to and fitted by: fit_limits, with one row
// at least, since a box always shows one row of those that scroll, however
// low its work area.
FitLimits fit_box_limits(const FitArea& work, const FitFrame& around);

// Whether a box of `rows` rows shows fewer at once on a work area of these
// limits (max_rows 0: no limit), so that its rows scroll beside a scroll
// bar. The one rule the layout and fit_window both go by: the layout wraps
// its lines to the columns beside a bar when it holds, and fit_window
// scrolls such a box whenever it has a row to scroll beneath those it
// keeps in view.
bool fit_rows_scroll(const FitLimits& most, int32_t rows);

// `rows` x `columns` cells asked at (left, top), the last `pinned` of the
// rows always in view. At least one column and, where rows scroll, one row
// of the scrolling part stay in view, however small the work area.
FitResult fit_window(const FitArea& work, const FitFrame& around, int32_t columns, int32_t rows, int32_t pinned,
                     int32_t left, int32_t top);
