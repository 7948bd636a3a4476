#include <string.h>

#include "runtime/errors.h"
#include "runtime/registry.h"
#include "test_support.h"

namespace {

const ProcDescriptor kNoLocals = {nullptr};

struct Frame {
    ProcFrame f;
    Frame() { frame_init(f, &kNoLocals); }
    ~Frame() { EXPECT_EQ(f.depth, 0) << "temporaries left unbalanced"; }
};

class DynStr : public RuntimeTest {};

TEST_F(DynStr, BlocksCarryLengthTerminatorAndEvenAddress) {
    EXPECT_EQ(str_alloc_ansi(0), 0u);
    EXPECT_EQ(str_alloc_wide(0), 0u);
    for (uint32_t n : {1u, 2u, 3u, 7u, 64u, 1000u}) {
        SCOPED_TRACE(n);
        StrHandle a = str_alloc_ansi(n);
        StrHandle w = str_alloc_wide(n);
        ASSERT_NE(a, 0u);
        ASSERT_NE(w, 0u);
        EXPECT_EQ(a & 1, 0u);
        EXPECT_EQ(w & 1, 0u);
        EXPECT_EQ(str_len_ansi(a), n);
        EXPECT_EQ(str_len_wide(w), n);
        EXPECT_EQ(str_len_ansi(w), 2 * n);
        EXPECT_EQ(reinterpret_cast<const char*>(a)[n], 0);
        EXPECT_EQ(reinterpret_cast<const char16_t*>(w)[n], 0);
        str_free(a);
        str_free(w);
    }
}

TEST_F(DynStr, EmptyHandleReadsAsEmptyTextInBothWidths) {
    const char* a = nullptr;
    const char16_t* w = nullptr;
    EXPECT_EQ(str_len_ansi(0, &a), 0u);
    EXPECT_EQ(str_len_wide(kBorrowedBit, &w), 0u);   // a borrowed empty slot too
    ASSERT_NE(a, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w) & 1, 0u);
}

TEST_F(DynStr, FreeIgnoresEmptyAndBorrowed) {
    StrHandle h = make_wide(u"abc");
    str_free(0);
    str_free(h | kBorrowedBit);   // must not free: the test still reads it
    EXPECT_EQ(wide_of(h), u"abc");
    str_free(h);
}

TEST_F(DynStr, LengthsOfOddByteBlocks) {
    const char bytes[] = "abcde";
    StrHandle h = make_bytes(bytes, 5);
    EXPECT_EQ(str_len_ansi(h), 5u);
    EXPECT_EQ(str_len_wide(h), 2u);   // the trailing odd byte is not a unit
    Frame fr;
    tmp_push_ref(fr.f, h);
    EXPECT_EQ(tmp_len(fr.f), 2u);
    str_free(h);
}

TEST_F(DynStr, LiteralPoolLayout) {
    const uint8_t* pool = g_runtime.literal_pool;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pool) & 3, 0u);
    struct Row {
        LiteralId id;
        uint32_t offset;
        uint32_t bytes;
        const char* ansi;   // null for the UTF-16 literals
    };
    const Row rows[] = {
        {kLitCrLf, 4, 4, nullptr},          {kLitSpace, 16, 2, nullptr},
        {kLitPressEnter, 24, 15, "  Press <Enter>"}, {kLitTwoSpaces, 48, 2, "  "},
        {kLitPress1, 56, 14, "  Press 1 for "},      {kLitPress2, 76, 14, "  Press 2 for "},
        {kLitPress3, 96, 14, "  Press 3 for "},      {kLit12, 116, 2, "12"},
        {kLit123, 124, 3, "123"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.offset);
        StrHandle h = literal(r.id);
        EXPECT_EQ(h, reinterpret_cast<uintptr_t>(pool + r.offset));
        EXPECT_EQ(str_len_ansi(h), r.bytes);
        EXPECT_EQ(pool[r.offset + r.bytes], 0);
        EXPECT_EQ(pool[r.offset + r.bytes + 1], 0);
        if (r.ansi) EXPECT_EQ(memcmp(pool + r.offset, r.ansi, r.bytes), 0);
    }
    EXPECT_EQ(wide_of(literal(kLitCrLf)), u"\r\n");
    EXPECT_EQ(wide_of(literal(kLitSpace)), u" ");
    const int32_t numbers[] = {1, 2, 0, 3, 4, 30, 80, 13};
    for (uint32_t i = 0; i < kNumberCount; i++) {
        int32_t v;
        memcpy(&v, pool + 132 + 4 * i, 4);
        EXPECT_EQ(v, numbers[i]);
        EXPECT_EQ(literal_number(static_cast<NumberId>(i)), numbers[i]);
    }
}

