#include "strings/number.h"

#include "strings/dynstr.h"

namespace {

constexpr int32_t kExponentCap = 9999;
constexpr int64_t kMagnitudeLimit = 4933;
constexpr int kMantissaDigits = 18;
// The value every decimal overflow yields, with the number's sign.
constexpr float kOverflowValue = 1.7014118346046923e38f;  // 2^127

constexpr int32_t kSmallPowers[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
// 10^(8 * 2^k), k = 0..9, each rounded once by the compiler to the extended
// format.
constexpr long double kLargePowers[10] = {1e8L,   1e16L,  1e32L,   1e64L,   1e128L,
                                          1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};
// The largest n for which 10^n is finite in the extended format.
constexpr int32_t kLargestFinitePower = 4932;

inline bool is_blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// 10^n for 0 <= n < 8192, at most eleven table entries multiplied.
long double power_of_ten(int32_t n) {
    const bool beyond = n > 4096;
    if (beyond) n -= 4096;
    long double product = static_cast<long double>(kSmallPowers[n & 7]);
    for (int k = 0, bits = n >> 3; bits != 0; ++k, bits >>= 1)
        if (bits & 1) product *= kLargePowers[k];
    // A start value of 1 would multiply exactly; skip it.
    return beyond ? kLargePowers[9] * product : product;
}

// The bytes still to read; every read checks `pos < n`, so no byte outside
// the string is touched whatever its length.
struct Cursor {
    const uint8_t* p;
    uint32_t pos;
    uint32_t n;
    bool at_end() const { return pos >= n; }
    uint8_t peek() const { return p[pos]; }
};

// The significant digits read so far: their count N and the first 18 of
// them as an integer.
struct Mantissa {
    uint64_t value;
    int64_t digits;
};

// Reads a run of digits into m; returns how many there were. 32-bit steps
// while the mantissa holds at most nine digits keep the short numbers (keys,
// small counts) away from 64-bit multiplies on the 32-bit build.
inline uint32_t read_digits(Cursor& c, Mantissa& m) {
    const uint32_t from = c.pos;
    uint32_t d;
    if (m.digits < 9) {
        const uint32_t room = static_cast<uint32_t>(9 - m.digits);
        const uint32_t stop = c.n - c.pos < room ? c.n : c.pos + room;
        uint32_t small = static_cast<uint32_t>(m.value);
        while (c.pos < stop && (d = static_cast<uint32_t>(c.p[c.pos] - '0')) <= 9) {
            small = small * 10 + d;
            ++c.pos;
        }
        m.value = small;
        m.digits += c.pos - from;
        if (c.pos < stop) return c.pos - from;
    }
    while (!c.at_end() && (d = static_cast<uint32_t>(c.peek() - '0')) <= 9) {
        if (m.digits < kMantissaDigits) m.value = m.value * 10 + d;
        ++m.digits;
        ++c.pos;
    }
    return c.pos - from;
}

// Skips a run of zeros; returns how many there were.
inline uint32_t skip_zeros(Cursor& c) {
    const uint32_t from = c.pos;
    while (!c.at_end() && c.peek() == '0') ++c.pos;
    return c.pos - from;
}

// The exponent after the mantissa, if any: E, e, D or d, a sign, digits
// (capped, so a long run cannot overflow). 0 when there is none.
int32_t read_exponent(Cursor& c) {
    int32_t exponent = 0;
    if (c.at_end()) return 0;
    const uint8_t b = c.peek();
    if (b != 'E' && b != 'e' && b != 'D' && b != 'd') return 0;
    ++c.pos;
    bool exponent_negative = false;
    if (!c.at_end() && (c.peek() == '+' || c.peek() == '-')) {
        exponent_negative = c.peek() == '-';
        ++c.pos;
    }
    while (!c.at_end() && is_digit(c.peek())) {
        exponent = exponent * 10 + (c.peek() - '0');
        if (exponent > kExponentCap) exponent = kExponentCap;
        ++c.pos;
    }
    return exponent_negative ? -exponent : exponent;
}

// mantissa x 10^(magnitude - N), N the significant digits, of which the
// mantissa kept at most kMantissaDigits.
long double scale_mantissa(uint64_t mantissa, int64_t significant, int64_t magnitude) {
    if (significant == 0 || magnitude <= -kMagnitudeLimit) return 0.0L;
    if (magnitude >= kMagnitudeLimit) return kOverflowValue;
    const int64_t kept = significant < kMantissaDigits ? significant : kMantissaDigits;
    const int32_t k = static_cast<int32_t>(magnitude - kept);
    // Below 10^18, so the signed load is exact.
    const long double m = static_cast<long double>(static_cast<int64_t>(mantissa));
    if (k == 0) return m;   // integers up to 18 digits: no scaling at all
    if (k > 0) return m * power_of_ten(k);
    if (-k <= kLargestFinitePower) return m / power_of_ten(-k);
    // 10^-k itself would overflow to infinity and turn a representable
    // subnormal value into 0: divide in two steps instead.
    return m / power_of_ten(-k - 4096) / kLargePowers[9];
}

long double parse_decimal(Cursor c) {
    bool negative = false;
    if (c.peek() == '+') {
        ++c.pos;
    } else if (c.peek() == '-') {
        ++c.pos;
        negative = true;
    }

    // Mantissa: leading zeros are not significant; before the point every
    // other digit counts towards P, after it only the leading zeros do, each
    // lowering P by one. A second point ends the mantissa.
    Mantissa m = {0, 0};
    bool any_digit = skip_zeros(c) != 0;
    const uint32_t whole = read_digits(c, m);
    int64_t point = whole;   // P
    any_digit |= whole != 0;
    if (!c.at_end() && c.peek() == '.') {
        ++c.pos;
        if (m.digits == 0) {
            const uint32_t zeros = skip_zeros(c);
            point -= zeros;
            any_digit |= zeros != 0;
        }
        any_digit |= read_digits(c, m) != 0;
    }
    if (!any_digit) return negative ? -0.0L : 0.0L;
    const long double value = scale_mantissa(m.value, m.digits, point + read_exponent(c));
    return negative ? -value : value;
}

// Radix letters in table order: B b H h O o Q q; 0 for any other byte. The
// letters of a pair differ only in the case bit.
inline int radix_of(uint8_t b) {
    const uint8_t lower = b | 0x20;
    return lower == 'h' ? 16 : lower == 'b' ? 2 : lower == 'o' || lower == 'q' ? 8 : 0;
}

// The digit value of a byte, letters of either case from 10 up; 99 for a
// byte that is no digit in any radix. Computed rather than looked up in a
// table of 256: the DLL must stay small, and a radix number is a few digits.
inline uint32_t digit_value(uint8_t b) {
    if (b - uint32_t{'0'} <= 9) return b - uint32_t{'0'};
    const uint32_t letter = (b | 0x20u) - 'a';
    return letter <= 'z' - 'a' ? letter + 10 : 99;
}

// Accumulates the digits of radix 2^Shift at c into *acc, Shift bits per
// digit. False when a set bit would be shifted out of the 64. A constant
// shift per radix keeps the loop to a few instructions a digit.
template <int Shift>
bool read_radix_digits(Cursor& c, uint64_t* acc) {
    constexpr uint32_t kRadix = 1u << Shift;
    uint64_t a = 0;
    uint32_t d;
    while (!c.at_end() && (d = digit_value(c.peek())) < kRadix) {
        if ((a >> (64 - Shift)) != 0) return false;
        a = a << Shift | d;
        ++c.pos;
    }
    *acc = a;
    return true;
}

// The type suffix after a radix number's digits: how many '&' (one or
// two) or '?' (one to three) stand there.
struct RadixSuffix {
    int ampersands;
    int questions;
};

RadixSuffix read_radix_suffix(Cursor c) {
    RadixSuffix suffix{0, 0};
    if (c.at_end()) return suffix;
    const uint8_t b = c.peek();
    if (b == '&') {
        suffix.ampersands = 1;
        ++c.pos;
        if (!c.at_end() && c.peek() == '&') suffix.ampersands = 2;
    } else if (b == '?') {
        for (suffix.questions = 1; suffix.questions < 3 && c.pos + suffix.questions < c.n &&
                                   c.p[c.pos + suffix.questions] == '?';
             ++suffix.questions) {
        }
    }
    // '%' is consumed too, but nothing follows that would read it.
    return suffix;
}

// The value of the digits `acc` as the suffix and the digits' width make
// it: without a suffix that widens it, a number of 16 or 32 bits with its
// top bit set is negative.
int64_t radix_value(uint64_t acc, bool leading_zero, RadixSuffix suffix) {
    if (suffix.questions > 0) return (acc >> 63) ? 0 : static_cast<int64_t>(acc);
    if (leading_zero || acc > 0xFFFFFFFFu || suffix.ampersands == 2) return static_cast<int64_t>(acc);
    if (acc > 0xFFFFu) {
        return (acc & 0x80000000u) ? static_cast<int64_t>(acc) - (int64_t{1} << 32) : static_cast<int64_t>(acc);
    }
    if (suffix.ampersands == 1) return static_cast<int64_t>(acc);
    return (acc & 0x8000u) ? static_cast<int64_t>(acc) - 65536 : static_cast<int64_t>(acc);
}

long double parse_radix(Cursor c) {
    ++c.pos;  // the ampersand
    int radix = 8;
    if (!c.at_end()) {
        const int r = radix_of(c.peek());
        if (r != 0) {
            radix = r;
            ++c.pos;
        }
    }
    if (c.at_end()) return 0.0L;

    const int first = static_cast<int>(digit_value(c.peek()));
    if (first >= radix) return 0.0L;
    uint64_t acc;
    const bool fits = radix == 16  ? read_radix_digits<4>(c, &acc)
                      : radix == 8 ? read_radix_digits<3>(c, &acc)
                                   : read_radix_digits<1>(c, &acc);
    if (!fits) return 0.0L;
    return static_cast<long double>(radix_value(acc, first == 0, read_radix_suffix(c)));
}

}  // namespace

long double parse_number(ProcFrame& proc_frame, int32_t start) {
    const char* data;
    const uint32_t length = str_len_ansi(tmp_slot(proc_frame, 0), &data);
    long double value = 0.0L;
    const int64_t offset = int64_t{start} - 1;
    if (offset >= 0 && offset <= length) {
        Cursor c = {reinterpret_cast<const uint8_t*>(data), static_cast<uint32_t>(offset), length};
        while (!c.at_end() && is_blank(c.peek())) ++c.pos;
        if (!c.at_end()) value = c.peek() == '&' ? parse_radix(c) : parse_decimal(c);
    }
    tmp_drop(proc_frame);
    return value;
}

int32_t round_to_int32(long double v) {
    if (v != v) return 0;
    if (v >= 2147483647.5L) return INT32_MAX;
    if (v <= -2147483648.5L) return INT32_MIN;
    // In range the truncation and the remainder are exact.
    const int64_t whole = static_cast<int64_t>(v);
    const long double rest = v - static_cast<long double>(whole);
    int64_t r = whole;
    if (rest > 0.5L || (rest == 0.5L && (whole & 1))) ++r;
    else if (rest < -0.5L || (rest == -0.5L && (whole & 1))) --r;
    if (r > INT32_MAX) return INT32_MAX;
    if (r < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(r);
}
