// Text output on the calling thread: text_print and text_newline keep what
// the box shows as text and draw the rows in view into the back buffer,
// under the text lock, and ask for the repaint once it is let go; and
// text_announce hands the finished box its reading text. They may touch the
// open text area's record (cursor, back buffer) only while they hold the
// lock. The rows in view are drawn again from that text when the window
// thread scrolls them.
#include "textwin/textwin.h"

#include "strings/bidi.h"
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

// The cursor's pixels, which the record keeps beside its cells.
void place_cursor(WindowRecord* record) {
    const PrintCursor& cursor = area_of(record).cursor;
    record->cur_x = cursor.column * record->char_width;
    record->cur_y = cursor.row * line_height(record);
}

// Under the text lock, after every row moved up one: the rows in view
// drawn again, and the whole area's repaint left in `out`.
void show_scrolled(WindowRecord* record, Refresh* out) {
    draw_rows_in_view(record);
    *out = Refresh{hwnd_of(record->hwnd), RECT{0, 0, record->width, record->height}, true};
}

// Under the text lock: draws the run `step` put, where its row is in view,
// cut at the text area's edge; its repaint goes to `out`.
void show_run(WindowRecord* record, const PrintStep& step, const char16_t* units, Refresh* out) {
    const int32_t at = view_row(area_of(record), step.row);
    if (at < 0) return;
    const char16_t* row_units = nullptr;
    const uint32_t row_n = shown_text_row(area_of(record).shown_text, step.row, &row_units);
    if (row_n != 0 && bidi_needed(row_units, row_n)) {
        // A row in reading order is drawn whole: what this print adds can
        // move what the row held before, on either side of the edge.
        draw_view_row(record, at);
        *out = Refresh{hwnd_of(record->hwnd), view_cells(record, at), true};
        return;
    }
    const int32_t x = step.column * record->char_width;
    if (x >= record->width) return;
    RECT clip = view_cells(record, at);
    clip.left = x;
    draw_cells(dc_of(record), record->font_number, x, clip.top, clip, units, step.units, record->char_width,
               line_height(record));
    if (record->cur_x < clip.right) clip.right = record->cur_x;
    *out = Refresh{hwnd_of(record->hwnd), clip, true};
}

}  // namespace

void show_scroll_bar(const TextAreaState& area, BOOL redraw) {
    if (area.scroll_bar == nullptr) return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = area.rows - area.pinned_rows - 1;
    info.nPage = static_cast<UINT>(part_rows(area));
    info.nPos = area.top_row;
    SetScrollInfo(area.scroll_bar, SB_CTL, &info, redraw);
}

void draw_rows_in_view(WindowRecord* record) {
    for (int32_t at = 0; at < area_of(record).shown_rows; ++at) draw_view_row(record, at);
}

void scroll_rows_to(WindowRecord* record, int32_t top) {
    TextAreaState& area = area_of(record);
    if (!lock_text()) return;
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
    show_scroll_bar(area, TRUE);
    InvalidateRect(hwnd_of(record->hwnd), &part, FALSE);
}

}  // namespace textwin

using namespace textwin;

bool text_print(ProcFrame& proc_frame, uintptr_t text_area) {
    const char16_t* data = nullptr;
    const uint32_t n = str_len_wide(tmp_slot(proc_frame, 0), &data);
    text_area = n != 0 ? resolve_window(text_area) : 0;   // kAnyTextWindow: the one open now
    uint32_t done = 0;
    bool open = true;
    while (done < n) {
        Refresh refresh{};
        if (!lock_text()) {
            open = false;
            break;
        }
        WindowRecord* record = open_record(text_area);
        if (record == nullptr) {
            unlock_text();
            open = false;
            break;
        }
        // Where the characters go is the shown text's to say; the back
        // buffer only shows it.
        TextAreaState& area = area_of(record);
        const PrintStep step = print_step(area.shown_text, area.cursor, data + done, n - done);
        place_cursor(record);
        if (step.scrolled) {
            show_scrolled(record, &refresh);
        } else {
            show_run(record, step, data + done, &refresh);
        }
        unlock_text();
        send_refresh(refresh);
        done += step.units;
    }
    tmp_drop(proc_frame);
    return open;
}

bool text_newline(uintptr_t text_area) {
    Refresh refresh{};
    if (!lock_text()) return false;
    WindowRecord* record = open_record(text_area);
    if (record != nullptr) {
        if (print_newline(area_of(record).shown_text, area_of(record).cursor)) show_scrolled(record, &refresh);
        place_cursor(record);
    }
    unlock_text();
    send_refresh(refresh);
    return record != nullptr;
}

void text_announce(ProcFrame& proc_frame, uintptr_t text_area) {
    // The text is handed over as it is, not copied: a message of megabytes.
    StrHandle text = tmp_slot(proc_frame, 0);
    if ((text & kBorrowedBit) != 0) {
        text = 0;
    } else {
        proc_frame.slots[proc_frame.depth - 1] = 0;
    }
    WindowRecord* record = nullptr;
    if (lock_text()) {
        record = open_record(text_area);
        if (record != nullptr && area_of(record).reading_text == 0) {
            area_of(record).reading_text = text;
            text = 0;
        }
        unlock_text();
    }
    str_free(text);
    tmp_drop(proc_frame);
    if (record != nullptr) NotifyWinEvent(EVENT_SYSTEM_ALERT, hwnd_of(text_area), OBJID_CLIENT, CHILDID_SELF);
}
