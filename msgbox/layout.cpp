#include "msgbox/layout.h"

#include <stddef.h>
#include <string.h>

#include "runtime/errors.h"
#include "runtime/runtime.h"
#include "strings/cells.h"
#include "strings/fields.h"
#include "strings/number.h"
#include "textwin/shown_text.h"

namespace {

const uint32_t kMsgBoxReleaseList[] = {
    release_entry(offsetof(MsgBoxLocals, lines), kReleaseArray),
    release_entry(offsetof(MsgBoxLocals, prompt1), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, prompt2), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, prompt3), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, accepted_keys), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, key), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, reading), kReleaseString),
    0,
};
const ProcDescriptor kMsgBoxDescriptor = {kMsgBoxReleaseList};

constexpr uint8_t kLinesFlags = 8;   // a mark of the caller's that no array operation acts on
constexpr uint32_t kCodePageOfThread = 0;
constexpr int32_t kFirstPosition = 1;   // positions in a string count from 1

// row_width is at least the caption's text and kCaptionMargin columns; a
// prompt that is the widest row counts kPromptMargin columns beyond its text.
constexpr int32_t kCaptionMargin = 2;
constexpr int32_t kPromptMargin = 1;

StrHandle* line_slot(MsgBoxLocals& locals, int32_t i) {
    return static_cast<StrHandle*>(locals.lines.head.data) + (i - 1);
}

// Width rule for prompts: a prompt that is the widest row takes its margin too.
void widen_for_prompt(MsgBoxLocals& locals, StrHandle prompt) {
    const char16_t* d;
    const uint32_t n = str_len_wide(prompt, &d);
    const uint32_t cells = text_cells(d, n);
    if (cells > uint32_t(locals.row_width)) locals.row_width = static_cast<int32_t>(cells + kPromptMargin);
}

// Text cells of a row when nothing limits them.
constexpr uint32_t kNoLimit = 0xFFFFFFFFu;


// One cell and never a mark: nearly every unit of a message, so it is told
// apart without a search.
inline bool plain_unit(char16_t u) { return uint32_t(u) - 0x20u < 0x5Fu; }

// A message line: where it ends (at its CR LF, or with the message), its
// cells, and whether it holds a NUL.
struct Line {
    uint32_t end;
    uint32_t cells;
    bool nul;
};

Line scan_line(const char16_t* s, uint32_t p, uint32_t n) {
    Line line{p, 0, false};
    uint32_t& at = line.end;
    for (;;) {
        const uint32_t run = at;
        while (at < n && plain_unit(s[at])) ++at;
        line.cells += at - run;
        if (at == n || (s[at] == u'\r' && at + 1 < n && s[at + 1] == u'\n')) return line;
        line.nul = line.nul || s[at] == 0;
        const CellChar c = cell_char_at(s, n, at);
        line.cells += c.cells;
        at += c.units;
    }
}

// A space a line may be broken at: one that carries no mark, since a mark
// never leaves the character it is drawn with.
bool bare_space(const char16_t* s, uint32_t at, uint32_t end) {
    if (s[at] != u' ') return false;
    return at + 1 == end || plain_unit(s[at + 1]) || cell_char_at(s, end, at + 1).cells != 0;
}

// One row of a line: its units end at `end` and the next row starts at `next`.
struct RowCut {
    uint32_t end;
    uint32_t next;
    uint32_t cells;
};

// The row that starts at `p` of a line ending at `end`, `width` cells wide
// at most. The line is broken at the start of its last run of spaces that
// starts within the row (not at the row's start), the run shown on neither
// row; without one, before the first character that does not fit, the row
// taking at least one. A zero-cell character always fits, so it stays with
// the character before it, even one wider than the row. Linear over a line:
// after a break at spaces the next row rescans only the word it starts with.
RowCut cut_row(const char16_t* s, uint32_t p, uint32_t end, uint32_t width) {
    uint32_t at = p, cells = 0;
    RowCut brk{0, 0, 0};
    bool have_break = false, after_space = false;
    while (at < end) {
        uint32_t units = 1, c = 1;
        bool space = false;
        if (plain_unit(s[at])) {
            space = bare_space(s, at, end);
        } else {
            const CellChar ch = cell_char_at(s, end, at);
            units = ch.units;
            c = ch.cells;
        }
        if (space && !after_space && at > p) {
            brk = RowCut{at, at, cells};
            have_break = true;
        }
        after_space = space;
        if (c > 0 && cells + c > width && at > p) {
            if (!have_break) return RowCut{at, at, cells};
            while (brk.next < end && bare_space(s, brk.next, end)) ++brk.next;
            return brk;
        }
        cells += c;
        at += units;
    }
    return RowCut{end, end, cells};
}

