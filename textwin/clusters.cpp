#include "textwin/clusters.h"

#include "strings/cells.h"
#include "strings/joining.h"

namespace {

constexpr uint32_t kLam = 0x0644;

// The viramas of the Indic blocks, Devanagari to Malayalam (one every 128
// code points), and Sinhala's: after one, the next consonant of its block
// joins the cluster.
bool joins_next_consonant(uint32_t cp) {
    return (cp >= 0x094D && cp <= 0x0D4D && (cp & 0x7F) == 0x4D) || cp == 0x0DCA;
}

}  // namespace

uint32_t cluster_end(const char16_t* units, uint32_t n, uint32_t at) {
    uint32_t last = cell_char_at(units, n, at).code_point;
    at += cell_char_at(units, n, at).units;
    while (at < n) {
        const CellChar c = cell_char_at(units, n, at);
        if (c.cells != 0 && !is_spacing_mark(c.code_point) &&
            !(joins_next_consonant(last) && c.code_point >> 7 == last >> 7)) {
            break;
        }
        last = c.code_point;
        at += c.units;
    }
    return at;
}

namespace {

// A row's paragraph, resolved: its units after the margin, with the level
// and the joining form of each.
struct Paragraph {
    const char16_t* text;
    uint32_t n;
    uint32_t margin;   // units before it in the row
    const uint8_t* levels;
    const uint8_t* forms;
};

// The cluster text[at, end) as it is drawn.
ShownCluster cluster_at(const Paragraph& p, uint32_t at, uint32_t end) {
    uint32_t shown = cell_char_at(p.text, p.n, at).code_point;
    const uint32_t presentation = arabic_presentation_form(shown, static_cast<JoiningForm>(p.forms[at]));
    if (presentation != 0) shown = presentation;
    if ((p.levels[at] & 1) != 0) shown = bidi_mirror(shown);
    return ShownCluster{p.margin + at, end - at, text_cells(p.text + at, end - at), shown};
}

// The paragraph's clusters in logical order into clusters[], and the level
// of each (its first character's) into levels[]; returns how many.
uint32_t logical_clusters(const Paragraph& p, ShownCluster* clusters, uint8_t* levels) {
    uint32_t k = 0;
    for (uint32_t at = 0; at < p.n;) {
        const uint32_t end = cluster_end(p.text, p.n, at);
        // Lam and the alef it joins are one ligature over both their cells
        // (a lam that has its ligature already takes no second alef).
        const uint32_t lam_at = k > 0 ? clusters[k - 1].from - p.margin : 0;
        const bool lam = k > 0 && p.text[lam_at] == kLam && !is_lam_alef(clusters[k - 1].shown) &&
                         levels[k - 1] == p.levels[at];
        const uint32_t ligature =
            lam ? lam_alef_ligature(p.text[at], static_cast<JoiningForm>(p.forms[lam_at])) : 0;
        if (ligature != 0) {
            clusters[k - 1].units += end - at;
            clusters[k - 1].cells += text_cells(p.text + at, end - at);
            clusters[k - 1].shown = ligature;
        } else {
            clusters[k] = cluster_at(p, at, end);
            levels[k++] = p.levels[at];
        }
        at = end;
    }
    return k;
}

// clusters[v] becomes the one that was at clusters[order[v]], for v < k,
// in place, one cycle of the permutation at a time (a placed slot is
// marked in its order word).
void into_order(ShownCluster* clusters, uint32_t* order, uint32_t k) {
    constexpr uint32_t kPlaced = 0x80000000u;
    for (uint32_t v = 0; v < k; ++v) {
        if ((order[v] & kPlaced) != 0) continue;
        const ShownCluster first = clusters[v];
        uint32_t to = v;
        for (;;) {
            const uint32_t from = order[to];
            order[to] |= kPlaced;
            if (from == v) break;
            clusters[to] = clusters[from];
            to = from;
        }
        clusters[to] = first;
    }
}

}  // namespace

uint32_t visual_row(const char16_t* units, uint32_t n, ShownCluster* clusters, void* scratch) {
    uint32_t margin = 0;
    while (margin < n && units[margin] == u' ') margin++;
    for (uint32_t i = 0; i < margin; ++i) clusters[i] = ShownCluster{i, 1, 1, u' '};
    const uint32_t m = n - margin;
    if (m == 0) return margin;
    auto* order = static_cast<uint32_t*>(scratch);        // m + 1 words
    auto* bidi_scratch = order + m + 1;                     // bidi_scratch_words(m)
    auto* levels = reinterpret_cast<uint8_t*>(bidi_scratch + bidi_scratch_words(m));
    uint8_t* forms = levels + m;
    uint8_t* cluster_levels = forms + m;
    const Paragraph p{units + margin, m, margin, levels, forms};
    bidi_line_levels(p.text, m, bidi_paragraph_levels(p.text, m, kBidiAuto, levels, bidi_scratch), levels);
    joining_forms(p.text, m, forms);
    const uint32_t k = logical_clusters(p, clusters + margin, cluster_levels);
    bidi_visual_order(cluster_levels, k, order);
    into_order(clusters + margin, order, k);
    return margin + k;
}
