#include "strings/bidi.h"

#include "strings/cells.h"
#include "strings/unicode_runs.h"

namespace {

#include "strings/bidi_tables.inc"

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr BidiClass kNoOverride = kBidiClassCount;
// Rule BD16's stack of opening brackets.
constexpr uint32_t kMaxOpenBrackets = 63;

// Removed by rule X9: the rules after it act as if these were not there.
bool removed_by_x9(uint8_t c) { return c == kBidiBN || (c >= kBidiLRE && c <= kBidiPDF); }
bool isolate_initiator(uint8_t c) { return c >= kBidiLRI && c <= kBidiFSI; }
bool isolate_control(uint8_t c) { return c >= kBidiLRI && c <= kBidiPDI; }
// Neutral or isolate formatting (rules N1-N2).
bool neutral(uint8_t c) { return (c >= kBidiB && c <= kBidiON) || isolate_control(c); }
uint8_t direction_of_level(uint32_t level) { return (level & 1) ? kBidiR : kBidiL; }
// The strong direction a resolved class counts as in rules N0-N2 (numbers as
// R), or kBidiON for a neutral.
uint8_t strong_direction(uint8_t c) {
    if (c == kBidiL) return kBidiL;
    return (c == kBidiR || c == kBidiAL || c == kBidiEN || c == kBidiAN) ? kBidiR : kBidiON;
}

uint8_t class_of(RunCache& cache, uint32_t cp) {
    if (cp < 0x80) return (kAsciiBidiClasses[cp / 2] >> (cp & 1) * 4) & 0xF;
    if (cp > kLastCodePoint) return kBidiL;
    return static_cast<uint8_t>(
        code_point_value(cache, kBidiClassRuns, kBidiClassIndex, sizeof kBidiClassIndex / 4, 5, cp));
}

// Classes of units[0, n), one per unit: the second unit of a pair is BN, so
// that it is not there for the algorithm and takes its first unit's level.
void classes_of_units(const char16_t* units, uint32_t n, uint8_t* classes) {
    RunCache cache;
    for (uint32_t at = 0, taken; at < n; at += taken) {
        classes[at] = class_of(cache, code_point_at(units, n, at, &taken));
        if (taken == 2) classes[at + 1] = kBidiBN;
    }
}

uint32_t key_of(uint16_t entry) { return entry; }

bool opening_bracket(uint32_t cp) {
    const uint32_t below = count_at_or_below(kOpeningBrackets, sizeof kOpeningBrackets / 2, cp, key_of);
    return below > 0 && kOpeningBrackets[below - 1] == cp;
}

// Brackets match as their canonical equivalents do.
uint32_t canonical_bracket(uint32_t cp) {
    for (uint32_t i = 0; i < sizeof kBracketEquivalents / 2; i += 2) {
        if (kBracketEquivalents[i] == cp) return kBracketEquivalents[i + 1];
    }
    return cp;
}

// One paragraph being resolved; the arrays are the caller's scratch, but for
// `levels`.
struct Paragraph {
    const char16_t* brackets;   // the characters, for rule N0; null when none is a bracket
    uint32_t n;
    const uint8_t* classes;     // as the text has them
    uint8_t* resolved;          // as the rules so far have made them
    uint8_t* levels;
    uint32_t* match;            // an isolate initiator's matching PDI and back (BD9), else kNone
    uint32_t* sequence;         // the isolating run sequence being resolved: indices of its characters
    uint32_t* closing;          // per position in `sequence`: an opening bracket's closing one's, else kNone
    uint8_t level;              // the paragraph level
};

// BD9, with a stack of open initiators linked through `match` itself. A
// paragraph separator closes every isolate still open.
void match_isolates(Paragraph& p) {
    uint32_t open = kNone;
    auto close_all = [&] {
        while (open != kNone) {
            const uint32_t initiator = open;
            open = p.match[initiator];
            p.match[initiator] = kNone;
        }
    };
    for (uint32_t i = 0; i < p.n; i++) {
        const uint8_t c = p.classes[i];
        p.match[i] = kNone;
        if (isolate_initiator(c)) {
            p.match[i] = open;
            open = i;
        } else if (c == kBidiPDI && open != kNone) {
            const uint32_t initiator = open;
            open = p.match[initiator];
            p.match[initiator] = i;
            p.match[i] = initiator;
        } else if (c == kBidiB) {
            close_all();
        }
    }
    close_all();
}

// Rules P2-P3 over classes[from, to): 1 when the first strong character
// outside isolates is R or AL, 0 otherwise. Stops at a paragraph separator.
uint8_t first_strong_level(const Paragraph& p, uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; i++) {
        const uint8_t c = p.classes[i];
        if (c == kBidiL || c == kBidiB) return 0;
        if (c == kBidiR || c == kBidiAL) return 1;
        if (isolate_initiator(c)) {
            if (p.match[i] == kNone) return 0;
            i = p.match[i];
        }
    }
    return 0;
}

