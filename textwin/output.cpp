// Text output on the calling thread: text_print and text_newline keep what
// the box shows as text and draw the rows in view into the back buffer,
// under the text lock, and ask for the repaint once it is let go; and
// text_announce hands the finished box its reading text. They may touch the
// open text area's record (cursor, back buffer) only while they hold the
// lock. The rows in view are drawn again from that text when the window
// thread scrolls them.
#include "textwin/textwin.h"

#include "strings/bidi.h"
#include "strings/cells.h"
#include "strings/dynstr.h"
#include "textwin/glyphs.h"
#include "textwin/internal.h"
#include "textwin/shown_text.h"

namespace textwin {
namespace {

// A repaint asked for while the lock was held, sent once it is let go.
struct Refresh {
    HWND text_area;
    RECT rect;
    bool wanted;
};

// The paint is the window thread's: asked for with a send that has a bound,
// as an UpdateWindow from here would be a send without one.
void refresh_rect(HWND text_area, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RECT rc{left, top, right, bottom};
    InvalidateRect(text_area, &rc, FALSE);
    DWORD_PTR ignored;
    SendMessageTimeoutW(text_area, kPaintNow, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kRepaintBoundMs, &ignored);
}

void send_refresh(const Refresh& refresh) {
    if (refresh.wanted) {
        refresh_rect(refresh.text_area, refresh.rect.left, refresh.rect.top, refresh.rect.right,
                     refresh.rect.bottom);
    }
}

bool scrolls(const TextAreaState& area) { return area.shown_rows < area.rows; }

// Rows of the part that scrolls in view at once.
int32_t part_rows(const TextAreaState& area) { return area.shown_rows - area.pinned_rows; }

// The row of the view where row `row` shows, or -1 when it is scrolled out.
int32_t view_row(const TextAreaState& area, int32_t row) {
    if (!scrolls(area)) return row;
    const int32_t pinned_from = area.rows - area.pinned_rows;
    if (row >= pinned_from) return part_rows(area) + (row - pinned_from);
    return row >= area.top_row && row < area.top_row + part_rows(area) ? row - area.top_row : -1;
}

// The row shown in row `at` of the view.
int32_t row_in_view(const TextAreaState& area, int32_t at) {
    if (!scrolls(area) || at < part_rows(area)) return at + area.top_row;
    return area.rows - area.pinned_rows + (at - part_rows(area));
}

RECT view_cells(const WindowRecord* record, int32_t at) {
    const int32_t top = at * line_height(record);
    return RECT{0, top, record->width, top + line_height(record)};
}

// Row `at` of the view drawn anew from the text of the row it shows.
void draw_view_row(WindowRecord* record, int32_t at) {
    const RECT cells = view_cells(record, at);
    FillRect(dc_of(record), &cells, GetSysColorBrush(COLOR_BTNFACE));
    const char16_t* units = nullptr;
    const TextAreaState& area = area_of(record);
    const uint32_t n = shown_text_row(area.shown_text, row_in_view(area, at), &units);
    if (n != 0) {
        draw_cells(dc_of(record), record->font_number, 0, cells.top, cells, units, n, record->char_width,
                   line_height(record));
    }
}

void place_cursor(WindowRecord* record, int32_t x, int32_t y) {
    record->cur_x = x;
    record->cur_y = y;
}

// Under the text lock. On the last row every row moves up one and the
// last is cleared; that scroll leaves its whole-area repaint in `out`.
void newline_locked(WindowRecord* record, Refresh* out) {
    const int32_t line = line_height(record);
    const int32_t next = record->cur_y / line + 1;
    if (next < area_of(record).rows) {
        place_cursor(record, 0, next * line);
        return;
    }
    place_cursor(record, 0, record->cur_y);
    shown_text_scroll(area_of(record).shown_text);
    draw_rows_in_view(record);
    *out = Refresh{hwnd_of(record->hwnd), RECT{0, 0, record->width, record->height}, true};
}

}  // namespace

void draw_rows_in_view(WindowRecord* record) {
    for (int32_t at = 0; at < area_of(record).shown_rows; ++at) draw_view_row(record, at);
}

void scroll_rows_to(WindowRecord* record, int32_t top) {
    TextAreaState& area = area_of(record);
    lock_text();
    const int32_t last_top = area.rows - area.pinned_rows - part_rows(area);
    if (top > last_top) top = last_top;
    if (top < 0) top = 0;
    const bool moved = scrolls(area) && top != area.top_row;
    if (moved) {
        area.top_row = top;
        for (int32_t at = 0; at < part_rows(area); ++at) draw_view_row(record, at);
    }
    const RECT part{0, 0, record->width, part_rows(area) * line_height(record)};
    unlock_text();
    if (!moved) return;
    if (area.scroll_bar != nullptr) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        info.nPos = top;
        SetScrollInfo(area.scroll_bar, SB_CTL, &info, TRUE);
    }
    InvalidateRect(hwnd_of(record->hwnd), &part, FALSE);
}

}  // namespace textwin

