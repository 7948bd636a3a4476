// Pixels read back for the Win32 tests: a window's or a memory DC's pixels
// as 0x00RRGGBB values, and where two images differ.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

namespace tw {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;   // 0x00RRGGBB, top-down
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};

inline uint32_t rgb_of(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Copies a DC's pixels, rows [top, top + height), through a 32-bit
// top-down DIB.
inline Image read_dc(HDC src, int width, int height, int top = 0) {
    Image img;
    img.width = width;
    img.height = height;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(src);
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, src, 0, top, SRCCOPY);
    GdiFlush();
    if (bits != nullptr) {
        img.px.resize(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < img.px.size(); ++i) img.px[i] = static_cast<uint32_t*>(bits)[i] & 0xFFFFFF;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return img;
}

// What the window shows on screen, read back from its window DC.
inline Image capture(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    HDC dc = GetDC(hwnd);
    Image img = read_dc(dc, rc.right, rc.bottom);
    ReleaseDC(hwnd, dc);
    return img;
}

// Rows of pixels that differ, for a readable failure.
inline std::string differing_rows(const Image& got, const Image& want) {
    if (got.width != want.width || got.height != want.height) {
        return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) + " vs " +
               std::to_string(want.width) + "x" + std::to_string(want.height);
    }
    std::string out;
    int shown = 0;
    for (int y = 0; y < got.height; ++y) {
        for (int x = 0; x < got.width; ++x) {
            if (got.at(x, y) != want.at(x, y)) {
                if (shown++ < 5) out += "y=" + std::to_string(y) + " first x=" + std::to_string(x) + "; ";
                break;
            }
        }
    }
    return out;
}

// How many pixels differ; -1 when the sizes do.
inline long differing_pixels(const Image& got, const Image& want) {
    if (got.width != want.width || got.height != want.height) return -1;
    long n = 0;
    for (size_t i = 0; i < got.px.size(); ++i) n += got.px[i] != want.px[i];
    return n;
}

}  // namespace tw