// The directional status stack of rules X1-X8, with its overflow counters.
struct ExplicitStack {
    struct Status {
        uint8_t level;
        uint8_t override_class;
        bool isolate;
    };
    Status status[kBidiMaxDepth + 2];
    uint32_t top;
    uint32_t overflow_isolates, overflow_embeddings, valid_isolates;
};

// Rules X6a and X7: a PDI closes up to its isolate, a PDF its embedding.
void close_explicit(ExplicitStack& st, uint8_t c) {
    if (c == kBidiPDI) {
        if (st.overflow_isolates > 0) {
            st.overflow_isolates--;
        } else if (st.valid_isolates > 0) {
            st.overflow_embeddings = 0;
            while (!st.status[st.top].isolate) st.top--;
            st.top--;
            st.valid_isolates--;
        }
    } else if (c == kBidiPDF && st.overflow_isolates == 0) {
        if (st.overflow_embeddings > 0) {
            st.overflow_embeddings--;
        } else if (!st.status[st.top].isolate && st.top > 0) {
            st.top--;
        }
    }
}

// Rules X2-X5c: an embedding, override or isolate opens a level, or counts
// as overflow past the deepest.
void open_explicit(ExplicitStack& st, uint8_t c, bool right_to_left) {
    const bool isolate = isolate_initiator(c);
    const uint32_t level = st.status[st.top].level;
    const uint32_t next = right_to_left ? (level + 1u) | 1u : (level + 2u) & ~1u;
    if (next <= kBidiMaxDepth && st.overflow_isolates == 0 && st.overflow_embeddings == 0) {
        const uint8_t override_class = c == kBidiRLO ? kBidiR : c == kBidiLRO ? kBidiL : kNoOverride;
        st.status[++st.top] = ExplicitStack::Status{static_cast<uint8_t>(next), override_class, isolate};
        if (isolate) st.valid_isolates++;
    } else if (isolate) {
        st.overflow_isolates++;
    } else if (st.overflow_isolates == 0) {
        st.overflow_embeddings++;
    }
}

// Rules X1-X8: explicit levels and overrides.
void explicit_levels(Paragraph& p) {
    ExplicitStack st;
    st.top = st.overflow_isolates = st.overflow_embeddings = st.valid_isolates = 0;
    st.status[0] = ExplicitStack::Status{p.level, kNoOverride, false};
    for (uint32_t i = 0; i < p.n; i++) {
        const uint8_t c = p.classes[i];
        p.resolved[i] = c;
        if (c == kBidiB) {
            p.levels[i] = p.level;
            st.top = st.overflow_isolates = st.overflow_embeddings = st.valid_isolates = 0;
            continue;
        }
        close_explicit(st, c);
        // Everything takes the level in force (isolate initiators the one
        // outside them), and the override in force but for what X9 removes.
        const ExplicitStack::Status& now = st.status[st.top];
        p.levels[i] = now.level;
        if (now.override_class != kNoOverride && !removed_by_x9(c)) p.resolved[i] = now.override_class;
        if (c < kBidiLRE || c == kBidiPDF || c == kBidiPDI) continue;
        const bool right_to_left =
            c == kBidiRLE || c == kBidiRLO || c == kBidiRLI ||
            (c == kBidiFSI && first_strong_level(p, i + 1, p.match[i] == kNone ? p.n : p.match[i]) == 1);
        open_explicit(st, c, right_to_left);
    }
}

