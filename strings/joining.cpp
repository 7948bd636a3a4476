#include "strings/joining.h"

#include "strings/bidi.h"
#include "strings/cells.h"
#include "strings/unicode_runs.h"

namespace {

struct ArabicForms {
    uint16_t first;    // presentation form of the group's first form
    uint8_t letter;    // the letter less U+0600
    uint8_t mask;      // its forms in the group, one bit per JoiningForm
};

struct LamAlef {
    uint8_t alef;       // less U+0600
    uint16_t isolated;  // the final ligature follows it
};

#include "strings/joining_tables.inc"

// Each table's run found last: a text's letters mostly lie in the runs of
// the letters before them.
struct JoiningCache {
    RunCache joining;
    RunCache bidi;
};

uint8_t joining_type_of(JoiningCache& cache, uint32_t cp) {
    if (cp > kLastCodePoint) return kJoinNone;
    // The table leaves marks of bidi class NSM to the bidi table, where they
    // already are: every one of them is transparent.
    if (bidi_class(cp, cache.bidi) == kBidiNSM) return kJoinTransparent;
    return static_cast<uint8_t>(code_point_value(cache.joining, kJoiningRuns, kJoiningIndex, sizeof kJoiningIndex / 4, 3, cp));
}

bool joins_after(uint8_t type) { return type == kJoinLeft || type == kJoinDual || type == kJoinCausing; }
bool joins_before(uint8_t type) { return type == kJoinRight || type == kJoinDual || type == kJoinCausing; }

}  // namespace

JoiningType joining_type(uint32_t cp) {
    JoiningCache cache;
    return static_cast<JoiningType>(joining_type_of(cache, cp));
}

void joining_forms(const char16_t* units, uint32_t n, uint8_t* forms) {
    JoiningCache cache;
    uint32_t before = 0;        // the last character that was not transparent
    bool can_join = false;      // whether it joins the one after it
    for (uint32_t at = 0, taken; at < n; at += taken) {
        const uint8_t type = joining_type_of(cache, code_point_at(units, n, at, &taken));
        forms[at] = kFormIsolated;
        if (type == kJoinTransparent) continue;
        if (can_join && joins_before(type)) {
            forms[before] |= kFormInitial;
            forms[at] = kFormFinal;
        }
        before = at;
        can_join = joins_after(type);
    }
    for (uint32_t at = 1; at < n; at++) {
        if (continues_pair(units, at)) forms[at] = forms[at - 1];
    }
}

uint32_t arabic_presentation_form(uint32_t cp, JoiningForm form) {
    if (cp < 0x600 || cp > 0x6FF) return 0;
    for (const ArabicForms& group : kArabicForms) {
        if (group.letter != cp - 0x600 || !(group.mask & (1u << form))) continue;
        // The forms present before this one in the group come first.
        uint32_t at = group.first;
        for (uint32_t f = 0; f < form; f++) at += (group.mask >> f) & 1;
        return at;
    }
    return 0;
}

uint32_t lam_alef_ligature(uint32_t alef, JoiningForm lam_form) {
    if (lam_form != kFormInitial && lam_form != kFormMedial) return 0;
    for (const LamAlef& ligature : kLamAlef) {
        if (ligature.alef == alef - 0x600) return ligature.isolated + (lam_form == kFormMedial ? 1 : 0);
    }
    return 0;
}
