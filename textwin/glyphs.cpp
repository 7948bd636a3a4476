#include "textwin/glyphs.h"
#include "strings/cells.h"
void draw_cells(HDC dc, int32_t x, int32_t y, const RECT& clip, const char16_t* units, uint32_t n,
                int32_t cell_width, int32_t) {
    INT dx[512];
    uint32_t done = 0;
    while (done < n) {
        uint32_t k = 0;
        int32_t x0 = x;
        while (done + k < n && k < 510) {
            CellChar c = cell_char_at(units, n, done + k);
            dx[k] = static_cast<INT>(c.cells) * cell_width;
            if (c.units == 2) dx[k + 1] = 0;
            x += dx[k];
            k += c.units;
        }
        ExtTextOutW(dc, x0, y, ETO_CLIPPED, &clip, reinterpret_cast<const wchar_t*>(units + done), k, dx);
        done += k;
    }
}
