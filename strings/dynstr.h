// The strings, above the runtime: what is done with text.
//
// strings/ holds the dynamic strings (this header: lengths, conversions and
// the string temporaries of a procedure frame), field parsing and set search
// (fields.h), numeric text (number.h) and the cells a character takes
// (cells.h). The blocks themselves, the literal pool and the procedure frame
// are the runtime's (runtime/blocks.h, runtime/literals.h, runtime/frame.h),
// included here for every user of strings.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/blocks.h"
#include "runtime/frame.h"
#include "runtime/literals.h"

// Byte length / unit count of a handle (bit 0 masked), with its data pointer.
// For the empty string: 0 and the static empty text, which reads as an empty
// zero-terminated text in either width. Inline, as the temporaries below:
// every string operation starts with them, and a call costs more than they do.
const char16_t* str_empty_text();
inline uint32_t str_stored_bytes(StrHandle h) {
    uint32_t n;
    __builtin_memcpy(&n, reinterpret_cast<const void*>(h - 4), 4);
    return n;
}
inline uint32_t str_len_ansi(StrHandle h, const char** data = nullptr) {
    h = str_unborrow(h);
    if (h == 0) {
        if (data) *data = reinterpret_cast<const char*>(str_empty_text());
        return 0;
    }
    if (data) *data = reinterpret_cast<const char*>(h);
    return str_stored_bytes(h);
}
inline uint32_t str_len_wide(StrHandle h, const char16_t** data = nullptr) {
    h = str_unborrow(h);
    if (h == 0) {
        if (data) *data = str_empty_text();
        return 0;
    }
    if (data) *data = reinterpret_cast<const char16_t*>(h);
    return str_stored_bytes(h) / 2;
}

// New owned string converted with `code_page` (0 = the calling thread's
// code_page). Empty input, a conversion the system cannot make and an
// allocation failure all give 0; no error is raised.
StrHandle ansi_to_wide(StrHandle h, uint32_t code_page);
StrHandle wide_to_ansi(StrHandle h, uint32_t code_page);

// --- temporaries ----------------------------------------------------------------

// Only a defect in the library's own code fails the checks of the slots:
// every procedure keeps its temporaries balanced and within kTempSlots.

// Slot at `depth` (0 = top) with its borrowed bit.
inline StrHandle tmp_slot(const ProcFrame& proc_frame, int depth) {
    if (depth < 0 || depth >= proc_frame.depth) __builtin_trap();
    return proc_frame.slots[proc_frame.depth - 1 - depth];
}

inline void tmp_push_owned(ProcFrame& proc_frame, StrHandle h) {
    if (proc_frame.depth >= kTempSlots) __builtin_trap();
    proc_frame.slots[proc_frame.depth++] = h;
}
inline void tmp_push_ref(ProcFrame& proc_frame, StrHandle h) {
    tmp_push_owned(proc_frame, h | kBorrowedBit);
}
inline void tmp_drop(ProcFrame& proc_frame) {
    if (proc_frame.depth <= 0) __builtin_trap();
    const StrHandle v = proc_frame.slots[--proc_frame.depth];
    proc_frame.slots[proc_frame.depth] = 0;
    if (v != 0 && !(v & kBorrowedBit)) str_free(v);
}
// Drops the top `count` slots.
void tmp_drop_n(ProcFrame& proc_frame, int count);
// The calling convention of string-valued functions: drops the upper
// operand_count - 1 slots, frees the deepest if owned and stores the owned
// `result` there.
void tmp_set_result(ProcFrame& proc_frame, int operand_count, StrHandle result);

// Pops the top slot into the variable `*var` (never leaves a borrowed value
// there). Raises kErrOutOfMemory into `proc_frame` when a copy cannot be
// allocated; *var is then 0.
void tmp_assign(ProcFrame& proc_frame, StrHandle* var);
// Replaces the two top slots by depth 1 followed by depth 0. On allocation
// failure raises kErrOutOfMemory and leaves an owned empty slot in their place.
void tmp_concat(ProcFrame& proc_frame);
// Length in UTF-16 units of the top slot, which it drops.
uint32_t tmp_len(ProcFrame& proc_frame);
void tmp_to_wide(ProcFrame& proc_frame, int depth, uint32_t code_page);
void tmp_to_ansi(ProcFrame& proc_frame, int depth, uint32_t code_page);

// Releases the locals that `proc_frame`'s descriptor names (strings freed, arrays
// erased, objects released, variants cleared). A failure of erase_array is
// raised into `proc_frame`: kErrFreeFailed, which ends the process.
void release_locals(ProcFrame& proc_frame);