using namespace textwin;

void text_print(ProcFrame& proc_frame, uintptr_t text_area) {
    const char16_t* data = nullptr;
    const uint32_t n = str_len_wide(tmp_slot(proc_frame, 0), &data);
    text_area = n != 0 ? resolve_window(text_area) : 0;   // kAnyTextWindow: the one open now
    uint32_t done = 0;
    while (done < n) {
        Refresh refresh{};
        lock_text();
        WindowRecord* record = open_record(text_area);
        if (record == nullptr) {
            unlock_text();
            break;
        }
        // The whole characters that fit in the cells left on the row, so a
        // run that starts in mid-row never loses units past the right edge
        // and a wide character that only the next row holds goes there. At
        // a row's start at least one: one wider than the row is clipped.
        const int32_t cells_left =
            record->cur_x < record->width ? (record->width - record->cur_x) / record->char_width : 0;
        uint32_t run = units_in_cells(data + done, n - done, static_cast<uint32_t>(cells_left));
        if (run == 0 && record->cur_x > 0) {   // the row is full: the rest begins on the next
            newline_locked(record, &refresh);
            unlock_text();
            send_refresh(refresh);
            continue;
        }
        if (run == 0) run = cell_char_at(data + done, n - done, 0).units;
        const uint32_t cells = text_cells(data + done, run);
        const int32_t row = record->cur_y / line_height(record);
        shown_text_put(area_of(record).shown_text, row, record->cur_x / record->char_width, data + done, run);
        const int32_t at = view_row(area_of(record), row);
        const int32_t old_x = record->cur_x;
        place_cursor(record, old_x + static_cast<int32_t>(cells) * record->char_width, record->cur_y);
        const char16_t* row_units = nullptr;
        const uint32_t row_n = at >= 0 ? shown_text_row(area_of(record).shown_text, row, &row_units) : 0;
        if (row_n != 0 && bidi_needed(row_units, row_n)) {
            // A row in reading order is drawn whole: what this print adds
            // can move what the row held before.
            draw_view_row(record, at);
            refresh = Refresh{hwnd_of(record->hwnd), view_cells(record, at), true};
        } else if (at >= 0) {
            RECT clip = view_cells(record, at);
            clip.left = old_x;
            draw_cells(dc_of(record), record->font_number, old_x, clip.top, clip, data + done, run, record->char_width,
                       line_height(record));
            clip.right = record->cur_x;
            refresh = Refresh{hwnd_of(record->hwnd), clip, true};
        }
        unlock_text();
        send_refresh(refresh);
        done += run;
    }
    tmp_drop(proc_frame);
}

void text_newline(uintptr_t text_area) {
    Refresh refresh{};
    lock_text();
    WindowRecord* record = open_record(text_area);
    if (record != nullptr) newline_locked(record, &refresh);
    unlock_text();
    send_refresh(refresh);
}

void text_announce(ProcFrame& proc_frame, uintptr_t text_area) {
    // The text is handed over as it is, not copied: a message of megabytes.
    StrHandle text = tmp_slot(proc_frame, 0);
    if ((text & kBorrowedBit) != 0) {
        text = 0;
    } else {
        proc_frame.slots[proc_frame.depth - 1] = 0;
    }
    lock_text();
    WindowRecord* record = open_record(text_area);
    if (record != nullptr && area_of(record).reading_text == 0) {
        area_of(record).reading_text = text;
        text = 0;
    }
    unlock_text();
    str_free(text);
    tmp_drop(proc_frame);
    if (record != nullptr) NotifyWinEvent(EVENT_SYSTEM_ALERT, hwnd_of(text_area), OBJID_CLIENT, CHILDID_SELF);
}
