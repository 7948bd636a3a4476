// The message box layout: rows, widths, prompts, accepted keys and results,
// and the release of the locals on every path.
#include "msgbox/layout.h"

#include <deque>
#include <vector>

#include "runtime/errors.h"
#include "strings/fields.h"
#include "test_support.h"

namespace {

constexpr LayoutLimits kNoLimits{0, 0, 0};

class LayoutTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        load_fpu_control(kRuntimeFpuControl);
        msgbox_locals_init(l);
    }
    void TearDown() override {
        release_locals(l.frame);
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
    // Key answered? -1 when not accepted, else the result.
    int32_t answer(int32_t unit) {
        string_of_codes(l.frame, &unit, 1);
        tmp_assign(l.frame, &l.key);
        int32_t result = -1;
        return msgbox_key_result(l, &result) ? result : -1;
    }
    MsgBoxLocals l;
    std::deque<StrHandle> args;
};

enum Choices { kNone, kFirst, kFirstTwo, kAll, kSecondThird };

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
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        release_locals(l.frame);
        msgbox_locals_init(l);
        const StrHandle* a1 = (c.choices == kNone || c.choices == kSecondThird) ? nullptr : arg(c1);
        const StrHandle* a2 = (c.choices == kFirstTwo || c.choices == kAll || c.choices == kSecondThird) ? arg(c2) : nullptr;
        const StrHandle* a3 = (c.choices == kAll || c.choices == kSecondThird) ? arg(c3) : nullptr;
        msgbox_layout(l, arg(c.caption), arg(c.message), a1, a2, a3, kNoLimits);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(wide_of(l.prompt1), c.prompt1);
        EXPECT_EQ(wide_of(l.prompt2), c.prompt2);
        EXPECT_EQ(wide_of(l.prompt3), c.prompt3);
        EXPECT_EQ(l.extra_rows, c.extra_rows);
        EXPECT_EQ(msgbox_rows(l), static_cast<int32_t>(c.rows.size()) + c.extra_rows);
        EXPECT_EQ(msgbox_columns(l), c.columns);
        EXPECT_EQ(l.frame.depth, 0);
        EXPECT_EQ(l.frame.error_slot, 0);
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
        release_locals(l.frame);
        msgbox_locals_init(l);
        msgbox_layout(l, arg(u"T"), arg(u"m"), c.choices >= kFirst ? arg(u"a") : nullptr,
                      c.choices >= kFirstTwo ? arg(u"b") : nullptr, c.choices >= kAll ? arg(u"c") : nullptr, kNoLimits);
        msgbox_accepted_keys(l);
        for (auto [unit, result] : c.keys) {
            SCOPED_TRACE(unit);
            EXPECT_EQ(answer(unit), result);
            EXPECT_EQ(l.frame.depth, 0);
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
    release_locals(l.frame);
    msgbox_locals_init(l);
    EXPECT_EQ(ansi_of(literal(kLitPressEnter)), "  Press <Enter>");
}

// Every allocation failure along the way: the layout goes on, the
// temporaries stay balanced and the release frees what was made.
TEST_F(LayoutTest, AllocationFailuresAnywhere) {
    for (int32_t successes = 0; successes < 40; ++successes) {
        SCOPED_TRACE(successes);
        release_locals(l.frame);
        msgbox_locals_init(l);
        const StrHandle* caption = arg(u"Caption");
        const StrHandle* message = arg(u"one\r\ntwo\r\nthree");
        const StrHandle* a = arg(u"a");
        const StrHandle* b = arg(u"b");
        const StrHandle* c = arg(u"c");
        platform_fail_allocations_after(successes);
        msgbox_layout(l, caption, message, a, b, c, kNoLimits);
        msgbox_accepted_keys(l);
        platform_fail_allocations_after(-1);
        EXPECT_EQ(l.frame.depth, 0);
        EXPECT_TRUE(l.line_count == 0 || l.line_count == 3);
        for (int32_t i = 1; i <= l.line_count; ++i) (void)wide_of(msgbox_line(l, i));
    }
}

}  // namespace
