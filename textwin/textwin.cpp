// The text window: creation and window thread, window procedures, output,
// key input and closing.
//
// Record lifetime: the window thread frees the text area's record at the
// frame's WM_NCDESTROY, possibly while the calling thread is printing or
// waiting. The text lock closes that gap: the teardown clears
// current_text_window under the lock before it frees anything, and every
// text operation finds the record under the lock and touches it only while
// it holds the lock. The lock is never held across a message send (repaints
// and the close request are sent after it is let go), so the window thread,
// which takes it only briefly, always makes progress.
#include "textwin/textwin.h"

#include <windows.h>

#include "platform/platform.h"
#include "runtime/errors.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"

namespace {

constexpr uint32_t kStyleNoCaption = 0x80820000u;   // WS_POPUP | WS_BORDER | WS_MINIMIZEBOX
constexpr uint32_t kStyleCaption = 0x00C00000u;     // WS_CAPTION
constexpr uint32_t kTextAreaStyle = 0x5000050Du;    // child, visible, owner-drawn, notify
constexpr uint32_t kFrameFlagsRegistered = 0x80010002u;
constexpr uint32_t kFrameFlags = 0x80010402u;
constexpr uint32_t kTextAreaFlags = 0x20000802u;
constexpr WPARAM kCloseRequest = 0x1405;
constexpr UINT kBringToFront = 0x1400;
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

auto& text_state() { return g_runtime.shared.text; }
void lock_text() { spin_acquire(&text_state().text_lock); }
void unlock_text() { spin_release(&text_state().text_lock); }

// Under the text lock: the open text window's record, or null.
WindowRecord* open_record() {
    WindowRecord* r = text_state().current_text_window;
    return r != nullptr && r->type_code == kTypeTextArea ? r : nullptr;
}

void publish_current(WindowRecord* r) {
    __atomic_store_n(&text_state().current_text_window, r, __ATOMIC_RELEASE);
}

WindowRecord* load_current() {
    return __atomic_load_n(&text_state().current_text_window, __ATOMIC_ACQUIRE);
}

HDC dc_of(const WindowRecord* r) { return reinterpret_cast<HDC>(r->mem_dc); }
HWND hwnd_of(uintptr_t h) { return reinterpret_cast<HWND>(h); }
int32_t line_height(const WindowRecord* r) { return r->char_height + r->ext_leading; }

// A repaint asked for while the lock was held, sent once it is let go.
struct Refresh {
    HWND hwnd;
    RECT rect;
    bool wanted;
};

void refresh_rect(HWND hwnd, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RECT rc{left, top, right, bottom};
    InvalidateRect(hwnd, &rc, FALSE);
    UpdateWindow(hwnd);
}

void send_refresh(const Refresh& rf) {
    if (rf.wanted) {
        refresh_rect(rf.hwnd, rf.rect.left, rf.rect.top, rf.rect.right, rf.rect.bottom);
    }
}

void read_position(WindowRecord* r) {
    POINT p{0, 0};
    GetCurrentPositionEx(dc_of(r), &p);
    r->cur_x = p.x;
    r->cur_y = p.y;
}

void place_cursor(WindowRecord* r, int32_t x, int32_t y) {
    MoveToEx(dc_of(r), x, y, nullptr);
    r->cur_x = x;
    r->cur_y = y;
}

// Under the text lock. A scroll leaves its whole-area repaint in `out`.
void newline_locked(WindowRecord* r, Refresh* out) {
    int32_t line = line_height(r);
    int32_t next = r->cur_y + line;
    if (next != r->height) {
        place_cursor(r, 0, next);
        return;
    }
    place_cursor(r, 0, r->cur_y);
    BitBlt(dc_of(r), 0, 0, r->width, r->cur_y, dc_of(r), 0, line, SRCCOPY);
    RECT last_row{r->cur_x, r->cur_y, r->width, r->height};
    FillRect(dc_of(r), &last_row, GetSysColorBrush(COLOR_BTNFACE));
    *out = Refresh{hwnd_of(r->hwnd), RECT{0, 0, r->width, r->height}, true};
}

// Takes the key from `r` if it is still the open window named `hwnd`.
uint32_t take_key_from(WindowRecord* r, uintptr_t hwnd) {
    lock_text();
    WindowRecord* open = open_record();
    uint32_t value = 0;
    if (open != nullptr && open == r && open->hwnd == hwnd) {
        value = atomic_exchange32(&open->pending_char, 0u);
    }
    unlock_text();
    return value;
}

void push_key(ProcFrame& f, uint32_t value) {
    StrHandle h = 0;
    if (value != 0) {
        h = str_alloc_wide(1);
        if (h != 0) *reinterpret_cast<char16_t*>(h) = static_cast<char16_t>(value & 0xFFFF);
    }
    tmp_push_owned(f, h);
}

// --- window thread ---------------------------------------------------------------

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

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

