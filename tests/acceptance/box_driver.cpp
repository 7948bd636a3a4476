#include "box_driver.h"

#include "../win32_xdotool.h"

#include <cstdio>
#include <cstdlib>

namespace box {

namespace {

struct FindData {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK match_box(HWND hwnd, LPARAM lp) {
    auto* d = reinterpret_cast<FindData*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (wcscmp(cls, L"VORANTEXT") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    if (d->caption) {
        int n = GetWindowTextLengthW(hwnd);
        std::wstring text(n + 1, L'\0');
        GetWindowTextW(hwnd, &text[0], n + 1);
        text.resize(n);
        if (text != d->caption) return TRUE;
    }
    d->found = hwnd;
    return FALSE;
}

}  // namespace

HWND find_box(const wchar_t* caption, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        FindData d{caption, nullptr};
        EnumWindows(match_box, reinterpret_cast<LPARAM>(&d));
        if (d.found) return d.found;
        Sleep(10);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

// The text area is the frame's control 0; a scroll bar may be beside it.
HWND text_area(HWND frame) { return GetDlgItem(frame, 0); }

bool wait_gone(HWND hwnd, DWORD ms) {
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= ms) return false;
        Sleep(5);
    }
    return true;
}

bool press(HWND frame, const std::vector<std::string>& keys) {
    std::wstring args = L"--delay 20";
    for (const std::string& k : keys) args += L" " + std::wstring(k.begin(), k.end());
    return type_keys(frame, args);
}

bool wheel(HWND frame, int notches) {
    if (!wait_for_focus(frame, 20000)) return false;
    // Buttons 4 and 5 are the wheel's notches, up and down, turned with the
    // pointer on the middle of the text area (screen and X coordinates are
    // the same here).
    RECT rc;
    GetWindowRect(text_area(frame), &rc);
    wchar_t args[96];
    swprintf(args, 96, L"mousemove --sync %ld %ld click --repeat %d %d", (rc.left + rc.right) / 2,
             (rc.top + rc.bottom) / 2, abs(notches), notches > 0 ? 4 : 5);
    return run_xdotool(args, 20000) == 0;
}

bool still_waiting(Call& c, HWND frame, DWORD ms) {
    return !c.wait(ms) && IsWindow(frame);
}

// The description the library's text font is made from: font record 2,
// created with the height left to the font mapper.
HFONT create_text_font() {
    LOGFONTW lf = {};
    lf.lfHeight = 0;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH;
    wcscpy(lf.lfFaceName, L"Lucida Console");
    return CreateFontIndirectW(&lf);
}

Cell cell_size() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HFONT font = create_text_font();
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return Cell{tm.tmAveCharWidth, tm.tmHeight + tm.tmExternalLeading};
}

tw::Image expected_text_area(const std::vector<std::wstring>& rows, int width, int height, int (*cells_of)(wchar_t)) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old_bmp = SelectObject(mem, bmp);
    RECT all{0, 0, width, height};
    FillRect(mem, &all, GetSysColorBrush(COLOR_BTNFACE));
    HFONT font = create_text_font();
    HGDIOBJ old_font = SelectObject(mem, font);
    SetTextColor(mem, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(mem, GetSysColor(COLOR_BTNFACE));
    SetBkMode(mem, OPAQUE);
    const Cell cell = cell_size();
    const int line = cell.line_height;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int y = static_cast<int>(i) * line;
        RECT clip{0, y, width, y + line};
        std::vector<INT> advances;
        for (wchar_t ch : rows[i]) advances.push_back(cells_of ? cells_of(ch) * cell.width : 0);
        ExtTextOutW(mem, 0, y, ETO_CLIPPED, &clip, rows[i].data(), static_cast<UINT>(rows[i].size()),
                    cells_of ? advances.data() : nullptr);
    }
    tw::Image img = tw::read_dc(mem, width, height);
    SelectObject(mem, old_font);
    SelectObject(mem, old_bmp);
    DeleteObject(font);
    DeleteObject(bmp);
    DeleteDC(mem);
    return img;
}

}  // namespace box
