// What a text window gives as text: the rows a screen reader reads and the
// layout the clipboard gets, kept in step with what is printed.
#include "textwin/shown_text.h"

#include "textwin/clusters.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

// One print at a cell, or a scroll.
struct Step {
    int row, column;   // row -1: the window scrolled
    std::u16string units;
    int taken = -1;    // units the row takes; -1: all of them
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
        {"cells passed over read blank; units past the last cell are not kept", 4, 2, {{0, 2, u"xyz", 2}},
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
        {"a print takes what fits and leaves the rest for the next row", 4, 2, {{0, 0, u"abcdef", 4}, {1, 0, u"ef"}},
         u"abcd\r\nef", kDash + u"Cap\r\n" + kDash + u"abcd\r\nef\r\n" + kDash},
        {"a wide character takes two cells; at the last cell it waits for the next row", 5, 2,
         {{0, 0, u"ab\u4E2Dc\u6587", 4}, {1, 0, u"\u6587"}}, u"ab\u4E2Dc\r\n\u6587",
         kDash + u"Cap\r\n" + kDash + u"ab\u4E2Dc\r\n\u6587\r\n" + kDash},
        {"a row that starts empty takes a character wider than it", 1, 1, {{0, 0, u"\u4E2Dx", 1}}, u"\u4E2D",
         kDash + u"Cap\r\n" + kDash + u"\u4E2D\r\n" + kDash},
        {"marks take no cell and go with their character", 3, 1, {{0, 0, u"e\u0301e\u0301e\u0301x", 6}},
         u"e\u0301e\u0301e\u0301", kDash + u"Cap\r\n" + kDash + u"e\u0301e\u0301e\u0301\r\n" + kDash},
        {"marks past the room are taken and not kept", 1, 1, {{0, 0, u"e\u0301\u0302\u0303"}}, u"e\u0301",
         kDash + u"Cap\r\n" + kDash + u"e\u0301\r\n" + kDash},
        {"marks never take the room of the cells after them", 3, 1, {{0, 0, u"e\u0301\u0302\u0303\u0304ab"}},
         u"e\u0301ab", kDash + u"Cap\r\n" + kDash + u"e\u0301ab\r\n" + kDash},
        {"a surrogate pair is one character", 3, 2, {{0, 0, u"a\U0001F600\U0001F600", 3}, {1, 0, u"\U0001F600"}},
         u"a\U0001F600\r\n\U0001F600", kDash + u"Cap\r\n" + kDash + u"a\U0001F600\r\n\U0001F600\r\n" + kDash},
        {"a print cuts the row at its cell", 6, 1, {{0, 0, u"abcdef"}, {0, 2, u"X"}}, u"abX",
         kDash + u"Cap\r\n" + kDash + u"abX\r\n" + kDash},
        {"a wide character cut through leaves a blank", 6, 1, {{0, 0, u"\u4E2D\u6587"}, {0, 1, u"x"}}, u" x",
         kDash + u"Cap\r\n" + kDash + u" x\r\n" + kDash},
        {"a mark at the cut stays with its character", 6, 1, {{0, 0, u"e\u0301"}, {0, 1, u"x"}}, u"e\u0301x",
         kDash + u"Cap\r\n" + kDash + u"e\u0301x\r\n" + kDash},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.name);
        StrHandle text = shown_text_make(c.rows, c.columns);
        ASSERT_NE(text, 0u);
        for (const Step& s : c.steps) {
            if (s.row == -1) {
                shown_text_scroll(text);
            } else {
                const uint32_t n = static_cast<uint32_t>(s.units.size());
                EXPECT_EQ(shown_text_put(text, s.row, s.column, s.units.data(), n), s.taken < 0 ? n : uint32_t(s.taken))
                    << narrow(s.units);
            }
        }
        EXPECT_EQ(narrow(rows_of(text)), narrow(c.read));
        EXPECT_EQ(narrow(copy_of(text)), narrow(c.copy));
        str_free(text);
    }
}

