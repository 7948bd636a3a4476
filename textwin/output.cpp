// Text output on the calling thread: text_print and text_newline draw into
// the back buffer, and keep what it shows as text, under the text lock, and
// ask for the repaint once it is let go. They may touch the open text area's record (cursor, back buffer) only
// while they hold the lock.
#include "textwin/textwin.h"

#include "strings/cells.h"
#include "strings/dynstr.h"
#include "textwin/glyphs.h"
#include "textwin/internal.h"
#include "textwin/shown_text.h"

namespace textwin {
namespace {

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
    shown_text_scroll(r->shown_text);
    BitBlt(dc_of(r), 0, 0, r->width, r->cur_y, dc_of(r), 0, line, SRCCOPY);
    RECT last_row{r->cur_x, r->cur_y, r->width, r->height};
    FillRect(dc_of(r), &last_row, GetSysColorBrush(COLOR_BTNFACE));
    *out = Refresh{hwnd_of(r->hwnd), RECT{0, 0, r->width, r->height}, true};
}

}  // namespace
}  // namespace textwin

using namespace textwin;

void text_print(ProcFrame& f, uintptr_t window) {
    const char16_t* data = nullptr;
    const uint32_t n = str_len_wide(tmp_slot(f, 0), &data);
    const uintptr_t mine = n != 0 ? resolve_window(window) : 0;
    uint32_t done = 0;
    while (done < n) {
        Refresh rf{};
        lock_text();
        WindowRecord* r = open_record(mine);
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
        // The whole characters that fit in the cells left on the row, so a
        // run that starts in mid-row never loses units past the right edge
        // and a wide character that only the next row holds goes there.
        int32_t cells = (r->width - r->cur_x) / r->char_width;
        if (cells < 1) cells = 1;
        uint32_t run = units_in_cells(data + done, n - done, static_cast<uint32_t>(cells));
        if (run == 0 && r->cur_x > 0) {
            newline_locked(r, &rf);
            unlock_text();
            send_refresh(rf);
            continue;
        }
        if (run == 0) run = cell_char_at(data + done, n - done, 0).units;   // wider than a row: clipped
        int32_t old_x = r->cur_x;
        int32_t old_y = r->cur_y;
        RECT clip{r->cur_x, r->cur_y, r->width, r->cur_y + line_height(r)};
        draw_cells(dc_of(r), r->font_number, r->cur_x, r->cur_y, clip, data + done, run, r->char_width,
                   line_height(r));
        shown_text_put(r->shown_text, old_y / line_height(r), old_x / r->char_width, data + done, run);
        read_position(r);
        rf = Refresh{hwnd_of(r->hwnd), RECT{old_x, old_y, r->cur_x, r->cur_y + line_height(r)}, true};
        unlock_text();
        send_refresh(rf);
        done += run;
    }
    tmp_drop(f);
}

void text_newline(uintptr_t window) {
    Refresh rf{};
    lock_text();
    WindowRecord* r = open_record(window);
    if (r != nullptr) newline_locked(r, &rf);
    unlock_text();
    send_refresh(rf);
}