// Rules W1-W3 over one isolating run sequence of m characters: marks,
// and European digits in an Arabic context.
void resolve_marks_and_arabic_digits(Paragraph& p, uint32_t m, uint8_t sos) {
    uint8_t* const r = p.resolved;
    const uint32_t* const s = p.sequence;
    // W1: a mark takes the class before it; after an isolate control, ON.
    for (uint32_t k = 0; k < m; k++) {
        if (r[s[k]] != kBidiNSM) continue;
        r[s[k]] = k == 0 ? sos : isolate_control(r[s[k - 1]]) ? uint8_t{kBidiON} : r[s[k - 1]];
    }
    // W2-W3: European digits after Arabic letters are Arabic; AL is R.
    uint8_t strong = sos;
    for (uint32_t k = 0; k < m; k++) {
        uint8_t& c = r[s[k]];
        if (c == kBidiL || c == kBidiR || c == kBidiAL) {
            strong = c;
        } else if (c == kBidiEN && strong == kBidiAL) {
            c = kBidiAN;
        }
        if (c == kBidiAL) c = kBidiR;
    }
}

// Rules W1-W7 over one isolating run sequence of m characters.
void resolve_weak(Paragraph& p, uint32_t m, uint8_t sos) {
    resolve_marks_and_arabic_digits(p, m, sos);
    uint8_t* const r = p.resolved;
    const uint32_t* const s = p.sequence;
    // W4: one separator between two numbers of a kind joins them.
    for (uint32_t k = 1; k + 1 < m; k++) {
        uint8_t& c = r[s[k]];
        const uint8_t before = r[s[k - 1]], after = r[s[k + 1]];
        if ((c == kBidiES || c == kBidiCS) && before == kBidiEN && after == kBidiEN) {
            c = kBidiEN;
        } else if (c == kBidiCS && before == kBidiAN && after == kBidiAN) {
            c = kBidiAN;
        }
    }
    // W5: terminators next to European digits are digits; W6: what is left
    // of separators and terminators is neutral.
    for (uint32_t k = 0; k < m;) {
        if (r[s[k]] != kBidiET) {
            if (r[s[k]] == kBidiES || r[s[k]] == kBidiCS) r[s[k]] = kBidiON;
            k++;
            continue;
        }
        uint32_t end = k;
        while (end < m && r[s[end]] == kBidiET) end++;
        const bool digits = (k > 0 && r[s[k - 1]] == kBidiEN) || (end < m && r[s[end]] == kBidiEN);
        for (; k < end; k++) r[s[k]] = digits ? kBidiEN : kBidiON;
    }
    // W7: European digits after L are L.
    uint8_t strong = sos;
    for (uint32_t k = 0; k < m; k++) {
        uint8_t& c = r[s[k]];
        if (c == kBidiL || c == kBidiR) {
            strong = c;
        } else if (c == kBidiEN && strong == kBidiL) {
            c = kBidiL;
        }
    }
}

// Sets a bracket of a pair, and the marks that follow it, to `direction`.
void set_bracket(Paragraph& p, uint32_t m, uint32_t k, uint8_t direction) {
    p.resolved[p.sequence[k]] = direction;
    while (++k < m && p.classes[p.sequence[k]] == kBidiNSM) p.resolved[p.sequence[k]] = direction;
}