    // The handle first, the reference second: the open call returns only
    // after its 40 ms pause, by which time the reference is set.
    __atomic_store_n(result, reinterpret_cast<intptr_t>(area), __ATOMIC_RELEASE);
    publish_current(r);

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

// --- window procedures -------------------------------------------------------------

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        HWND control = GetDlgItem(hwnd, static_cast<int>(item->CtlID));
        WindowRecord* r = nullptr;
        intptr_t type = static_cast<intptr_t>(
            read_window_field(reinterpret_cast<uintptr_t>(control), kFieldTypeCode, &r));
        if (r == nullptr || type != kTypeTextArea || (item->itemAction & ODA_DRAWENTIRE) == 0) {
            return FALSE;
        }
        // Serialised with the calling thread's drawing, so a copy never
        // shows a half-drawn row.
        lock_text();
        BitBlt(item->hDC, 0, 0, r->width, r->height, dc_of(r), 0, 0, SRCCOPY);
        unlock_text();
        return TRUE;
    }
    case WM_NCDESTROY: {
        // Cleared before the records go, under the lock, so no text
        // operation can still be using the text area's record when it is
        // freed. A frame that never got published (a failed open) leaves
        // another window's reference alone.
        lock_text();
        WindowRecord* current = text_state().current_text_window;
        if (current != nullptr && current->parent == reinterpret_cast<uintptr_t>(hwnd)) {
            publish_current(nullptr);
        }
        unlock_text();
        destroy_window_record(reinterpret_cast<uintptr_t>(hwnd));
        PostMessageA(hwnd, WM_QUIT, 0, 0);
        return 0;
    }
    case WM_ACTIVATE: {
        WORD state = LOWORD(wp);
        if (state == WA_ACTIVE || state == WA_CLICKACTIVE) {
            text_state().active_window = reinterpret_cast<uintptr_t>(hwnd);
            lock_text();
            WindowRecord* current = text_state().current_text_window;
            uintptr_t parent = current != nullptr ? current->parent : 0;
            uintptr_t area = current != nullptr ? current->hwnd : 0;
            unlock_text();
            if (current != nullptr) {
                SetForegroundWindow(hwnd_of(parent));
                SetFocus(hwnd_of(area));
                return 0;
            }
        } else if (state == WA_INACTIVE) {
            text_state().active_window = 0;
        }
        break;
    }
    case WM_SYSCOMMAND:
        // The user cannot close the window; only the library's own request does.
        if ((wp & 0xFFFF) == SC_CLOSE) return 0;
        if ((wp & 0xFFFF) == kCloseRequest) return DefWindowProcW(hwnd, msg, SC_CLOSE, lp);
        break;
    case WM_MOUSEWHEEL:
        break;
    default:
        if (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) {
            HWND area = GetDlgItem(hwnd, 0);
            WindowRecord* r = nullptr;
            intptr_t type = static_cast<intptr_t>(
                read_window_field(reinterpret_cast<uintptr_t>(area), kFieldTypeCode, &r));
            if (area == nullptr || r == nullptr || type != kTypeTextArea) return 0;
            WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(area, GWLP_WNDPROC));
            if (proc == nullptr) return 0;
            LRESULT res = CallWindowProcW(proc, area, msg, wp, lp);
            if (res != 0) return res;
        }
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WindowRecord* r = find_window_record(reinterpret_cast<uintptr_t>(hwnd));
    if (r == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_CHAR:
        if (LOWORD(wp) == '\t') break;
        __atomic_store_n(&r->pending_char, static_cast<uint32_t>(wp), __ATOMIC_RELEASE);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_LBUTTONDBLCLK:
        return 0;
    case kBringToFront:
        SetForegroundWindow(hwnd_of(r->parent));
        SetFocus(hwnd_of(r->hwnd));
        return 0;
    default:
        break;   // WM_KEYDOWN and WM_SYSKEYDOWN included: TranslateMessage makes WM_CHAR
    }
    return CallWindowProcW(reinterpret_cast<WNDPROC>(r->static_proc), hwnd, msg, wp, lp);
}

}  // namespace

// --- calling thread ------------------------------------------------------------------

