// Arrays: dimensioning, the dimensioned bit, errors 9, 7 and 241, and the
// release of string elements.
#include "runtime/arrays.h"

#include <algorithm>
#include <random>
#include <vector>

#include "runtime/errors.h"
#include "test_support.h"

namespace {

class ArraysTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        frame_init(f, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(platform_counters().live_globals, baseline_.live_globals) << "array memory leaked";
        RuntimeTest::TearDown();
    }
    ProcFrame f;
};

TEST_F(ArraysTest, DimensionBounds) {
    struct Case { std::vector<int32_t> bounds; uint32_t element_size; uint8_t error; uint32_t count; } cases[] = {
        {{1, 1}, 4, 0, 1},
        {{1, 0}, 4, kErrSubscript, 0},
        {{-5, 5}, 4, 0, 11},
        {{INT32_MIN, INT32_MIN}, 4, 0, 1},
        {{0, 0x3FFFFFFF}, 4, kErrSubscript, 0},       // 4 GiB of bytes
        {{INT32_MIN, INT32_MAX}, 1, kErrSubscript, 0},  // 2^32 elements
        {{1, 3, 1, 4}, 8, 0, 12},
        {{1, 65536, 1, 65536}, 1, kErrSubscript, 0},   // count beyond 32 bits
        {{1, 2, 5, 4}, 4, kErrSubscript, 0},           // second dimension inverted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bounds));
        ArrayDescriptorN<2> a = {};
        f.error_slot = 0;
        const uint8_t dims = static_cast<uint8_t>(c.bounds.size() / 2);
        dim_array(f, &a.head, nullptr, 8, kElementString, dims, c.element_size, c.bounds.data());
        EXPECT_EQ(f.error_slot, c.error);
        if (c.error) {
            EXPECT_FALSE(a.head.flags & kArrayDimensioned);
            EXPECT_EQ(a.head.data, nullptr);
            continue;
        }
        EXPECT_EQ(a.head.flags, 8 | kArrayDimensioned);
        EXPECT_EQ(a.head.kind, 2);
        EXPECT_EQ(a.head.element_count, c.count);
        EXPECT_EQ(a.head.byte_size, c.count * c.element_size);
        if (dims == 2) EXPECT_EQ(a.head.dims[0].span, static_cast<uint32_t>(c.bounds[1] - c.bounds[0] + 1));
        const uint8_t* bytes = static_cast<const uint8_t*>(a.head.data);
        EXPECT_TRUE(std::all_of(bytes, bytes + a.head.byte_size, [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(erase_array(&a.head), 0u);
        EXPECT_EQ(a.head.data, nullptr);
        EXPECT_EQ(a.head.flags, 8);
    }
}

TEST_F(ArraysTest, SecondDimensionChangesNothing) {
    ArrayDescriptorN<1> a = {};
    const int32_t first[] = {1, 3}, second[] = {0, 9};
    dim_array(f, &a.head, nullptr, 8, kElementString, 1, sizeof(StrHandle), first);
    void* data = a.head.data;
    dim_array(f, &a.head, nullptr, 0, 0, 1, 1, second);
    EXPECT_EQ(f.error_slot, 0);
    EXPECT_EQ(a.head.data, data);
    EXPECT_EQ(a.head.dims[0].upper, 3);
    EXPECT_EQ(a.head.element_count, 3u);
    EXPECT_EQ(erase_array(&a.head), 0u);
}

TEST_F(ArraysTest, EraseNeverDimensionedSucceeds) {
    ArrayDescriptorN<1> a = {};
    EXPECT_EQ(erase_array(&a.head), 0u);
    EXPECT_EQ(a.head.flags, 0);
}

TEST_F(ArraysTest, EraseFreesEveryStringOnce) {
    ArrayDescriptorN<1> a = {};
    const int32_t bounds[] = {1, 6};
    dim_array(f, &a.head, nullptr, 8, kElementString, 1, sizeof(StrHandle), bounds);
    StrHandle* e = static_cast<StrHandle*>(a.head.data);
    for (int i : {0, 2, 3, 5}) e[i] = make_wide(u"row " + std::u16string(1, char16_t(u'a' + i)));
    const int32_t live = platform_counters().live_strings;
    EXPECT_EQ(erase_array(&a.head), 0u);
    EXPECT_EQ(platform_counters().live_strings, live - 4);
}

// The element order after the sort is the order in which strings are freed.
TEST(ArraysSort, DescendingHandleOrder) {
    std::vector<std::vector<StrHandle>> cases = {
        {0x100, 0x300, 0x200, 0, 0x400}, {}, {7}, {1, 2}, {2, 1}, {5, 5, 5, 5}, {1, 2, 3, 4, 5, 6, 7, 8},
    };
    std::mt19937_64 rng(3);
    for (int n : {3, 64, 1000, 100000}) {
        std::vector<StrHandle> v(n);
        for (StrHandle& h : v) h = static_cast<StrHandle>(rng() % (n / 2 + 1)) * 4;  // duplicates
        cases.push_back(v);
        std::sort(v.begin(), v.end());
        cases.push_back(v);  // already ascending
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.size());
        std::vector<StrHandle> expected = c;
        std::sort(expected.begin(), expected.end(), [](StrHandle x, StrHandle y) { return x > y; });
        sort_handles_descending(c.data(), static_cast<uint32_t>(c.size()));
        EXPECT_EQ(c, expected);
    }
}

TEST_F(ArraysTest, CallerMemoryIsNeitherReleasedNorFreed) {
    StrHandle own[2] = {make_wide(u"x"), 0};
    ArrayDescriptorN<1> a = {};
    const int32_t bounds[] = {0, 1};
    dim_array(f, &a.head, own, kArrayCallerMemory, kElementString, 1, sizeof(StrHandle), bounds);
    EXPECT_EQ(a.head.data, own);
    EXPECT_EQ(erase_array(&a.head), 0u);
    EXPECT_EQ(a.head.flags, 0);
    EXPECT_EQ(wide_of(own[0]), u"x");
    str_free(own[0]);
}

TEST_F(ArraysTest, FreeOnlyKeepsTheStrings) {
    ArrayDescriptorN<1> a = {};
    const int32_t bounds[] = {1, 1};
    dim_array(f, &a.head, nullptr, kArrayFreeOnly, kElementString, 1, sizeof(StrHandle), bounds);
    const StrHandle s = make_wide(u"kept");
    *static_cast<StrHandle*>(a.head.data) = s;
    EXPECT_EQ(erase_array(&a.head), 0u);
    EXPECT_EQ(wide_of(s), u"kept");
    str_free(s);
}

TEST_F(ArraysTest, OutOfMemoryRaises7) {
    ArrayDescriptorN<1> a = {};
    const int32_t bounds[] = {1, 10};
    platform_fail_allocations_after(0);
    dim_array(f, &a.head, nullptr, 8, kElementString, 1, sizeof(StrHandle), bounds);
    platform_fail_allocations_after(-1);
    EXPECT_EQ(f.error_slot, kErrOutOfMemory);
    EXPECT_FALSE(a.head.flags & kArrayDimensioned);
    EXPECT_EQ(a.head.data, nullptr);
}

// A refused free reports 241 and keeps a consistent descriptor: the strings
// are released once, and a second erase frees the block instead of crashing.
TEST_F(ArraysTest, RefusedFreeReports241AndCanBeRetried) {
    ArrayDescriptorN<1> a = {};
    const int32_t bounds[] = {1, 2};
    dim_array(f, &a.head, nullptr, 8, kElementString, 1, sizeof(StrHandle), bounds);
    static_cast<StrHandle*>(a.head.data)[1] = make_wide(u"s");
    platform_fail_global_free(true);
    EXPECT_EQ(erase_array(&a.head), uint32_t{kErrFreeFailed});
    platform_fail_global_free(false);
    EXPECT_TRUE(a.head.flags & kArrayDimensioned);
    EXPECT_EQ(static_cast<StrHandle*>(a.head.data)[1], 0u);
    EXPECT_EQ(erase_array(&a.head), 0u);
    EXPECT_FALSE(a.head.flags & kArrayDimensioned);
}

}  // namespace
