#include "textwin/fit.h"

namespace {

int32_t cells_in(int64_t pixels, int32_t cell) {
    if (cell <= 0 || pixels <= 0) return 0;
    const int64_t n = pixels / cell;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// Where a span of `size` asked to start at `want` goes within [low, high):
// unmoved when it fits there, else moved the least; the low edge wins when
// it is larger than the room.
int32_t place(int32_t want, int64_t size, int32_t low, int32_t high) {
    int64_t at = want;
    if (at + size > high) at = high - size;
    if (at < low) at = low;
    return static_cast<int32_t>(at);
}

}  // namespace

FitLimits fit_limits(const FitArea& work, const FitFrame& frame) {
    const int64_t width = int64_t{work.right} - work.left - frame.extra_width;
    const int64_t height = int64_t{work.bottom} - work.top - frame.extra_height;
    return FitLimits{cells_in(width, frame.cell_width), cells_in(width - frame.bar_width, frame.cell_width),
                     cells_in(height, frame.line_height)};
}

FitResult fit_window(const FitArea& work, const FitFrame& frame, int32_t columns, int32_t rows, int32_t pinned,
                     int32_t left, int32_t top) {
    const FitLimits most = fit_limits(work, frame);
    FitResult fit{};
    fit.shown_rows = rows;
    if (rows > most.max_rows) {
        if (pinned < 0) pinned = 0;
        // The prompts beneath stay; the part that scrolls keeps a row.
        const int32_t least = pinned < rows ? pinned + 1 : rows;
        fit.shown_rows = most.max_rows > least ? most.max_rows : least;
        fit.scrolling = fit.shown_rows < rows;
    }
    const int32_t widest = fit.scrolling ? most.max_columns_scrolling : most.max_columns;
    fit.columns = columns <= widest ? columns : (widest > 0 ? widest : 1);
    const int64_t width = int64_t{fit.columns} * frame.cell_width + frame.extra_width +
                          (fit.scrolling ? frame.bar_width : 0);
    const int64_t height = int64_t{fit.shown_rows} * frame.line_height + frame.extra_height;
    fit.frame_width = width > INT32_MAX ? INT32_MAX : static_cast<int32_t>(width);
    fit.frame_height = height > INT32_MAX ? INT32_MAX : static_cast<int32_t>(height);
    fit.x = place(left, width, work.left, work.right);
    fit.y = place(top, height, work.top, work.bottom);
    return fit;
}