TEST_F(DynStr, ResetLeavesLiteralPoolAlone) {
    uint8_t before[kLiteralPoolBytes];
    memcpy(before, g_runtime.literal_pool, sizeof before);
    release_font_list();   // the reset builds a new one
    runtime_reset();
    EXPECT_EQ(memcmp(before, g_runtime.literal_pool, sizeof before), 0);
}

TEST_F(DynStr, AssignLiteralCopiesAndNeverFreesIt) {
    Frame fr;
    StrHandle var = 0;
    tmp_push_ref(fr.f, literal(kLitSpace));
    tmp_assign(fr.f, &var);
    ASSERT_NE(var, 0u);
    EXPECT_NE(var, literal(kLitSpace));
    EXPECT_EQ(wide_of(var), u" ");
    str_free(var);
    EXPECT_EQ(wide_of(literal(kLitSpace)), u" ");
}

TEST_F(DynStr, SelfAssignmentChangesNothingAndAllocatesNothing) {
    Frame fr;
    StrHandle var = make_wide(u"same");
    const char odd[] = "xyz";
    StrHandle odd_var = make_bytes(odd, 3);   // odd length must survive too
    int32_t allocs = platform_counters().string_allocs;
    tmp_push_ref(fr.f, var);
    StrHandle before = var;
    tmp_assign(fr.f, &var);
    tmp_push_ref(fr.f, odd_var);
    StrHandle odd_before = odd_var;
    tmp_assign(fr.f, &odd_var);
    EXPECT_EQ(var, before);
    EXPECT_EQ(odd_var, odd_before);
    EXPECT_EQ(str_len_ansi(odd_var), 3u);
    EXPECT_EQ(platform_counters().string_allocs, allocs);
    str_free(var);
    str_free(odd_var);
}

TEST_F(DynStr, SameLengthAssignmentCopiesInPlace) {
    Frame fr;
    StrHandle var = make_wide(u"abcd");
    StrHandle src = make_wide(u"wxyz");
    StrHandle block = var;
    int32_t allocs = platform_counters().string_allocs;
    tmp_push_ref(fr.f, src);
    tmp_assign(fr.f, &var);
    EXPECT_EQ(var, block);
    EXPECT_EQ(wide_of(var), u"wxyz");
    EXPECT_EQ(platform_counters().string_allocs, allocs);
    str_free(var);
    str_free(src);
}

TEST_F(DynStr, OwnedAssignmentMovesWithoutCopy) {
    Frame fr;
    StrHandle var = make_wide(u"old");
    StrHandle owned = make_wide(u"new value");
    tmp_push_owned(fr.f, owned);
    tmp_assign(fr.f, &var);
    EXPECT_EQ(var, owned);
    str_free(var);
}

TEST_F(DynStr, BorrowedConcatenationIsCopiedOnAssignment) {
    Frame fr;
    StrHandle src = make_wide(u"source");
    tmp_push_ref(fr.f, 0);
    tmp_push_ref(fr.f, src);
    tmp_concat(fr.f);
    EXPECT_EQ(tmp_slot(fr.f, 0), src | kBorrowedBit);   // no allocation for an empty operand
    StrHandle copy = 0;
    tmp_assign(fr.f, &copy);
    ASSERT_NE(copy, src);
    reinterpret_cast<char16_t*>(src)[0] = u'S';
    EXPECT_EQ(wide_of(copy), u"source");
    str_free(copy);
    str_free(src);
}

