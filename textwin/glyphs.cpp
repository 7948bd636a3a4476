// Each character at its cells, and a font of the system for those the cell
// font has no glyph for. The fonts found are kept with the font list (per
// range of code points and cell height), so each range is searched once.
#include "textwin/glyphs.h"

#include "runtime/registry.h"
#include "strings/cells.h"
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
    {0xFB00, DEFAULT_CHARSET},  {0xFF00, SHIFTJIS_CHARSET},
};

uint8_t charset_of(uint32_t cp) {
    uint8_t charset = DEFAULT_CHARSET;
    for (const ScriptCharset& range : kScriptCharsets) {
        if (cp < range.first) break;
        charset = range.charset;
    }
    return charset;
}

// Whether `font`, or the DC's own for null, has a glyph for `ch`.
bool has_glyph(HDC dc, HGDIOBJ font, wchar_t ch) {
    HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    WORD glyph = kNoGlyph;
    const DWORD got = GetGlyphIndicesW(dc, &ch, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS);
    if (old != nullptr) SelectObject(dc, old);
    return got == 1 && glyph != kNoGlyph;
}

// The font `lf` describes if it has a glyph for `ch`, else null.
HFONT font_with(HDC dc, const LOGFONTW& lf, wchar_t ch) {
    HFONT font = CreateFontIndirectW(&lf);
    if (font != nullptr && !has_glyph(dc, font, ch)) {
        DeleteObject(font);
        font = nullptr;
    }
    return font;
}

struct Search {
    HDC dc;
    LOGFONTW lf;   // the height and weight asked for; the face of each family tried
    wchar_t ch;
    uint32_t tried;
    HFONT found;
};

// Whether two face names are the same; both are zero-terminated within
// LF_FACESIZE units.
bool same_face(const wchar_t* a, const wchar_t* b) {
    while (*a == *b && *a != 0) a++, b++;
    return *a == *b;
}

int CALLBACK try_family(const LOGFONTW* family, const TEXTMETRICW*, DWORD type, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    // A family comes once per character set; a raster font has no glyphs at
    // other heights, and '@' names the vertical forms of a family.
    if (same_face(family->lfFaceName, search.lf.lfFaceName) || (type & RASTER_FONTTYPE) != 0 ||
        family->lfFaceName[0] == L'@') {
        return 1;
    }
    __builtin_memcpy(search.lf.lfFaceName, family->lfFaceName, sizeof search.lf.lfFaceName);
    search.lf.lfCharSet = family->lfCharSet;
    search.found = font_with(search.dc, search.lf, search.ch);
    return search.found == nullptr && ++search.tried < kMaxFamiliesTried;
}

// A font of the system with a glyph for `ch`, `height` pixels high, or null:
// the one the font mapper gives for the character's script, else the first
// installed family that has it.
HFONT search_font(HDC dc, wchar_t ch, int32_t height) {
    Search search{};
    search.dc = dc;
    search.ch = ch;
    search.lf.lfHeight = height;
    search.lf.lfWeight = FW_NORMAL;
    search.lf.lfCharSet = charset_of(ch);
    if (search.lf.lfCharSet != DEFAULT_CHARSET && (search.found = font_with(dc, search.lf, ch)) != nullptr) {
        return search.found;
    }
    LOGFONTW every{};
    every.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(dc, &every, try_family, reinterpret_cast<LPARAM>(&search), 0);
    return search.found;
}

// What one draw_cells call knows of its text and its fonts.
struct Drawing {
    HDC dc;
    int32_t font_number;
    const char16_t* units;
    int32_t y;
    int32_t line_height;
    const RECT* clip;
    int32_t height;                // of the cell font, looked up on the first fallback
    INT advance[kChunk];           // of the units of the segment being built
};

