// Opening the text window and the window thread: open_text_window on the
// calling thread, and the thread that holds the library while it runs,
// registers the class, makes both windows, their records and the back
// buffer, publishes current_text_window and runs the message loop. It may
// touch the registry and the font list, and writes the records only before
// they are published.
#include "textwin/textwin.h"

#include "platform/platform.h"
#include "runtime/errors.h"
#include "strings/dynstr.h"
#include "textwin/internal.h"

namespace textwin {
namespace {

constexpr uint32_t kStyleNoCaption = 0x80820000u;   // WS_POPUP | WS_BORDER | WS_MINIMIZEBOX
constexpr uint32_t kStyleCaption = 0x00C00000u;     // WS_CAPTION
constexpr uint32_t kTextAreaStyle = 0x5000050Du;    // child, visible, owner-drawn, notify
constexpr uint32_t kFrameFlagsRegistered = 0x80010002u;
constexpr uint32_t kFrameFlags = 0x80010402u;
constexpr uint32_t kTextAreaFlags = 0x20000802u;
constexpr int32_t kTextFontNumber = 2;
constexpr int32_t kPlaceholderSize = 50;
// Past this a GDI coordinate or the back buffer's size is out of reach.
constexpr int64_t kMaxPixels = 0x7FFF;
constexpr intptr_t kResultPending = -1;
const wchar_t kClassName[] = L"VORANTEXT";

// Handed to the window thread; lives in open_text_window's frame.
struct OpenBlock {
    uint32_t style;
    int32_t columns;
    int32_t rows;
    int32_t top;
    int32_t left;
    volatile intptr_t result;   // -1 while the window thread works
    const char16_t* caption;
    uint32_t thread_id;
    uintptr_t thread_handle;
};

// Selects font record 2 into the record's mem_dc and takes the cell metrics.
// Returns 0, or 5 when the record, the font or the selection is missing.
uint32_t select_text_font(WindowRecord* r) {
    FontRecord* font = find_font_record(kTextFontNumber);
    if (font == nullptr) return kErrInvalidCall;
    if (font->font_handle == 0) {
        static_assert(sizeof(LOGFONTW) == sizeof(LogFontW), "LOGFONTW mirror");
        LOGFONTW lf;
        __builtin_memcpy(&lf, &font->logfont, sizeof lf);
        lf.lfHeight = 0;
        uintptr_t made = reinterpret_cast<uintptr_t>(CreateFontIndirectW(&lf));
        if (made == 0) return kErrInvalidCall;
        uintptr_t expected = 0;
        // Two window threads may race here; the loser's handle goes.
        if (!__atomic_compare_exchange_n(&font->font_handle, &expected, made, false,
                                         __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            DeleteObject(reinterpret_cast<HGDIOBJ>(made));
        }
    }
    HGDIOBJ old = SelectObject(dc_of(r), reinterpret_cast<HGDIOBJ>(font->font_handle));
    if (old == nullptr || old == HGDI_ERROR) return kErrInvalidCall;
    r->saved_font = reinterpret_cast<uintptr_t>(old);
    __atomic_fetch_add(&font->use_count, 1, __ATOMIC_SEQ_CST);
    r->font_number = kTextFontNumber;
    TEXTMETRICW tm;
    if (!GetTextMetricsW(dc_of(r), &tm)) return kErrInvalidCall;
    r->char_width = tm.tmAveCharWidth;
    r->char_height = tm.tmHeight;
    r->ext_leading = tm.tmExternalLeading;
    SetTextAlign(dc_of(r), TA_UPDATECP);
    return 0;
}

// Opens take turns and the atom is set before the result is written, so
// two first opens never both find the class unregistered.
bool register_text_class() {
    if (text_state().text_class_atom != 0) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = frame_proc;
    wc.hInstance = reinterpret_cast<HINSTANCE>(g_runtime.module_handle);
    wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32516));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    ATOM atom = RegisterClassExW(&wc);
    if (atom == 0) return false;
    text_state().text_class_atom = atom;
    return true;
}

// A stop after the frame exists: what was made goes with the frame, whose
// WM_NCDESTROY destroys the registry records and the back buffer.
DWORD stop_open(volatile intptr_t* result, HWND frame, HWND area, HDC window_dc) {
    if (window_dc != nullptr) ReleaseDC(area, window_dc);
    if (frame != nullptr) DestroyWindow(frame);
    __atomic_store_n(result, 0, __ATOMIC_RELEASE);
    return 0;
}

DWORD WINAPI window_thread_main(void* param) {
    OpenBlock* block = static_cast<OpenBlock*>(param);
    const uint32_t style_in = block->style;
    const int32_t columns = block->columns;
    const int32_t rows = block->rows;
    const int32_t top = block->top;
    const int32_t left = block->left;
    const wchar_t* caption = reinterpret_cast<const wchar_t*>(block->caption);
    volatile intptr_t* result = &block->result;
    HINSTANCE module = reinterpret_cast<HINSTANCE>(g_runtime.module_handle);

    if (!register_text_class()) return stop_open(result, nullptr, nullptr, nullptr);
    uint32_t style = style_in;
    if (style == 0) style = kStyleNoCaption | (caption[0] != 0 ? kStyleCaption : 0);
    if (load_current() != nullptr) return stop_open(result, nullptr, nullptr, nullptr);

    HWND frame = CreateWindowExW(0, kClassName, caption, style, left, top, kPlaceholderSize,
                                 kPlaceholderSize, nullptr, nullptr, module, nullptr);
    if (frame == nullptr) return stop_open(result, nullptr, nullptr, nullptr);
    WindowRecord* frame_rec =
        register_window(reinterpret_cast<uintptr_t>(frame), 0, kFrameFlagsRegistered, kTypeFrame);
    if (frame_rec == nullptr) return stop_open(result, frame, nullptr, nullptr);
    frame_rec->flags = kFrameFlags;
    frame_rec->width = columns;
    frame_rec->height = rows;

    HWND area = CreateWindowExW(0, L"STATIC", nullptr, kTextAreaStyle, 0, 0, frame_rec->width,
                                frame_rec->height, frame, nullptr, module, nullptr);
    if (area == nullptr) return stop_open(result, frame, nullptr, nullptr);
    WindowRecord* r = register_window(reinterpret_cast<uintptr_t>(area),
                                      reinterpret_cast<uintptr_t>(frame), kTextAreaFlags,
                                      kTypeTextArea);
    if (r == nullptr) return stop_open(result, frame, area, nullptr);
    r->static_proc = static_cast<uintptr_t>(
        SetWindowLongPtrW(area, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(text_area_proc)));
    HDC window_dc = GetDC(area);
    if (window_dc == nullptr) return stop_open(result, frame, area, nullptr);

    RECT client{0, 0, 0, 0};
    GetClientRect(area, &client);
    r->width = client.right;
    r->height = client.bottom;
    r->mem_dc = reinterpret_cast<uintptr_t>(CreateCompatibleDC(window_dc));
    // A window whose cells have no size must never reach the text
    // operations (they divide by the cell width), so a font that cannot be
    // selected, or a size that is not positive or out of reach, fails the
    // open like any other creation step.
    if (r->mem_dc == 0 || select_text_font(r) != 0 || r->char_width <= 0 || line_height(r) <= 0) {
        return stop_open(result, frame, area, window_dc);
    }
    int64_t width = int64_t{columns} * r->char_width;
    int64_t height = int64_t{rows} * line_height(r);
    if (columns <= 0 || rows <= 0 || width > kMaxPixels || height > kMaxPixels) {
        return stop_open(result, frame, area, window_dc);
    }

    RECT outer, inner;
    GetWindowRect(frame, &outer);
    GetClientRect(frame, &inner);
    int32_t extra_x = (outer.right - outer.left) - inner.right;
    int32_t extra_y = (outer.bottom - outer.top) - inner.bottom;
    r->height = static_cast<int32_t>(height);
    r->width = static_cast<int32_t>(width);
    SetWindowPos(frame, HWND_TOP, 0, 0, r->width + extra_x, r->height + extra_y,
                 SWP_NOMOVE | SWP_NOCOPYBITS);
    SetWindowPos(area, HWND_TOP, 0, 0, r->width, r->height, SWP_NOMOVE | SWP_NOCOPYBITS);

    HBITMAP back_buffer = CreateCompatibleBitmap(window_dc, r->width, r->height);
    r->saved_bitmap = reinterpret_cast<uintptr_t>(SelectObject(dc_of(r), back_buffer));
    RECT all{0, 0, r->width, r->height};
    FillRect(dc_of(r), &all, GetSysColorBrush(COLOR_BTNFACE));
    ReleaseDC(area, window_dc);
    SetTextColor(dc_of(r), r->text_color);
    SetBkColor(dc_of(r), r->back_color);
    SetBkMode(dc_of(r), OPAQUE);

    ShowWindow(frame, SW_SHOW);
    Sleep(20);
    SetFocus(area);

    // The handle first, the reference second, both under the text lock: the
    // open that has seen the handle and then takes the lock once finds the
    // reference set, and only then lets the next open close this window.
    lock_text();
    __atomic_store_n(result, reinterpret_cast<intptr_t>(area), __ATOMIC_RELEASE);
    publish_current(r);
    unlock_text();

    MSG msg;
    for (;;) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(1);
            continue;
        }
        if (msg.message == WM_QUIT) return static_cast<DWORD>(msg.wParam);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The thread's start: it holds the library for as long as it runs, since a
// host may free the library the moment its call returns, while this thread
// is still on its way out of the message loop. FreeLibraryAndExitThread lets
// go of it only once no code of the library runs here any more.
DWORD WINAPI window_thread_start(void* param) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&window_thread_start), &self)) {
        // Without the hold a window would outlive a freed image; no window.
        __atomic_store_n(&static_cast<OpenBlock*>(param)->result, 0, __ATOMIC_RELEASE);
        return 0;
    }
    FreeLibraryAndExitThread(self, window_thread_main(param));
}

}  // namespace
}  // namespace textwin

