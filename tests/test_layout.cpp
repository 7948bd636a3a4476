// The message box layout: rows, widths, prompts, accepted keys and results,
// and the release of the locals on every path.
#include "msgbox/layout.h"

#include <deque>
#include <random>
#include <vector>

#include "runtime/errors.h"
#include "strings/cells.h"
#include "strings/fields.h"
#include "textwin/shown_text.h"
#include "layout_model.h"
#include "test_support.h"

namespace {

using namespace layout_model;

constexpr FitLimits kNoLimits{0, 0, 0};

class LayoutTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        load_fpu_control(kRuntimeFpuControl);
        msgbox_locals_init(l);
    }
    void TearDown() override {
        release_locals(l.proc_frame);
        EXPECT_EQ(platform_counters().live_globals, baseline_.live_globals);
        for (StrHandle& h : args) str_free(h);
        RuntimeTest::TearDown();
    }
    // A caller's argument: a handle whose address is passed.
    const StrHandle* arg(const std::u16string& s) {
        args.push_back(make_wide(s));
        return &args.back();
    }
    std::vector<std::u16string> rows() const {
        std::vector<std::u16string> out;
        for (int32_t i = 1; i <= l.line_count; ++i) out.push_back(wide_of(msgbox_line(l, i)));
        return out;
    }
    std::vector<std::u16string> prompts() const {
        std::vector<std::u16string> out;
        for (StrHandle p : {l.prompt1, l.prompt2, l.prompt3})
            if (p != 0) out.push_back(wide_of(p));
        return out;
    }
    // Fresh locals laid out for a message and which choices are given.
    void lay_out(const std::u16string& caption, const std::u16string& message, int choices,
                 const FitLimits& limits);
    // Key answered? -1 when not accepted, else the result.
    int32_t answer(int32_t unit) {
        string_of_codes(l.proc_frame, &unit, 1);
        tmp_assign(l.proc_frame, &l.key);
        int32_t result = -1;
        return msgbox_key_result(l, &result) ? result : -1;
    }
    MsgBoxLocals l;
    std::deque<StrHandle> args;
};

enum Choices { kNone, kFirst, kFirstTwo, kAll, kSecondThird };

void LayoutTest::lay_out(const std::u16string& caption, const std::u16string& message, int choices,
                         const FitLimits& limits) {
    release_locals(l.proc_frame);
    msgbox_locals_init(l);
    const StrHandle* a1 = (choices == kNone || choices == kSecondThird) ? nullptr : arg(u"Yes");
    const StrHandle* a2 = (choices == kFirstTwo || choices == kAll || choices == kSecondThird) ? arg(u"No") : nullptr;
    const StrHandle* a3 = (choices == kAll || choices == kSecondThird) ? arg(u"Cancel") : nullptr;
    msgbox_layout(l, arg(caption), arg(message), a1, a2, a3, limits);
}

struct LayoutCase {
    const char* name;
    std::u16string caption, message;
    Choices choices;
    std::vector<std::u16string> rows;
    std::u16string prompt1, prompt2, prompt3;
    int32_t extra_rows, columns;
};

