// The two window procedures, on the window thread: frame_proc for the class
// "VORANTEXT" and text_area_proc in place of the STATIC control's own. They
// paint from the back buffer, keep the focus in the text area, scroll the
// rows, refuse the user's close, carry out the library's own close request
// and tear the records down at the frame's WM_NCDESTROY. They may touch
// the registry, the text lock and pending_char; they draw into the back
// buffer only to scroll, under the text lock (output.cpp).
#include "textwin/internal.h"

#include "strings/dynstr.h"
#include "textwin/shown_text.h"

namespace textwin {
namespace {

constexpr WORD kCtrlC = 3;   // the character Ctrl+C types

// Copies the back buffer of `record` to the screen DC `screen`. Serialised with
// the calling thread's drawing, so a copy never shows a half-drawn row and
// the back buffer's DC serves one thread at a time. The copy to the screen
// goes to the display server, so the text lock, which other threads spin
// on, is held only for a copy into a bitmap of this paint's own; the screen
// is drawn from that once the lock is let go. Only the part the paint may
// draw (its clip box, usually one printed span) is copied, since the back
// buffer of a box as large as its screen is megabytes. The record's size
// and DC are fixed before it is published, and it cannot go while this
// thread paints.
void paint_from_back_buffer(HDC screen, const WindowRecord* record) {
    RECT part{0, 0, record->width, record->height};
    RECT clip;
    int kind = GetClipBox(screen, &clip);
    if (kind == NULLREGION) return;
    if (kind != ERROR) {
        if (clip.left > part.left) part.left = clip.left;
        if (clip.top > part.top) part.top = clip.top;
        if (clip.right < part.right) part.right = clip.right;
        if (clip.bottom < part.bottom) part.bottom = clip.bottom;
    }
    const int32_t width = part.right - part.left;
    const int32_t height = part.bottom - part.top;
    if (width <= 0 || height <= 0) return;
    HDC copy_dc = CreateCompatibleDC(screen);
    HBITMAP copy = copy_dc != nullptr ? CreateCompatibleBitmap(screen, width, height) : nullptr;
    HGDIOBJ saved = copy != nullptr ? SelectObject(copy_dc, copy) : nullptr;
    const bool staged = saved != nullptr && saved != HGDI_ERROR;
    // Without the lock the screen keeps what it shows: a copy made then
    // could catch a row half drawn.
    const bool copied = lock_text();
    if (copied) {
        if (staged) {
            BitBlt(copy_dc, 0, 0, width, height, dc_of(record), part.left, part.top, SRCCOPY);
        } else {   // no objects for a copy: straight to the screen, as a last resort
            BitBlt(screen, part.left, part.top, width, height, dc_of(record), part.left, part.top, SRCCOPY);
        }
        unlock_text();
    }
    if (staged && copied) BitBlt(screen, part.left, part.top, width, height, copy_dc, 0, 0, SRCCOPY);
    if (staged) SelectObject(copy_dc, saved);
    if (copy != nullptr) DeleteObject(copy);
    if (copy_dc != nullptr) DeleteDC(copy_dc);
}

// The box's reading text, the host's own lines whatever is scrolled out of
// view, once it has one; 0 before. Set once under the text lock and freed
// only by this thread's own teardown, so it is read, however long, without
// the lock, which the calling thread waits for at every printed run and
// every key it polls.
StrHandle reading_text_of(const WindowRecord* record) {
    if (!lock_text()) return 0;
    const StrHandle text = area_of(record).reading_text;
    unlock_text();
    return text;
}

// What a reader gets: the reading text once there is one, else the rows
// as printed so far, under the lock as printing goes on. Without the lock,
// nothing.
uint32_t reading_rows(const WindowRecord* record, char16_t* out, uint32_t room) {
    const StrHandle reading = reading_text_of(record);
    if (reading == 0) {
        if (!lock_text()) return 0;
        const uint32_t n = shown_text_rows(area_of(record).shown_text, out, room);
        unlock_text();
        return n;
    }
    const char16_t* text = nullptr;
    const uint32_t n = str_len_wide(reading, &text);
    for (uint32_t i = 0; i < n && i < room; ++i) out[i] = text[i];
    return n;
}

// The rows for WM_GETTEXT and WM_GETTEXTLENGTH: the control is owner-drawn,
// so its own text would never be shown, and a screen reader reads the text
// area by these.
LRESULT answer_text_request(WindowRecord* record, UINT msg, WPARAM room, LPARAM buffer) {
    auto* out = reinterpret_cast<char16_t*>(buffer);
    const bool fill = msg == WM_GETTEXT && room > 0 && out != nullptr;
    // A count past 32 bits (x64) is a buffer larger than any text: the
    // count and the terminator's place are both limited to 32 bits.
    const uint64_t asked = fill ? uint64_t{room} - 1 : 0;
    const uint32_t limit = asked > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(asked);
    uint32_t n = reading_rows(record, out, limit);
    if (msg == WM_GETTEXTLENGTH) return n;
    if (!fill) return 0;
    if (n > limit) n = limit;
    out[n] = 0;
    return n;
}

// The copy, from the reading text once there is one (without the lock, as
// for a reader), else from the rows printed so far, under it. Without the
// lock, the caption alone.
uint32_t copy_text(const WindowRecord* record, const char16_t* caption, uint32_t caption_len, char16_t* out,
                   uint32_t room) {
    const StrHandle reading = reading_text_of(record);
    if (reading == 0) {
        if (!lock_text()) return shown_text_copy(0, caption, caption_len, out, room);
        const uint32_t n = shown_text_copy(area_of(record).shown_text, caption, caption_len, out, room);
        unlock_text();
        return n;
    }
    const char16_t* text = nullptr;
    const uint32_t n = str_len_wide(reading, &text);
    return reading_copy(text, n, caption, caption_len, out, room);
}

// Ctrl+C and WM_COPY: the box as text on the clipboard, laid out as message
// boxes copy themselves, so it can be pasted into a report.
void copy_to_clipboard(WindowRecord* record) {
    HWND frame = frame_of(record);
    const int caption_len = GetWindowTextLengthW(frame);
    StrHandle caption = str_alloc_wide(static_cast<uint32_t>(caption_len) + 1);
    if (caption == 0) return;
    auto* cap = reinterpret_cast<char16_t*>(caption);
    const uint32_t cap_len = static_cast<uint32_t>(
        GetWindowTextW(frame, reinterpret_cast<wchar_t*>(cap), caption_len + 1));
    const uint32_t n = copy_text(record, cap, cap_len, nullptr, 0);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 2 * (size_t{n} + 1));
    auto* out = block != nullptr ? static_cast<char16_t*>(GlobalLock(block)) : nullptr;
    if (out != nullptr) {
        // Printing may have gone on between the two passes: the first n units.
        const uint32_t got = copy_text(record, cap, cap_len, out, n);
        out[got < n ? got : n] = 0;
        GlobalUnlock(block);
        if (OpenClipboard(hwnd_of(record->hwnd))) {
            EmptyClipboard();
            if (SetClipboardData(CF_UNICODETEXT, block) != nullptr) block = nullptr;   // the system's now
            CloseClipboard();
        }
    }
    if (block != nullptr) GlobalFree(block);
    str_free(caption);
}

// The text area's record, for the control `control` of the frame; null when
// it is not a text area the registry knows with its state.
WindowRecord* text_area_record(HWND control) {
    WindowRecord* record = nullptr;
    const intptr_t type = static_cast<intptr_t>(read_window_field(value_of(control), kFieldTypeCode, &record));
    return control != nullptr && type == kTypeTextArea && record->text_area_state != nullptr ? record : nullptr;
}

// WM_NCDESTROY of the frame. current_text_window is cleared before the
// records go, under the lock, so no text operation can still be using the
// text area's record when it is freed. A frame that never got published (a
// failed open) leaves another box's reference alone. Without the lock the
// records stay, still published: a holder may be using them, and once
// this thread has ended the next open reclaims them as an orphan's.
void tear_down(HWND frame) {
    if (lock_text()) {
        WindowRecord* current = text_state().current_text_window;
        HANDLE thread = current != nullptr && frame_of(current) == frame ? unpublish_locked() : nullptr;
        unlock_text();
        if (thread != nullptr) CloseHandle(thread);
        destroy_box_records(frame);
    }
    PostMessageA(frame, WM_QUIT, 0, 0);
}

// WM_ACTIVATE making the frame active: the keyboard goes to the open text
// area. False when there is none, for the default handling.
bool activate(HWND frame) {
    text_state().active_window = value_of(frame);
    if (!lock_text()) return false;
    WindowRecord* current = text_state().current_text_window;
    HWND parent = current != nullptr ? frame_of(current) : nullptr;
    HWND text_area = current != nullptr ? hwnd_of(current->hwnd) : nullptr;
    unlock_text();
    if (current == nullptr) return false;
    SetForegroundWindow(parent);
    SetFocus(text_area);
    return true;
}

// Scrolls the rows of `record` as a scroll bar's command asks: by a row, a
// page of the part that scrolls, to its first or last row. False for any
// other command.
bool scroll_by(WindowRecord* record, WORD command) {
    const TextAreaState& area = area_of(record);
    const int32_t page = area.shown_rows - area.pinned_rows;
    int32_t top = area.top_row;
    switch (command) {
    case SB_LINEUP: top -= 1; break;
    case SB_LINEDOWN: top += 1; break;
    case SB_PAGEUP: top -= page; break;
    case SB_PAGEDOWN: top += page; break;
    case SB_TOP: top = 0; break;
    case SB_BOTTOM: top = area.rows; break;   // clamped to the last page
    default: return false;
    }
    scroll_rows_to(record, top);
    return true;
}

// The keys that scroll the rows of a box whose rows do not all fit, as
// the scroll bar's commands. False for any other key, and where every row
// is in view.
bool scroll_key(WindowRecord* record, WPARAM key) {
    // VK_PRIOR .. VK_DOWN: PgUp, PgDn, End, Home, Left, Up, Right, Down.
    constexpr uint8_t kNone = 0xFF;   // no scroll bar command: scroll_by refuses it
    static const uint8_t kCommands[] = {SB_PAGEUP, SB_PAGEDOWN, SB_BOTTOM, SB_TOP, kNone, SB_LINEUP, kNone,
                                        SB_LINEDOWN};
    if (area_of(record).shown_rows >= area_of(record).rows || key < VK_PRIOR || key > VK_DOWN) return false;
    return scroll_by(record, kCommands[key - VK_PRIOR]);
}

// The wheel scrolls three rows a notch, the system's own default; a notch
// of a precise wheel that is not yet a row waits for the next.
bool scroll_wheel(WindowRecord* record, WPARAM wp) {
    TextAreaState& area = area_of(record);
    if (area.shown_rows >= area.rows) return false;
    constexpr int32_t kRowsPerNotch = 3;
    area.wheel_rest += GET_WHEEL_DELTA_WPARAM(wp);
    const int32_t rows = area.wheel_rest * kRowsPerNotch / WHEEL_DELTA;
    area.wheel_rest -= rows * WHEEL_DELTA / kRowsPerNotch;
    if (rows != 0) scroll_rows_to(record, area.top_row - rows);
    return true;
}

// WM_VSCROLL from the scroll bar. The keyboard goes back to the text area
// once the bar is let go, for the answer is typed there.
void scroll_bar_moved(HWND frame, WPARAM wp) {
    HWND text_area = GetDlgItem(frame, kTextAreaId);
    WindowRecord* record = text_area_record(text_area);
    if (record == nullptr || area_of(record).scroll_bar == nullptr) return;
    const WORD command = LOWORD(wp);
    if (command == SB_ENDSCROLL) {
        SetFocus(text_area);
    } else if (command == SB_THUMBTRACK || command == SB_THUMBPOSITION) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(area_of(record).scroll_bar, SB_CTL, &info)) scroll_rows_to(record, info.nTrackPos);
    } else {
        scroll_by(record, command);
    }
}