// Rule N0: bracket pairs (BD16) take the direction of what they enclose.
void resolve_brackets(Paragraph& p, uint32_t m, uint8_t sos, uint8_t embedding) {
    const uint32_t* const s = p.sequence;
    struct Open {
        uint32_t closing;   // the canonical closing bracket that pairs with it
        uint32_t position;
    };
    Open open[kMaxOpenBrackets];
    uint32_t depth = 0;
    for (uint32_t k = 0; k < m; k++) p.closing[k] = kNone;
    for (uint32_t k = 0; k < m; k++) {
        if (p.resolved[s[k]] != kBidiON) continue;
        const uint32_t ch = p.brackets[s[k]];
        if (opening_bracket(ch)) {
            if (depth == kMaxOpenBrackets) break;
            open[depth++] = Open{canonical_bracket(bidi_mirror(ch)), k};
            continue;
        }
        const uint32_t mirror = bidi_mirror(ch);
        if (mirror == ch || !opening_bracket(mirror)) continue;
        const uint32_t closing = canonical_bracket(ch);
        for (uint32_t d = depth; d-- > 0;) {
            if (open[d].closing == closing) {
                p.closing[open[d].position] = k;
                depth = d;
                break;
            }
        }
    }
    const uint8_t opposite = embedding == kBidiL ? kBidiR : kBidiL;
    for (uint32_t k = 0; k < m; k++) {
        const uint32_t close = p.closing[k];
        if (close == kNone) continue;
        uint8_t inside = kBidiON;
        for (uint32_t j = k + 1; j < close && inside != embedding; j++) {
            const uint8_t d = strong_direction(p.resolved[s[j]]);
            if (d != kBidiON) inside = d;
        }
        if (inside == kBidiON) continue;
        if (inside != embedding) {
            // Only the opposite direction inside: it holds when the text
            // before the pair has it too.
            uint8_t before = kBidiON;
            for (uint32_t j = k; j-- > 0 && before == kBidiON;) before = strong_direction(p.resolved[s[j]]);
            if (before == kBidiON) before = sos;
            if (before != opposite) inside = embedding;
        }
        set_bracket(p, m, k, inside);
        set_bracket(p, m, close, inside);
    }
}

// Rules N1-N2.
void resolve_neutrals(Paragraph& p, uint32_t m, uint8_t sos, uint8_t eos, uint8_t embedding) {
    uint8_t* const r = p.resolved;
    const uint32_t* const s = p.sequence;
    for (uint32_t k = 0; k < m;) {
        if (!neutral(r[s[k]])) {
            k++;
            continue;
        }
        const uint32_t start = k;
        while (k < m && neutral(r[s[k]])) k++;
        const uint8_t before = start == 0 ? sos : strong_direction(r[s[start - 1]]);
        const uint8_t after = k == m ? eos : strong_direction(r[s[k]]);
        const uint8_t direction = before == after ? before : embedding;
        for (uint32_t j = start; j < k; j++) r[s[j]] = direction;
    }
}

// Rules W1-N2 over the isolating run sequence in p.sequence[0, m). The
// levels stay those of rules X1-X8 until every sequence is resolved: they
// mark the level runs and give each sequence's sos and eos.
void resolve_sequence(Paragraph& p, uint32_t m) {
    const uint32_t first = p.sequence[0], last = p.sequence[m - 1];
    const uint8_t level = p.levels[first];
    uint32_t before = first;
    while (before > 0 && removed_by_x9(p.classes[before - 1])) before--;
    const uint8_t level_before = before > 0 ? p.levels[before - 1] : p.level;
    uint32_t after = last + 1;
    while (after < p.n && removed_by_x9(p.classes[after])) after++;
    const uint8_t level_after =
        after < p.n && !isolate_initiator(p.classes[last]) ? p.levels[after] : p.level;
    const uint8_t sos = direction_of_level(level > level_before ? level : level_before);
    const uint8_t eos = direction_of_level(level > level_after ? level : level_after);
    const uint8_t embedding = direction_of_level(level);

    resolve_weak(p, m, sos);
    if (p.brackets != nullptr) resolve_brackets(p, m, sos, embedding);
    resolve_neutrals(p, m, sos, eos, embedding);
}