TEST_F(LayoutTest, RowsPromptsAndSize) {
    const std::u16string c1 = u"Yes", c2 = u"No", c3 = u"Cancel";
    const LayoutCase cases[] = {
        {"empty message", u"", u"", kNone, {u" "}, u"  Press <Enter>", u"", u"", 2, 17},
        {"trailing CR LF", u"T", u"ab\r\n", kNone, {u" ab", u" "}, u"  Press <Enter>", u"", u"", 2, 17},
        {"rows in order", u"T", u"one\r\n\r\ntwo\r\r\nthree", kNone, {u" one", u" ", u" two\r", u" three"},
         u"  Press <Enter>", u"", u"", 2, 17},
        {"lone CR and LF stay", u"T", u"a\rb\nc", kNone, {u" a\rb\nc"}, u"  Press <Enter>", u"", u"", 2, 17},
        {"caption sets width", u"A caption wider than all", u"hi", kFirst, {u" hi"}, u"  Yes", u"", u"", 2, 27},
        {"single choice", u"T", u"Go?", kFirst, {u" Go?"}, u"  Yes", u"", u"", 2, 7},
        {"two choices", u"T", u"Pick", kFirstTwo, {u" Pick"}, u"  Press 1 for Yes", u"  Press 2 for No", u"", 3, 19},
        {"three choices", u"T", u"x", kAll, {u" x"}, u"  Press 1 for Yes", u"  Press 2 for No",
         u"  Press 3 for Cancel", 4, 22},
        {"choice 1 missing", u"T", u"x", kSecondThird, {u" x"}, u"  Press <Enter>", u"", u"", 2, 17},
        // Row of 20 with the space: a prompt of 17 leaves the width at 20.
        {"row widest", u"T", u"0123456789012345678", kFirstTwo, {u" 0123456789012345678"},
         u"  Press 1 for Yes", u"  Press 2 for No", u"", 3, 21},
        // Prompt exactly as wide as the row: width unchanged.
        {"prompt equal", u"T", u"0123456789012345", kFirstTwo, {u" 0123456789012345"},
         u"  Press 1 for Yes", u"  Press 2 for No", u"", 3, 18},
        // Prompt one wider than the row: its length + 1.
        {"prompt one wider", u"T", u"012345678901234", kFirstTwo, {u" 012345678901234"},
         u"  Press 1 for Yes", u"  Press 2 for No", u"", 3, 19},
    };
    // Without limits, and on a screen just the box's size: a box that fits
    // stays as it is.
    for (const LayoutCase& c : cases)
    for (const FitLimits limits :
         {kNoLimits, FitLimits{c.columns, c.columns - 2, static_cast<int32_t>(c.rows.size()) + c.extra_rows}}) {
        SCOPED_TRACE(c.name + std::string(limits.max_columns ? " on a screen its size" : ""));
        release_locals(l.proc_frame);
        msgbox_locals_init(l);
        const StrHandle* a1 = (c.choices == kNone || c.choices == kSecondThird) ? nullptr : arg(c1);
        const StrHandle* a2 = (c.choices == kFirstTwo || c.choices == kAll || c.choices == kSecondThird) ? arg(c2) : nullptr;
        const StrHandle* a3 = (c.choices == kAll || c.choices == kSecondThird) ? arg(c3) : nullptr;
        msgbox_layout(l, arg(c.caption), arg(c.message), a1, a2, a3, limits);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(wide_of(l.prompt1), c.prompt1);
        EXPECT_EQ(wide_of(l.prompt2), c.prompt2);
        EXPECT_EQ(wide_of(l.prompt3), c.prompt3);
        EXPECT_EQ(l.extra_rows, c.extra_rows);
        EXPECT_EQ(msgbox_rows(l), static_cast<int32_t>(c.rows.size()) + c.extra_rows);
        EXPECT_EQ(msgbox_columns(l), c.columns);
        EXPECT_EQ(l.proc_frame.depth, 0);
        EXPECT_EQ(l.proc_frame.error_slot, 0);
    }
}

struct WrapCase {
    const char* name;
    std::u16string message;
    FitLimits limits;
    std::vector<std::u16string> rows;
    int32_t columns;
};

