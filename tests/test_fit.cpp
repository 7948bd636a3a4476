// Where a text window goes on its work area and how much of it shows.
#include <gtest/gtest.h>

#include "textwin/fit.h"

namespace {

// A 1,280 x 1,024 work area, a frame of 8 px borders and a 20 px caption,
// a 17 px scroll bar, cells of 8 x 16.
const FitArea kWork{0, 0, 1280, 1024};
const FitFrame kFrame{8, 28, 17, 8, 16};

TEST(Fit, Limits) {
    const FitLimits most = fit_limits(kWork, kFrame);
    EXPECT_EQ(most.max_columns, (1280 - 8) / 8);
    EXPECT_EQ(most.max_columns_scrolling, (1280 - 8 - 17) / 8);
    EXPECT_EQ(most.max_rows, (1024 - 28) / 16);
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
    const int32_t most_rows = (1024 - 28) / 16;     // 62
    const int32_t most_columns = (1280 - 8) / 8;    // 159
    const int32_t beside_bar = (1280 - 8 - 17) / 8; // 156
    const FitCase cases[] = {
        {"fits where asked", kWork, 17, 3, 2, 30, 80, {17, 3, false, 30, 80, 17 * 8 + 8, 3 * 16 + 28}},
        {"exactly the work area", kWork, most_columns, most_rows, 2, 0, 0,
         {most_columns, most_rows, false, 0, 0, most_columns * 8 + 8, most_rows * 16 + 28}},
        {"past the right edge: moved left, no further", kWork, 20, 3, 2, 1250, 80,
         {20, 3, false, 1280 - 168, 80, 168, 76}},
        {"past the bottom: moved up", kWork, 20, 3, 2, 30, 1000, {20, 3, false, 30, 1024 - 76, 168, 76}},
        {"before the left and the top: moved in", kWork, 20, 3, 2, -500, -20, {20, 3, false, 0, 0, 168, 76}},
        {"on another monitor's work area", FitArea{1280, 0, 2560, 1024}, 20, 3, 2, 30, 80,
         {20, 3, false, 1280, 80, 168, 76}},
        {"wider than the work area: cut to it", kWork, 400, 3, 2, 30, 80,
         {most_columns, 3, false, 0, 80, most_columns * 8 + 8, 76}},
        {"one row too many: rows scroll beside a bar", kWork, 20, most_rows + 1, 2, 30, 80,
         {20, most_rows, true, 30, 1024 - (most_rows * 16 + 28), 20 * 8 + 8 + 17, most_rows * 16 + 28}},
        {"taller and wider: cut beside the bar", kWork, 400, 500, 4, 30, 80,
         {beside_bar, most_rows, true, 1280 - (beside_bar * 8 + 8 + 17), 1024 - (most_rows * 16 + 28),
          beside_bar * 8 + 8 + 17, most_rows * 16 + 28}},
        {"a tiny work area keeps the pinned rows and one that scrolls", FitArea{0, 0, 200, 60}, 10, 9, 4, 0, 0,
         {10, 5, true, 0, 0, 10 * 8 + 8 + 17, 5 * 16 + 28}},
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
