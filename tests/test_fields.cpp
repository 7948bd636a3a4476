// Field splitting, set search and code strings, through the temporaries.
#include "strings/fields.h"

#include "runtime/errors.h"
#include "test_support.h"

namespace {

const std::u16string kCrLf = u"\r\n";

class FieldsTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        frame_init(f, nullptr);
    }
    // Pushes s as an owned operand, so consuming it is checked by the leak count.
    void push(const std::u16string& s) { tmp_push_owned(f, make_wide(s)); }
    std::u16string pop_string() {
        std::u16string s = wide_of(tmp_slot(f, 0));
        tmp_drop(f);
        return s;
    }
    ProcFrame f;
};

struct CountCase { std::u16string source, delim; int32_t count; };
const CountCase kCountCases[] = {
    {u"", kCrLf, 1},
    {u"one\r\ntwo\r\n", kCrLf, 3},
    {u"\r\n\r\n", kCrLf, 3},
    {u"a\rb\nc", kCrLf, 1},              // lone CR and LF do not split
    {u"abc", u"abcd", 1},                // delimiter longer than the source
    {u"aaa", u"aa", 2},                  // occurrences never overlap
    {u"aaaa", u"aa", 3},
    {u"a,b,,c", u",", 4},                // one-unit delimiter
    {u"xyzxyzxy", u"xyz", 3},
    {u"a\r\r\nb\r", kCrLf, 2},           // a CR before the delimiter and half of one at the end
    {u"", u"", 1},                       // comma-list mode from here on
    {u"   ", u"", 1},
    {u"a,", u"", 2},
    {u"  a  , \"b,c\" x , d", u"", 3},
    {u"\"a,b", u"", 1},                  // unterminated quote runs to the end
    {u"\"a\",\"b\" junk,", u"", 3},
    {u"x\"y,z", u"", 2},                 // a quote inside a field is ordinary
};

TEST_F(FieldsTest, FieldCount) {
    for (const CountCase& c : kCountCases) {
        SCOPED_TRACE(narrow(c.source) + " / " + narrow(c.delim));
        push(c.source);
        push(c.delim);
        EXPECT_EQ(field_count(f), c.count);
        EXPECT_EQ(f.depth, 0);
    }
}

TEST_F(FieldsTest, FieldAt) {
    struct Case { std::u16string source, delim; int32_t index; std::u16string field; } cases[] = {
        {u"", kCrLf, 1, u""},
        {u"one\r\ntwo\r\n", kCrLf, 1, u"one"},
        {u"one\r\ntwo\r\n", kCrLf, 2, u"two"},
        {u"one\r\ntwo\r\n", kCrLf, 3, u""},
        {u"one\r\ntwo\r\n", kCrLf, 4, u""},
        {u"one\r\ntwo\r\nsix", kCrLf, -1, u"six"},
        {u"one\r\ntwo\r\nsix", kCrLf, -3, u"one"},
        {u"one\r\ntwo\r\nsix", kCrLf, -4, u""},
        {u"one\r\ntwo\r\nsix", kCrLf, 0, u""},
        {u"one\r\ntwo", kCrLf, INT32_MIN, u""},
        {u"one\r\ntwo", kCrLf, INT32_MAX, u""},
        {u"a\rb\r\nc", kCrLf, 1, u"a\rb"},
        {u"abc", u"abcd", 1, u"abc"},
        {u"aaa", u"aa", 1, u""},
        {u"aaa", u"aa", 2, u"a"},
        {u"a\r\n", kCrLf, 2, u""},           // field ends exactly at the end
        {u"ab\r", kCrLf, 1, u"ab\r"},       // half a delimiter at the end
        {u"xyzAxyzB", u"xyz", 3, u"B"},
        {u"  a  , \"b,c\" x , d", u"", 1, u"a"},
        {u"  a  , \"b,c\" x , d", u"", 2, u"b,c"},
        {u"  a  , \"b,c\" x , d", u"", 3, u"d"},
        {u"  a  , \"b,c\" x , d", u"", -1, u"d"},
        {u"  a  , \"b,c\" x , d", u"", 4, u""},
        {u"a,", u"", 2, u""},
        {u"   ", u"", 1, u""},
        {u" \"open", u"", 1, u"open"},
        {u"x\"y ,z", u"", 1, u"x\"y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.source) + " / " + narrow(c.delim) + " / " + std::to_string(c.index));
        push(c.source);
        push(c.delim);
        field_at(f, c.index);
        ASSERT_EQ(f.depth, 1);
        EXPECT_EQ(pop_string(), c.field);
    }
}

TEST_F(FieldsTest, FindAny) {
    struct Case { int32_t start; std::u16string text, set; int32_t pos; } cases[] = {
        {1, u"\r", u"\r", 1},
        {1, u"2", u"12", 1},
        {1, u"3", u"12", 0},
        {1, u"", u"12", 0},
        {2, u"ab1", u"12", 3},
        {4, u"ab1", u"12", 0},
        {-1, u"1ab", u"12", 1},
        {-3, u"1ab", u"12", 1},
        {-4, u"1ab", u"12", 0},
        {-2, u"1a1", u"12", 1},              // backward from the middle
        {5, u"abc", u"", 5},
        {-1, u"abc", u"", 3},
        {-3, u"abc", u"", 1},
        {-4, u"abc", u"", 0},
        {0, u"abc", u"abc", 0},
        {1, u"", u"", 0},
        {INT32_MIN, u"abc", u"c", 0},
        {INT32_MAX, u"abc", u"c", 0},
        {1, u"xxxxe", u"abcde", 5},          // five units: the long-set scan
        {1, u"xxxxd", u"dddd", 5},
        {1, u"xxxa", u"aaa", 4},             // short sets with repeats
        {1, u"\xD83D\xDE00", u"\xDE00", 2},  // surrogates are plain units
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " / " + narrow(c.text) + " / " + narrow(c.set));
        push(c.text);
        push(c.set);
        EXPECT_EQ(find_any(f, c.start), c.pos);
        EXPECT_EQ(f.depth, 0);
    }
}