// Lines wider than the box can be are wrapped, widths counted in cells; the
// model agrees with every case. Text 10 cells wide: 12 columns, one of them
// free, one the leading space.
TEST_F(LayoutTest, LongLinesWrapAndWidthsCountCells) {
    const FitLimits k12{12, 0, 0};
    const std::u16string e_acute = u"e\u0301";
    std::u16string ten_acute, eleven_acute;
    for (int i = 0; i < 10; ++i) ten_acute += e_acute;
    eleven_acute = ten_acute + e_acute;
    const WrapCase cases[] = {
        {"no limit: nothing wraps", u"aaaa bbbb cccc dddd eeee", kNoLimits, {u" aaaa bbbb cccc dddd eeee"}, 26},
        {"a row exactly at the limit stays", u"0123456789", k12, {u" 0123456789"}, 12},
        {"one past the limit: the word breaks at the row's end", u"0123456789A", k12, {u" 0123456789", u" A"}, 12},
        {"broken at the last space that fits", u"aaaa bbbb cccc", k12, {u" aaaa bbbb", u" cccc"}, 11},
        {"the spaces at the break are on neither row", u"aaaa   bbbbbb", k12, {u" aaaa", u" bbbbbb"}, 8},
        {"a space just past the limit is the break", u"0123456789 abc", k12, {u" 0123456789", u" abc"}, 12},
        {"spaces past the limit at the end make no row", u"0123456789   ", k12, {u" 0123456789"}, 12},
        {"leading spaces are kept and are no break", u"  0123456789", k12, {u"   01234567", u" 89"}, 12},
        {"a word longer than a row", u"ab 0123456789012345 cd", k12, {u" ab", u" 0123456789", u" 012345 cd"}, 12},
        {"a wide character that does not fit goes to the next row", u"aaaaaaaaa\u4E2D\u6587", k12,
         {u" aaaaaaaaa", u" \u4E2D\u6587"}, 11},
        {"wide characters exactly at the limit", u"\u4E2D\u6587\u4E2D\u6587\u4E2D", k12,
         {u" \u4E2D\u6587\u4E2D\u6587\u4E2D"}, 12},
        {"without a limit a wide character still takes two cells", u"\u4E2D\u6587", kNoLimits, {u" \u4E2D\u6587"}, 6},
        {"combining marks take no cell", ten_acute, k12, {u" " + ten_acute}, 12},
        {"a mark is never parted from its character", eleven_acute, k12, {u" " + ten_acute, u" " + e_acute}, 12},
        {"a surrogate pair is one wide character", u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600",
         k12, {u" \U0001F600\U0001F600\U0001F600\U0001F600\U0001F600", u" \U0001F600"}, 12},
        {"a narrow pair is broken after it, never inside", std::u16string(11, u'x').replace(0, 1, u"\U0001D11E"), k12,
         {u" \U0001D11Exxxxxxxxx", u" x"}, 12},
        {"zero-width characters take no cell", u"a\u200Bb\u200Bc\u200Bd\u200Be\u200Bf\u200Bg\u200Bh\u200Bi\u200Bj", k12,
         {u" a\u200Bb\u200Bc\u200Bd\u200Be\u200Bf\u200Bg\u200Bh\u200Bi\u200Bj"}, 12},
        {"a space that carries a mark is no break", u"aaaa \u0301bbbbbb", k12, {u" aaaa \u0301bbbbb", u" b"}, 12},
        {"a row takes a wide character wider than it", u"\u4E2D\u4E2D", FitLimits{3, 0, 0},
         {u" \u4E2D", u" \u4E2D"}, 7},
        {"lone CR and NUL take a cell each", std::u16string(u"01234567\r\0x", 11), k12,
         {std::u16string(u" 01234567\r\0", 11), u" x"}, 12},
        {"the host's line breaks come first", u"aaaa bbbb cccc\r\nx", k12, {u" aaaa bbbb", u" cccc", u" x"}, 11},
        {"rows that all show keep the widest", u"aaaa bbbb cccc", FitLimits{12, 8, 4}, {u" aaaa bbbb", u" cccc"}, 11},
        {"rows that cannot all show wrap beside a scroll bar", u"aaaa bbbb cccc", FitLimits{12, 8, 3},
         {u" aaaa", u" bbbb", u" cccc"}, 6},
        {"many short lines past the rows keep their width", u"a\r\nbbbbbb\r\nc", FitLimits{12, 8, 2},
         {u" a", u" bbbbbb", u" c"}, 8},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        lay_out(u"T", c.message, kFirst, c.limits);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(msgbox_columns(l), c.columns);
        EXPECT_EQ(rows(), model_rows(c.message, c.limits, l.extra_rows));
        EXPECT_EQ(msgbox_columns(l), model_columns(u"T", rows(), prompts()));
        EXPECT_EQ(l.proc_frame.depth, 0);
        EXPECT_EQ(l.proc_frame.error_slot, 0);
    }
}


struct ShownCase {
    const char* name;
    FitArea work;
    std::u16string message;
    std::u16string choice1;   // empty: none, "  Press <Enter>"
    bool three_choices;
};