uintptr_t open_text_window(ProcFrame& f, uint32_t style, int32_t columns, int32_t rows,
                           int32_t top, int32_t left) {
    text_close();
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
    HANDLE thread = CreateThread(nullptr, 0, window_thread_main, &block, 0, &thread_id);
    block.thread_id = thread_id;
    block.thread_handle = reinterpret_cast<uintptr_t>(thread);
    intptr_t result = 0;
    if (thread != nullptr) {
        while ((result = __atomic_load_n(&block.result, __ATOMIC_ACQUIRE)) == kResultPending) {
        }
        // Nothing waits on the thread: it ends with its window.
        CloseHandle(thread);
    }
    // Dropped only now: an owned caption would otherwise be freed while the
    // window thread still reads it.
    tmp_drop(f);
    if (result == 0) return 0;
    Sleep(40);
    return static_cast<uintptr_t>(result);
}

void text_print(ProcFrame& f) {
    const char16_t* data = nullptr;
    const uint32_t n = str_len_wide(tmp_slot(f, 0), &data);
    uint32_t done = 0;
    while (done < n) {
        Refresh rf{};
        lock_text();
        WindowRecord* r = open_record();
        if (r == nullptr) {
            unlock_text();
            break;
        }
        read_position(r);
        if (r->cur_x >= r->width) {
            newline_locked(r, &rf);
            if (rf.wanted) {   // scrolled: show it before drawing on
                unlock_text();
                send_refresh(rf);
                continue;
            }
        }
        // Limited to the cells left on the row, so a run that starts in
        // mid-row never loses units past the right edge.
        int32_t cells = (r->width - r->cur_x) / r->char_width;
        if (cells < 1) cells = 1;
        uint32_t run = n - done < static_cast<uint32_t>(cells) ? n - done : static_cast<uint32_t>(cells);
        int32_t old_x = r->cur_x;
        int32_t old_y = r->cur_y;
        RECT clip{r->cur_x, r->cur_y, r->width, r->cur_y + line_height(r)};
        ExtTextOutW(dc_of(r), 0, 0, ETO_CLIPPED, &clip, reinterpret_cast<const wchar_t*>(data + done),
                    run, nullptr);
        read_position(r);
        rf = Refresh{hwnd_of(r->hwnd), RECT{old_x, old_y, r->cur_x, r->cur_y + line_height(r)}, true};
        unlock_text();
        send_refresh(rf);
        done += run;
    }
    tmp_drop(f);
}

void text_newline() {
    Refresh rf{};
    lock_text();
    WindowRecord* r = open_record();
    if (r != nullptr) newline_locked(r, &rf);
    unlock_text();
    send_refresh(rf);
}

void text_take_key(ProcFrame& f) {
    lock_text();
    WindowRecord* r = open_record();
    uint32_t value = r != nullptr ? atomic_exchange32(&r->pending_char, 0u) : 0;
    unlock_text();
    push_key(f, value);
}

void text_wait_key(ProcFrame& f) {
    lock_text();
    WindowRecord* r = open_record();
    uintptr_t hwnd = r != nullptr ? r->hwnd : 0;
    unlock_text();
    if (r == nullptr) {
        tmp_push_owned(f, 0);
        return;
    }
    for (;;) {
        lock_text();
        WindowRecord* open = open_record();
        // The record's address alone could name a newer window that reuses
        // the freed block; its handle tells them apart.
        bool same = open != nullptr && open == r && open->hwnd == hwnd;
        uint32_t waiting = same ? r->pending_char : 0;
        unlock_text();
        if (!same) {
            tmp_push_owned(f, 0);
            return;
        }
        if (waiting != 0) break;
        pump_messages();
    }
    push_key(f, take_key_from(r, hwnd));
}

void text_close() {
    lock_text();
    WindowRecord* r = open_record();
    uintptr_t frame = 0;
    uint32_t flags = 0;
    WindowRecord* frame_rec = nullptr;
    if (r != nullptr) {
        frame = r->parent;
        // The frame's record outlives the text area's reference, which the
        // teardown clears under this lock first.
        flags = static_cast<uint32_t>(read_window_field(frame, kFieldFlags, &frame_rec));
    }
    unlock_text();
    if (frame_rec == nullptr || (flags & kFlagTextFrame) == 0) return;
    SendMessageW(hwnd_of(frame), WM_SYSCOMMAND, kCloseRequest, 0);
    // Only the reference to the window just closed: a window opened by
    // another thread meanwhile stays reachable.
    WindowRecord* expected = r;
    __atomic_compare_exchange_n(&text_state().current_text_window, &expected, nullptr, false,
                                __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

void pump_messages() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        Sleep(1);
        return;
    }
    HWND active = hwnd_of(text_state().active_window);
    if (IsWindow(active) && IsDialogMessageW(active, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}
