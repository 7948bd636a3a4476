// What a text window gives as text: the rows a screen reader reads and the
// layout the clipboard gets, kept in step with what is printed.
#include "textwin/shown_text.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

// One print at a cell, or a scroll.
struct Step {
    int row, column;   // row -1: the window scrolled
    std::u16string units;
};

struct ShownCase {
    const char* name;
    int columns, rows;
    std::vector<Step> steps;
    std::u16string read;   // the screen reader's text
    std::u16string copy;   // with the caption "Cap"
};

const std::u16string kDash = u"---------------------------\r\n";

std::u16string rows_of(StrHandle text) {
    std::u16string s(shown_text_rows(text, nullptr, 0), u'?');
    EXPECT_EQ(shown_text_rows(text, &s[0], static_cast<uint32_t>(s.size())), s.size());
    return s;
}

std::u16string copy_of(StrHandle text) {
    const std::u16string cap = u"Cap";
    std::u16string s(shown_text_copy(text, cap.data(), 3, nullptr, 0), u'?');
    EXPECT_EQ(shown_text_copy(text, cap.data(), 3, &s[0], static_cast<uint32_t>(s.size())), s.size());
    return s;
}

using ShownTextTest = RuntimeTest;

TEST_F(ShownTextTest, RowsAndCopyFollowWhatIsPrinted) {
    const ShownCase cases[] = {
        {"a box: message, blank row, answers", 17, 4,
         {{0, 0, u" Hello"}, {2, 0, u"  Press 1 for a"}, {3, 0, u"  Press 2 for b"}},
         u" Hello\r\n\r\n  Press 1 for a\r\n  Press 2 for b",
         kDash + u"Cap\r\n" + kDash + u" Hello\r\n" + kDash + u"  Press 1 for a\r\n  Press 2 for b\r\n" + kDash},
        {"an empty message row stays in the message", 10, 5,
         {{0, 0, u" a"}, {1, 0, u""}, {2, 0, u" b"}, {4, 0, u"  ok"}},
         u" a\r\n\r\n b\r\n\r\n  ok", kDash + u"Cap\r\n" + kDash + u" a\r\n\r\n b\r\n" + kDash + u"  ok\r\n" + kDash},
        {"prints on one row run on; rows not reached are left out", 8, 3, {{0, 0, u"ab"}, {0, 2, u"cd"}},
         u"abcd", kDash + u"Cap\r\n" + kDash + u"abcd\r\n" + kDash},
        {"cells passed over read blank; units past the last cell are not kept", 4, 2, {{0, 2, u"xyz"}},
         u"  xy", kDash + u"Cap\r\n" + kDash + u"  xy\r\n" + kDash},
        {"a NUL reads as the blank it shows", 4, 1, {{0, 0, std::u16string(u"a\0b", 3)}}, u"a b",
         kDash + u"Cap\r\n" + kDash + u"a b\r\n" + kDash},
        {"CR and LF inside a row are units of the row", 6, 1, {{0, 0, u"a\r\nb"}}, u"a\r\nb",
         kDash + u"Cap\r\n" + kDash + u"a\r\nb\r\n" + kDash},
        {"a scroll drops the first row and empties the last", 5, 2,
         {{0, 0, u"one"}, {1, 0, u"two"}, {-1, 0, u""}, {1, 0, u"3"}}, u"two\r\n3",
         kDash + u"Cap\r\n" + kDash + u"two\r\n3\r\n" + kDash},
        {"nothing printed", 5, 2, {}, u"", kDash + u"Cap\r\n" + kDash + kDash},
        {"rows and cells out of range are ignored", 5, 2, {{2, 0, u"no"}, {-2, 0, u"no"}, {0, 5, u"no"}}, u"",
         kDash + u"Cap\r\n" + kDash + kDash},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.name);
        StrHandle text = shown_text_make(c.rows, c.columns);
        ASSERT_NE(text, 0u);
        for (const Step& s : c.steps) {
            if (s.row == -1) {
                shown_text_scroll(text);
            } else {
                shown_text_put(text, s.row, s.column, s.units.data(), static_cast<uint32_t>(s.units.size()));
            }
        }
        EXPECT_EQ(narrow(rows_of(text)), narrow(c.read));
        EXPECT_EQ(narrow(copy_of(text)), narrow(c.copy));
        str_free(text);
    }
}

TEST_F(ShownTextTest, ATooSmallBufferGetsItsFirstUnitsAndTheWholeLength) {
    StrHandle text = shown_text_make(2, 4);
    shown_text_put(text, 0, 0, u"abcd", 4);
    shown_text_put(text, 1, 0, u"ef", 2);
    char16_t out[5] = {u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(shown_text_rows(text, out, 4), 8u);
    EXPECT_EQ(std::u16string(out, 5), u"abcd#");
    str_free(text);
}

TEST_F(ShownTextTest, NoBlockForSizesThatCannotBeHeld) {
    for (auto size : {std::pair<int, int>{0, 5}, {5, 0}, {-1, 3}, {3, 0x10000}, {0x7FFF, 0xFFFF}}) {
        SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second));
        EXPECT_EQ(shown_text_make(size.first, size.second), 0u);
    }
    // The handle 0 (no block) reads as nothing printed.
    shown_text_put(0, 0, 0, u"x", 1);
    shown_text_scroll(0);
    EXPECT_EQ(shown_text_rows(0, nullptr, 0), 0u);
}

}  // namespace