TEST_F(FieldsTest, StringOfCodes) {
    struct Case { std::vector<int32_t> codes; std::u16string text; } cases[] = {
        {{13}, u"\r"},
        {{65, -1, 66}, u"AB"},
        {{0x10041}, u"A"},
        {{-1}, u""},
        {{-2}, u"\xFFFE"},
        {{0}, std::u16string(1, u'\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        string_of_codes(f, c.codes.data(), static_cast<int>(c.codes.size()));
        ASSERT_EQ(f.depth, 1);
        EXPECT_EQ(pop_string(), c.text);
    }
}

// A walk from 0 yields field_at's fields 1..count in order, then only
// empty strings.
TEST_F(FieldsTest, FieldNextWalksTheFieldsOfFieldAt) {
    for (const CountCase& c : kCountCases) {
        SCOPED_TRACE(narrow(c.source) + " / " + narrow(c.delim));
        uint32_t next = 0;
        for (int32_t i = 1; i <= c.count + 1; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(next == kFieldsDone, i > c.count);
            push(c.source);
            push(c.delim);
            field_next(f, &next);
            ASSERT_EQ(f.depth, 1);
            const std::u16string walked = pop_string();
            push(c.source);
            push(c.delim);
            field_at(f, i);
            EXPECT_EQ(walked, pop_string());
        }
        EXPECT_EQ(next, kFieldsDone);
    }
}

// Borrowed operands stay with their owner; only the owned ones are freed.
TEST_F(FieldsTest, BorrowedOperandsSurvive) {
    StrHandle source = make_wide(u"a\r\nb");
    tmp_push_ref(f, source);
    tmp_push_ref(f, literal(kLitCrLf));
    field_at(f, 2);
    EXPECT_EQ(pop_string(), u"b");
    tmp_push_ref(f, source);
    tmp_push_ref(f, source);
    EXPECT_EQ(find_any(f, 1), 1);
    EXPECT_EQ(wide_of(source), u"a\r\nb");
    str_free(source);
}

// A caller's block of odd byte length: the last byte is not a unit.
TEST_F(FieldsTest, OddByteLengthIgnoresLastByte) {
    const char bytes[] = {'a', 0, ',', 0, 'b'};
    tmp_push_owned(f, make_bytes(bytes, sizeof bytes));
    push(u",");
    EXPECT_EQ(field_count(f), 2);
    tmp_push_owned(f, make_bytes(bytes, sizeof bytes));
    push(u",");
    field_at(f, 2);
    EXPECT_EQ(pop_string(), u"");
    tmp_push_owned(f, make_bytes(bytes, sizeof bytes));
    push(u"b");
    EXPECT_EQ(find_any(f, 1), 0);
}

TEST_F(FieldsTest, OutOfMemoryLeavesEmptyResultAndRaises7) {
    push(u"one,two");
    push(u",");
    platform_fail_allocations_after(0);
    field_at(f, 2);
    platform_fail_allocations_after(-1);
    ASSERT_EQ(f.depth, 1);
    EXPECT_EQ(tmp_slot(f, 0), 0u);
    EXPECT_EQ(f.error_slot, kErrOutOfMemory);
    tmp_drop(f);

    // The walk moves on past a field it could not copy.
    f.error_slot = 0;
    uint32_t next = 0;
    push(u"one,two");
    push(u",");
    platform_fail_allocations_after(0);
    field_next(f, &next);
    platform_fail_allocations_after(-1);
    ASSERT_EQ(f.depth, 1);
    EXPECT_EQ(tmp_slot(f, 0), 0u);
    EXPECT_EQ(f.error_slot, kErrOutOfMemory);
    EXPECT_EQ(next, 4u);
    tmp_drop(f);

    f.error_slot = 0;
    const int32_t codes[] = {13};
    platform_fail_allocations_after(0);
    string_of_codes(f, codes, 1);
    platform_fail_allocations_after(-1);
    ASSERT_EQ(f.depth, 1);
    EXPECT_EQ(tmp_slot(f, 0), 0u);
    EXPECT_EQ(f.error_slot, kErrOutOfMemory);
    tmp_drop(f);
}

}  // namespace
