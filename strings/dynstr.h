// Dynamic strings, the literal pool and the string temporaries.
//
// A string handle is the address of the first data byte of a block whose
// 32-bit byte length sits in the 4 bytes before it and whose data is followed
// by a zero terminator. The empty string is the handle 0. In a temporary slot
// bit 0 (the borrowed bit) marks a value the slot must not free.
#pragma once

#include <stddef.h>
#include <stdint.h>

using StrHandle = uintptr_t;
constexpr StrHandle kBorrowedBit = 1;

static inline StrHandle str_unborrow(StrHandle h) { return h & ~kBorrowedBit; }

// --- blocks ------------------------------------------------------------------
// A block of n bytes / n UTF-16 units, contents uninitialised. 0 for n == 0.
// Failure (system out of memory) is the handle 0 for n > 0: the caller treats
// it as run-time error 7 and raises or swallows it.
StrHandle str_alloc_ansi(uint32_t bytes);
StrHandle str_alloc_wide(uint32_t units);

// Frees an owned handle. Does nothing for 0 or for a borrowed value.
void str_free(StrHandle h);

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

// --- literal pool --------------------------------------------------------------
enum LiteralId : uint32_t {
    kLitCrLf,         // UTF-16 CR LF
    kLitSpace,        // UTF-16 " "
    kLitPressEnter,   // ANSI "  Press <Enter>"
    kLitTwoSpaces,    // ANSI "  "
    kLitPress1,       // ANSI "  Press 1 for "
    kLitPress2,       // ANSI "  Press 2 for "
    kLitPress3,       // ANSI "  Press 3 for "
    kLit12,           // ANSI "12"
    kLit123,          // ANSI "123"
    kLiteralCount
};
// Numeric constants behind the strings, in pool order.
enum NumberId : uint32_t { kNum1, kNum2, kNum0, kNum3, kNum4, kNum30, kNum80, kNum13, kNumberCount };

// Copies the pool image into `pool` (kLiteralPoolBytes, 4-aligned).
void place_literal_pool(uint8_t* pool);
// Handle of a literal in the placed pool (g_runtime.literal_pool).
StrHandle literal(LiteralId id);
int32_t literal_number(NumberId id);

// --- procedure frame and temporaries -------------------------------------------
struct ProcDescriptor {
    const uint32_t* release_list;   // entries relative to the frame's address; ends with 0
};

constexpr int kTempSlots = 5;

// The head of every library procedure's locals: a procedure keeps its dynamic
// locals in a struct whose first member is its ProcFrame, so release list
// offsets are measured from the frame's address.
struct ProcFrame {
    int32_t depth;                      // slots in use; 0 at every exit
    const ProcDescriptor* descriptor;
    StrHandle slots[kTempSlots];        // slots[depth - 1] is the top
    uint8_t numeric_scratch[8];
    uint8_t error_slot;                 // last run-time error raised in this call, 0 = none
};

void frame_init(ProcFrame& f, const ProcDescriptor* descriptor);

// Only a defect in the library's own code fails the checks of the slots:
// every procedure keeps its temporaries balanced and within the five slots.

// Slot at `depth` (0 = top) with its borrowed bit.
inline StrHandle tmp_slot(const ProcFrame& f, int depth) {
    if (depth < 0 || depth >= f.depth) __builtin_trap();
    return f.slots[f.depth - 1 - depth];
}

inline void tmp_push_owned(ProcFrame& f, StrHandle h) {
    if (f.depth >= kTempSlots) __builtin_trap();
    f.slots[f.depth++] = h;
}
inline void tmp_push_ref(ProcFrame& f, StrHandle h) { tmp_push_owned(f, h | kBorrowedBit); }
inline void tmp_drop(ProcFrame& f) {
    if (f.depth <= 0) __builtin_trap();
    const StrHandle v = f.slots[--f.depth];
    f.slots[f.depth] = 0;
    if (v != 0 && !(v & kBorrowedBit)) str_free(v);
}
// Drops the top `count` slots.
void tmp_drop_n(ProcFrame& f, int count);
// The calling convention of string-valued functions: drops the upper
// operand_count - 1 slots, frees the deepest if owned and stores the owned
// `result` there.
void tmp_set_result(ProcFrame& f, int operand_count, StrHandle result);

// Pops the top slot into the variable `*var` (never leaves a borrowed value
// there). Raises 7 into f when a copy cannot be allocated; *var is then 0.
void tmp_assign(ProcFrame& f, StrHandle* var);
// Replaces the two top slots by depth 1 followed by depth 0. On allocation
// failure raises 7 and leaves an owned empty slot in their place.
void tmp_concat(ProcFrame& f);
// Length in UTF-16 units of the top slot, which it drops.
uint32_t tmp_len(ProcFrame& f);
void tmp_to_wide(ProcFrame& f, int depth, uint32_t code_page);
void tmp_to_ansi(ProcFrame& f, int depth, uint32_t code_page);

// Releases the locals that f's descriptor names (strings freed, arrays
// erased, objects released, variants cleared). A failure of erase_array is
// raised into f, which for 241 ends the process.
void release_locals(ProcFrame& f);
