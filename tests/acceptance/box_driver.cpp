#include "box_driver.h"

#include "../win32_xdotool.h"

#include <tlhelp32.h>

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

HWND text_area(HWND frame) { return GetWindow(frame, GW_CHILD); }

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

tw::Image expected_text_area(const std::vector<std::wstring>& rows, int width, int height) {
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
    const int line = cell_size().line_height;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int y = static_cast<int>(i) * line;
        RECT clip{0, y, width, y + line};
        ExtTextOutW(mem, 0, y, ETO_CLIPPED, &clip, rows[i].data(), static_cast<UINT>(rows[i].size()), nullptr);
    }
    tw::Image img = tw::read_dc(mem, width, height);
    SelectObject(mem, old_font);
    SelectObject(mem, old_bmp);
    DeleteObject(font);
    DeleteObject(bmp);
    DeleteDC(mem);
    return img;
}

int gdi_object_count() {
    // The PEB's GdiSharedHandleTable (x86 offset 0x94): 0x10000 entries of
    // 24 bytes: Object (8), Owner (4), Unique (2), Type (1), Flags (1),
    // UserPointer (8); Type 0 = free. The table is the process's own.
    // GetGuiResources counts nothing under Wine, the table does.
    uint8_t* peb = nullptr;
#if defined(__i386__)
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
#endif
    if (!peb) return -1;
    uint8_t* table = *reinterpret_cast<uint8_t**>(peb + 0x94);
    if (!table) return -1;
    int live = 0;
    for (int i = 0; i < 0x10000; i++)
        if (table[i * 24 + 14] != 0) live++;
    return live;
}

int thread_count() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == GetCurrentProcessId()) n++;
    CloseHandle(snap);
    return n;
}

namespace {
BOOL CALLBACK count_child(HWND, LPARAM lp) {
    ++*reinterpret_cast<int*>(lp);
    return TRUE;
}
BOOL CALLBACK count_window(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(lp);
        EnumChildWindows(hwnd, count_child, lp);
    }
    return TRUE;
}
}  // namespace

int window_count() {
    int n = 0;
    EnumWindows(count_window, reinterpret_cast<LPARAM>(&n));
    return n;
}

}  // namespace box
