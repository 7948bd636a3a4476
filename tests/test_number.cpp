// Numeric text conversion: the syntax table, rounding to 32 bits, and the
// decimal path against an exact model on random inputs.
#include "strings/number.h"

#include <math.h>

#include <random>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

class NumberTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        load_fpu_control(kRuntimeFpuControl);
        frame_init(f, nullptr);
    }
    long double parse(const std::string& text, int32_t start = 1) {
        tmp_push_owned(f, make_ansi(text));
        const long double v = parse_number(f, start);
        EXPECT_EQ(f.depth, 0);
        EXPECT_EQ(f.error_slot, 0);
        return v;
    }
    ProcFrame f;
};

TEST_F(NumberTest, Syntax) {
    const long double kOverflow = 0x1p127L;
    struct Case { std::string text; int32_t start; long double value; } cases[] = {
        {"\r", 1, 0}, {"1", 1, 1}, {"2", 1, 2}, {"3", 1, 3}, {" \t7\r\n ", 1, 7},
        {"12abc", 1, 12}, {"abc", 1, 0}, {"", 1, 0},
        {"-12e3", 1, -12000}, {"1d2", 1, 100}, {"1D-2", 1, 0.01L}, {"1E", 1, 1}, {"1E+", 1, 1},
        {"1e-", 1, 1}, {"1ex", 1, 1}, {".5", 1, 0.5L}, {"5.", 1, 5}, {"0.00123", 1, 0.00123L},
        {"1.2.3", 1, 1.2L}, {"+-5", 1, 0}, {"- 5", 1, 0}, {".", 1, 0}, {"+", 1, 0}, {"-0", 1, 0},
        {"000", 1, 0}, {"0e99999", 1, 0}, {"007.50", 1, 7.5L}, {"0.0001e4", 1, 1},
        {"12345678901234567899", 1, 12345678901234567800.0L},
        {"1234567890123456789.9e-1", 1, 123456789012345678.0L},
        {"1E5000", 1, kOverflow}, {"-1E5000", 1, -kOverflow}, {"1E-5000", 1, 0},
        {"1e99999999999", 1, kOverflow},      // capped at 9999, no overflow of the count
        {"1e4931", 1, 1e4931L}, {"1e4932", 1, kOverflow}, {"0.1e-4931", 1, 1e-4932L},
        {"1e-4932", 1, 1e-4932L}, {"0.1e-4932", 1, 1e-4933L}, {"0.1e-4933", 1, 0},
        // 10^4933 and 10^4949 are beyond the format: still subnormal values, not 0.
        {"1e-4933", 1, 1e-4933L}, {"100000000000000000e-4949", 1, 1e-4932L},
        {"&H1F", 1, 31}, {"&h1f", 1, 31}, {"&B101", 1, 5}, {"&O17", 1, 15}, {"&Q17", 1, 15},
        {"&17", 1, 15}, {"&o17", 1, 15}, {"&q17", 1, 15}, {"&b11", 1, 3},
        {"&HFFFF", 1, -1}, {"&H0FFFF", 1, 65535}, {"&HFFFF&", 1, 65535}, {"&H8000", 1, -32768},
        {"&H10000", 1, 65536}, {"&HFFFFFFFF", 1, -1}, {"&HFFFFFFFF&", 1, -1},
        {"&HFFFFFFFF&&", 1, 4294967295.0L}, {"&HFFFFFFFF?", 1, 4294967295.0L},
        {"&HFFFF?", 1, 65535}, {"&HFFFF%", 1, -1}, {"&H80000000", 1, -2147483648.0L},
        {"&H100000000", 1, 4294967296.0L}, {"&HFFFFFFFFFFFFFFFF", 1, -1},
        {"&HFFFFFFFFFFFFFFFF?", 1, 0}, {"&H7FFFFFFFFFFFFFFF??", 1, 9223372036854775807.0L},
        {"&H0FFFFFFFFFFFFFFFF", 1, -1},       // leading zero digit, 64 bits: fits
        {"&H1FFFFFFFFFFFFFFFF", 1, 0},        // 17 digits, more than 64 bits
        {"&HG", 1, 0}, {"&H", 1, 0}, {"&", 1, 0}, {"&B12", 1, 1}, {"&8", 1, 0}, {"&D1", 1, 0},
        {"  &H10", 1, 16}, {"-&H10", 1, 0},
        {"x12", 2, 12}, {"12", 3, 0}, {"12", 4, 0}, {"12", 0, 0}, {"12", -5, 0}, {"12", INT32_MIN, 0},
        {"12", INT32_MAX, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " @" + std::to_string(c.start));
        EXPECT_EQ(parse(c.text, c.start), c.value);
    }
}

