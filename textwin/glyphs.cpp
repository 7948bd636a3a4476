// Each character at its cells, and a font of the system for those the cell
// font has no glyph for, chosen so that its glyph fits the cells. The fonts
// found are kept with the font list (per range of code points and cell
// height), so each range is searched once. A row with a right-to-left
// character is drawn cluster by cluster in reading order.
#include "textwin/glyphs.h"

#include "runtime/blocks.h"
#include "runtime/fonts.h"
#include "runtime/registry.h"
#include "strings/bidi.h"
#include "strings/cells.h"
#include "textwin/clusters.h"
#include "textwin/internal.h"

namespace textwin {
namespace {

// Units looked up or drawn in one system call: bounds the stack they take.
constexpr uint32_t kChunk = 256;
// A search tries at most this many families: it ends however many fonts
// the system has installed.
constexpr uint32_t kMaxFamiliesTried = 256;
constexpr WORD kNoGlyph = 0xFFFF;
// The font of the characters that are not drawn.
HGDIOBJ const kNotDrawn = reinterpret_cast<HGDIOBJ>(1);

// The character sets whose fonts the system's font mapper picks by script,
// by the first code point of each range (up to the next entry's).
struct ScriptCharset {
    uint16_t first;
    uint8_t charset;
};
constexpr ScriptCharset kScriptCharsets[] = {
    {0x0370, GREEK_CHARSET},    {0x0400, RUSSIAN_CHARSET},  {0x0530, DEFAULT_CHARSET},
    {0x0590, HEBREW_CHARSET},   {0x0600, ARABIC_CHARSET},   {0x0700, DEFAULT_CHARSET},
    {0x0E00, THAI_CHARSET},     {0x0E80, DEFAULT_CHARSET},  {0x1100, HANGUL_CHARSET},
    {0x1200, DEFAULT_CHARSET},  {0x2E80, SHIFTJIS_CHARSET}, {0xA000, DEFAULT_CHARSET},
    {0xAC00, HANGUL_CHARSET},   {0xD800, DEFAULT_CHARSET},  {0xF900, SHIFTJIS_CHARSET},
    {0xFB00, DEFAULT_CHARSET},  {0xFB1D, HEBREW_CHARSET},   {0xFB50, ARABIC_CHARSET},
    {0xFE00, DEFAULT_CHARSET},  {0xFE70, ARABIC_CHARSET},   {0xFF00, SHIFTJIS_CHARSET},
};

uint8_t charset_of(uint32_t cp) {
    uint8_t charset = DEFAULT_CHARSET;
    for (const ScriptCharset& range : kScriptCharsets) {
        if (cp < range.first) break;
        charset = range.charset;
    }
    return cp > 0xFFFF ? DEFAULT_CHARSET : charset;
}

// --- glyphs of every plane ---------------------------------------------------------

constexpr DWORD kCmapTag = 0x70616D63;   // 'cmap', as GetFontData reads a tag

uint32_t big_endian(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | at[i];
    return value;
}

// `bytes` of the selected font's cmap table from `offset` on; false when
// the font has no such bytes.
bool read_cmap(HDC dc, uint32_t offset, uint8_t* out, uint32_t bytes) {
    return GetFontData(dc, kCmapTag, offset, out, bytes) == bytes;
}

// The glyph of a code point beyond the BMP in the selected font, from the
// font's own cmap (its format 12 subtable: GetGlyphIndicesW maps UTF-16
// units one by one), or kNoGlyph. Found with small reads, as a whole table
// can be large.
WORD supplementary_glyph(HDC dc, uint32_t cp) {
    uint8_t buf[16];
    if (!read_cmap(dc, 0, buf, 4)) return kNoGlyph;
    const uint32_t tables = big_endian(buf + 2, 2);
    for (uint32_t t = 0; t < tables && t < 64; ++t) {
        if (!read_cmap(dc, 4 + 8 * t, buf, 8)) return kNoGlyph;
        const uint32_t platform = big_endian(buf, 2), encoding = big_endian(buf + 2, 2);
        const uint32_t at = big_endian(buf + 4, 4);
        if (!(platform == 3 && encoding == 10) && platform != 0) continue;
        if (!read_cmap(dc, at, buf, 16) || big_endian(buf, 2) != 12) continue;
        // Groups of (first, last, first glyph), sorted by code point.
        uint32_t lo = 0, hi = big_endian(buf + 12, 4);
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (!read_cmap(dc, at + 16 + 12 * mid, buf, 12)) return kNoGlyph;
            if (cp < big_endian(buf, 4)) {
                hi = mid;
            } else if (cp > big_endian(buf + 4, 4)) {
                lo = mid + 1;
            } else {
                const uint32_t glyph = big_endian(buf + 8, 4) + (cp - big_endian(buf, 4));
                return glyph != 0 && glyph < kNoGlyph ? static_cast<WORD>(glyph) : kNoGlyph;
            }
        }
        return kNoGlyph;
    }
    return kNoGlyph;
}

// What one cluster draws: its units, where the first character may stand
// for another (mirrored, a presentation form, a ligature).
struct ClusterText {
    wchar_t units[kChunk + 2];
    uint32_t n;
    uint32_t cells;
    bool by_glyph;   // drawn through glyph indices: beyond the BMP, or a form the library chose
    // An Arabic letter's presentation form in one cell: its strokes join
    // its neighbours' only where its glyph fills the cell, so a font that
    // draws it narrower does not fit. (A lam-alef ligature is one glyph
    // over two cells: centred.)
    bool fills;
};

// The glyphs of `text` in the font selected into `dc`, into glyphs[]; a
// zero-cell character the font lacks (a variation selector, a joiner) is
// left out. Returns how many, or 0 when a character of a cell or more is
// missing.
uint32_t glyphs_of(HDC dc, const ClusterText& text, WORD* glyphs) {
    uint32_t count = 0;
    for (uint32_t at = 0; at < text.n;) {
        const CellChar c = cell_char_at(reinterpret_cast<const char16_t*>(text.units), text.n, at);
        WORD glyph = kNoGlyph;
        if (c.units == 2) {
            glyph = supplementary_glyph(dc, c.code_point);
        } else if (GetGlyphIndicesW(dc, text.units + at, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) != 1) {
            glyph = kNoGlyph;
        }
        if (glyph != kNoGlyph) {
            glyphs[count++] = glyph;
        } else if (c.cells != 0 || at == 0) {
            return 0;
        }
        at += c.units;
    }
    return count;
}

// Whether the font selected into `dc` has every glyph of `text`.
bool has_glyphs(HDC dc, const ClusterText& text) {
    WORD glyphs[kChunk + 2];   // a cluster's text is at most kChunk + 1 units
    if (!text.by_glyph) {
        const DWORD got = GetGlyphIndicesW(dc, text.units, static_cast<int>(text.n), glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        if (got != text.n) return false;
        for (uint32_t i = 0; i < text.n; ++i) {
            if (glyphs[i] == kNoGlyph) return false;
        }
        return true;
    }
    return glyphs_of(dc, text, glyphs) != 0;
}

// Draws one cluster in the font selected into `dc`, top-aligned at y and
// centred in the `width` pixels from x when it is narrower; clipped to
// `cells` when given, its background filled there. Returns its width.
int32_t draw_cluster(HDC dc, const ClusterText& text, int32_t x, int32_t y, int32_t width, const RECT* cells) {
    const UINT clip = cells != nullptr ? ETO_CLIPPED | ETO_OPAQUE : 0;
    SIZE own{};
    if (text.by_glyph) {
        WORD glyphs[kChunk + 2];   // a cluster's text is at most kChunk + 1 units
        const uint32_t count = glyphs_of(dc, text, glyphs);
        GetTextExtentPointI(dc, glyphs, static_cast<int>(count), &own);
        ExtTextOutW(dc, own.cx < width ? x + (width - own.cx) / 2 : x, y, clip | ETO_GLYPH_INDEX, cells,
                    reinterpret_cast<const wchar_t*>(glyphs), count, nullptr);
        return own.cx;
    }
    GetTextExtentPoint32W(dc, text.units, static_cast<int>(text.n), &own);
    ExtTextOutW(dc, own.cx < width ? x + (width - own.cx) / 2 : x, y, clip, cells, text.units, text.n, nullptr);
    return own.cx;
}

// --- the search for a font that fits ------------------------------------------------

// A cluster of only blanks draws nothing in any font.
bool is_blank(const ClusterText& text) {
    for (uint32_t i = 0; i < text.n; ++i) {
        const wchar_t u = text.units[i];
        if (u != 0x20 && u != 0xA0 && u != 0x3000 && u != 0x1680 && !(u >= 0x2000 && u <= 0x200A) && u != 0x202F &&
            u != 0x205F) {
            return false;
        }
    }
    return true;
}

struct Search {
    HDC dc;                  // the drawing's: the families are enumerated there
    const ClusterText* text;
    int32_t cell_width;
    int32_t line_height;
    int32_t ascent;          // of the cell font
    int32_t descent;
    LOGFONTW lf;             // the height and weight asked for; the face of each family tried
    // Where a candidate is drawn to look at its ink: the cells with a cell
    // and a row of margin around them.
    HDC probe;
    HBITMAP probe_bitmap;
    const uint32_t* probe_bits;
    int32_t probe_width;
    int32_t probe_height;
    uint32_t tried;
    HFONT best;              // the best candidate so far, and its face and score
    wchar_t best_face[LF_FACESIZE];
    uint32_t best_score;
    HFONT best_kept;         // the best of those the list already keeps
    uint32_t best_kept_score;
    FontRecord* font_record;
};

// Whether `font` draws the cluster with ink inside its cells and its row
// and none outside them.
bool fits(Search& search, HFONT font) {
    const int32_t width = static_cast<int32_t>(search.text->cells) * search.cell_width;
    RECT all{0, 0, search.probe_width, search.probe_height};
    FillRect(search.probe, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ old = SelectObject(search.probe, font);
    const int32_t drawn = draw_cluster(search.probe, *search.text, search.cell_width, search.line_height, width, nullptr);
    SelectObject(search.probe, old);
    if (search.text->fills && drawn < width) return false;
    GdiFlush();
    uint32_t inside = 0;
    for (int32_t y = 0; y < search.probe_height; ++y) {
        for (int32_t x = 0; x < search.probe_width; ++x) {
            if ((search.probe_bits[y * search.probe_width + x] & 0xFFFFFF) == 0xFFFFFF) continue;
            if (x < search.cell_width || x >= search.cell_width + width || y < search.line_height ||
                y >= 2 * search.line_height) {
                return false;
            }
            inside++;
        }
    }
    return inside != 0 || is_blank(*search.text);
}

// Lower is better: fixed pitch first, then the ascent and descent nearest
// the cell's. UINT32_MAX: the font does not draw the cluster in its cells.
uint32_t score_of(Search& search, HFONT font) {
    HGDIOBJ old = SelectObject(search.dc, font);
    TEXTMETRICW tm{};
    const bool has = has_glyphs(search.dc, *search.text) && GetTextMetricsW(search.dc, &tm);
    SelectObject(search.dc, old);
    if (!has || !fits(search, font)) return UINT32_MAX;
    const int32_t off = (tm.tmAscent > search.ascent ? tm.tmAscent - search.ascent : search.ascent - tm.tmAscent) +
                        (tm.tmDescent > search.descent ? tm.tmDescent - search.descent : search.descent - tm.tmDescent);
    // TMPF_FIXED_PITCH set means a variable pitch.
    return ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0 ? 0x10000u : 0u) + static_cast<uint32_t>(off);
}

// Weighs the font of the face in search.lf against the best so far.
void try_face(Search& search) {
    HFONT font = CreateFontIndirectW(&search.lf);
    if (font == nullptr) return;
    const uint32_t score = score_of(search, font);
    const auto* face = reinterpret_cast<const char16_t*>(search.lf.lfFaceName);
    const uintptr_t kept = score != UINT32_MAX ? find_system_font(search.font_record, face, search.lf.lfHeight) : 0;
    if (kept != 0 && score < search.best_kept_score) {
        search.best_kept = static_cast<HFONT>(gdi_object_of(kept));
        search.best_kept_score = score;
    }
    if (score < search.best_score) {
        if (search.best != nullptr) DeleteObject(search.best);
        search.best = font;
        search.best_score = score;
        __builtin_memcpy(search.best_face, search.lf.lfFaceName, sizeof search.best_face);
        return;
    }
    DeleteObject(font);
}

int CALLBACK try_family(const LOGFONTW* family, const TEXTMETRICW*, DWORD type, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    // A family comes once per character set; a raster font has no glyphs at
    // other heights, and '@' names the vertical forms of a family.
    const auto* face = reinterpret_cast<const char16_t*>(family->lfFaceName);
    if (same_face(face, reinterpret_cast<const char16_t*>(search.lf.lfFaceName)) ||
        (type & RASTER_FONTTYPE) != 0 || face[0] == u'@') {
        return 1;
    }
    __builtin_memcpy(search.lf.lfFaceName, family->lfFaceName, sizeof search.lf.lfFaceName);
    search.lf.lfCharSet = family->lfCharSet;
    try_face(search);
    return ++search.tried < kMaxFamiliesTried;
}

bool open_probe(Search& search) {
    search.probe_width = (static_cast<int32_t>(search.text->cells) + 2) * search.cell_width;
    search.probe_height = 3 * search.line_height;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = search.probe_width;
    bi.bmiHeader.biHeight = -search.probe_height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    search.probe = CreateCompatibleDC(search.dc);
    void* bits = nullptr;
    search.probe_bitmap = CreateDIBSection(search.probe, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    search.probe_bits = static_cast<const uint32_t*>(bits);
    if (search.probe == nullptr || search.probe_bitmap == nullptr || bits == nullptr) return false;
    SelectObject(search.probe, search.probe_bitmap);
    SetTextColor(search.probe, RGB(0, 0, 0));
    SetBkMode(search.probe, TRANSPARENT);
    return true;
}

// The system font that draws the cluster inside its cells at the cell's
// height, kept in the list: the one the font mapper gives for its script
// when that fits, else the best of every installed family. 0 when none
// fits, or when the list keeps its most and none of those fits.
uintptr_t search_font(Search& search, const TEXTMETRICW& cell, uint32_t cp) {
    search.ascent = cell.tmAscent;
    search.descent = cell.tmDescent;
    search.lf.lfHeight = cell.tmHeight;
    search.lf.lfWeight = FW_NORMAL;
    search.best_score = search.best_kept_score = UINT32_MAX;
    if (open_probe(search)) {
        search.lf.lfCharSet = charset_of(cp);
        search.lf.lfPitchAndFamily = FIXED_PITCH;
        if (search.lf.lfCharSet != DEFAULT_CHARSET) {
            // The mapper's own choice: its face is the one selected.
            HFONT mapped = CreateFontIndirectW(&search.lf);
            HGDIOBJ old = mapped != nullptr ? SelectObject(search.dc, mapped) : nullptr;
            if (old != nullptr) {
                GetTextFaceW(search.dc, LF_FACESIZE, search.lf.lfFaceName);
                SelectObject(search.dc, old);
            }
            if (mapped != nullptr) DeleteObject(mapped);
            if (old != nullptr) try_face(search);
        }
        if (search.best == nullptr) {
            search.lf.lfPitchAndFamily = 0;
            search.lf.lfFaceName[0] = 0;
            LOGFONTW every{};
            every.lfCharSet = DEFAULT_CHARSET;
            EnumFontFamiliesExW(search.dc, &every, try_family, reinterpret_cast<LPARAM>(&search), 0);
        }
    }
    if (search.probe_bitmap != nullptr) DeleteObject(search.probe_bitmap);
    if (search.probe != nullptr) DeleteDC(search.probe);
    if (search.best == nullptr) return 0;
    const uintptr_t best = value_of(search.best);
    const uintptr_t kept = keep_system_font(search.font_record, reinterpret_cast<const char16_t*>(search.best_face),
                                            search.lf.lfHeight, best);
    if (kept != best) DeleteObject(search.best);
    return kept != 0 ? kept : value_of(search.best_kept);
}

// --- drawing ----------------------------------------------------------------------

// What one draw_cells call knows of its text and its fonts.
struct Drawing {
    HDC dc;
    int32_t font_number;
    int32_t y;
    int32_t cell_width;
    int32_t line_height;
    const RECT* clip;
    TEXTMETRICW cell;              // of the cell font, looked up on the first fallback (tmHeight 0 till then)
};

// Whether `font` (null for the DC's own) draws the cluster's glyphs, the
// cluster no wider than its cells.
bool draws(Drawing& drawing, HGDIOBJ font, const ClusterText& text) {
    HGDIOBJ old = font != nullptr ? SelectObject(drawing.dc, font) : nullptr;
    bool ok = has_glyphs(drawing.dc, text);
    if (ok && font != nullptr && (!text.by_glyph || text.fills)) {
        const LONG width = static_cast<LONG>(text.cells) * drawing.cell_width;
        SIZE own{};
        WORD glyph = kNoGlyph;
        ok = text.fills ? GetGlyphIndicesW(drawing.dc, text.units, 1, &glyph, 0) == 1 &&
                              GetTextExtentPointI(drawing.dc, &glyph, 1, &own) && own.cx >= width
                        : GetTextExtentPoint32W(drawing.dc, text.units, static_cast<int>(text.n), &own) &&
                              own.cx <= width;
    }
    if (old != nullptr) SelectObject(drawing.dc, old);
    return ok;
}

// The kept fallback for the cluster whose first character is `cp`,
// searched for and kept on first need: for the 256 code points around it,
// or for it alone when that range's font does not draw this cluster.
HGDIOBJ fallback_for(Drawing& drawing, const ClusterText& text, uint32_t cp) {
    FontRecord* font_record = find_font_record(drawing.font_number);
    if (font_record == nullptr) return nullptr;
    if (drawing.cell.tmHeight == 0 && !GetTextMetricsW(drawing.dc, &drawing.cell)) return nullptr;
    uintptr_t font = 0;
    uint32_t first = cp & ~0xFFu, last = cp | 0xFFu;
    if (find_fallback_font(font_record, cp, drawing.cell.tmHeight, &font)) {
        if (font == 0 || draws(drawing, gdi_object_of(font), text)) return gdi_object_of(font);
        first = last = cp;
    }
    Search search{};
    search.dc = drawing.dc;
    search.text = &text;
    search.cell_width = drawing.cell_width;
    search.line_height = drawing.line_height;
    search.font_record = font_record;
    font = search_font(search, drawing.cell, cp);
    // A search that found none speaks for its own character only.
    if (font == 0) first = last = cp;
    keep_fallback_font(font_record, first, last, drawing.cell.tmHeight, font);
    return gdi_object_of(font);
}

// The font for a cluster: null for the cell font, which also draws its own
// glyph for a control character, a lone surrogate and a cluster no font
// of the system draws. A cluster that starts with a zero-cell character
// (marks past a chunk's end) goes with the font `before` when that has it,
// else it is not drawn: a box for it would cover the next cell.
HGDIOBJ font_for(Drawing& drawing, const ClusterText& text, HGDIOBJ before) {
    const CellChar c = cell_char_at(reinterpret_cast<const char16_t*>(text.units), text.n, 0);
    if (c.cells == 0) return before != kNotDrawn && draws(drawing, before, text) ? before : kNotDrawn;
    if (text.n == 1 && !text.by_glyph && (c.code_point < 0xA0 || is_surrogate(c.code_point))) {
        return nullptr;
    }
    if (draws(drawing, nullptr, text)) return nullptr;
    return fallback_for(drawing, text, c.code_point);
}

// The cluster units[at, end) as drawn, with `shown` for its first character.
void cluster_text(ClusterText& text, const char16_t* units, uint32_t n, uint32_t at, uint32_t end, uint32_t shown) {
    const CellChar first = cell_char_at(units, n, at);
    text.n = 0;
    text.by_glyph = shown != first.code_point || first.units == 2;
    if (shown > 0xFFFF) {
        text.units[text.n++] = static_cast<wchar_t>(0xD7C0 + (shown >> 10));
        text.units[text.n++] = static_cast<wchar_t>(0xDC00 + (shown & 0x3FF));
    } else {
        text.units[text.n++] = static_cast<wchar_t>(shown);
    }
    // A ligature stands for the letters of a cell or more after its first.
    const bool ligature = is_lam_alef(shown);
    text.cells = first.cells;
    for (at += first.units; at < end && text.n < kChunk;) {
        const CellChar c = cell_char_at(units, n, at);
        text.cells += c.cells;
        if (c.units == 2) text.by_glyph = true;
        if (!(ligature && c.cells != 0)) {
            for (uint32_t i = 0; i < c.units; ++i) text.units[text.n++] = static_cast<wchar_t>(units[at + i]);
        }
        at += c.units;
    }
    text.fills = text.cells == 1 && ((shown >= 0xFB50 && shown <= 0xFDFF) || (shown >= 0xFE70 && shown <= 0xFEFC));
}

// Draws a cluster of `font` (not the cell font) at x, clipped to its cells.
void draw_fallback_cluster(Drawing& drawing, HGDIOBJ font, const ClusterText& text, int32_t x) {
    if (font == kNotDrawn) return;
    const int32_t width = static_cast<int32_t>(text.cells) * drawing.cell_width;
    // The clip is the row's: only its sides can cut the cells.
    RECT cells{x > drawing.clip->left ? x : drawing.clip->left, drawing.y,
               x + width < drawing.clip->right ? x + width : drawing.clip->right, drawing.y + drawing.line_height};
    HGDIOBJ old = SelectObject(drawing.dc, font);
    draw_cluster(drawing.dc, text, x, drawing.y, width, &cells);
    SelectObject(drawing.dc, old);
}

// The cell font's clusters of a row in reading order, drawn with one call
// through their glyphs, so the system does not order them again.
struct CellRun {
    WORD glyphs[kChunk + 2];   // room for a whole cluster's text
    INT advance[kChunk + 2];
    uint32_t n;
    int32_t x;
    ClusterText text;   // the cluster being drawn
};

void draw_cell_run(Drawing& drawing, CellRun& run) {
    if (run.n != 0) {
        ExtTextOutW(drawing.dc, run.x, drawing.y, ETO_CLIPPED | ETO_GLYPH_INDEX, drawing.clip,
                    reinterpret_cast<const wchar_t*>(run.glyphs), run.n, run.advance);
    }
    run.n = 0;
}

// Adds the cluster in run.text, of the cell font, at x: its glyphs as
// ExtTextOutW would draw its units, a control character's included.
void add_to_cell_run(Drawing& drawing, CellRun& run, int32_t x) {
    if (run.n + run.text.n > kChunk) draw_cell_run(drawing, run);
    if (run.n == 0) run.x = x;
    GetGlyphIndicesW(drawing.dc, run.text.units, static_cast<int>(run.text.n), run.glyphs + run.n, 0);
    for (uint32_t u = 0; u < run.text.n; ++u) {
        run.advance[run.n++] = u == 0 ? static_cast<INT>(run.text.cells) * drawing.cell_width : 0;
    }
}

// The row in reading order, cluster by cluster. False when there is no
// memory for its order: the caller draws it as it is stored.
bool draw_in_reading_order(Drawing& drawing, int32_t x, const char16_t* units, uint32_t n) {
    const uint32_t clusters_bytes = n * static_cast<uint32_t>(sizeof(ShownCluster));
    auto* clusters = static_cast<ShownCluster*>(alloc_record(clusters_bytes + visual_row_scratch_bytes(n)));
    auto* run = static_cast<CellRun*>(alloc_record(sizeof(CellRun)));
    const bool drawn = clusters != nullptr && run != nullptr;
    if (drawn) {
        const uint32_t count = visual_row(units, n, clusters, reinterpret_cast<uint8_t*>(clusters) + clusters_bytes);
        run->n = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const ShownCluster& c = clusters[i];
            cluster_text(run->text, units, n, c.from, c.from + c.units, c.shown);
            HGDIOBJ font = font_for(drawing, run->text, kNotDrawn);
            if (font == nullptr) {
                add_to_cell_run(drawing, *run, x);
            } else {
                draw_cell_run(drawing, *run);
                draw_fallback_cluster(drawing, font, run->text, x);
            }
            x += static_cast<int32_t>(c.cells) * drawing.cell_width;
        }
        draw_cell_run(drawing, *run);
    }
    if (run != nullptr) free_record(run);
    if (clusters != nullptr) free_record(clusters);
    return drawn;
}

// The end of the cluster at units[at], cut where its units would not fit a
// chunk (never inside a surrogate pair): marks past the cut are drawn over
// the same character.
uint32_t chunk_cluster_end(const char16_t* units, uint32_t n, uint32_t at) {
    uint32_t end = cluster_end(units, n, at);
    if (end - at > kChunk) {
        end = at + kChunk;
        if (is_high_surrogate(units[end - 1])) end--;
    }
    return end;
}

}  // namespace

void draw_cells(HDC dc, int32_t font_number, int32_t x, int32_t y, const RECT& clip, const char16_t* units,
                uint32_t n, int32_t cell_width, int32_t line_height) {
    Drawing drawing;
    drawing.dc = dc;
    drawing.font_number = font_number;
    drawing.y = y;
    drawing.cell_width = cell_width;
    drawing.line_height = line_height;
    drawing.clip = &clip;
    drawing.cell.tmHeight = 0;
    if (bidi_needed(units, n) && draw_in_reading_order(drawing, x, units, n)) return;
    // The cell font's clusters go into one call per run of them, as the
    // units they are stored as; every other cluster is drawn alone.
    const wchar_t* text = reinterpret_cast<const wchar_t*>(units);
    ClusterText cluster;
    INT advance[kChunk];
    HGDIOBJ font = nullptr;   // the last cluster's
    uint32_t from = 0;        // the cell font's run: units [from, at) from from_x on
    int32_t from_x = x;
    int32_t base_x = x;       // where the last character of a cell or more starts
    for (uint32_t at = 0; at < n;) {
        const uint32_t end = chunk_cluster_end(units, n, at);
        cluster_text(cluster, units, n, at, end, cell_char_at(units, n, at).code_point);
        font = font_for(drawing, cluster, font);
        const int32_t cluster_x = cluster.cells != 0 ? x : base_x;
        if (at > from && (font != nullptr || end - from > kChunk)) {
            ExtTextOutW(dc, from_x, y, ETO_CLIPPED, &clip, text + from, at - from, advance);
            from = at;
        }
        if (font != nullptr) {
            draw_fallback_cluster(drawing, font, cluster, cluster_x);
            from = end;
        }
        if (from == at) from_x = cluster_x;
        for (uint32_t u = at; u < end && font == nullptr;) {
            const CellChar c = cell_char_at(units, n, u);
            advance[u - from] = static_cast<INT>(c.cells) * cell_width;
            if (c.units == 2) advance[u + 1 - from] = 0;
            u += c.units;
        }
        if (cluster.cells != 0) base_x = x;
        x += static_cast<int32_t>(cluster.cells) * cell_width;
        at = end;
    }
    if (n > from) ExtTextOutW(dc, from_x, y, ETO_CLIPPED, &clip, text + from, n - from, advance);
}

}  // namespace textwin