// What the layout says is what the box shows: the box's own rows, laid out
// to the limits of a work area, fitted to it and printed as the export
// prints them into the shown text, come out as the layout's rows, each on
// its row, and nothing scrolls while they are printed; the rows the layout
// wraps are not cut by the fit either. Cells of 8 x 16 px in a frame that
// adds 8 x 28, a scroll bar 17 wide, as in test_fit.cpp.
TEST_F(LayoutTest, TheBoxShowsTheLayoutsRows) {
    const FitFrame around{8, 28, 17, 8, 16};
    std::u16string many;
    for (int i = 0; i < 300; ++i) many += u"row\r\n";
    const ShownCase cases[] = {
        {"a choice wider than the area", FitArea{0, 0, 1280, 1024}, u"A\r\nBBBBB\r\nCCCCCCCCCC",
         std::u16string(300, u'x'), false},
        {"a 1-column area", FitArea{0, 0, 8 + 8 + 4, 1024}, u"Hello world", u"", false},
        {"an area lower than one row (max_rows 0)", FitArea{0, 0, 400, 40}, u"a\r\n" + std::u16string(60, u'b'),
         u"", false},
        {"an area lower than the prompts", FitArea{0, 0, 1280, 28 + 2 * 16 + 5}, u"one\r\ntwo", u"Yes", true},
        {"many rows in a 1-column area", FitArea{0, 0, 8 + 8 + 4, 1024}, many, u"", false},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FitLimits most = fit_box_limits(c.work, around);
        release_locals(l.proc_frame);
        msgbox_locals_init(l);
        const StrHandle* a1 = c.choice1.empty() ? nullptr : arg(c.choice1);
        const StrHandle* a2 = c.three_choices ? arg(u"No") : nullptr;
        const StrHandle* a3 = c.three_choices ? arg(u"Cancel") : nullptr;
        msgbox_layout(l, arg(u"Cap"), arg(c.message), a1, a2, a3, most);
        const FitResult fit = fit_window(c.work, around, msgbox_columns(l), msgbox_rows(l), l.extra_rows, 30, 80);
        StrHandle shown = shown_text_of_box(msgbox_rows(l), msgbox_columns(l));
        ASSERT_NE(shown, 0u);
        PrintCursor cursor{msgbox_columns(l), msgbox_rows(l), 0, 0};
        int scrolls = 0;
        auto print = [&](StrHandle text) {
            const char16_t* d;
            const uint32_t n = str_len_wide(text, &d);
            for (uint32_t done = 0; done < n;) {
                const PrintStep step = print_step(shown, cursor, d + done, n - done);
                scrolls += step.scrolled;
                done += step.units;
            }
        };
        auto newline = [&] { scrolls += print_newline(shown, cursor); };
        std::vector<std::u16string> want = rows();
        for (int32_t i = 1; i <= l.line_count; ++i) {
            print(msgbox_line(l, i));
            newline();
        }
        newline();
        want.push_back(u"");
        const std::vector<std::u16string> prompt_rows = prompts();
        for (size_t i = 0; i < prompt_rows.size(); ++i) {
            if (i > 0) newline();
            print(i == 0 ? l.prompt1 : i == 1 ? l.prompt2 : l.prompt3);
            want.push_back(prompt_rows[i]);
        }
        std::vector<std::u16string> got;
        for (int32_t row = 0; row < msgbox_rows(l); ++row) {
            const char16_t* units;
            const uint32_t n = shown_text_row(shown, row, &units);
            got.emplace_back(units, n);
        }
        EXPECT_EQ(got, want);
        EXPECT_EQ(scrolls, 0) << "rows scrolled while the box was printed";
        // Where a row of the layout can fit the box at all, it fits the
        // columns the fit shows.
        if (most.max_columns > 2) {
            for (int32_t i = 1; i <= l.line_count; ++i) {
                const char16_t* d;
                const uint32_t n = str_len_wide(msgbox_line(l, i), &d);
                EXPECT_LT(static_cast<int32_t>(text_cells(d, n)), fit.columns) << "row " << i << " cut";
            }
        }
        str_free(shown);
    }
}

// The caption and the prompts are never wrapped, whatever the limit: their
// cells widen the box as before.
TEST_F(LayoutTest, CaptionAndPromptsAreNotWrapped) {
    lay_out(u"A caption \u4E2D", u"hi", kFirstTwo, FitLimits{8, 6, 3});
    EXPECT_EQ(rows(), std::vector<std::u16string>{u" hi"});
    EXPECT_EQ(prompts(), (std::vector<std::u16string>{u"  Press 1 for Yes", u"  Press 2 for No"}));
    EXPECT_EQ(msgbox_columns(l), 19);
    lay_out(u"\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587", u"hi", kFirst, FitLimits{8, 6, 3});
    EXPECT_EQ(msgbox_columns(l), 23);   // 20 cells of caption + 2, then the free column
    release_locals(l.proc_frame);
    msgbox_locals_init(l);
    const std::u16string wide_choice = u"\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587";
    msgbox_layout(l, arg(u"T"), arg(u"hi"), arg(wide_choice), nullptr, nullptr, FitLimits{8, 6, 3});
    EXPECT_EQ(wide_of(l.prompt1), u"  " + wide_choice);
    EXPECT_EQ(msgbox_columns(l), 16);   // a prompt of 14 cells, the widest: + 1, then the free column
}

