// Reading order and joining on any UTF-16 text, lone surrogates, controls
// and brackets included: no read or write outside the arrays and the exact
// scratch, levels within 0..126, a visual order that is a permutation, the
// same paragraph level from both ways of finding it, and every level 0 for
// text that bidi_needed() lets through.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "strings/bidi.h"
#include "strings/joining.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const BidiDirection direction = static_cast<BidiDirection>(data[0] % 3);
    const uint32_t wrap = data[1];
    const uint32_t n = static_cast<uint32_t>((size - 2) / 2);
    std::vector<char16_t> units(n);
    if (n > 0) memcpy(units.data(), data + 2, n * 2);
    std::vector<uint8_t> levels(n), forms(n);
    std::vector<uint32_t> scratch(bidi_scratch_words(n)), order(n);

    const uint8_t paragraph = bidi_paragraph_levels(units.data(), n, direction, levels.data(), scratch.data());
    if (paragraph > 1) abort();
    if (direction == kBidiAuto && paragraph != bidi_paragraph_level(units.data(), n)) abort();
    // Lines of `wrap` units (at least one), as a wrapped row would be.
    const uint32_t line = wrap == 0 ? n : wrap;
    for (uint32_t at = 0; at < n; at += line) {
        const uint32_t len = n - at < line ? n - at : line;
        bidi_line_levels(units.data() + at, len, paragraph, levels.data() + at);
    }
    const bool needed = bidi_needed(units.data(), n);
    for (uint32_t i = 0; i < n; i++) {
        if (levels[i] > kBidiMaxDepth + 1) abort();
        if (!needed && direction == kBidiAuto && levels[i] != 0) abort();
    }
    bidi_visual_order(levels.data(), n, order.data());
    std::vector<bool> seen(n);
    for (uint32_t v : order) {
        if (v >= n || seen[v]) abort();
        seen[v] = true;
    }
    joining_forms(units.data(), n, forms.data());
    for (uint32_t i = 0; i < n; i++) {
        if (forms[i] > kFormMedial) abort();
        if (forms[i] == kFormMedial || forms[i] == kFormInitial) lam_alef_ligature(units[i], static_cast<JoiningForm>(forms[i]));
        arabic_presentation_form(units[i], static_cast<JoiningForm>(forms[i]));
    }
    return 0;
}
