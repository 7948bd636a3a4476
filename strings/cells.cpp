#include "strings/cells.h"

namespace {

#include "strings/cell_widths.inc"

constexpr uint32_t kCountBits = 11;

// Whether `cp` lies in one of the packed ranges of `table`.
template <uint32_t N>
bool in_ranges(const uint32_t (&table)[N], uint32_t cp) {
    uint32_t lo = 0, hi = N;   // the first entry that starts after cp is at hi
    while (lo < hi) {
        const uint32_t mid = (lo + hi) / 2;
        if ((table[mid] >> kCountBits) <= cp) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) return false;
    const uint32_t entry = table[lo - 1];
    return cp - (entry >> kCountBits) <= (entry & ((1u << kCountBits) - 1));
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

uint32_t char_cells(uint32_t cp) {
    // Nearly every message is ASCII: no search for it.
    if (cp >= 0x20 && cp < 0x7F) return 1;
    if (in_ranges(kZeroCellRanges, cp)) return 0;
    // Planes 2 and 3: ideographs throughout, but for their last two code points.
    if ((cp >> 16 == 2 || cp >> 16 == 3) && (cp & 0xFFFF) <= 0xFFFD) return 2;
    return in_ranges(kWideCellRanges, cp) ? 2 : 1;
}

CellChar cell_char_at(const char16_t* units, uint32_t n, uint32_t at) {
    const char16_t u = units[at];
    if (is_high_surrogate(u) && at + 1 < n && is_low_surrogate(units[at + 1])) {
        const uint32_t cp = 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (uint32_t(units[at + 1]) - 0xDC00);
        return CellChar{cp, 2, char_cells(cp)};
    }
    return CellChar{u, 1, char_cells(u)};
}

uint32_t text_cells(const char16_t* units, uint32_t n) {
    uint32_t cells = 0;
    for (uint32_t at = 0; at < n;) {
        const CellChar c = cell_char_at(units, n, at);
        cells += c.cells;
        at += c.units;
    }
    return cells;
}

uint32_t units_in_cells(const char16_t* units, uint32_t n, uint32_t cells) {
    uint32_t at = 0;
    for (uint32_t used = 0; at < n;) {
        const CellChar c = cell_char_at(units, n, at);
        if (used + c.cells > cells) break;
        used += c.cells;
        at += c.units;
    }
    return at;
}
