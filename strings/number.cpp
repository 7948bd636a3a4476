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

long double parse_decimal(Cursor c) {
    bool negative = false;
    if (c.peek() == '+') {
        ++c.pos;
    } else if (c.peek() == '-') {
        ++c.pos;
        negative = true;
    }

    // 32-bit steps while the mantissa holds at most nine digits keep the
    // short numbers (keys, small counts) away from 64-bit multiplies.
    uint32_t small = 0;
    uint64_t mantissa = 0;
    int64_t significant = 0;   // N
    int64_t point = 0;         // P
    bool any_digit = false, seen_point = false;
    while (!c.at_end()) {
        const uint8_t b = c.peek();
        if (is_digit(b)) {
            any_digit = true;
            const uint32_t d = b - '0';
            if (significant == 0 && d == 0) {
                if (seen_point) --point;
            } else {
                ++significant;
                if (!seen_point) ++point;
                if (significant <= 9) {
                    small = small * 10 + d;
                } else if (significant <= kMantissaDigits) {
                    if (significant == 10) mantissa = small;
                    mantissa = mantissa * 10 + d;
                }
            }
        } else if (b == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        ++c.pos;
    }
    if (!any_digit) return negative ? -0.0L : 0.0L;
    if (significant <= 9) mantissa = small;

    int32_t exponent = 0;
    if (!c.at_end()) {
        const uint8_t b = c.peek();
        if (b == 'E' || b == 'e' || b == 'D' || b == 'd') {
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
            if (exponent_negative) exponent = -exponent;
        }
    }

    long double value;
    const int64_t magnitude = point + exponent;
    if (significant == 0 || magnitude <= -kMagnitudeLimit) {
        value = 0.0L;
    } else if (magnitude >= kMagnitudeLimit) {
        value = kOverflowValue;
    } else {
        const int64_t kept = significant < kMantissaDigits ? significant : kMantissaDigits;
        const int32_t k = static_cast<int32_t>(magnitude - kept);
        // Below 10^18, so the signed load is exact.
        const long double m = static_cast<long double>(static_cast<int64_t>(mantissa));
        if (k == 0) {
            value = m;  // integers up to 18 digits: no scaling at all
        } else if (k > 0) {
            value = m * power_of_ten(k);
        } else if (-k <= kLargestFinitePower) {
            value = m / power_of_ten(-k);
        } else {
            // 10^-k itself would overflow to infinity and turn a representable
            // subnormal value into 0: divide in two steps instead.
            value = m / power_of_ten(-k - 4096) / kLargePowers[9];
        }
    }
    return negative ? -value : value;
}

// Radix letters in table order: B b H h O o Q q; 0 for any other byte.
int radix_of(uint8_t b) {
    switch (b) {
        case 'B': case 'b': return 2;
        case 'H': case 'h': return 16;
        case 'O': case 'o': case 'Q': case 'q': return 8;
        default: return 0;
    }
}

// Digit values of every byte, letters of either case from 10 up; 99 for
// bytes that are no digit in any radix. One lookup per digit.
struct DigitTable {
    uint8_t value[256];
    constexpr DigitTable() : value() {
        for (int b = 0; b < 256; ++b) {
            value[b] = b >= '0' && b <= '9'   ? static_cast<uint8_t>(b - '0')
                       : b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b - 'A' + 10)
                       : b >= 'a' && b <= 'z' ? static_cast<uint8_t>(b - 'a' + 10)
                                              : 99;
        }
    }
};
constexpr DigitTable kDigits;

// Digit value below `radix`, or -1.
inline int digit_value(uint8_t b, int radix) {
    const int v = kDigits.value[b];
    return v < radix ? v : -1;
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
    const int shift = radix == 2 ? 1 : radix == 8 ? 3 : 4;

    int d = digit_value(c.peek(), radix);
    if (d < 0) return 0.0L;
    const bool leading_zero = d == 0;
    uint64_t acc = 0;
    while (d >= 0) {
        if ((acc >> (64 - shift)) != 0) return 0.0L;  // a set bit would be lost
        acc = acc << shift | static_cast<uint64_t>(d);
        ++c.pos;
        d = c.at_end() ? -1 : digit_value(c.peek(), radix);
    }

    int ampersands = 0, questions = 0;
    if (!c.at_end()) {
        const uint8_t b = c.peek();
        if (b == '&') {
            ampersands = 1;
            ++c.pos;
            if (!c.at_end() && c.peek() == '&') ampersands = 2;
        } else if (b == '?') {
            for (questions = 1; questions < 3 && c.pos + questions < c.n &&
                                c.p[c.pos + questions] == '?';
                 ++questions) {
            }
        }
        // '%' is consumed too, but nothing follows that would read it.
    }

    int64_t value;
    if (questions > 0) {
        value = (acc >> 63) ? 0 : static_cast<int64_t>(acc);
    } else if (leading_zero || acc > 0xFFFFFFFFu) {
        value = static_cast<int64_t>(acc);
    } else if (ampersands == 2) {
        value = static_cast<int64_t>(acc);
    } else if (acc > 0xFFFFu) {
        value = (acc & 0x80000000u) ? static_cast<int64_t>(acc) - (int64_t{1} << 32)
                                    : static_cast<int64_t>(acc);
    } else if (ampersands == 1) {
        value = static_cast<int64_t>(acc);
    } else {
        value = (acc & 0x8000u) ? static_cast<int64_t>(acc) - 65536 : static_cast<int64_t>(acc);
    }
    return static_cast<long double>(value);
}

}  // namespace

long double parse_number(ProcFrame& f, int32_t start) {
    const char* data;
    const uint32_t length = str_len_ansi(tmp_slot(f, 0), &data);
    long double value = 0.0L;
    const int64_t offset = int64_t{start} - 1;
    if (offset >= 0 && offset <= length) {
        Cursor c = {reinterpret_cast<const uint8_t*>(data), static_cast<uint32_t>(offset), length};
        while (!c.at_end() && is_blank(c.peek())) ++c.pos;
        if (!c.at_end()) value = c.peek() == '&' ? parse_radix(c) : parse_decimal(c);
    }
    tmp_drop(f);
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
