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

// xdotool with `args` on the tests' X display: its exit code, or -1.
int xdotool(const std::string& args) {
    return run_xdotool(std::wstring(args.begin(), args.end()), 15000);
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
    // The X window behind the frame; the focus goes there so the keys reach
    // the text area as a user's would.
    auto xid = reinterpret_cast<uintptr_t>(GetPropW(frame, L"__wine_x11_whole_window"));
    if (xid) {
        char focus[64];
        std::snprintf(focus, sizeof focus, "windowfocus --sync %lu", (unsigned long)xid);
        if (xdotool(focus) != 0) return false;
    }
    for (const std::string& k : keys) {
        if (xdotool("key --delay 20 " + k) != 0) return false;
        Sleep(30);
    }
    return true;
}

bool still_waiting(Call& c, HWND frame, DWORD ms) {
    return !c.wait(ms) && IsWindow(frame);
}

Cell cell_size() {
    LOGFONTW lf = {};
    lf.lfHeight = 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcscpy(lf.lfFaceName, L"Lucida Console");
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return Cell{tm.tmAveCharWidth, tm.tmHeight + tm.tmExternalLeading};
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