// Rule X10: every isolating run sequence, each made of level runs (BD7,
// BD13) joined where one ends with an isolate initiator and another starts
// with its matching PDI.
void resolve_sequences(Paragraph& p) {
    uint32_t previous = kNone;
    for (uint32_t i = 0; i < p.n; i++) {
        if (removed_by_x9(p.classes[i])) continue;
        const bool starts_run = previous == kNone || p.levels[previous] != p.levels[i];
        previous = i;
        // A run that starts with a matching PDI ends a sequence begun before.
        if (!starts_run || (p.classes[i] == kBidiPDI && p.match[i] != kNone)) continue;
        uint32_t m = 0;
        for (uint32_t at = i;;) {
            const uint8_t level = p.levels[at];
            uint32_t last = at;
            for (; at < p.n; at++) {
                if (removed_by_x9(p.classes[at])) continue;
                if (p.levels[at] != level) break;
                p.sequence[m++] = last = at;
            }
            if (!isolate_initiator(p.classes[last]) || p.match[last] == kNone) break;
            at = p.match[last];
        }
        resolve_sequence(p, m);
    }
}

uint8_t resolve(Paragraph& p, BidiDirection direction) {
    match_isolates(p);
    p.level = direction == kBidiAuto ? first_strong_level(p, 0, p.n) : direction == kBidiRightToLeft ? 1 : 0;
    explicit_levels(p);
    resolve_sequences(p);
    // Rules I1-I2; what X9 removed takes the level before it.
    for (uint32_t i = 0; i < p.n; i++) {
        uint8_t& level = p.levels[i];
        const uint8_t c = p.resolved[i];
        if (removed_by_x9(p.classes[i])) {
            level = i > 0 ? p.levels[i - 1] : p.level;
        } else if (level & 1) {
            if (c != kBidiR) level++;
        } else if (c == kBidiR) {
            level++;
        } else if (c == kBidiAN || c == kBidiEN) {
            level += 2;
        }
    }
    return p.level;
}

Paragraph paragraph_in(uint32_t* scratch, uint32_t n, const char16_t* brackets, uint8_t* levels) {
    Paragraph p{};
    p.brackets = brackets;
    p.n = n;
    p.match = scratch;
    p.sequence = scratch + n;
    p.closing = scratch + 2 * n;
    uint8_t* const bytes = reinterpret_cast<uint8_t*>(scratch + 3 * n);
    p.classes = bytes;
    p.resolved = bytes + n;
    p.levels = levels;
    return p;
}

// Rule L1, with class_at(i) the class of character i as the text has it.
template <typename ClassAt>
void reset_line(uint32_t n, uint8_t paragraph_level, uint8_t* levels, ClassAt class_at) {
    uint32_t spaces = 0;   // where the whitespace before i begins
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t c = class_at(i);
        if (c == kBidiS || c == kBidiB) {
            for (; spaces <= i; spaces++) levels[spaces] = paragraph_level;
        } else if (c != kBidiWS && !isolate_control(c) && !removed_by_x9(c)) {
            spaces = i + 1;
        }
    }
    for (; spaces < n; spaces++) levels[spaces] = paragraph_level;
}

}  // namespace

BidiClass bidi_class(uint32_t code_point) {
    RunCache cache;
    return static_cast<BidiClass>(class_of(cache, code_point));
}

BidiClass bidi_class(uint32_t code_point, RunCache& cache) { return static_cast<BidiClass>(class_of(cache, code_point)); }

uint32_t bidi_mirror(uint32_t cp) {
    const uint32_t below = count_at_or_below(kMirrorStarts, sizeof kMirrorStarts / 2, cp, key_of);
    if (below == 0) return cp;
    const uint32_t start = kMirrorStarts[below - 1], kind = kMirrorKinds[below - 1];
    if (kind & 0x80) {
        if (cp - start >= 2 * (kind & 0x7F)) return cp;
        return ((cp - start) & 1) ? cp - 1 : cp + 1;
    }
    return cp == start ? cp + kMirrorDeltas[kind] : cp;
}