// Random messages of every kind of character against the model, at small
// limits and none.
TEST_F(LayoutTest, RandomMessagesAgreeWithTheModel) {
    const std::u16string pieces[] = {u"a", u"b", u"c", u" ", u" ", u" ", u"\u4E2D", u"\u0301", u"\U0001F600",
                                     u"\U0001D11E", u"\u200B", u"\r\n", u"\r", std::u16string(1, u'\0'),
                                     u"\xD800", u"\uFF21"};
    std::mt19937 random(20);
    for (int round = 0; round < 3000; ++round) {
        std::u16string message;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) message += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        const int32_t columns = random() % 4 == 0 ? 0 : static_cast<int32_t>(1 + random() % 16);
        const FitLimits limits{columns, columns > 1 ? columns - 1 - static_cast<int32_t>(random() % 2) : 0,
                                  static_cast<int32_t>(random() % 9)};
        const int choices = static_cast<int>(random() % 4);
        SCOPED_TRACE(narrow(message) + " in " + std::to_string(limits.max_columns) + "/" +
                     std::to_string(limits.max_columns_scrolling) + "/" + std::to_string(limits.max_rows));
        lay_out(u"Cap", message, choices, limits);
        const std::vector<std::u16string> want = model_rows(message, limits, l.extra_rows);
        ASSERT_EQ(rows(), want);
        ASSERT_EQ(msgbox_columns(l), model_columns(u"Cap", want, prompts()));
        ASSERT_EQ(wide_of(l.reading), model_reading(message, prompts()));
        ASSERT_EQ(l.proc_frame.depth, 0);
    }
}

struct ReadingCase {
    const char* name;
    std::u16string message;
    FitLimits limits;
    Choices choices;
    std::u16string reading;
};

// What a reader hears: the host's own lines, however they wrap, then the
// blank row and the prompts, joined by CR LF. Where nothing wraps it is the
// rows as shown, joined the same way.
TEST_F(LayoutTest, TheReadingTextHasTheHostsLines) {
    const ReadingCase cases[] = {
        {"rows and prompts", u"ab\r\ncd", kNoLimits, kFirstTwo,
         u" ab\r\n cd\r\n\r\n  Press 1 for Yes\r\n  Press 2 for No"},
        {"a wrapped line is read whole", u"aaaa bbbb cccc", FitLimits{12, 0, 0}, kNone,
         u" aaaa bbbb cccc\r\n\r\n  Press <Enter>"},
        {"a NUL reads as a blank, a lone CR stays", std::u16string(u"a\0b\rc", 5), kNoLimits, kFirst,
         u" a b\rc\r\n\r\n  Yes"},
        {"an empty message and three prompts", u"", kNoLimits, kAll,
         u" \r\n\r\n  Press 1 for Yes\r\n  Press 2 for No\r\n  Press 3 for Cancel"},
        {"a trailing CR LF is an empty line", u"ab\r\n", kNoLimits, kNone, u" ab\r\n \r\n\r\n  Press <Enter>"},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        lay_out(u"T", c.message, c.choices, c.limits);
        EXPECT_EQ(narrow(wide_of(l.reading)), narrow(c.reading));
        if (c.limits.max_columns == 0) {
            std::u16string shown;
            for (const std::u16string& row : rows()) shown += row + u"\r\n";
            for (const std::u16string& prompt : prompts()) shown += u"\r\n" + prompt;
            for (char16_t& u : shown) u = u != 0 ? u : u' ';
            EXPECT_EQ(narrow(wide_of(l.reading)), narrow(shown));
        }
    }
}

