// Where a text window goes on its work area and how much of it shows.
#include <gtest/gtest.h>

#include "textwin/fit.h"

namespace {

// A 1,280 x 1,024 work area, a frame of 8 px borders and a 20 px caption,
// a 17 px scroll bar, cells of 8 x 16. The expected values are worked out
// by hand: 159 columns (1,272 px) fit, 156 (1,255 px) beside the bar, 62
// rows (996 px).
const FitArea kWork{0, 0, 1280, 1024};
const FitFrame kFrame{8, 28, 17, 8, 16};

TEST(Fit, Limits) {
    const FitLimits most = fit_limits(kWork, kFrame);
    EXPECT_EQ(most.max_columns, 159);
    EXPECT_EQ(most.max_columns_scrolling, 156);
    EXPECT_EQ(most.max_rows, 62);
    const FitLimits none = fit_limits(FitArea{0, 0, 4, 4}, kFrame);
    EXPECT_EQ(none.max_columns, 0);
    EXPECT_EQ(none.max_rows, 0);
}

struct FitCase {
    const char* name;
    FitArea work;
    int32_t columns, rows, pinned, left, top;
    FitResult want;
};

TEST(Fit, PlaceAndCut) {
    const FitCase cases[] = {
        {"fits where asked", kWork, 17, 3, 2, 30, 80, {17, 3, false, 30, 80, 144, 76}},
        {"exactly the work area", kWork, 159, 62, 2, 0, 0, {159, 62, false, 0, 0, 1280, 1020}},
        {"past the right edge: moved left, no further", kWork, 20, 3, 2, 1250, 80,
         {20, 3, false, 1112, 80, 168, 76}},
        {"past the bottom: moved up", kWork, 20, 3, 2, 30, 1000, {20, 3, false, 30, 948, 168, 76}},
        {"before the left and the top: moved in", kWork, 20, 3, 2, -500, -20, {20, 3, false, 0, 0, 168, 76}},
        {"on another monitor's work area", FitArea{1280, 0, 2560, 1024}, 20, 3, 2, 30, 80,
         {20, 3, false, 1280, 80, 168, 76}},
        {"wider than the work area: cut to it", kWork, 400, 3, 2, 30, 80, {159, 3, false, 0, 80, 1280, 76}},
        {"one row too many: rows scroll beside a bar", kWork, 20, 63, 2, 30, 80, {20, 62, true, 30, 4, 185, 1020}},
        {"taller and wider: cut beside the bar", kWork, 400, 500, 4, 30, 80, {156, 62, true, 7, 4, 1273, 1020}},
        {"a tiny work area keeps the pinned rows and one that scrolls", FitArea{0, 0, 200, 60}, 10, 9, 4, 0, 0,
         {10, 5, true, 0, 0, 105, 108}},
        {"pinned rows are all the rows: nothing scrolls", FitArea{0, 0, 200, 60}, 10, 3, 3, 0, 0,
         {10, 3, false, 0, 0, 88, 76}},
        {"a work area lower than one row still scrolls, as a row shows", FitArea{0, 0, 200, 40}, 10, 9, 4, 0, 0,
         {10, 5, true, 0, 0, 10 * 8 + 8 + 17, 5 * 16 + 28}},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FitResult got = fit_window(c.work, kFrame, c.columns, c.rows, c.pinned, c.left, c.top);
        EXPECT_EQ(got.columns, c.want.columns);
        EXPECT_EQ(got.shown_rows, c.want.shown_rows);
        EXPECT_EQ(got.scrolling, c.want.scrolling);
        EXPECT_EQ(got.x, c.want.x);
        EXPECT_EQ(got.y, c.want.y);
        EXPECT_EQ(got.frame_width, c.want.frame_width);
        EXPECT_EQ(got.frame_height, c.want.frame_height);
    }
}

}  // namespace