// What one walk over the message found.
struct Walk {
    uint32_t rows;         // rows at the walk's width
    uint32_t lines;        // the message's own lines
    uint32_t widest;       // cells of the widest line; kNoLimit once one wrapped
    uint32_t widest_row;   // cells of the widest row, as wrapped
    uint32_t missing;      // rows that could not be made
};

// Row `i` of the box: one space + `units` units from `text`. False when it
// is not made.
bool put_row(MsgBoxLocals& locals, uint32_t i, const char16_t* text, uint32_t units, uint32_t cells) {
    if (i > uint32_t(locals.line_count)) return false;
    StrHandle row = str_alloc_wide(units + 1);
    if (row == 0) {
        raise_internal(&locals.proc_frame, kErrOutOfMemory);
    } else {
        auto* d = reinterpret_cast<char16_t*>(row);
        d[0] = u' ';
        memcpy(d + 1, text, 2 * size_t{units});
    }
    *line_slot(locals, int32_t(i)) = row;
    if (cells >= uint32_t(locals.row_width)) locals.row_width = int32_t(cells + 1);
    return row != 0;
}

// Appends n units to the reading text at *at. A NUL, which would end the
// text for whoever reads it, reads as the blank it is drawn as.
void append_reading(char16_t* reading, uint32_t* at, const char16_t* units, uint32_t n, bool nul) {
    char16_t* d = reading + *at;
    memcpy(d, units, 2 * size_t{n});
    for (uint32_t k = 0; nul && k < n; ++k) {
        if (d[k] == 0) d[k] = u' ';
    }
    *at += n;
}

// The message's rows at `width` cells of text, counted; with `locals`, each row
// also goes into lines(i) and widens row_width, and each line, whole, into
// `reading` from *at on.
Walk walk_rows(const char16_t* s, uint32_t n, uint32_t width, MsgBoxLocals* locals, char16_t* reading,
               uint32_t* at) {
    Walk walk{0, 0, 0, 0, 0};
    uint32_t p = 0;
    for (;;) {
        const Line line = scan_line(s, p, n);
        ++walk.lines;
        if (line.cells <= width) {
            ++walk.rows;
            if (locals != nullptr) walk.missing += !put_row(*locals, walk.rows, s + p, line.end - p, line.cells);
            if (line.cells > walk.widest) walk.widest = line.cells;
            if (line.cells > walk.widest_row) walk.widest_row = line.cells;
        } else {
            walk.widest = kNoLimit;
            for (uint32_t q = p; q < line.end;) {
                const RowCut cut = cut_row(s, q, line.end, width);
                ++walk.rows;
                if (locals != nullptr) walk.missing += !put_row(*locals, walk.rows, s + q, cut.end - q, cut.cells);
                if (cut.cells > walk.widest_row) walk.widest_row = cut.cells;
                q = cut.next;
            }
        }
        if (reading != nullptr) {
            reading[(*at)++] = u' ';
            append_reading(reading, at, s + p, line.end - p, line.nul);
            append_reading(reading, at, kCrLf, kCrLfUnits, false);
        }
        if (line.end == n) return walk;
        p = line.end + kCrLfUnits;
    }
}

// Text cells of a row for a limit in columns: a row keeps one free column to
// its right and starts with its space.
uint32_t text_width(int32_t columns) {
    if (columns <= 0) return kNoLimit;
    return columns > 2 ? uint32_t(columns) - 2 : 1;
}

void assign_literal(MsgBoxLocals& locals, LiteralId id, StrHandle* var) {
    tmp_push_ref(locals.proc_frame, literal(id));
    tmp_to_wide(locals.proc_frame, 0, kCodePageOfThread);
    tmp_assign(locals.proc_frame, var);
}