TEST_F(LayoutTest, AcceptedKeysAndResults) {
    struct Case { Choices choices; std::vector<std::pair<int32_t, int32_t>> keys; } cases[] = {
        {kNone, {{13, 0}, {'1', -1}, {'0', -1}, {' ', -1}}},
        {kFirst, {{13, 0}, {'1', -1}}},
        {kFirstTwo, {{13, -1}, {'1', 1}, {'2', 2}, {'3', -1}}},
        {kAll, {{'1', 1}, {'2', 2}, {'3', 3}, {'4', -1}, {0xFF11, -1}, {13, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choices);
        release_locals(l.proc_frame);
        msgbox_locals_init(l);
        msgbox_layout(l, arg(u"T"), arg(u"m"), c.choices >= kFirst ? arg(u"a") : nullptr,
                      c.choices >= kFirstTwo ? arg(u"b") : nullptr, c.choices >= kAll ? arg(u"c") : nullptr, kNoLimits);
        msgbox_accepted_keys(l);
        for (auto [unit, result] : c.keys) {
            SCOPED_TRACE(unit);
            EXPECT_EQ(answer(unit), result);
            EXPECT_EQ(l.proc_frame.depth, 0);
        }
    }
}

TEST_F(LayoutTest, NullCaptionAndMessageReadAsEmpty) {
    msgbox_layout(l, nullptr, nullptr, nullptr, nullptr, nullptr, kNoLimits);
    EXPECT_EQ(rows(), std::vector<std::u16string>{u" "});
    EXPECT_EQ(msgbox_columns(l), 17);
}

// Literals are converted, never handed out: the prompts are copies the
// locals own, so releasing them leaves the pool intact.
TEST_F(LayoutTest, PromptsAreOwnedCopies) {
    msgbox_layout(l, arg(u"T"), arg(u"m"), nullptr, nullptr, nullptr, kNoLimits);
    msgbox_accepted_keys(l);
    EXPECT_NE(l.prompt1, literal(kLitPressEnter));
    release_locals(l.proc_frame);
    msgbox_locals_init(l);
    EXPECT_EQ(ansi_of(literal(kLitPressEnter)), "  Press <Enter>");
}

// Every allocation failure along the way: the layout goes on, the
// temporaries stay balanced and the release frees what was made.
TEST_F(LayoutTest, AllocationFailuresAnywhere) {
    for (int32_t successes = 0; successes < 80; ++successes) {
        SCOPED_TRACE(successes);
        const bool wrapped = successes >= 40;
        release_locals(l.proc_frame);
        msgbox_locals_init(l);
        const StrHandle* caption = arg(u"Caption");
        const StrHandle* message = arg(wrapped ? u"one two\r\nthree" : u"one\r\ntwo\r\nthree");
        const StrHandle* a = arg(u"a");
        const StrHandle* b = arg(u"b");
        const StrHandle* c = arg(u"c");
        platform_fail_allocations_after(successes % 40);
        msgbox_layout(l, caption, message, a, b, c, wrapped ? FitLimits{7, 6, 9} : kNoLimits);
        msgbox_accepted_keys(l);
        platform_fail_allocations_after(-1);
        EXPECT_EQ(l.proc_frame.depth, 0);
        EXPECT_TRUE(l.line_count == 0 || l.line_count == 3);
        for (int32_t i = 1; i <= l.line_count; ++i) (void)wide_of(msgbox_line(l, i));
        (void)wide_of(l.reading);
    }
}

// A box is laid out with all it will show, or not opened at all: whichever
// allocation the system refuses, the shown text comes back only with every
// prompt and every row made, and is kept nowhere else; and a shown text too
// large to be made is refused before any row is made, however many rows the
// message has.
TEST_F(LayoutTest, ABoxHasAllItShowsOrIsNotOpened) {
    for (int32_t successes = 0; successes < 40; ++successes) {
        SCOPED_TRACE(successes);
        release_locals(l.proc_frame);
        msgbox_locals_init(l);
        const StrHandle* caption = arg(u"Caption");
        const StrHandle* message = arg(u"one two\r\nthree");
        const StrHandle *a = arg(u"a"), *b = arg(u"b"), *c = arg(u"c");
        platform_fail_allocations_after(successes);
        StrHandle shown = msgbox_layout_box(l, caption, message, a, b, c, FitLimits{7, 6, 9});
        platform_fail_allocations_after(-1);
        bool whole = l.line_count == 3 && l.prompt1 != 0 && l.prompt2 != 0 && l.prompt3 != 0;
        for (int32_t i = 1; whole && i <= l.line_count; ++i) whole = msgbox_line(l, i) != 0;
        EXPECT_EQ(shown != 0, whole);
        if (shown != 0) {
            const char16_t* units;
            EXPECT_EQ(std::u16string(units, shown_text_row(shown, 0, &units)), u"") << "a shown text not yet printed";
        }
        str_free(shown);
    }
    // 20,000 rows of a box 40,003 columns wide (the caption's): more than
    // one block can hold.
    std::u16string rows;
    for (int i = 0; i < 20000; ++i) rows += u"x\r\n";
    release_locals(l.proc_frame);
    msgbox_locals_init(l);
    const StrHandle shown =
        msgbox_layout_box(l, arg(std::u16string(40000, u'c')), arg(rows), nullptr, nullptr, nullptr, kNoLimits);
    EXPECT_EQ(shown, 0u);
    EXPECT_EQ(l.line_count, 0) << "rows made for a box that cannot be shown";
    EXPECT_EQ(l.reading, 0u);
}

}  // namespace