// A row read back for drawing it again: its units, after a scroll too.
TEST_F(ShownTextTest, ARowGivesItsUnits) {
    StrHandle text = shown_text_make(2, 4);
    shown_text_put(text, 0, 0, u"ab", 2);
    shown_text_put(text, 1, 1, u"\u4E2D", 1);
    const char16_t* units = nullptr;
    ASSERT_EQ(shown_text_row(text, 1, &units), 2u);
    EXPECT_EQ(std::u16string(units, 2), u" \u4E2D");
    shown_text_scroll(text);
    ASSERT_EQ(shown_text_row(text, 0, &units), 2u);
    EXPECT_EQ(std::u16string(units, 2), u" \u4E2D");
    EXPECT_EQ(shown_text_row(text, 1, &units), 0u);
    EXPECT_EQ(shown_text_row(text, 2, &units), 0u);
    EXPECT_EQ(shown_text_row(text, -1, &units), 0u);
    EXPECT_EQ(shown_text_row(0, 0, &units), 0u);
    str_free(text);
}

struct ReadingCopyCase {
    const char* name;
    std::u16string rows;   // joined by CR LF
    std::u16string copy;   // with the caption "Cap"
};

// The copy made from a box's reading text is the copy of the window that
// shows the same rows.
TEST_F(ShownTextTest, TheCopyOfAReadingText) {
    const ReadingCopyCase cases[] = {
        {"message, blank row, answers", u" Hello\r\n there\r\n\r\n  Press 1 for a\r\n  Press 2 for b",
         kDash + u"Cap\r\n" + kDash + u" Hello\r\n there\r\n" + kDash + u"  Press 1 for a\r\n  Press 2 for b\r\n" +
             kDash},
        {"a lone CR, and a CR before the CR LF, stay in their rows", u" a\rb\r\r\n\r\n  ok",
         kDash + u"Cap\r\n" + kDash + u" a\rb\r\r\n" + kDash + u"  ok\r\n" + kDash},
        {"the last empty row splits", u" a\r\n\r\n b\r\n\r\n  ok",
         kDash + u"Cap\r\n" + kDash + u" a\r\n\r\n b\r\n" + kDash + u"  ok\r\n" + kDash},
        {"no empty row: all of it is the message", u" a\r\n b", kDash + u"Cap\r\n" + kDash + u" a\r\n b\r\n" + kDash},
        {"empty rows at the end are no rows", u" a\r\n\r\n", kDash + u"Cap\r\n" + kDash + u" a\r\n" + kDash},
        {"an empty row first", u"\r\n  ok", kDash + u"Cap\r\n" + kDash + kDash + u"  ok\r\n" + kDash},
        {"nothing", u"", kDash + u"Cap\r\n" + kDash + kDash},
    };
    const std::u16string cap = u"Cap";
    for (const ReadingCopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t n = static_cast<uint32_t>(c.rows.size());
        std::u16string copy(reading_copy(c.rows.data(), n, cap.data(), 3, nullptr, 0), u'?');
        EXPECT_EQ(reading_copy(c.rows.data(), n, cap.data(), 3, &copy[0], static_cast<uint32_t>(copy.size())),
                  copy.size());
        EXPECT_EQ(narrow(copy), narrow(c.copy));
        // The window printed with the same rows copies the same.
        StrHandle text = shown_text_make(8, 40);
        int row = 0;
        for (size_t from = 0;; ++row) {
            size_t k = c.rows.find(u"\r\n", from);
            const std::u16string line = c.rows.substr(from, k == std::u16string::npos ? k : k - from);
            shown_text_put(text, row, 0, line.data(), static_cast<uint32_t>(line.size()));
            if (k == std::u16string::npos) break;
            from = k + 2;
        }
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
    // A 16 MB message wraps to about 131,072 rows of about 70 cells: a block for them.
    StrHandle all_rows = shown_text_make(131072, 70);
    EXPECT_NE(all_rows, 0u);
    EXPECT_EQ(shown_text_put(all_rows, 131071, 69, u"\u4E2D", 1), 0u);   // a wide character at the last cell waits
    EXPECT_EQ(shown_text_put(all_rows, 131071, 68, u"\u4E2D", 1), 1u);
    str_free(all_rows);
    // The handle 0 (no block) reads as nothing printed.
    EXPECT_EQ(shown_text_put(0, 0, 0, u"xy", 2), 2u);
    shown_text_scroll(0);
    EXPECT_EQ(shown_text_rows(0, nullptr, 0), 0u);
}

}  // namespace

