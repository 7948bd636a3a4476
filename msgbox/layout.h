// The message box's layout: rows, prompts, size and accepted keys, computed
// before any window exists.
#pragma once

#include <stdint.h>

#include "runtime/arrays.h"
#include "strings/dynstr.h"
#include "textwin/fit.h"

// The export's locals. Their procedure frame comes first, so the release
// list's offsets are measured from it; release_locals(proc_frame) erases
// `lines` and frees the strings at every exit.
struct MsgBoxLocals {
    ProcFrame proc_frame;
    ArrayDescriptorN<1> lines;   // wide strings, bounds 1 to line_count
    StrHandle prompt1;
    StrHandle prompt2;
    StrHandle prompt3;
    StrHandle accepted_keys;
    StrHandle key;
    StrHandle reading;           // what a reader hears: the rows with the host's own line breaks, by CR LF
    int32_t line_count;          // rows of `lines` that exist (0 when it could not be dimensioned)
    int32_t row_width;           // widest row in cells
    int32_t extra_rows;          // kBlankRows + 1 to 3 prompt rows
    int32_t result;              // 0 until an accepted key sets it
};

// Rows below the message: one blank row, then one per prompt.
constexpr int32_t kBlankRows = 1;

// Zeroes the locals and starts their procedure frame with the export's
// descriptor.
void msgbox_locals_init(MsgBoxLocals& locals);

// Row i (1-based, 1..line_count) of the message.
StrHandle msgbox_line(const MsgBoxLocals& locals, int32_t i);

// The box's size in cells: every row keeps a free column to its right.
inline int32_t msgbox_rows(const MsgBoxLocals& locals) { return locals.line_count + locals.extra_rows; }
inline int32_t msgbox_columns(const MsgBoxLocals& locals) { return locals.row_width + 1; }

// The prompt rows beneath the blank row: 1 ("Press <Enter>" or one choice),
// 2 or 3 (numbered choices).
inline int32_t msgbox_prompt_count(const MsgBoxLocals& locals) { return locals.extra_rows - kBlankRows; }

// Lays the box out from the export's by-reference arguments. A null choice
// is a missing one; a null caption or message reads as the empty string.
// Fills lines, line_count, row_width, prompt1..prompt3, extra_rows and
// reading. Widths count cells (strings/cells.h), not units.
//
// `limits` is the largest box the screen allows (text_window_limits); a
// limit of 0 is none, and with max_columns 0 nothing is wrapped.
// A message line wider than a box of limits.max_columns can show (a row
// holds max_columns - 1 cells, its leading space included) is wrapped onto
// more rows: at its last space that fits, the spaces there shown on neither
// row, or, for a word longer than a row, between whole characters at the
// row's end. When the rows then cannot all be shown at once (more than
// max_rows with the prompts, fit_rows_scroll: as the text window decides
// that its rows scroll), a scroll bar takes room and the lines are wrapped
// at max_columns_scrolling instead. `lines` holds the rows as shown;
// the caption and the prompts are never wrapped.
//
// Allocation failures are raised into locals.proc_frame (kErrOutOfMemory) and
// the layout goes on with what it has; if `lines` cannot be dimensioned,
// line_count is 0.
void msgbox_layout(MsgBoxLocals& locals, const StrHandle* caption, const StrHandle* message,
                   const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3,
                   const FitLimits& limits);

// The layout of a box that is to be shown: msgbox_layout, but the shown
// text for the box's size (textwin/shown_text.h, the one large block a box
// needs) is made first, once the rows are counted and before any is made,
// so that a message too large for its shown text makes no rows at all.
// Returns that shown text, for the box to take over, when it, every prompt
// and every row were made; else 0 with nothing of the shown text left, and
// the box is not to be opened: shown without its text, it could not draw a
// scrolled row.
StrHandle msgbox_layout_box(MsgBoxLocals& locals, const StrHandle* caption, const StrHandle* message,
                            const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3,
                            const FitLimits& limits);

// Builds accepted_keys for the prompts: CR alone for one, "12" for two,
// "123" for three.
void msgbox_accepted_keys(MsgBoxLocals& locals);

// Tests the key last assigned to locals.key against accepted_keys. True when
// it is accepted, with *result set to its number (0 for Enter); false
// otherwise, *result untouched. Leaves locals.key in place.
bool msgbox_key_result(MsgBoxLocals& locals, int32_t* result);
