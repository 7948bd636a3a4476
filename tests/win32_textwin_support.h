// What the text window tests share: the runtime attached once per process
// (the window class is process-wide), string helpers, windows found by class
// and caption, pixels read back, real key presses on the X display, and the
// process's live GDI objects, windows and threads counted.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "win32_pixels.h"
#include "win32_process_counts.h"
#include "win32_xdotool.h"
#include "strings/dynstr.h"
#include "textwin/glyphs.h"
#include "textwin/internal.h"
#include "textwin/textwin.h"

namespace tw {

constexpr DWORD kBound = 15000;   // every wait, in ms: generous, since only a failure waits it out

inline void attach_runtime_once() {
    static bool attached = false;
    if (!attached) {
        attached = library_entry(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)),
                                 kProcessAttach, 0) == 1;
    }
    ASSERT_TRUE(attached);
}

inline const uint32_t kNoLocals[] = {0};
inline const ProcDescriptor kNoLocalsDescriptor{kNoLocals};

struct Frame {
    ProcFrame f;
    Frame() { frame_init(f, &kNoLocalsDescriptor); }
    ~Frame() { EXPECT_EQ(f.depth, 0) << "temporaries left unbalanced"; }
};

inline StrHandle make_wide(const std::u16string& s) {
    StrHandle h = str_alloc_wide(static_cast<uint32_t>(s.size()));
    if (h) memcpy(reinterpret_cast<void*>(h), s.data(), s.size() * 2);
    return h;
}

inline std::u16string wide_of(StrHandle h) {
    const char16_t* d;
    uint32_t n = str_len_wide(h, &d);
    return std::u16string(d, n);
}

// The export's way: the caption pushed as a borrowed reference.
inline HWND open_window(const std::u16string& caption, int columns, int rows, int top, int left) {
    Frame fr;
    StrHandle h = make_wide(caption);
    tmp_push_ref(fr.f, h);
    uintptr_t area = open_text_window(fr.f, 0, columns, rows, top, left);
    str_free(h);
    return reinterpret_cast<HWND>(area);
}

inline void print(const std::u16string& s, uintptr_t window = kAnyTextWindow) {
    Frame fr;
    tmp_push_owned(fr.f, make_wide(s));
    text_print(fr.f, window);
}

inline std::u16string wait_key(uintptr_t window = kAnyTextWindow) {
    Frame fr;
    text_wait_key(fr.f, window);
    std::u16string s = wide_of(tmp_slot(fr.f, 0));
    tmp_drop(fr.f);
    return s;
}

inline WindowRecord* current() { return g_runtime.shared.text.current_text_window; }

inline int registry_size() {
    int n = 0;
    for (WindowRecord* r = g_runtime.shared.registry.head; r; r = r->next) ++n;
    return n;
}

// Polls `done` every ms until it holds or the bound passes.
template <class Fn>
bool eventually(Fn done, DWORD bound = kBound) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > bound) return false;
        Sleep(1);
    }
    return true;
}

// A thread running a test's lambda; the test waits for it within a bound.
struct ThreadBody {
    std::function<void()> fn;
};
inline DWORD WINAPI run_thread_body(void* p) {
    static_cast<ThreadBody*>(p)->fn();
    return 0;
}
inline HANDLE start_thread(ThreadBody* body) {
    return CreateThread(nullptr, 0, run_thread_body, body, 0, nullptr);
}

// Runs fn on a second thread, as user32's own tests look at a window, and
// waits for it within the bound.
inline void on_second_thread(std::function<void()> fn) {
    ThreadBody body{std::move(fn)};
    HANDLE t = start_thread(&body);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 4 * kBound), WAIT_OBJECT_0) << "second thread stuck";
    CloseHandle(t);
}

inline HWND find_frame(const wchar_t* caption) {
    HWND h = nullptr;
    eventually([&] { return (h = FindWindowW(L"VORANTEXT", caption)) != nullptr; });
    return h;
}

// --- pixels ---------------------------------------------------------------------

// The text drawn by the test itself with the window's font and colours: one
// (column, row, text) per run, each run drawn with one call as the window
// draws it.
struct Run {
    int column;
    int row;
    std::u16string text;
    // Drawn as the text window draws a run with characters that are not one
    // cell wide or that the font lacks: where such a run lands is what a
    // case asks, the drawing of it is the acceptance tests'.
    bool by_cells = false;
};

inline Image model(const WindowRecord* r, const std::vector<Run>& runs) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r->width, r->height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old_bmp = SelectObject(mem, bmp);
    RECT all{0, 0, r->width, r->height};
    FillRect(mem, &all, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old_font = SelectObject(mem, reinterpret_cast<HFONT>(find_font_record(2)->font_handle));
    SetTextColor(mem, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(mem, GetSysColor(COLOR_BTNFACE));
    SetBkMode(mem, OPAQUE);
    int line = r->char_height + r->ext_leading;
    for (const Run& run : runs) {
        int x = run.column * r->char_width;
        int y = run.row * line;
        RECT clip{x, y, r->width, y + line};
        if (run.by_cells) {
            textwin::draw_cells(mem, r->font_number, x, y, clip, run.text.data(),
                                static_cast<uint32_t>(run.text.size()), r->char_width, line);
            continue;
        }
        ExtTextOutW(mem, x, y, ETO_CLIPPED, &clip, reinterpret_cast<const wchar_t*>(run.text.data()),
                    static_cast<UINT>(run.text.size()), nullptr);
    }
    Image img = read_dc(mem, r->width, r->height);
    SelectObject(mem, old_font);
    SelectObject(mem, old_bmp);
    DeleteObject(bmp);
    DeleteDC(mem);
    return img;
}

// --- keys -----------------------------------------------------------------------

// Real key presses into the text area `area` (xdotool's key arguments),
// typed once it has the focus: whether that happened within the bound.
inline bool keys(HWND area, const std::wstring& args) { return type_keys(GetParent(area), args, 4 * kBound); }

// Fixture: runtime attached, no text window before or after a test.
class TextWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        attach_runtime_once();
        text_close(kAnyTextWindow);
        ASSERT_TRUE(eventually([] { return current() == nullptr && registry_size() == 0; }));
    }
    void TearDown() override {
        text_close(kAnyTextWindow);
        EXPECT_TRUE(eventually([] { return registry_size() == 0; })) << "records left behind";
        EXPECT_EQ(current(), nullptr);
    }
};

}  // namespace tw