bool bidi_needed(const char16_t* units, uint32_t n) {
    RunCache cache;
    for (uint32_t at = 0, taken; at < n; at += taken) {
        const uint32_t cp = code_point_at(units, n, at, &taken);
        // Nothing before Hebrew is right-to-left, a number of its own or a control.
        if (cp < 0x590) continue;
        const uint8_t c = class_of(cache, cp);
        if (c == kBidiR || c == kBidiAL || c == kBidiAN || c >= kBidiLRE) return true;
    }
    return false;
}

uint8_t bidi_paragraph_level(const char16_t* units, uint32_t n) {
    RunCache cache;
    uint32_t isolates = 0;
    for (uint32_t at = 0, taken; at < n; at += taken) {
        const uint8_t c = class_of(cache, code_point_at(units, n, at, &taken));
        if (isolate_initiator(c)) {
            isolates++;
        } else if (c == kBidiPDI) {
            if (isolates > 0) isolates--;
        } else if (c == kBidiB) {
            break;
        } else if (isolates == 0 && (c == kBidiL || c == kBidiR || c == kBidiAL)) {
            return c == kBidiL ? 0 : 1;
        }
    }
    return 0;
}

uint8_t bidi_paragraph_levels(const char16_t* units, uint32_t n, BidiDirection direction, uint8_t* levels,
                              uint32_t* scratch) {
    Paragraph p = paragraph_in(scratch, n, units, levels);
    classes_of_units(units, n, const_cast<uint8_t*>(p.classes));
    return resolve(p, direction);
}

uint8_t bidi_resolve_classes(const uint8_t* classes, const char16_t* brackets, uint32_t n, BidiDirection direction,
                             uint8_t* levels, uint32_t* scratch) {
    Paragraph p = paragraph_in(scratch, n, brackets, levels);
    uint8_t* const copy = const_cast<uint8_t*>(p.classes);
    for (uint32_t i = 0; i < n; i++) copy[i] = classes[i];
    return resolve(p, direction);
}

void bidi_line_levels(const char16_t* units, uint32_t n, uint8_t paragraph_level, uint8_t* levels) {
    RunCache cache;
    reset_line(n, paragraph_level, levels, [&](uint32_t i) -> uint8_t {
        if (continues_pair(units, i)) return kBidiBN;
        uint32_t taken;
        return class_of(cache, code_point_at(units, n, i, &taken));
    });
    for (uint32_t i = 1; i < n; i++) {
        if (continues_pair(units, i)) levels[i] = levels[i - 1];
    }
}

void bidi_line_levels_classes(const uint8_t* classes, uint32_t n, uint8_t paragraph_level, uint8_t* levels) {
    reset_line(n, paragraph_level, levels, [classes](uint32_t i) { return classes[i]; });
}

void bidi_visual_order(const uint8_t* levels, uint32_t n, uint32_t* order) {
    uint8_t highest = 0, lowest_odd = kBidiMaxDepth + 2;
    for (uint32_t i = 0; i < n; i++) {
        order[i] = i;
        if (levels[i] > highest) highest = levels[i];
        if ((levels[i] & 1) && levels[i] < lowest_odd) lowest_odd = levels[i];
    }
    // From the highest level down to the lowest odd one, every run at that
    // level or above turns around.
    for (uint32_t level = highest; level >= lowest_odd; level--) {
        for (uint32_t i = 0; i < n;) {
            if (levels[order[i]] < level) {
                i++;
                continue;
            }
            uint32_t end = i;
            while (end < n && levels[order[end]] >= level) end++;
            for (uint32_t a = i, b = end - 1; a < b; a++, b--) {
                const uint32_t t = order[a];
                order[a] = order[b];
                order[b] = t;
            }
            i = end;
        }
    }
}