// prefix (an ANSI literal) + choice, assigned to `var`.
void build_prompt(MsgBoxLocals& locals, LiteralId prefix, StrHandle choice, StrHandle* var) {
    tmp_push_ref(locals.proc_frame, literal(prefix));
    tmp_push_ref(locals.proc_frame, choice);
    tmp_to_wide(locals.proc_frame, 1, kCodePageOfThread);
    tmp_concat(locals.proc_frame);
    tmp_assign(locals.proc_frame, var);
}

// The message's rows counted before anything is made: at the box's widest,
// and, when they cannot all be shown at once with the `extra_rows` beneath,
// at the width a scroll bar leaves, which goes to *width.
Walk count_rows(const char16_t* s, uint32_t n, const FitLimits& limits, int32_t extra_rows, uint32_t* width) {
    *width = text_width(limits.max_columns);
    Walk walk = walk_rows(s, n, *width, nullptr, nullptr, nullptr);
    if (limits.max_columns_scrolling > 0 && fit_rows_scroll(limits, int32_t(walk.rows) + extra_rows)) {
        *width = text_width(limits.max_columns_scrolling);
        // No line wider than that: the rows stay as counted.
        if (walk.widest > *width) walk = walk_rows(s, n, *width, nullptr, nullptr, nullptr);
    }
    return walk;
}

// `lines` for `rows` rows; line_count stays 0 when it cannot be made, as rows
// are only written into an array that exists.
void dim_lines(MsgBoxLocals& locals, uint32_t rows) {
    const int32_t bounds[2] = {1, int32_t(rows)};
    dim_array(locals.proc_frame, &locals.lines.head, nullptr, kLinesFlags, kElementString, 1, sizeof(StrHandle),
              bounds);
    locals.line_count = (locals.lines.head.flags & kArrayDimensioned) ? int32_t(rows) : 0;
}

// The prompt rows: the Enter prompt without choices, the choice after two
// spaces for one, else each choice after its number.
void make_prompts(MsgBoxLocals& locals, const StrHandle* choice1, const StrHandle* choice2,
                  const StrHandle* choice3) {
    if (choice1 == nullptr) {
        assign_literal(locals, kLitPressEnter, &locals.prompt1);
    } else if (choice2 == nullptr) {
        build_prompt(locals, kLitTwoSpaces, *choice1, &locals.prompt1);
    } else {
        build_prompt(locals, kLitPress1, *choice1, &locals.prompt1);
        build_prompt(locals, kLitPress2, *choice2, &locals.prompt2);
        if (choice3 != nullptr) build_prompt(locals, kLitPress3, *choice3, &locals.prompt3);
    }
}

// Room for the reading text of a message of `n` units in `lines` lines: one
// space + each line, CR LF after each, the blank row, then the prompt rows
// joined by CR LF. Null, raised as out of memory, when there is none.
char16_t* alloc_reading(MsgBoxLocals& locals, uint32_t n, uint32_t lines, StrHandle* const prompt_rows[],
                        int32_t prompts) {
    uint64_t units = uint64_t{n} + lines + kCrLfUnits + kCrLfUnits * uint64_t(prompts);
    for (int32_t i = 0; i < prompts; ++i) units += str_len_wide(*prompt_rows[i]);
    locals.reading = units <= kMaxWideUnits ? str_alloc_wide(uint32_t(units)) : 0;
    if (locals.reading == 0) raise_internal(&locals.proc_frame, kErrOutOfMemory);
    return reinterpret_cast<char16_t*>(locals.reading);
}

// What the first step of the layout found, for the second.
struct Sized {
    Walk walk;        // the rows as counted
    uint32_t width;   // cells of text a row holds
};

// The layout's first step: the prompts, extra_rows and row_width, with the
// message's rows counted but not made.
Sized lay_out_size(MsgBoxLocals& locals, const StrHandle* caption, const StrHandle* message,
                   const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3,
                   const FitLimits& limits) {
    const char16_t* s;
    const uint32_t n = str_len_wide(message ? *message : 0, &s);
    const int32_t prompts = choice1 == nullptr || choice2 == nullptr ? 1 : choice3 == nullptr ? 2 : 3;
    locals.extra_rows = kBlankRows + prompts;
    Sized sized{};
    sized.walk = count_rows(s, n, limits, locals.extra_rows, &sized.width);
    const char16_t* cap;
    const uint32_t cap_units = str_len_wide(caption ? *caption : 0, &cap);
    locals.row_width = int32_t(text_cells(cap, cap_units)) + kCaptionMargin;
    // As the rows will widen it once they are made, then the prompts.
    if (sized.walk.widest_row >= uint32_t(locals.row_width)) locals.row_width = int32_t(sized.walk.widest_row + 1);
    make_prompts(locals, choice1, choice2, choice3);
    const StrHandle prompt_rows[3] = {locals.prompt1, locals.prompt2, locals.prompt3};
    for (int32_t i = 0; i < prompts; ++i) widen_for_prompt(locals, prompt_rows[i]);
    return sized;
}