using namespace textwin;

uintptr_t open_text_window(ProcFrame& f, uint32_t style, int32_t columns, int32_t rows,
                           int32_t top, int32_t left) {
    take_open_turn();
    text_close(kAnyTextWindow);
    do {
        Sleep(1);
    } while (load_current() != nullptr);

    OpenBlock block{};
    block.style = style;
    block.columns = columns;
    block.rows = rows;
    block.top = top;
    block.left = left;
    block.result = kResultPending;
    const char16_t* caption = nullptr;
    str_len_wide(str_unborrow(tmp_slot(f, 0)), &caption);
    block.caption = caption;

    DWORD thread_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, window_thread_start, &block, 0, &thread_id);
    block.thread_id = thread_id;
    block.thread_handle = reinterpret_cast<uintptr_t>(thread);
    intptr_t result = 0;
    if (thread != nullptr) {
        // Still a spin, but one that lets the window thread, the Wine or X
        // server it waits on, have the core: on two cores a bare spin slows
        // the very creation it waits for.
        for (uint32_t spins = 0;
             (result = __atomic_load_n(&block.result, __ATOMIC_ACQUIRE)) == kResultPending; spins++) {
            __builtin_ia32_pause();
            if ((spins & 63) == 63) SwitchToThread();
        }
        // Nothing waits on the thread: it ends with its window.
        CloseHandle(thread);
    }
    if (result != 0) {
        lock_text();   // the window thread published under it
        unlock_text();
    }
    end_open_turn();
    // Dropped only now: an owned caption would otherwise be freed while the
    // window thread still reads it.
    tmp_drop(f);
    if (result == 0) return 0;
    Sleep(40);
    return static_cast<uintptr_t>(result);
}