// The kept fallback for `cp`, searched for and kept on first need: for its
// whole range, or for itself alone when the range's font lacks it.
HGDIOBJ fallback_for(Drawing& drawing, uint32_t cp) {
    FontRecord* font_record = find_font_record(drawing.font_number);
    if (font_record == nullptr) return nullptr;
    if (drawing.height == 0) {
        TEXTMETRICW tm;
        drawing.height = GetTextMetricsW(drawing.dc, &tm) ? tm.tmHeight : drawing.line_height;
    }
    uintptr_t kept = 0;
    uint32_t first = cp & ~0xFFu, last = cp | 0xFFu;
    if (find_fallback_font(font_record, cp, drawing.height, &kept)) {
        HGDIOBJ font = gdi_object_of(kept);
        if (font == nullptr || has_glyph(drawing.dc, font, static_cast<wchar_t>(cp))) return font;
        first = last = cp;
    }
    HFONT found = search_font(drawing.dc, static_cast<wchar_t>(cp), drawing.height);
    if (!keep_fallback_font(font_record, first, last, drawing.height, value_of(found)) && found != nullptr) {
        DeleteObject(found);
        found = nullptr;
    }
    return found;
}

// The font for a character of one cell or two: null for the cell font.
// Control characters and surrogates keep the cell font's glyph for them, as
// does a character no font of the system has.
HGDIOBJ font_for(Drawing& drawing, const CellChar& c) {
    const uint32_t cp = c.code_point;
    if (cp < 0xA0 || c.units != 1 || is_surrogate(cp) ||
        has_glyph(drawing.dc, nullptr, static_cast<wchar_t>(cp))) {
        return nullptr;
    }
    return fallback_for(drawing, cp);
}

// The font for a character of no cell: that of the character before it,
// which it is drawn over, when that font has its glyph. Else it is not
// drawn: a box for it would cover the next cell.
HGDIOBJ mark_font_for(Drawing& drawing, const CellChar& c, HGDIOBJ before) {
    return before != kNotDrawn && (c.units != 1 || has_glyph(drawing.dc, before, static_cast<wchar_t>(c.code_point)))
               ? before
               : kNotDrawn;
}

// Draws units [from, to), whose advances are drawing.advance, from x on.
void draw_segment(Drawing& drawing, HGDIOBJ font, uint32_t from, uint32_t to, int32_t x) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(drawing.units);
    if (font == kNotDrawn) return;
    if (font == nullptr) {
        ExtTextOutW(drawing.dc, x, drawing.y, ETO_CLIPPED, drawing.clip, text + from, to - from, drawing.advance);
        return;
    }
    HGDIOBJ old = SelectObject(drawing.dc, font);
    for (uint32_t at = from; at < to;) {
        uint32_t end = at + 1;   // the character and the marks drawn over it
        while (end < to && drawing.advance[end - from] == 0) end++;
        const int32_t width = drawing.advance[at - from];
        SIZE own{};
        GetTextExtentPoint32W(drawing.dc, text + at, 1, &own);
        // The clip is the row's: only its sides can cut the cells.
        RECT cells{x > drawing.clip->left ? x : drawing.clip->left, drawing.y,
                   x + width < drawing.clip->right ? x + width : drawing.clip->right, drawing.y + drawing.line_height};
        ExtTextOutW(drawing.dc, own.cx < width ? x + (width - own.cx) / 2 : x, drawing.y, ETO_CLIPPED | ETO_OPAQUE,
                    &cells, text + at, end - at, nullptr);
        x += width;
        at = end;
    }
    SelectObject(drawing.dc, old);
}

}  // namespace

void draw_cells(HDC dc, int32_t font_number, int32_t x, int32_t y, const RECT& clip, const char16_t* units,
                uint32_t n, int32_t cell_width, int32_t line_height) {
    Drawing drawing;
    drawing.dc = dc;
    drawing.font_number = font_number;
    drawing.units = units;
    drawing.y = y;
    drawing.line_height = line_height;
    drawing.clip = &clip;
    drawing.height = 0;
    HGDIOBJ font = nullptr;
    uint32_t from = 0;
    int32_t from_x = x;
    for (uint32_t at = 0; at < n;) {
        const CellChar c = cell_char_at(units, n, at);
        HGDIOBJ its = c.cells == 0 ? mark_font_for(drawing, c, font) : font_for(drawing, c);
        if (at > from && (its != font || at + c.units - from > kChunk)) {
            draw_segment(drawing, font, from, at, from_x);
            from = at;
            from_x = x;
        }
        font = its;
        drawing.advance[at - from] = static_cast<INT>(c.cells) * cell_width;
        if (c.units == 2) drawing.advance[at + 1 - from] = 0;
        x += static_cast<int32_t>(c.cells) * cell_width;
        at += c.units;
    }
    if (n > from) draw_segment(drawing, font, from, n, from_x);
}

}  // namespace textwin