// The second step: `lines`, each row, and the reading text. False when not
// every row could be made.
bool lay_out_rows(MsgBoxLocals& locals, const StrHandle* message, const Sized& sized) {
    const char16_t* s;
    const uint32_t n = str_len_wide(message ? *message : 0, &s);
    dim_lines(locals, sized.walk.rows);
    StrHandle* const prompt_rows[3] = {&locals.prompt1, &locals.prompt2, &locals.prompt3};
    const int32_t prompts = msgbox_prompt_count(locals);
    auto* reading = alloc_reading(locals, n, sized.walk.lines, prompt_rows, prompts);
    uint32_t at = 0;
    const Walk made = walk_rows(s, n, sized.width, &locals, reading, &at);
    for (int32_t i = 0; i < prompts && reading != nullptr; ++i) {
        const char16_t* d;
        const uint32_t units = str_len_wide(*prompt_rows[i], &d);
        append_reading(reading, &at, kCrLf, kCrLfUnits, false);
        append_reading(reading, &at, d, units, true);
    }
    return uint32_t(locals.line_count) == sized.walk.rows && made.missing == 0;
}

// Every prompt the box has was made: a prompt is never empty, as its prefix
// is not.
bool prompts_made(const MsgBoxLocals& locals) {
    const StrHandle prompt_rows[3] = {locals.prompt1, locals.prompt2, locals.prompt3};
    for (int32_t i = 0; i < msgbox_prompt_count(locals); ++i) {
        if (prompt_rows[i] == 0) return false;
    }
    return true;
}

}  // namespace

void msgbox_locals_init(MsgBoxLocals& locals) {
    locals = MsgBoxLocals{};
    frame_init(locals.proc_frame, &kMsgBoxDescriptor);
}

StrHandle msgbox_line(const MsgBoxLocals& locals, int32_t i) {
    return static_cast<const StrHandle*>(locals.lines.head.data)[i - 1];
}

void msgbox_layout(MsgBoxLocals& locals, const StrHandle* caption, const StrHandle* message,
                   const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3,
                   const FitLimits& limits) {
    const Sized sized = lay_out_size(locals, caption, message, choice1, choice2, choice3, limits);
    (void)lay_out_rows(locals, message, sized);
}

StrHandle msgbox_layout_box(MsgBoxLocals& locals, const StrHandle* caption, const StrHandle* message,
                            const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3,
                            const FitLimits& limits) {
    const Sized sized = lay_out_size(locals, caption, message, choice1, choice2, choice3, limits);
    StrHandle shown = shown_text_of_box(int32_t(sized.walk.rows) + locals.extra_rows, msgbox_columns(locals));
    if (shown == 0 || !prompts_made(locals) || !lay_out_rows(locals, message, sized)) {
        str_free(shown);
        return 0;
    }
    return shown;
}

void msgbox_accepted_keys(MsgBoxLocals& locals) {
    const int32_t prompts = msgbox_prompt_count(locals);
    if (prompts == 1) {
        string_of_codes(locals.proc_frame, &kEnterKey, 1);
        tmp_assign(locals.proc_frame, &locals.accepted_keys);
    } else {
        assign_literal(locals, prompts == 2 ? kLit12 : kLit123, &locals.accepted_keys);
    }
}

bool msgbox_key_result(MsgBoxLocals& locals, int32_t* result) {
    ProcFrame& proc_frame = locals.proc_frame;
    tmp_push_ref(proc_frame, locals.key);
    tmp_push_ref(proc_frame, locals.accepted_keys);
    if (find_any(proc_frame, kFirstPosition) == 0) return false;
    tmp_push_ref(proc_frame, locals.key);
    tmp_to_ansi(proc_frame, 0, kCodePageOfThread);
    *result = round_to_int32(parse_number(proc_frame, kFirstPosition));
    return true;
}
