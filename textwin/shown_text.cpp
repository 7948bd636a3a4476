#include "textwin/shown_text.h"

namespace {

struct Grid {
    uint32_t rows;
    uint32_t columns;
    char16_t* cells;
};

constexpr uint32_t kHeaderBytes = 8;
// Beyond this a row's length would not fit its unit.
constexpr int32_t kMaxColumns = 0xFFFF;

Grid grid_of(StrHandle text) {
    Grid g;
    __builtin_memcpy(&g.rows, reinterpret_cast<const void*>(text), 4);
    __builtin_memcpy(&g.columns, reinterpret_cast<const void*>(text + 4), 4);
    g.cells = reinterpret_cast<char16_t*>(text + kHeaderBytes);
    return g;
}

char16_t* row_at(const Grid& g, uint32_t row) { return g.cells + row * (g.columns + 1); }

// The rows up to the last one printed on.
uint32_t rows_in_use(const Grid& g) {
    uint32_t n = g.rows;
    while (n > 0 && row_at(g, n - 1)[0] == 0) --n;
    return n;
}

// A writer into a buffer of `room` units that counts all it is given.
struct Out {
    char16_t* at;
    uint32_t room;
    uint32_t length;
};

void put(Out& o, const char16_t* s, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, ++o.length) {
        if (o.length < o.room) o.at[o.length] = s[i];
    }
}

const char16_t kCrLf[] = u"\r\n";
const char16_t kDashes[] = u"---------------------------\r\n";

void put_row(Out& o, const Grid& g, uint32_t row) { put(o, row_at(g, row) + 1, row_at(g, row)[0]); }

// Rows [from, to), each followed by CR LF.
void put_lines(Out& o, const Grid& g, uint32_t from, uint32_t to) {
    for (uint32_t row = from; row < to; ++row) {
        put_row(o, g, row);
        put(o, kCrLf, 2);
    }
}

}  // namespace

StrHandle shown_text_make(int32_t rows, int32_t columns) {
    if (rows <= 0 || columns <= 0 || columns > kMaxColumns) return 0;
    const uint64_t bytes = kHeaderBytes + 2 * uint64_t(rows) * (uint64_t(columns) + 1);
    if (bytes > 0x7FFFFFF0u) return 0;
    StrHandle text = str_alloc_ansi(static_cast<uint32_t>(bytes));
    if (text == 0) return 0;
    __builtin_memset(reinterpret_cast<void*>(text), 0, static_cast<size_t>(bytes));
    __builtin_memcpy(reinterpret_cast<void*>(text), &rows, 4);
    __builtin_memcpy(reinterpret_cast<void*>(text + 4), &columns, 4);
    return text;
}

void shown_text_put(StrHandle text, int32_t row, int32_t column, const char16_t* units, uint32_t n) {
    if (text == 0) return;
    const Grid g = grid_of(text);
    if (row < 0 || uint32_t(row) >= g.rows || column < 0 || uint32_t(column) >= g.columns) return;
    if (n > g.columns - uint32_t(column)) n = g.columns - uint32_t(column);
    char16_t* line = row_at(g, uint32_t(row));
    // Cells passed over show blank, and a NUL, which would end the text
    // for whoever reads it, reads as the blank it looks like.
    for (uint32_t i = line[0]; i < uint32_t(column); ++i) line[1 + i] = u' ';
    for (uint32_t i = 0; i < n; ++i) line[1 + column + i] = units[i] != 0 ? units[i] : u' ';
    if (uint32_t(column) + n > line[0]) line[0] = static_cast<char16_t>(uint32_t(column) + n);
}

void shown_text_scroll(StrHandle text) {
    if (text == 0) return;
    const Grid g = grid_of(text);
    const size_t row_units = g.columns + 1;
    __builtin_memmove(g.cells, g.cells + row_units, 2 * row_units * (g.rows - 1));
    row_at(g, g.rows - 1)[0] = 0;
}

uint32_t shown_text_rows(StrHandle text, char16_t* out, uint32_t room) {
    Out o{out, room, 0};
    if (text == 0) return 0;
    const Grid g = grid_of(text);
    const uint32_t used = rows_in_use(g);
    for (uint32_t row = 0; row < used; ++row) {
        if (row > 0) put(o, kCrLf, 2);
        put_row(o, g, row);
    }
    return o.length;
}

uint32_t shown_text_copy(StrHandle text, const char16_t* caption, uint32_t caption_len, char16_t* out,
                         uint32_t room) {
    Out o{out, room, 0};
    const uint32_t dashes = sizeof kDashes / 2 - 1;
    put(o, kDashes, dashes);
    put(o, caption, caption_len);
    put(o, kCrLf, 2);
    put(o, kDashes, dashes);
    if (text == 0) return o.length;
    const Grid g = grid_of(text);
    const uint32_t used = rows_in_use(g);
    uint32_t split = used;
    while (split > 0 && row_at(g, split - 1)[0] != 0) --split;
    if (split == 0) split = used + 1;   // no empty row: all of it is the message
    put_lines(o, g, 0, split - 1);
    put(o, kDashes, dashes);
    if (split <= used) {
        put_lines(o, g, split, used);
        put(o, kDashes, dashes);
    }
    return o.length;
}

// STAND-IN until the reworked model lands.
uint32_t shown_text_row(StrHandle text, int32_t row, const char16_t** units) {
    if (text == 0) return 0;
    const Grid g = grid_of(text);
    if (row < 0 || uint32_t(row) >= g.rows) return 0;
    *units = row_at(g, uint32_t(row)) + 1;
    return row_at(g, uint32_t(row))[0];
}

uint32_t reading_copy(const char16_t* rows, uint32_t n, const char16_t* caption, uint32_t caption_len,
                      char16_t* out, uint32_t room) {
    Out o{out, room, 0};
    const uint32_t dashes = sizeof kDashes / 2 - 1;
    put(o, kDashes, dashes);
    put(o, caption, caption_len);
    put(o, kCrLf, 2);
    put(o, kDashes, dashes);
    put(o, rows, n);
    put(o, kCrLf, 2);
    put(o, kDashes, dashes);
    return o.length;
}
