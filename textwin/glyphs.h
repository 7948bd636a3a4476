// Drawing text on the grid of cells: every character at its own cells,
// whatever the font that draws it advances by, and from a font of the
// system that has its glyph when the cell font has none.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace textwin {

// Draws units[0, n) with each character at its cells: the run's first cell
// at (x, y), a character of k cells taking k * cell_width, one of none drawn
// over the character before it; clipped to `clip`. The cell font is the one
// selected into `dc`, made from font record `font_number`; a character it has
// no glyph for is drawn with a font of the system that has one, of the cell's
// height, top-aligned and centred in its cells. The cell font's runs fill
// their text's background as ExtTextOutW does; a fallback character fills
// its cells with the background colour. The DC's text alignment is the
// default one, top-left, the current position not used.
void draw_cells(HDC dc, int32_t font_number, int32_t x, int32_t y, const RECT& clip, const char16_t* units,
                uint32_t n, int32_t cell_width, int32_t line_height);

}  // namespace textwin
