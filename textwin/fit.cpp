#include "textwin/fit.h"

namespace {

int32_t cells_in(int32_t pixels, int32_t cell) { return cell > 0 && pixels > 0 ? pixels / cell : 0; }

int32_t least(int32_t a, int32_t b) { return a < b ? a : b; }

// Where a span of `size` asked to start at `want` goes within [low, high):
// unmoved when it fits there, else moved the least; the low edge wins when
// it is larger than the room. Compared so that nothing overflows: `want`
// may be anywhere, `size` and the area are a screen's.
int32_t place(int32_t want, int32_t size, int32_t low, int32_t high) {
    int32_t at = want > high - size ? high - size : want;
    return at < low ? low : at;
}

}  // namespace

FitLimits fit_limits(const FitArea& work, const FitFrame& around) {
    const int32_t width = work.right - work.left - around.extra_width;
    const int32_t height = work.bottom - work.top - around.extra_height;
    return FitLimits{cells_in(width, around.cell_width), cells_in(width - around.bar_width, around.cell_width),
                     cells_in(height, around.line_height)};
}

FitLimits fit_box_limits(const FitArea& work, const FitFrame& around) {
    FitLimits most = fit_limits(work, around);
    if (most.max_rows < 1) most.max_rows = 1;
    return most;
}

bool fit_rows_scroll(const FitLimits& most, int32_t rows) { return most.max_rows > 0 && rows > most.max_rows; }

FitResult fit_window(const FitArea& work, const FitFrame& around, int32_t columns, int32_t rows, int32_t pinned,
                     int32_t left, int32_t top) {
    const FitLimits most = fit_box_limits(work, around);
    FitResult fit{};
    fit.shown_rows = rows;
    if (fit_rows_scroll(most, rows)) {
        // The prompts beneath stay; the part that scrolls keeps a row.
        const int32_t keep = pinned > 0 ? least(pinned + 1, rows) : 1;
        fit.shown_rows = most.max_rows > keep ? most.max_rows : keep;
        fit.scrolling = fit.shown_rows < rows;
    }
    const int32_t widest = fit.scrolling ? most.max_columns_scrolling : most.max_columns;
    fit.columns = columns <= widest ? columns : (widest > 0 ? widest : 1);
    // Cut to the screen first: the products below are a screen's pixels.
    fit.frame_width = fit.columns * around.cell_width + around.extra_width + (fit.scrolling ? around.bar_width : 0);
    fit.frame_height = fit.shown_rows * around.line_height + around.extra_height;
    fit.x = place(left, fit.frame_width, work.left, work.right);
    fit.y = place(top, fit.frame_height, work.top, work.bottom);
    return fit;
}