TEST_F(DynStr, ConcatenationTable) {
    struct Row {
        const char16_t* left;
        bool left_owned;
        const char16_t* right;
        bool right_owned;
        const char16_t* expect;
    };
    const Row rows[] = {
        {u"ab", false, u"cd", false, u"abcd"}, {u"ab", true, u"cd", true, u"abcd"},
        {u"ab", true, u"", false, u"ab"},      {u"", false, u"cd", true, u"cd"},
        {u"", false, u"", false, u""},         {u"x", false, u"yz", true, u"xyz"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(narrow(std::u16string(r.left) + u"|" + r.right));
        Frame fr;
        StrHandle l = make_wide(r.left);
        StrHandle rr = make_wide(r.right);
        if (r.left_owned) tmp_push_owned(fr.f, l); else tmp_push_ref(fr.f, l);
        if (r.right_owned) tmp_push_owned(fr.f, rr); else tmp_push_ref(fr.f, rr);
        tmp_concat(fr.f);
        EXPECT_EQ(fr.f.depth, 1);
        StrHandle out = 0;
        tmp_assign(fr.f, &out);
        EXPECT_EQ(wide_of(out), std::u16string(r.expect));
        str_free(out);
        if (!r.left_owned) str_free(l);
        if (!r.right_owned) str_free(rr);
    }
}

TEST_F(DynStr, CallersZeroLengthBlockIsEmptyEverywhere) {
    StrHandle zero = make_bytes("", 0);
    ASSERT_EQ(zero, 0u);   // the runtime never makes one: build it by hand
    alignas(4) uint8_t raw[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    StrHandle h = reinterpret_cast<uintptr_t>(raw + 4);
    Frame fr;
    tmp_push_ref(fr.f, h);
    EXPECT_EQ(tmp_len(fr.f), 0u);
    StrHandle var = make_wide(u"keep?");
    tmp_push_ref(fr.f, h);
    tmp_assign(fr.f, &var);
    EXPECT_EQ(var, 0u);
    tmp_push_ref(fr.f, h);
    tmp_push_ref(fr.f, literal(kLitSpace));
    tmp_concat(fr.f);
    EXPECT_EQ(tmp_slot(fr.f, 0), literal(kLitSpace) | kBorrowedBit);
    tmp_drop(fr.f);
    tmp_push_ref(fr.f, h);
    tmp_to_ansi(fr.f, 0, 0);
    EXPECT_EQ(tmp_slot(fr.f, 0), 0u);
    tmp_drop(fr.f);
}

TEST_F(DynStr, ConversionsRoundTripAndSkipTheSystemForEmpty) {
    int32_t calls = platform_counters().conversions;
    EXPECT_EQ(ansi_to_wide(0, 0), 0u);
    EXPECT_EQ(wide_to_ansi(0, 0), 0u);
    EXPECT_EQ(platform_counters().conversions, calls);

    StrHandle a = make_ansi("Press \xE9 1");
    StrHandle w = ansi_to_wide(a, 0);
    EXPECT_EQ(wide_of(w), u"Press \u00E9 1");
    StrHandle back = wide_to_ansi(w, 0);
    EXPECT_EQ(ansi_of(back), "Press \xE9 1");
    for (StrHandle h : {a, w, back}) str_free(h);
}

TEST_F(DynStr, SlotConversionLeavesBorrowedSourceAlone) {
    Frame fr;
    tmp_push_ref(fr.f, literal(kLitPress1));
    tmp_to_wide(fr.f, 0, 0);
    StrHandle out = 0;
    EXPECT_EQ(tmp_slot(fr.f, 0) & kBorrowedBit, 0u);
    tmp_assign(fr.f, &out);
    EXPECT_EQ(wide_of(out), u"  Press 1 for ");
    EXPECT_EQ(ansi_of(literal(kLitPress1)), "  Press 1 for ");
    str_free(out);
}

TEST_F(DynStr, SlotConversionAtDepth) {
    Frame fr;
    StrHandle choice = make_wide(u"Yes");
    tmp_push_ref(fr.f, literal(kLitTwoSpaces));
    tmp_push_ref(fr.f, choice);
    tmp_to_wide(fr.f, 1, 0);
    tmp_concat(fr.f);
    StrHandle out = 0;
    tmp_assign(fr.f, &out);
    EXPECT_EQ(wide_of(out), u"  Yes");
    str_free(out);
    str_free(choice);
}

// Out of memory: error 7 with a neutral result, temporaries balanced, nothing leaked.
TEST_F(DynStr, AllocationFailureGivesErrorSevenAndNeutralResult) {
    StrHandle a = make_wide(u"left");
    StrHandle b = make_wide(u"right side");
    {
        Frame fr;
        StrHandle var = make_wide(u"xx");
        platform_fail_allocations_after(0);
        tmp_push_ref(fr.f, b);
        tmp_assign(fr.f, &var);
        EXPECT_EQ(fr.f.error_slot, kErrOutOfMemory);
        EXPECT_EQ(var, 0u);
        platform_fail_allocations_after(-1);
    }
    {
        Frame fr;
        platform_fail_allocations_after(0);
        tmp_push_ref(fr.f, a);
        tmp_push_ref(fr.f, b);
        tmp_concat(fr.f);
        EXPECT_EQ(fr.f.error_slot, kErrOutOfMemory);
        EXPECT_EQ(fr.f.depth, 1);
        EXPECT_EQ(tmp_slot(fr.f, 0), 0u);
        tmp_drop(fr.f);
        platform_fail_allocations_after(-1);
    }
    {
        Frame fr;
        platform_fail_allocations_after(0);
        StrHandle owned_l = 0, owned_r = 0;
        platform_fail_allocations_after(-1);
        owned_l = make_wide(u"own");
        owned_r = make_wide(u"ed");
        platform_fail_allocations_after(0);
        tmp_push_owned(fr.f, owned_l);
        tmp_push_owned(fr.f, owned_r);
        tmp_concat(fr.f);   // both owned operands must be released, not leaked
        EXPECT_EQ(fr.f.error_slot, kErrOutOfMemory);
        tmp_drop(fr.f);
        platform_fail_allocations_after(-1);
    }
    {
        Frame fr;
        platform_fail_allocations_after(0);
        tmp_push_ref(fr.f, a);
        tmp_to_ansi(fr.f, 0, 0);   // conversions swallow the failure
        EXPECT_EQ(fr.f.error_slot, 0);
        EXPECT_EQ(tmp_slot(fr.f, 0), 0u);
        tmp_drop(fr.f);
        platform_fail_allocations_after(-1);
    }
    str_free(a);
    str_free(b);
}

struct Locals {
    ProcFrame frame;
    StrHandle s1;
    StrHandle s2;
    uint8_t variant[16];
};

const uint32_t kLocalsList[] = {
    release_entry(offsetof(Locals, s1), kReleaseString),
    release_entry(offsetof(Locals, s2), kReleaseString),
    release_entry(offsetof(Locals, variant), kReleaseVariant),
    0,
};
const ProcDescriptor kLocalsDescriptor = {kLocalsList};

TEST_F(DynStr, ReleaseLocalsFreesEachStringOnce) {
    Locals l{};
    frame_init(l.frame, &kLocalsDescriptor);
    l.s1 = make_wide(u"one");
    l.s2 = 0;
    int32_t live = platform_counters().live_strings;
    release_locals(l.frame);
    EXPECT_EQ(platform_counters().live_strings, live - 1);
    EXPECT_EQ(l.s1, 0u);
    release_locals(l.frame);   // an early exit path that runs it again frees nothing twice
    EXPECT_EQ(platform_counters().live_strings, live - 1);
}

}  // namespace