// A row as it is drawn: its clusters in reading order, each as the code
// point drawn for its first character and the rest of its units, and the
// cells each keeps.
namespace {

std::u16string drawn(const std::u16string& row, std::vector<uint32_t>* cells) {
    const uint32_t n = static_cast<uint32_t>(row.size());
    std::vector<ShownCluster> clusters(n);
    std::vector<uint32_t> scratch((visual_row_scratch_bytes(n) + 3) / 4);
    const uint32_t count = visual_row(row.data(), n, clusters.data(), scratch.data());
    std::u16string out;
    for (uint32_t i = 0; i < count; ++i) {
        const ShownCluster& c = clusters[i];
        if (c.shown > 0xFFFF) {
            out += static_cast<char16_t>(0xD7C0 + (c.shown >> 10));
            out += static_cast<char16_t>(0xDC00 + (c.shown & 0x3FF));
        } else {
            out += static_cast<char16_t>(c.shown);
        }
        out += row.substr(c.from + (c.shown > 0xFFFF ? 2 : 1), c.units - (c.shown > 0xFFFF ? 2 : 1));
        cells->push_back(c.cells);
    }
    return out;
}

TEST(ShownRow, ClustersInReadingOrder) {
    const struct {
        const char* name;
        std::u16string row;
        std::u16string drawn;
        std::vector<uint32_t> cells;
    } cases[] = {
        {"the margin stays left, a Hebrew word's first letter is rightmost", u" \u05D0\u05D1\u05D2",
         u" \u05D2\u05D1\u05D0", {1, 1, 1, 1}},
        {"digits keep their order in a right-to-left row", u"  \u05D0 12", u"  12 \u05D0", {1, 1, 1, 1, 1, 1}},
        {"a left-to-right row with a Hebrew word", u" ab \u05D0\u05D1 c", u" ab \u05D1\u05D0 c",
         {1, 1, 1, 1, 1, 1, 1, 1}},
        {"brackets at a right-to-left level are mirrored", u" \u05D0(\u05D1)", u" (\u05D1)\u05D0", {1, 1, 1, 1, 1}},
        {"a mark moves with its letter", u" \u05D0\u05B8\u05D1", u" \u05D1\u05D0\u05B8", {1, 1, 1}},
        {"Arabic letters take their joined forms", u" \u0628\u0628\u0628", u" \uFE90\uFE92\uFE91", {1, 1, 1, 1}},
        {"a letter that joins neither side stays isolated", u" \u0628 \u0628", u" \uFE8F \uFE8F", {1, 1, 1, 1}},
        {"lam and alef are one ligature over both cells", u" \u0628\u0644\u0627", u" \uFEFC\u0627\uFE91", {1, 2, 1}},
        {"lam alone before alef: the isolated ligature", u" \u0644\u0627", u" \uFEFB\u0627", {1, 2}},
        {"a lam takes one alef only", u" \u0644\u0627\u0627", u" \uFE8D\uFEFB\u0627", {1, 1, 2}},
        {"a conjunct is one cluster of its cells", u" \u0938\u094D\u0924", u" \u0938\u094D\u0924", {1, 2}},
        {"a spacing vowel sign goes with its consonant", u" \u0915\u093F", u" \u0915\u093F", {1, 2}},
        {"a surrogate pair is one cluster", u" \U0001F44D\u05D0", u" \u05D0\U0001F44D", {1, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> cells;
        EXPECT_EQ(drawn(c.row, &cells), c.drawn);
        if (!c.cells.empty()) EXPECT_EQ(cells, c.cells);
    }
}

}  // namespace
