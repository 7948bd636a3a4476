#include "textwin/shown_text.h"

#include "runtime/literals.h"
#include "strings/cells.h"

namespace {

struct Grid {
    uint32_t rows;
    uint32_t columns;
    uint32_t first;    // where row 0 is kept: a scroll moves this, not the rows
    char16_t* cells;
};

// rows, columns, first, and a word that keeps the cells 8-aligned.
constexpr uint32_t kHeaderBytes = 16;
constexpr uint32_t kFirstAt = 8;
// Beyond this a row's count of units (two a cell) would not fit its unit.
constexpr int32_t kMaxColumns = 0x7FFF;

Grid grid_of(StrHandle text) {
    Grid grid;
    __builtin_memcpy(&grid.rows, reinterpret_cast<const void*>(text), 4);
    __builtin_memcpy(&grid.columns, reinterpret_cast<const void*>(text + 4), 4);
    __builtin_memcpy(&grid.first, reinterpret_cast<const void*>(text + kFirstAt), 4);
    grid.cells = reinterpret_cast<char16_t*>(text + kHeaderBytes);
    return grid;
}

// Room for two units a cell: a character takes at most two units a cell, and
// the units left over by one-unit characters hold their marks.
uint32_t room_of(const Grid& grid) { return 2 * grid.columns; }

// Row `row` as shown, kept `first` rows on in a ring of the rows.
char16_t* row_at(const Grid& grid, uint32_t row) {
    const uint32_t kept = grid.first + row < grid.rows ? grid.first + row : grid.first + row - grid.rows;
    return grid.cells + kept * (room_of(grid) + 1);
}

// The rows up to the last one printed on.
uint32_t rows_in_use(const Grid& grid) {
    uint32_t n = grid.rows;
    while (n > 0 && row_at(grid, n - 1)[0] == 0) --n;
    return n;
}

// A writer into a buffer of `room` units that counts all it is given.
struct Out {
    char16_t* at;
    uint32_t room;
    uint32_t length;
};

void put(Out& writer, const char16_t* s, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, ++writer.length) {
        if (writer.length < writer.room) writer.at[writer.length] = s[i];
    }
}

const char16_t kDashes[] = u"---------------------------\r\n";
constexpr uint32_t kDashUnits = sizeof kDashes / 2 - 1;

void put_row(Out& writer, const Grid& grid, uint32_t row) { put(writer, row_at(grid, row) + 1, row_at(grid, row)[0]); }

// Rows [from, to), each followed by CR LF.
void put_lines(Out& writer, const Grid& grid, uint32_t from, uint32_t to) {
    for (uint32_t row = from; row < to; ++row) {
        put_row(writer, grid, row);
        put(writer, kCrLf, kCrLfUnits);
    }
}

// The copy's head: the caption between lines of dashes.
void put_caption(Out& writer, const char16_t* caption, uint32_t caption_len) {
    put(writer, kDashes, kDashUnits);
    put(writer, caption, caption_len);
    put(writer, kCrLf, kCrLfUnits);
    put(writer, kDashes, kDashUnits);
}

bool crlf_at(const char16_t* s, uint32_t n, uint32_t k) { return k + 1 < n && s[k] == u'\r' && s[k + 1] == u'\n'; }

}  // namespace

StrHandle shown_text_make(int32_t rows, int32_t columns) {
    if (rows <= 0 || columns <= 0 || columns > kMaxColumns) return 0;
    const uint64_t bytes = kHeaderBytes + 2 * uint64_t(rows) * (2 * uint64_t(columns) + 1);
    if (bytes > 0x7FFFFFF0u) return 0;
    StrHandle text = str_alloc_ansi(static_cast<uint32_t>(bytes));
    if (text == 0) return 0;
    __builtin_memset(reinterpret_cast<void*>(text), 0, static_cast<size_t>(bytes));
    __builtin_memcpy(reinterpret_cast<void*>(text), &rows, 4);
    __builtin_memcpy(reinterpret_cast<void*>(text + 4), &columns, 4);
    return text;
}

StrHandle shown_text_of_box(int32_t rows, int32_t columns) {
    return shown_text_make(rows, columns < kMaxColumns ? columns : kMaxColumns);
}

uint32_t shown_text_put(StrHandle text, int32_t row, int32_t column, const char16_t* units, uint32_t n) {
    if (text == 0) return n;
    const Grid grid = grid_of(text);
    if (row < 0 || uint32_t(row) >= grid.rows || column < 0 || uint32_t(column) >= grid.columns) return n;
    char16_t* line = row_at(grid, uint32_t(row));
    // Cut at the cell: a character that reaches past it gives way to blanks,
    // the marks of the last character kept stay with it.
    uint32_t kept = 0, cells = 0;
    while (kept < line[0]) {
        const CellChar c = cell_char_at(line + 1, line[0], kept);
        if (cells + c.cells > uint32_t(column)) break;
        cells += c.cells;
        kept += c.units;
    }
    for (; cells < uint32_t(column); ++cells) line[1 + kept++] = u' ';
    uint32_t taken = 0;
    while (taken < n) {
        const CellChar c = cell_char_at(units, n, taken);
        // Units past the room are taken but not kept; only a mark can meet
        // it, since every other character brings two units of room a cell.
        bool keep = kept + c.units <= room_of(grid);
        if (c.cells == 0) {
            keep = keep && kept + c.units <= 2 * cells;
        } else {
            if (cells + c.cells > grid.columns && (column > 0 || taken > 0)) break;
            if (!keep) break;
            cells += c.cells;
        }
        // A NUL, which would end the text for whoever reads it, reads as the
        // blank it is drawn as.
        for (uint32_t i = 0; keep && i < c.units; ++i) {
            line[1 + kept++] = units[taken + i] != 0 ? units[taken + i] : u' ';
        }
        taken += c.units;
    }
    line[0] = static_cast<char16_t>(kept);
    return taken;
}