// Mouse messages at the frame go to the text area's procedure, since the
// text area covers the client area: frame coordinates are its coordinates.
// A zero result goes on to the frame's default handling.
LRESULT forward_mouse(HWND frame, UINT msg, WPARAM wp, LPARAM lp) {
    HWND text_area = GetDlgItem(frame, kTextAreaId);
    if (text_area_record(text_area) == nullptr) return 0;
    WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(text_area, GWLP_WNDPROC));
    if (proc == nullptr) return 0;
    const LRESULT res = CallWindowProcW(proc, text_area, msg, wp, lp);
    return res != 0 ? res : DefWindowProcW(frame, msg, wp, lp);
}

}  // namespace

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        WindowRecord* record = text_area_record(GetDlgItem(hwnd, static_cast<int>(item->CtlID)));
        if (record == nullptr || (item->itemAction & ODA_DRAWENTIRE) == 0) return FALSE;
        paint_from_back_buffer(item->hDC, record);
        return TRUE;
    }
    case WM_NCDESTROY:
        tear_down(hwnd);
        return 0;
    case WM_VSCROLL:
        scroll_bar_moved(hwnd, wp);
        return 0;
    case WM_ERASEBKGND:
        // Beside the rows that stay in view, under the scroll bar, the
        // frame itself shows: in the text area's colour, not the class's.
        if (GetDlgItem(hwnd, kScrollBarId) == nullptr) break;
        {
            RECT all;
            GetClientRect(hwnd, &all);
            FillRect(reinterpret_cast<HDC>(wp), &all, GetSysColorBrush(COLOR_BTNFACE));
        }
        return 1;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_ACTIVE || LOWORD(wp) == WA_CLICKACTIVE) {
            if (activate(hwnd)) return 0;
        } else if (LOWORD(wp) == WA_INACTIVE) {
            text_state().active_window = 0;
        }
        break;
    case WM_SYSCOMMAND:
        // The user cannot close the box; only the library's own request
        // does. The low four bits of a system command are the system's own.
        if ((wp & 0xFFF0) == SC_CLOSE) return 0;
        if ((wp & 0xFFFF) == kCloseRequest) return DefWindowProcW(hwnd, msg, SC_CLOSE, lp);
        break;
    default:
        if (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) return forward_mouse(hwnd, msg, wp, lp);
        break;   // WM_MOUSEWHEEL (0x020A) included: it is the frame's own
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK text_area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WindowRecord* record = find_window_record(value_of(hwnd));
    if (record == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_CHAR:
        if (LOWORD(wp) == '\t') break;
        // Ctrl+C copies; its character stays a key like any other, which
        // the box does not accept.
        if (LOWORD(wp) == kCtrlC) copy_to_clipboard(record);
        __atomic_store_n(&record->pending_char, static_cast<uint32_t>(wp), __ATOMIC_RELEASE);
        return 0;
    case WM_COPY:
        copy_to_clipboard(record);
        return 0;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return answer_text_request(record, msg, wp, lp);
    case WM_KEYDOWN:
        if (scroll_key(record, wp)) return 0;
        break;
    case WM_MOUSEWHEEL:
        if (scroll_wheel(record, wp)) return 0;
        break;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_LBUTTONDBLCLK:
        return 0;
    case kPaintNow:
        UpdateWindow(hwnd);
        return 0;
    case kBringToFront:
        SetForegroundWindow(frame_of(record));
        SetFocus(hwnd);
        return 0;
    default:
        break;   // WM_SYSKEYDOWN included: TranslateMessage makes WM_CHAR
    }
    return CallWindowProcW(reinterpret_cast<WNDPROC>(record->static_proc), hwnd, msg, wp, lp);
}

}  // namespace textwin
