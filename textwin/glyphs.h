// STAND-IN until the glyph drawing lands: each character at its cell.
#pragma once
#include <windows.h>
#include <stdint.h>
void draw_cells(HDC dc, int32_t x, int32_t y, const RECT& clip, const char16_t* units, uint32_t n,
                int32_t cell_width, int32_t line_height);
