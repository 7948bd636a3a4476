// Reading order: the Unicode Bidirectional Algorithm (UAX #9) over UTF-16
// text, window-free and allocation-free. A surrogate pair is one character
// and a lone surrogate a character of its own; results come one per UTF-16
// unit, both units of a pair alike.
//
// A row is drawn in three steps: bidi_paragraph_levels() resolves the
// embedding levels of a paragraph (rules P2-P3, X1-X10, W1-W7, N0-N2,
// I1-I2); bidi_line_levels() applies L1 to each line of it, after wrapping;
// bidi_visual_order() gives the order in which a line's items stand (L2).
// Characters at odd levels are drawn with bidi_mirror()'s counterpart.
// Text for which bidi_needed() is false needs none of this: every level is
// 0 and the visual order is the logical one.
#pragma once

#include <stdint.h>

#include "strings/unicode_runs.h"

// Bidi classes. The generated tables (strings/bidi_tables.inc) store these
// numbers: the order is fixed.
enum BidiClass : uint8_t {
    kBidiL, kBidiR, kBidiAL, kBidiEN, kBidiES, kBidiET, kBidiAN, kBidiCS, kBidiNSM, kBidiBN, kBidiB, kBidiS,
    kBidiWS, kBidiON, kBidiLRE, kBidiLRO, kBidiRLE, kBidiRLO, kBidiPDF, kBidiLRI, kBidiRLI, kBidiFSI, kBidiPDI,
    kBidiClassCount
};

// The paragraph's direction: from its first strong character (rules P2-P3,
// left to right when it has none), or forced.
enum BidiDirection : uint8_t { kBidiAuto, kBidiLeftToRight, kBidiRightToLeft };

// The deepest embedding level (rule X1's max_depth); levels run 0..126,
// one more than it when a number is resolved at the deepest level.
constexpr uint8_t kBidiMaxDepth = 125;

// Bidi class of a code point (UnicodeData.txt, with the defaults of the
// unassigned ones); L beyond U+10FFFF. With a cache, the table is searched
// only when the code point is not in the run of the one looked up before.
BidiClass bidi_class(uint32_t code_point);
BidiClass bidi_class(uint32_t code_point, RunCache& cache);

// The character whose glyph mirrors this one's (BidiMirroring.txt), or the
// code point itself when it has none.
uint32_t bidi_mirror(uint32_t code_point);

// Whether units[0, n) holds a character of class R, AL or AN, or an explicit
// embedding, override or isolate (LRE..PDI): without one, every level of the
// text as a paragraph of its own direction (kBidiAuto) is 0, and its visual
// order is its logical one.
bool bidi_needed(const char16_t* units, uint32_t n);

// Words of scratch that the resolution of n units needs: 3 per unit and 2
// bytes per unit rounded up to words, i.e. 14n bytes (2 more when n is odd).
// n must stay below 2^28.
constexpr uint32_t bidi_scratch_words(uint32_t n) { return 3 * n + (n + 1) / 2; }

// Paragraph level (0 or 1) of units[0, n) by rules P2-P3: 1 when its first
// strong character outside isolates is of class R or AL, 0 otherwise.
uint8_t bidi_paragraph_level(const char16_t* units, uint32_t n);

// Resolves the levels of units[0, n), one paragraph, into levels[0, n);
// returns the paragraph level (0 or 1). `scratch` holds
// bidi_scratch_words(n) words; nothing else is written. Characters that rule
// X9 removes (BN and the embedding and override controls), and the second
// unit of a surrogate pair, take the level of the character before them (the
// paragraph level at the start). A paragraph separator inside the text ends
// the embeddings and isolates open before it (rule X8); the text keeps the
// first paragraph's level. Rule L1 is left to bidi_line_levels().
uint8_t bidi_paragraph_levels(const char16_t* units, uint32_t n, BidiDirection direction, uint8_t* levels,
                              uint32_t* scratch);

// Rule L1 on one line, units[0, n) with their levels from
// bidi_paragraph_levels(): segment and paragraph separators, and the
// whitespace and isolate controls before them or at the line's end (with the
// characters X9 removed among them), take the paragraph level.
void bidi_line_levels(const char16_t* units, uint32_t n, uint8_t paragraph_level, uint8_t* levels);

// The same algorithm over bidi classes, one per character (no surrogates):
// classes[0, n) in, levels[0, n) out, scratch as above. `brackets` holds the
// characters themselves for rule N0's bracket pairs, or is null when there
// are none. Returns the paragraph level.
uint8_t bidi_resolve_classes(const uint8_t* classes, const char16_t* brackets, uint32_t n, BidiDirection direction,
                             uint8_t* levels, uint32_t* scratch);

// Rule L1 over classes, as bidi_line_levels() does over units.
void bidi_line_levels_classes(const uint8_t* classes, uint32_t n, uint8_t paragraph_level, uint8_t* levels);

// Rule L2: order[v] = the index of the item drawn v-th from the left, for n
// items with levels[0, n) (any items: characters, or clusters each with its
// base's level). Linear in n times the number of levels in use.
void bidi_visual_order(const uint8_t* levels, uint32_t n, uint32_t* order);
