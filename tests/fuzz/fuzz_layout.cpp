// The message box layout on any caption, message and choices, with no limit
// and with small ones: no crash, no read outside the strings, rows and widths
// consistent (a short message's rows as the model has them), every key
// answered as the prompts say, and nothing left over after the locals are
// released.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "../layout_model.h"
#include "fuzz_support.h"
#include "runtime/runtime.h"
#include "msgbox/layout.h"
#include "platform/platform.h"
#include "strings/cells.h"
#include "strings/fields.h"

// The literal pool and the first thread context come from the attach.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    library_entry(0x10000, kProcessAttach, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    load_fpu_control(kRuntimeFpuControl);
    FuzzReader r = {data, size};
    const uint8_t present = r.byte();
    size_t len[4];
    const uint8_t* bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = r.piece(64, &len[i]);
    ExactBlock caption = exact_block(bytes[0], len[0]);
    ExactBlock c1 = exact_block(bytes[1], len[1]);
    ExactBlock c2 = exact_block(bytes[2], len[2]);
    ExactBlock c3 = exact_block(bytes[3], len[3]);
    ExactBlock message = exact_block(r.p, r.n);

    const PlatformCounters before = platform_counters();
    MsgBoxLocals l;
    msgbox_locals_init(l);
    // The top bits of `present`: 0 for no limit, else a small box, so that
    // wrapping and the scroll bar's width are reached on short inputs.
    const int32_t small = present >> 5;
    const FitLimits limits = small == 0 ? FitLimits{0, 0, 0} : FitLimits{1 + 2 * small, 2 * small, small};
    msgbox_layout(l, (present & 8) ? nullptr : &caption.handle, (present & 16) ? nullptr : &message.handle,
                  (present & 1) ? &c1.handle : nullptr, (present & 2) ? &c2.handle : nullptr,
                  (present & 4) ? &c3.handle : nullptr, limits);
    if (l.proc_frame.depth != 0 || l.proc_frame.error_slot != 0) abort();
    if (l.line_count < 1 || l.extra_rows < 2 || l.extra_rows > 4) abort();
    const char16_t* cap;
    const uint32_t cap_units = str_len_wide((present & 8) ? 0 : caption.handle, &cap);
    if (l.row_width < static_cast<int32_t>(text_cells(cap, cap_units)) + 2) abort();
    const char16_t* msg;
    const uint32_t msg_units = str_len_wide((present & 16) ? 0 : message.handle, &msg);
    // Short messages against the model, whose time grows with the cube of a line.
    if (msg_units <= 300) {
        using namespace layout_model;
        const std::u16string text(msg, msg_units);
        const std::vector<std::u16string> want = model_rows(text, limits, l.extra_rows);
        if (want.size() != static_cast<size_t>(l.line_count)) abort();
        for (int32_t i = 1; i <= l.line_count; ++i) {
            const char16_t* d;
            const uint32_t n = str_len_wide(msgbox_line(l, i), &d);
            if (std::u16string(d, n) != want[i - 1]) abort();
        }
        std::vector<std::u16string> prompts;
        for (StrHandle p : {l.prompt1, l.prompt2, l.prompt3}) {
            const char16_t* d;
            const uint32_t n = str_len_wide(p, &d);
            if (p != 0) prompts.push_back(std::u16string(d, n));
        }
        if (msgbox_columns(l) != model_columns(std::u16string(cap, cap_units), want, prompts)) abort();
        const char16_t* r;
        const uint32_t rn = str_len_wide(l.reading, &r);
        if (std::u16string(r, rn) != model_reading(text, prompts)) abort();
    }
    for (int32_t i = 1; i <= l.line_count; ++i) {
        const char16_t* d;
        const uint32_t n = str_len_wide(msgbox_line(l, i), &d);
        const uint32_t cells = text_cells(d, n);
        if (n < 1 || d[0] != u' ' || static_cast<int32_t>(cells) > l.row_width) abort();
        // A row fits its box but for one character wider than the row.
        if (small != 0 && static_cast<int32_t>(cells) > limits.max_columns - 1) {
            const uint32_t first = 1 + cell_char_at(d, n, 1).units;
            if (text_cells(d + first, n - first) != 0) abort();
        }
        // Without a limit the rows are the message's fields at CR LF, in order.
        if (small == 0 && (i <= 2 || i == l.line_count)) {
            tmp_push_ref(l.proc_frame, (present & 16) ? 0 : message.handle);
            tmp_push_ref(l.proc_frame, literal(kLitCrLf));
            field_at(l.proc_frame, i);
            const char16_t* fd;
            const uint32_t fn = str_len_wide(tmp_slot(l.proc_frame, 0), &fd);
            if (fn != n - 1 || memcmp(fd, d + 1, 2 * fn) != 0) abort();
            tmp_drop(l.proc_frame);
        }
    }

    msgbox_accepted_keys(l);
    const int32_t choices = l.extra_rows == 2 ? 0 : l.extra_rows - 1;
    for (int32_t unit : {13, 48, 49, 50, 51, 52, 97, 0x3131}) {
        string_of_codes(l.proc_frame, &unit, 1);
        tmp_assign(l.proc_frame, &l.key);
        int32_t result = -7;
        const bool accepted = msgbox_key_result(l, &result);
        const bool expected = choices == 0 ? unit == 13 : unit >= '1' && unit <= '0' + choices;
        if (accepted != expected || l.proc_frame.depth != 0) abort();
        if (accepted && result != (unit == 13 ? 0 : unit - '0')) abort();
    }

    release_locals(l.proc_frame);
    const PlatformCounters after = platform_counters();
    if (after.live_strings != before.live_strings || after.live_globals != before.live_globals) abort();
    exact_free(caption);
    exact_free(message);
    exact_free(c1);
    exact_free(c2);
    exact_free(c3);
    return 0;
}
