#include "strings/cells.h"

#include "strings/unicode_runs.h"

namespace {

// The tables and the shape of their index (kOffsetBits, kRangesPerIndex).
#include "strings/cell_widths.inc"

// Whether `cp` lies in one of the ranges of a table (strings/cell_widths.inc):
// the last index entry at or before it, then at most its kRangesPerIndex
// ranges.
bool in_ranges(const uint8_t* stream, uint32_t stream_bytes, const uint32_t* index, uint32_t entries,
               uint32_t cp) {
    uint32_t lo = 0, hi = entries;   // the first entry that starts after cp is at hi
    while (lo < hi) {
        const uint32_t mid = (lo + hi) / 2;
        if ((index[mid] >> kOffsetBits) <= cp) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) return false;
    const uint8_t* at = stream + (index[lo - 1] & ((1u << kOffsetBits) - 1));
    uint32_t first = index[lo - 1] >> kOffsetBits;
    for (uint32_t i = 0; i < kRangesPerIndex && at < stream + stream_bytes; ++i) {
        first += read_varint(at);
        const uint32_t last = first + read_varint(at);
        if (cp < first) return false;
        if (cp <= last) return true;
        first = last + 1;
    }
    return false;
}

}  // namespace

uint32_t char_cells(uint32_t cp) {
    // Nearly every message is ASCII: no search for it.
    if (cp >= 0x20 && cp < 0x7F) return 1;
    if (in_ranges(kZeroCellStream, sizeof kZeroCellStream, kZeroCellIndex, sizeof kZeroCellIndex / 4, cp)) return 0;
    // Planes 2 and 3: ideographs throughout, but for their last two code points.
    if ((cp >> 16 == 2 || cp >> 16 == 3) && (cp & 0xFFFF) <= 0xFFFD) return 2;
    return in_ranges(kWideCellStream, sizeof kWideCellStream, kWideCellIndex, sizeof kWideCellIndex / 4, cp) ? 2 : 1;
}

bool is_spacing_mark(uint32_t cp) {
    return cp >= 0x900 && in_ranges(kMarkCellStream, sizeof kMarkCellStream, kMarkCellIndex, sizeof kMarkCellIndex / 4, cp);
}

CellChar cell_char_at(const char16_t* units, uint32_t n, uint32_t at) {
    uint32_t taken = 0;
    const uint32_t cp = code_point_at(units, n, at, &taken);
    return CellChar{cp, taken, char_cells(cp)};
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