uint32_t shown_text_row(StrHandle text, int32_t row, const char16_t** units) {
    *units = str_empty_text();
    if (text == 0) return 0;
    const Grid grid = grid_of(text);
    if (row < 0 || uint32_t(row) >= grid.rows) return 0;
    const char16_t* line = row_at(grid, uint32_t(row));
    *units = line + 1;
    return line[0];
}

void shown_text_scroll(StrHandle text) {
    if (text == 0) return;
    Grid grid = grid_of(text);
    // The first row's place becomes the last row's: one row is cleared,
    // none is moved.
    grid.first = grid.first + 1 < grid.rows ? grid.first + 1 : 0;
    __builtin_memcpy(reinterpret_cast<void*>(text + kFirstAt), &grid.first, 4);
    row_at(grid, grid.rows - 1)[0] = 0;
}

PrintStep print_step(StrHandle text, PrintCursor& cursor, const char16_t* units, uint32_t n) {
    PrintStep step{0, 0, cursor.row, cursor.column, false};
    const int32_t left = cursor.column < cursor.columns ? cursor.columns - cursor.column : 0;
    uint32_t run = units_in_cells(units, n, static_cast<uint32_t>(left));
    if (run == 0 && cursor.column > 0) {   // the row is full: the rest begins on the next
        step.scrolled = print_newline(text, cursor);
        step.row = cursor.row;
        step.column = 0;
        return step;
    }
    if (run == 0) run = cell_char_at(units, n, 0).units;   // wider than a row: alone on it, cut
    step.units = run;
    step.cells = text_cells(units, run);
    shown_text_put(text, cursor.row, cursor.column, units, run);
    cursor.column += static_cast<int32_t>(step.cells);
    return step;
}

bool print_newline(StrHandle text, PrintCursor& cursor) {
    cursor.column = 0;
    if (cursor.row + 1 < cursor.rows) {
        ++cursor.row;
        return false;
    }
    shown_text_scroll(text);
    return true;
}

uint32_t shown_text_rows(StrHandle text, char16_t* out, uint32_t room) {
    Out writer{out, room, 0};
    if (text == 0) return 0;
    const Grid grid = grid_of(text);
    const uint32_t used = rows_in_use(grid);
    for (uint32_t row = 0; row < used; ++row) {
        if (row > 0) put(writer, kCrLf, kCrLfUnits);
        put_row(writer, grid, row);
    }
    return writer.length;
}

uint32_t shown_text_copy(StrHandle text, const char16_t* caption, uint32_t caption_len, char16_t* out,
                         uint32_t room) {
    Out writer{out, room, 0};
    put_caption(writer, caption, caption_len);
    if (text == 0) return writer.length;
    const Grid grid = grid_of(text);
    const uint32_t used = rows_in_use(grid);
    uint32_t split = used;
    while (split > 0 && row_at(grid, split - 1)[0] != 0) --split;
    if (split == 0) split = used + 1;   // no empty row: all of it is the message
    put_lines(writer, grid, 0, split - 1);
    put(writer, kDashes, kDashUnits);
    if (split <= used) {
        put_lines(writer, grid, split, used);
        put(writer, kDashes, kDashUnits);
    }
    return writer.length;
}

uint32_t reading_copy(const char16_t* rows, uint32_t n, const char16_t* caption, uint32_t caption_len,
                      char16_t* out, uint32_t room) {
    Out writer{out, room, 0};
    put_caption(writer, caption, caption_len);
    // Empty rows at the end are no rows, as in a box nothing is printed on.
    while (n >= kCrLfUnits && crlf_at(rows, n, n - kCrLfUnits)) n -= kCrLfUnits;
    // Where the last empty row starts: the message before it, the answers after.
    uint32_t split = n;
    for (uint32_t start = 0, k = 0; k < n;) {
        if (!crlf_at(rows, n, k)) {
            ++k;
            continue;
        }
        if (k == start) split = start;
        k += kCrLfUnits;
        start = k;
    }
    put(writer, rows, split < n ? split : n);
    if (split == n && n > 0) put(writer, kCrLf, kCrLfUnits);
    put(writer, kDashes, kDashUnits);
    if (split < n) {
        put(writer, rows + split + kCrLfUnits, n - split - kCrLfUnits);
        put(writer, kCrLf, kCrLfUnits);
        put(writer, kDashes, kDashUnits);
    }
    return writer.length;
}
