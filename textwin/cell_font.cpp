// The box's cell font and the DPI it is measured at: the text font (font
// record kTextFontNumber) made once and kept in the font list, a copy scaled
// for each other DPI, and the cell it gives, so the text has the same
// physical size on every screen.
#include "textwin/internal.h"

#include "runtime/errors.h"

namespace textwin {
namespace {

constexpr int32_t kTextFontNumber = 2;
// The DPI the font's own cell is measured at.
constexpr uint32_t kBaseDpi = 96;

// A font's cell is a few dozen pixels and a DPI a few hundred: 32 bits hold
// their product.
int32_t scaled(int32_t pixels, uint32_t dpi) {
    return static_cast<int32_t>((static_cast<uint32_t>(pixels) * dpi + kBaseDpi / 2) / kBaseDpi);
}

// The text font as its LOGFONT asks, with the height left to the font
// mapper: made by the first box and kept in the font record for every later
// one. Two window threads may race here; the loser's handle goes.
HGDIOBJ base_font(FontRecord* font) {
    if (font->font_handle == 0) {
        static_assert(sizeof(LOGFONTW) == sizeof(LogFontW), "LOGFONTW mirror");
        LOGFONTW lf;
        __builtin_memcpy(&lf, &font->logfont, sizeof lf);
        lf.lfHeight = 0;
        HFONT made = CreateFontIndirectW(&lf);
        uintptr_t expected = 0;
        if (made != nullptr && !__atomic_compare_exchange_n(&font->font_handle, &expected, value_of(made), false,
                                                            __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            DeleteObject(made);
        }
    }
    return gdi_object_of(font->font_handle);
}

// The text font for another DPI than 96: its cell is the 96-DPI cell
// `at96` scaled, and it is kept beside the 96-DPI handle for later boxes
// at that DPI (two racing window threads may both keep one).
HGDIOBJ font_for_dpi(FontRecord* font, uint32_t dpi, const TEXTMETRICW& at96) {
    uintptr_t kept = find_scaled_font(font, dpi);
    if (kept != 0) return gdi_object_of(kept);
    LOGFONTW lf;
    __builtin_memcpy(&lf, &font->logfont, sizeof lf);
    // The width too: the mapper alone would round it away from the scale.
    lf.lfHeight = scaled(at96.tmHeight, dpi);
    lf.lfWidth = scaled(at96.tmAveCharWidth, dpi);
    HFONT made = CreateFontIndirectW(&lf);
    if (made != nullptr && !keep_scaled_font(font, dpi, value_of(made))) {
        DeleteObject(made);
        made = nullptr;
    }
    return made;
}

// Selects the text font, for `dpi`, into `dc` and measures its cell: the
// 96-DPI cell, scaled for another DPI. The font `dc` held before goes to
// *saved, left null when not even the 96-DPI font could be selected.
// Returns 0, or kErrInvalidCall when the font or a selection is missing.
uint32_t select_cell_font(FontRecord* font, HDC dc, uint32_t dpi, HGDIOBJ* saved, CellMetrics* cell) {
    HGDIOBJ base = base_font(font);
    HGDIOBJ old = base != nullptr ? SelectObject(dc, base) : nullptr;
    if (old == nullptr || old == HGDI_ERROR) return kErrInvalidCall;
    *saved = old;
    TEXTMETRICW tm;
    if (!GetTextMetricsW(dc, &tm)) return kErrInvalidCall;
    if (dpi != kBaseDpi) {
        HGDIOBJ scaled_font = font_for_dpi(font, dpi, tm);
        old = scaled_font != nullptr ? SelectObject(dc, scaled_font) : nullptr;
        if (old == nullptr || old == HGDI_ERROR) return kErrInvalidCall;
    }
    *cell = CellMetrics{scaled(tm.tmAveCharWidth, dpi), scaled(tm.tmHeight, dpi), scaled(tm.tmExternalLeading, dpi)};
    return 0;
}

}  // namespace

// GetDpiForWindow is looked up, as older systems lack it; they keep the
// 96-DPI cell.
uint32_t window_dpi(HWND frame) {
    HMODULE user32 = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, L"user32.dll", &user32)) return kBaseDpi;
    auto dpi_for = reinterpret_cast<UINT(WINAPI*)(HWND)>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    const UINT dpi = dpi_for != nullptr ? dpi_for(frame) : 0;
    return dpi != 0 ? dpi : kBaseDpi;
}

uint32_t select_text_font(WindowRecord* record, uint32_t dpi) {
    FontRecord* font = find_font_record(kTextFontNumber);
    if (font == nullptr) return kErrInvalidCall;
    HGDIOBJ saved = nullptr;
    CellMetrics cell{};
    const uint32_t failed = select_cell_font(font, dc_of(record), dpi, &saved, &cell);
    if (saved != nullptr) {
        record->saved_font = value_of(saved);
        __atomic_fetch_add(&font->use_count, 1, __ATOMIC_SEQ_CST);
        record->font_number = kTextFontNumber;
    }
    if (failed != 0) return failed;
    record->char_width = cell.width;
    record->char_height = cell.height;
    record->ext_leading = cell.ext_leading;
    return 0;
}

// A box measures its cell at its frame's DPI; for a window of this process
// that is the screen's, which a DC made for the screen has. (Not the
// screen's own DC: the system keeps one made for every thread that asks at
// once, which a count of drawing objects sees as left.)
bool measure_screen_cell(CellMetrics* cell) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    FontRecord* font = find_font_record(kTextFontNumber);
    HGDIOBJ saved = nullptr;
    const bool measured =
        font != nullptr && select_cell_font(font, dc, dpi > 0 ? static_cast<uint32_t>(dpi) : kBaseDpi, &saved, cell) == 0;
    if (saved != nullptr) SelectObject(dc, saved);
    DeleteDC(dc);
    return measured;
}

}  // namespace textwin
