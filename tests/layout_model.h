// A model of the message box's rows, widths and reading text, written
// plainly and without regard to cost, to check the layout against (the unit
// tests and the layout's fuzz target).
#pragma once

#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbox/layout.h"
#include "strings/cells.h"

namespace layout_model {

// A character and the zero-cell characters after it, which are drawn with it.
struct Cluster {
    std::u16string units;
    uint32_t cells;
};

inline std::vector<Cluster> clusters_of(const std::u16string& line) {
    std::vector<Cluster> out;
    for (uint32_t at = 0; at < line.size();) {
        const CellChar c = cell_char_at(line.data(), static_cast<uint32_t>(line.size()), at);
        const std::u16string units = line.substr(at, c.units);
        if (c.cells == 0 && !out.empty()) {
            out.back().units += units;
        } else {
            out.push_back({units, c.cells});
        }
        at += c.units;
    }
    return out;
}

inline bool is_space(const Cluster& c) { return c.units == u" "; }

inline uint32_t cells_of(const std::vector<Cluster>& cs, size_t from, size_t to) {
    uint32_t n = 0;
    for (size_t i = from; i < to; ++i) n += cs[i].cells;
    return n;
}

inline std::u16string join(const std::vector<Cluster>& cs, size_t from, size_t to) {
    std::u16string s;
    for (size_t i = from; i < to; ++i) s += cs[i].units;
    return s;
}

// A line's rows, `width` cells of text each: the whole line when it fits;
// else the text before its last space whose text before it fits (when that
// text is not all spaces; a first character always fits), trailing spaces dropped, the rest after the
// spaces; else the most whole characters that fit, at least one.
inline std::vector<std::u16string> model_wrap(const std::u16string& line, uint32_t width) {
    std::vector<Cluster> cs = clusters_of(line);
    std::vector<std::u16string> rows;
    for (;;) {
        if (cells_of(cs, 0, cs.size()) <= width) {
            rows.push_back(join(cs, 0, cs.size()));
            return rows;
        }
        size_t space = 0;
        bool words_before = false;
        for (size_t k = 1; k < cs.size(); ++k) {
            words_before = words_before || !is_space(cs[k - 1]);
            // The first character is the row's, even one wider than it.
            const bool fits = cells_of(cs, 0, k) <= width || k == 1;
            if (is_space(cs[k]) && words_before && fits) space = k;
        }
        if (space > 0) {
            size_t end = space, next = space;
            while (is_space(cs[end - 1])) --end;
            while (next < cs.size() && is_space(cs[next])) ++next;
            rows.push_back(join(cs, 0, end));
            if (next == cs.size()) return rows;
            cs.erase(cs.begin(), cs.begin() + next);
            continue;
        }
        size_t fit = 1;
        while (fit < cs.size() && cells_of(cs, 0, fit + 1) <= width) ++fit;
        rows.push_back(join(cs, 0, fit));
        cs.erase(cs.begin(), cs.begin() + fit);
        if (cs.empty()) return rows;
    }
}

inline std::vector<std::u16string> split_lines(const std::u16string& message) {
    std::vector<std::u16string> lines;
    size_t from = 0, k;
    while ((k = message.find(u"\r\n", from)) != std::u16string::npos) {
        lines.push_back(message.substr(from, k - from));
        from = k + 2;
    }
    lines.push_back(message.substr(from));
    return lines;
}

inline uint32_t model_width(int32_t columns) {
    if (columns <= 0) return 0xFFFFFFFFu;
    return columns > 2 ? columns - 2 : 1;
}

inline std::vector<std::u16string> model_rows(const std::u16string& message, const FitLimits& limits,
                                       int32_t extra_rows) {
    auto at_width = [&](uint32_t width) {
        std::vector<std::u16string> rows;
        for (const std::u16string& line : split_lines(message))
            for (const std::u16string& row : model_wrap(line, width)) rows.push_back(u" " + row);
        return rows;
    };
    std::vector<std::u16string> rows = at_width(model_width(limits.max_columns));
    if (limits.max_rows > 0 && static_cast<int32_t>(rows.size()) + extra_rows > limits.max_rows &&
        limits.max_columns_scrolling > 0)
        rows = at_width(model_width(limits.max_columns_scrolling));
    return rows;
}

inline uint32_t cells_in(const std::u16string& s) { return text_cells(s.data(), static_cast<uint32_t>(s.size())); }

// Columns of the box: the caption + 2, each row, a prompt that is the
// widest + 1; then the free column.
inline int32_t model_columns(const std::u16string& caption, const std::vector<std::u16string>& rows,
                      const std::vector<std::u16string>& prompts) {
    uint32_t width = cells_in(caption) + 2;
    for (const std::u16string& row : rows) width = std::max(width, cells_in(row));
    for (const std::u16string& prompt : prompts)
        if (cells_in(prompt) > width) width = cells_in(prompt) + 1;
    return static_cast<int32_t>(width) + 1;
}

// The host's own lines, each after a space, the blank row and the prompts,
// joined by CR LF; a NUL reads as a blank.
inline std::u16string model_reading(const std::u16string& message, const std::vector<std::u16string>& prompts) {
    std::u16string s;
    for (const std::u16string& line : split_lines(message)) s += u" " + line + u"\r\n";
    for (const std::u16string& prompt : prompts) s += u"\r\n" + prompt;
    for (char16_t& u : s)
        if (u == 0) u = u' ';
    return s;
}

}  // namespace layout_model
