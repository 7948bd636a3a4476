// The DLL's own memcpy, memmove, memset, memcmp and strlen, compiled here under
// other names so they can be checked beside the real C library.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

namespace crt {
#define memcpy crt_memcpy
#define memmove crt_memmove
#define memset crt_memset
#define memcmp crt_memcmp
#define strlen crt_strlen
#include "runtime/crt_min.cpp"
#undef memcpy
#undef memmove
#undef memset
#undef memcmp
#undef strlen
}  // namespace crt

namespace {

// 0, 1, 2, ... so a misplaced byte shows.
void fill_ramp(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i + 1);
}

TEST(CrtMin, MemmoveOverlapsBothWays) {
    struct Case { size_t dst, src, n; };
    const Case cases[] = {
        {0, 0, 16}, {0, 1, 15}, {1, 0, 15}, {0, 8, 8}, {8, 0, 8},
        {3, 5, 10}, {5, 3, 10}, {0, 0, 0},  {2, 9, 1}, {9, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dst " << c.dst << " src " << c.src << " n " << c.n);
        uint8_t got[24], want[24];
        fill_ramp(got, sizeof got);
        fill_ramp(want, sizeof want);
        EXPECT_EQ(crt::crt_memmove(got + c.dst, got + c.src, c.n), got + c.dst);
        memmove(want + c.dst, want + c.src, c.n);
        EXPECT_EQ(0, memcmp(got, want, sizeof got));
    }
}

TEST(CrtMin, MemcpyAndMemsetTouchExactlyTheirRange) {
    for (size_t n : {0u, 1u, 3u, 4u, 7u, 16u}) {
        SCOPED_TRACE(testing::Message() << "n " << n);
        uint8_t src[20], dst[20], want[20];
        fill_ramp(src, sizeof src);
        ::memset(dst, 0xEE, sizeof dst);
        ::memset(want, 0xEE, sizeof want);
        EXPECT_EQ(crt::crt_memcpy(dst + 1, src, n), dst + 1);
        memcpy(want + 1, src, n);
        EXPECT_EQ(0, memcmp(dst, want, sizeof dst));

        EXPECT_EQ(crt::crt_memset(dst + 2, 0x1234, n), dst + 2);  // only the low byte counts
        memset(want + 2, 0x34, n);
        EXPECT_EQ(0, memcmp(dst, want, sizeof dst));
    }
}

TEST(CrtMin, MemcmpComparesUnsignedBytes) {
    struct Case { const char* a; const char* b; size_t n; int sign; };
    const Case cases[] = {
        {"abc", "abc", 3, 0},  {"abc", "abd", 3, -1}, {"abd", "abc", 3, 1},
        {"abc", "xyz", 0, 0},  {"\x80", "\x7f", 1, 1}, {"\x7f", "\xff", 1, -1},
        {"ab\0x", "ab\0y", 4, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        int r = crt::crt_memcmp(c.a, c.b, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

TEST(CrtMin, Strlen) {
    EXPECT_EQ(crt::crt_strlen(""), 0u);
    EXPECT_EQ(crt::crt_strlen("Press"), 5u);
    EXPECT_EQ(crt::crt_strlen("a\0b"), 1u);
}

}  // namespace
