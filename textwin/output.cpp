// Text output on the calling thread: text_print and text_newline keep what
// the window shows as text and draw the rows in view into the back buffer,
// under the text lock, and ask for the repaint once it is let go. They may
// touch the open text area's record (cursor, back buffer) only while they
// hold the lock. The rows in view are drawn again from that text when the
// window thread scrolls them.
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

// The paint is the window thread's: asked for with a send that has a bound,
// as an UpdateWindow from here would be a send without one.
void refresh_rect(HWND hwnd, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RECT rc{left, top, right, bottom};
    InvalidateRect(hwnd, &rc, FALSE);
    DWORD_PTR ignored;
    SendMessageTimeoutW(hwnd, kPaintNow, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kRepaintBoundMs, &ignored);
}

void send_refresh(const Refresh& rf) {
    if (rf.wanted) {
        refresh_rect(rf.hwnd, rf.rect.left, rf.rect.top, rf.rect.right, rf.rect.bottom);
    }
}

bool scrolls(const WindowRecord* r) { return r->shown_rows < r->rows; }

// Rows of the part that scrolls in view at once.
int32_t part_rows(const WindowRecord* r) { return r->shown_rows - r->pinned_rows; }

// The row of the view where row `row` shows, or -1 when it is scrolled out.
int32_t view_row(const WindowRecord* r, int32_t row) {
    if (!scrolls(r)) return row;
    const int32_t pinned_from = r->rows - r->pinned_rows;
    if (row >= pinned_from) return part_rows(r) + (row - pinned_from);
    return row >= r->top_row && row < r->top_row + part_rows(r) ? row - r->top_row : -1;
}

// The row shown in row `at` of the view.
int32_t row_in_view(const WindowRecord* r, int32_t at) {
    if (!scrolls(r) || at < part_rows(r)) return at + r->top_row;
    return r->rows - r->pinned_rows + (at - part_rows(r));
}

RECT view_cells(const WindowRecord* r, int32_t at) {
    const int32_t top = at * line_height(r);
    return RECT{0, top, r->width, top + line_height(r)};
}

// Row `at` of the view drawn anew from the text of the row it shows.
void draw_view_row(WindowRecord* r, int32_t at) {
    const RECT cells = view_cells(r, at);
    FillRect(dc_of(r), &cells, GetSysColorBrush(COLOR_BTNFACE));
    const char16_t* units = nullptr;
    const uint32_t n = shown_text_row(r->shown_text, row_in_view(r, at), &units);
    if (n != 0) draw_cells(dc_of(r), r->font_number, 0, cells.top, cells, units, n, r->char_width, line_height(r));
}

void place_cursor(WindowRecord* r, int32_t x, int32_t y) {
    r->cur_x = x;
    r->cur_y = y;
}

// Under the text lock. On the last row every row moves up one and the
// last is cleared; that scroll leaves its whole-area repaint in `out`.
void newline_locked(WindowRecord* r, Refresh* out) {
    const int32_t line = line_height(r);
    const int32_t next = r->cur_y / line + 1;
    if (next < r->rows) {
        place_cursor(r, 0, next * line);
        return;
    }
    place_cursor(r, 0, r->cur_y);
    shown_text_scroll(r->shown_text);
    draw_rows_in_view(r);
    *out = Refresh{hwnd_of(r->hwnd), RECT{0, 0, r->width, r->height}, true};
}

}  // namespace

void draw_rows_in_view(WindowRecord* r) {
    for (int32_t at = 0; at < r->shown_rows; ++at) draw_view_row(r, at);
}

void scroll_rows_to(WindowRecord* r, int32_t top) {
    lock_text();
    const int32_t last_top = r->rows - r->pinned_rows - part_rows(r);
    if (top > last_top) top = last_top;
    if (top < 0) top = 0;
    const bool moved = scrolls(r) && top != r->top_row;
    if (moved) {
        r->top_row = top;
        for (int32_t at = 0; at < part_rows(r); ++at) draw_view_row(r, at);
    }
    const RECT part{0, 0, r->width, part_rows(r) * line_height(r)};
    unlock_text();
    if (!moved) return;
    if (r->scroll_bar != 0) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        info.nPos = top;
        SetScrollInfo(hwnd_of(r->scroll_bar), SB_CTL, &info, TRUE);
    }
    InvalidateRect(hwnd_of(r->hwnd), &part, FALSE);
}

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
        // The whole characters that fit in the cells left on the row, so a
        // run that starts in mid-row never loses units past the right edge
        // and a wide character that only the next row holds goes there. At
        // a row's start at least one: one wider than the row is clipped.
        const int32_t cells_left = r->cur_x < r->width ? (r->width - r->cur_x) / r->char_width : 0;
        uint32_t run = units_in_cells(data + done, n - done, static_cast<uint32_t>(cells_left));
        if (run == 0 && r->cur_x > 0) {   // the row is full: the rest begins on the next
            newline_locked(r, &rf);
            unlock_text();
            send_refresh(rf);
            continue;
        }
        if (run == 0) run = cell_char_at(data + done, n - done, 0).units;
        const uint32_t cells = text_cells(data + done, run);
        const int32_t row = r->cur_y / line_height(r);
        shown_text_put(r->shown_text, row, r->cur_x / r->char_width, data + done, run);
        const int32_t at = view_row(r, row);
        const int32_t old_x = r->cur_x;
        place_cursor(r, old_x + static_cast<int32_t>(cells) * r->char_width, r->cur_y);
        if (at >= 0) {
            RECT clip = view_cells(r, at);
            clip.left = old_x;
            draw_cells(dc_of(r), r->font_number, old_x, clip.top, clip, data + done, run, r->char_width,
                       line_height(r));
            clip.right = r->cur_x;
            rf = Refresh{hwnd_of(r->hwnd), clip, true};
        }
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