TEST_F(NumberTest, RoundToInt32TiesToEven) {
    struct Case { long double v; int32_t r; } cases[] = {
        {0, 0}, {-0.0L, 0}, {0.5L, 0}, {1.5L, 2}, {2.5L, 2}, {-0.5L, 0}, {-1.5L, -2}, {-2.5L, -2},
        {0.49999999999999999995L, 0}, {2.5L + 0x1p-62L, 3}, {-7.7L, -8},
        {2147483647.0L, INT32_MAX}, {2147483647.4L, INT32_MAX}, {2147483647.5L, INT32_MAX},
        {-2147483648.0L, INT32_MIN}, {-2147483648.5L, INT32_MIN}, {1e30L, INT32_MAX}, {-1e30L, INT32_MIN},
        {0x1p127L, INT32_MAX}, {-0x1p127L, INT32_MIN}, {__builtin_nanl(""), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<double>(c.v)));
        EXPECT_EQ(round_to_int32(c.v), c.r);
    }
}

// --- the exact model ---------------------------------------------------------

// Unsigned big integer, 32-bit limbs, least significant first.
struct Big {
    std::vector<uint32_t> w;
    static Big of(uint64_t v) {
        Big b;
        while (v) {
            b.w.push_back(static_cast<uint32_t>(v));
            v >>= 32;
        }
        return b;
    }
    int bits() const {
        if (w.empty()) return 0;
        int b = 32 * static_cast<int>(w.size() - 1);
        for (uint32_t top = w.back(); top; top >>= 1) ++b;
        return b;
    }
    bool bit(int i) const { return i >= 0 && (w[i / 32] >> (i % 32)) & 1; }
    void mul_small(uint32_t m) {
        uint64_t carry = 0;
        for (uint32_t& x : w) {
            carry += static_cast<uint64_t>(x) * m;
            x = static_cast<uint32_t>(carry);
            carry >>= 32;
        }
        if (carry) w.push_back(static_cast<uint32_t>(carry));
    }
    void shl(int s) {
        if (w.empty() || s == 0) return;
        w.insert(w.begin(), s / 32, 0u);
        if (s % 32) {
            uint32_t carry = 0;
            for (uint32_t& x : w) {
                const uint32_t next = x >> (32 - s % 32);
                x = x << (s % 32) | carry;
                carry = next;
            }
            if (carry) w.push_back(carry);
        }
    }
    bool at_least(const Big& o) const {
        if (w.size() != o.w.size()) return w.size() > o.w.size();
        for (size_t i = w.size(); i-- > 0;)
            if (w[i] != o.w[i]) return w[i] > o.w[i];
        return true;
    }
    void sub(const Big& o) {
        int64_t borrow = 0;
        for (size_t i = 0; i < w.size(); ++i) {
            int64_t d = static_cast<int64_t>(w[i]) - (i < o.w.size() ? o.w[i] : 0) - borrow;
            borrow = d < 0;
            w[i] = static_cast<uint32_t>(d + (borrow << 32));
        }
        while (!w.empty() && w.back() == 0) w.pop_back();
    }
};

const Big& power10(int k) {
    static std::vector<Big> cache{Big::of(1)};
    while (static_cast<int>(cache.size()) <= k) {
        Big next = cache.back();
        next.mul_small(10);
        cache.push_back(next);
    }
    return cache[k];
}

// sig (64 bits) x 2^e, with the bits below it summarised, rounded once.
long double round_once(uint64_t sig, bool round_bit, bool sticky, int e) {
    if (round_bit && (sticky || (sig & 1))) {
        if (++sig == 0) {
            sig = uint64_t{1} << 63;
            ++e;
        }
    }
    return ldexpl(static_cast<long double>(sig), e);
}

// M x 10^K rounded once to the extended format (normal results only).
long double model(uint64_t m, int k) {
    if (k >= 0) {
        Big n = Big::of(m);
        for (int i = 0; i < k; i += 9) n.mul_small(i + 9 <= k ? 1000000000u : static_cast<uint32_t>(powl(10, k - i)));
        const int b = n.bits();
        if (b <= 64) return ldexpl(static_cast<long double>(m), 0) * powl(10, k);  // exact
        uint64_t sig = 0;
        for (int i = b - 1; i >= b - 64; --i) sig = sig << 1 | n.bit(i);
        bool sticky = false;
        for (int i = b - 66; i >= 0 && !sticky; --i) sticky = n.bit(i);
        return round_once(sig, n.bit(b - 65), sticky, b - 64);
    }
    const Big& d = power10(-k);
    Big r = Big::of(m);
    // Scale the divisor above the mantissa so every step yields one bit.
    Big dd = d;
    const int j = r.bits() >= dd.bits() ? r.bits() - dd.bits() + 1 : 0;
    dd.shl(j);
    int shift = dd.bits() - r.bits() - 1;
    if (shift < 0) shift = 0;
    r.shl(shift);
    uint64_t sig = 0;
    int got = 0;
    bool round_bit = false;
    while (got < 65) {
        r.shl(1);
        ++shift;
        const bool one = r.at_least(dd);
        if (one) r.sub(dd);
        if (got == 0 && !one) continue;
        if (got < 64) sig = sig << 1 | one;
        else round_bit = one;
        ++got;
    }
    return round_once(sig, round_bit, !r.w.empty(), j - (shift - 1));
}

