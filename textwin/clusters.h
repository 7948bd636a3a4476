// Clusters: what is drawn with one call and moves as one when a row is put
// in reading order. A cluster is a character of one or more cells with the
// zero-cell characters after it (its marks, joiners), and, where an Indic
// virama ends it, the consonant that follows with its own marks: drawn as
// one string, the system's shaper makes the conjunct and places the marks.
// Window-free, so the order is tested natively.
#pragma once

#include <stdint.h>

#include "strings/bidi.h"

// The end of the cluster that starts at units[at] (at < n).
uint32_t cluster_end(const char16_t* units, uint32_t n, uint32_t at);

// One cluster of a row, where it is drawn.
struct ShownCluster {
    uint32_t from;    // its first unit in the row
    uint32_t units;   // its units in the row, from `from` on
    uint32_t cells;
    // The code point drawn for its first character: the mirrored one at a
    // right-to-left level, an Arabic letter's presentation form for its
    // place in the word, lam's ligature with the alef after it (then the
    // cluster holds both letters and their cells); else the character.
    uint32_t shown;
};

// Whether a code point is one of the lam-alef ligatures (U+FEF5..U+FEFC),
// which a cluster shows for both its letters.
inline bool is_lam_alef(uint32_t code_point) { return code_point >= 0xFEF5 && code_point <= 0xFEFC; }

// Bytes of scratch visual_row needs for a row of n units (n < 2^26).
constexpr uint32_t visual_row_scratch_bytes(uint32_t n) { return 4 * bidi_scratch_words(n) + 7 * n + 8; }

// The clusters of the row units[0, n) in the order they are drawn, from the
// left, into clusters[] (room for n); returns how many. The row's leading
// spaces (the box's margin) stay at its left edge, one cluster each; the rest
// is one paragraph in reading order (UAX #9, its direction from its first
// strong character), each cluster keeping its cells. `scratch` holds
// visual_row_scratch_bytes(n) bytes, 4-aligned.
uint32_t visual_row(const char16_t* units, uint32_t n, ShownCluster* clusters, void* scratch);
