// How UTF-16 text lies on a grid of equal character cells: a character
// takes two cells (East Asian wide and fullwidth), none (combining marks,
// zero-width and format characters, which go with the character before
// them) or one (every other, control characters included: each is drawn as
// the font's glyph for it). A surrogate pair is one character; a lone
// surrogate is a character of its own.
#pragma once

#include <stdint.h>

// The surrogates: a high one (U+D800..U+DBFF) followed by a low one
// (U+DC00..U+DFFF) is a pair, one character; either alone is a lone
// surrogate.
constexpr uint32_t kHighSurrogates = 0xD800;
constexpr uint32_t kLowSurrogates = 0xDC00;
constexpr uint32_t kSurrogatesPerHalf = 0x400;
inline bool is_high_surrogate(uint32_t unit) { return unit - kHighSurrogates < kSurrogatesPerHalf; }
inline bool is_low_surrogate(uint32_t unit) { return unit - kLowSurrogates < kSurrogatesPerHalf; }
inline bool is_surrogate(uint32_t unit) { return is_high_surrogate(unit) || is_low_surrogate(unit); }

// The code point that starts at units[at] (at < n), and in *units_taken the
// units it takes: 2 for a surrogate pair, else 1 (a lone surrogate is a code
// point of its own).
inline uint32_t code_point_at(const char16_t* units, uint32_t n, uint32_t at, uint32_t* units_taken) {
    const uint32_t u = units[at];
    if (is_high_surrogate(u) && at + 1 < n && is_low_surrogate(units[at + 1])) {
        *units_taken = 2;
        return 0x10000 + ((u - kHighSurrogates) << 10) + (uint32_t(units[at + 1]) - kLowSurrogates);
    }
    *units_taken = 1;
    return u;
}

// Whether units[at] is the second unit of a surrogate pair.
inline bool continues_pair(const char16_t* units, uint32_t at) {
    return at > 0 && is_low_surrogate(units[at]) && is_high_surrogate(units[at - 1]);
}

// One character of a text: its code point, the UTF-16 units it takes (1 or
// 2) and the cells it takes (0, 1 or 2).
struct CellChar {
    uint32_t code_point;
    uint32_t units;
    uint32_t cells;
};

// Cells of one code point: 0, 1 or 2.
uint32_t char_cells(uint32_t code_point);

// Whether a code point is a spacing mark (general category Mc): it takes
// its cell, but is drawn with the character before it, as one cluster.
bool is_spacing_mark(uint32_t code_point);

// The character that starts at units[at]; `at` < n.
CellChar cell_char_at(const char16_t* units, uint32_t n, uint32_t at);

// Cells of the whole of units[0, n).
uint32_t text_cells(const char16_t* units, uint32_t n);

// The units of the whole characters at the start of units[0, n) that fit in
// `cells` cells, with the zero-cell characters that follow the last of them:
// a row never cuts a character, nor parts a mark from it.
uint32_t units_in_cells(const char16_t* units, uint32_t n, uint32_t cells);