struct RandomNumber {
    std::string text;
    uint64_t m;
    int k;
};

// Significant digits S with the point after `point` of them (or, when 0,
// after `zeros` zeros), an exponent chosen so the value stays normal.
RandomNumber random_number(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> digit(0, 9), len(1, 30), coin(0, 1), small(0, 6);
    const int n = len(rng);
    std::string s(1, static_cast<char>('1' + digit(rng) % 9));
    for (int i = 1; i < n; ++i) s += static_cast<char>('0' + digit(rng));
    const int point = std::uniform_int_distribution<int>(0, n)(rng);
    const int zeros = point == 0 ? small(rng) : 0;
    std::string text = coin(rng) ? "" : "00";
    if (point == 0) text += "." + std::string(zeros, '0') + s;
    else text += s.substr(0, point) + (point < n ? "." + s.substr(point) : std::string(coin(rng) ? "." : ""));
    const int p = point == 0 ? -zeros : point;
    const int magnitude = coin(rng) ? std::uniform_int_distribution<int>(-40, 40)(rng)
                                    : std::uniform_int_distribution<int>(-4900, 4900)(rng);
    const int x = magnitude - p;
    text += (coin(rng) ? "e" : "D") + std::to_string(x);
    uint64_t m = 0;
    for (int i = 0; i < n && i < 18; ++i) m = m * 10 + (s[i] - '0');
    return {text, m, p + x - (n < 18 ? n : 18)};
}

struct ModelRun {
    long double worst_ulps;
    uint64_t checksum;   // of every parsed value's 80 bits, to compare runs
};

ModelRun run_model(int count) {
    std::mt19937_64 rng(20240611);
    ModelRun run = {0, 1469598103934665603ull};
    ProcFrame f;
    frame_init(f, nullptr);
    for (int i = 0; i < count; ++i) {
        const RandomNumber r = random_number(rng);
        tmp_push_owned(f, make_ansi(r.text));
        const long double v = parse_number(f, 1);
        unsigned char bytes[10];
        memcpy(bytes, &v, 10);
        for (unsigned char b : bytes) run.checksum = (run.checksum ^ b) * 1099511628211ull;
        const long double expected = model(r.m, r.k);
        const long double ulp = ldexpl(1.0L, ilogbl(expected) - 63);
        const long double diff = fabsl(v - expected) / ulp;
        if (diff > run.worst_ulps) run.worst_ulps = diff;
    }
    return run;
}

constexpr int kModelCases = 4000;
// 10^n is a product of up to eleven rounded table entries, so the parse is
// not correctly rounded; this bounds how far it may drift.
constexpr long double kUlpBound = 4;

TEST_F(NumberTest, DecimalAgainstExactModel) {
    const ModelRun run = run_model(kModelCases);
    printf("[ model    ] %d random decimals: worst difference %.2Lf ULP (extended), checksum %016llx\n",
           kModelCases, run.worst_ulps, static_cast<unsigned long long>(run.checksum));
    EXPECT_LE(run.worst_ulps, kUlpBound);

    // A fresh thread: whatever it starts with, give it the 53-bit precision
    // that Windows gives new threads (0x27F). That precision alone changes
    // results; once the runtime's control word is loaded they are bit for
    // bit the same as on the test thread.
    ModelRun host = {}, fresh = {};
    uint16_t initial = 0;
    std::thread t([&] {
        initial = read_fpu_control();
        load_fpu_control(0x27F);
        host = run_model(kModelCases);
        load_fpu_control(kRuntimeFpuControl);
        fresh = run_model(kModelCases);
    });
    t.join();
    printf("[ model    ] fresh thread started with control word %04x; at 0x27F checksum %016llx; "
           "with the runtime's word checksum %016llx\n",
           initial, static_cast<unsigned long long>(host.checksum),
           static_cast<unsigned long long>(fresh.checksum));
    EXPECT_NE(host.checksum, run.checksum);
    EXPECT_EQ(fresh.checksum, run.checksum);
    EXPECT_EQ(fresh.worst_ulps, run.worst_ulps);
}

}  // namespace
