#include "msgbox/layout.h"

#include <stddef.h>

#include "runtime/runtime.h"
#include "strings/fields.h"
#include "strings/number.h"

namespace {

const uint32_t kMsgBoxReleaseList[] = {
    release_entry(offsetof(MsgBoxLocals, lines), kReleaseArray),
    release_entry(offsetof(MsgBoxLocals, prompt1), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, prompt2), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, prompt3), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, accepted_keys), kReleaseString),
    release_entry(offsetof(MsgBoxLocals, key), kReleaseString),
    0,
};
const ProcDescriptor kMsgBoxDescriptor = {kMsgBoxReleaseList};

constexpr uint8_t kLinesFlags = 8;   // a mark of the caller's that no array operation acts on
constexpr uint32_t kCodePageOfThread = 0;
constexpr int32_t kFirstPosition = 1;   // positions in a string count from 1
constexpr int32_t kEnterKey = 13;       // CR, the unit the Enter key types

// row_width is at least the caption's text and kCaptionMargin columns; a
// prompt that is the widest row counts kPromptMargin columns beyond its text.
constexpr int32_t kCaptionMargin = 2;
constexpr int32_t kPromptMargin = 1;

// Rows below the message: one blank row, then one per prompt.
constexpr int32_t kBlankRows = 1;

StrHandle* line_slot(MsgBoxLocals& l, int32_t i) {
    return static_cast<StrHandle*>(l.lines.head.data) + (i - 1);
}

// Width rule for rows: the row's own length, leading space included.
void widen_for_row(MsgBoxLocals& l, StrHandle row) {
    tmp_push_ref(l.frame, row);
    const int64_t len = tmp_len(l.frame);
    if (len > l.row_width) l.row_width = static_cast<int32_t>(len);
}

// Width rule for prompts: a prompt that is the widest row takes its margin too.
void widen_for_prompt(MsgBoxLocals& l, StrHandle prompt) {
    tmp_push_ref(l.frame, prompt);
    const int64_t len = tmp_len(l.frame);
    if (len > l.row_width) l.row_width = static_cast<int32_t>(len + kPromptMargin);
}

void assign_literal(MsgBoxLocals& l, LiteralId id, StrHandle* var) {
    tmp_push_ref(l.frame, literal(id));
    tmp_to_wide(l.frame, 0, kCodePageOfThread);
    tmp_assign(l.frame, var);
}

// prefix (an ANSI literal) + choice, assigned to `var`; then the width rule.
void build_prompt(MsgBoxLocals& l, LiteralId prefix, StrHandle choice, StrHandle* var) {
    tmp_push_ref(l.frame, literal(prefix));
    tmp_push_ref(l.frame, choice);
    tmp_to_wide(l.frame, 1, kCodePageOfThread);
    tmp_concat(l.frame);
    tmp_assign(l.frame, var);
    widen_for_prompt(l, *var);
}

}  // namespace

void msgbox_locals_init(MsgBoxLocals& l) {
    l = MsgBoxLocals{};
    frame_init(l.frame, &kMsgBoxDescriptor);
}

StrHandle msgbox_line(const MsgBoxLocals& l, int32_t i) {
    return static_cast<const StrHandle*>(l.lines.head.data)[i - 1];
}

void msgbox_layout(MsgBoxLocals& l, const StrHandle* caption, const StrHandle* message,
                   const StrHandle* choice1, const StrHandle* choice2, const StrHandle* choice3) {
    const StrHandle caption_text = caption ? *caption : 0;
    const StrHandle message_text = message ? *message : 0;
    ProcFrame& f = l.frame;

    tmp_push_ref(f, message_text);
    tmp_push_ref(f, literal(kLitCrLf));
    const int32_t n = field_count(f);

    const int32_t bounds[2] = {1, n};
    dim_array(f, &l.lines.head, nullptr, kLinesFlags, kElementString, 1, sizeof(StrHandle), bounds);
    // Rows are only written into an array that exists.
    l.line_count = (l.lines.head.flags & kArrayDimensioned) ? n : 0;

    tmp_push_ref(f, caption_text);
    l.row_width = static_cast<int32_t>(tmp_len(f)) + kCaptionMargin;

    // One walk over the message: field_at(i) would scan it again from its
    // start for every row, a cost that grows with the square of its length.
    uint32_t next_row = 0;
    for (int32_t i = 1; i <= l.line_count; ++i) {
        tmp_push_ref(f, literal(kLitSpace));
        tmp_push_ref(f, message_text);
        tmp_push_ref(f, literal(kLitCrLf));
        field_next(f, &next_row);
        tmp_concat(f);
        tmp_assign(f, line_slot(l, i));
        widen_for_row(l, *line_slot(l, i));
    }

    if (choice1 == nullptr) {
        assign_literal(l, kLitPressEnter, &l.prompt1);
        widen_for_prompt(l, l.prompt1);
        l.extra_rows = kBlankRows + 1;
    } else if (choice2 == nullptr) {
        build_prompt(l, kLitTwoSpaces, *choice1, &l.prompt1);
        l.extra_rows = kBlankRows + 1;
    } else {
        build_prompt(l, kLitPress1, *choice1, &l.prompt1);
        build_prompt(l, kLitPress2, *choice2, &l.prompt2);
        l.extra_rows = kBlankRows + 2;
        if (choice3 != nullptr) {
            build_prompt(l, kLitPress3, *choice3, &l.prompt3);
            l.extra_rows = kBlankRows + 3;
        }
    }
}

void msgbox_accepted_keys(MsgBoxLocals& l) {
    const int32_t prompts = l.extra_rows - kBlankRows;
    if (prompts == 1) {
        string_of_codes(l.frame, &kEnterKey, 1);
        tmp_assign(l.frame, &l.accepted_keys);
    } else {
        assign_literal(l, prompts == 2 ? kLit12 : kLit123, &l.accepted_keys);
    }
}

bool msgbox_key_result(MsgBoxLocals& l, int32_t* result) {
    ProcFrame& f = l.frame;
    tmp_push_ref(f, l.key);
    tmp_push_ref(f, l.accepted_keys);
    if (find_any(f, kFirstPosition) == 0) return false;
    tmp_push_ref(f, l.key);
    tmp_to_ansi(f, 0, kCodePageOfThread);
    *result = round_to_int32(parse_number(f, kFirstPosition));
    return true;
}
