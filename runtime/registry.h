// The window registry: one WindowRecord per window the runtime manages.
//
// The registry lives in g_runtime.shared.registry with a lock of its own,
// an owner lock (runtime/owner_lock.h), so a thread killed inside a list walk
// leaves nobody waiting for good; an operation that cannot have the lock
// within its bound does as if the record it looks for were not there, and
// changes nothing. The lock guards the list walk and the link
// and unlink steps only; the fields of a record are read and written outside
// it. No operation holds both the registry's and the font list's lock, and
// none makes a system call while it holds one. Records are zero-filled
// blocks of their own (alloc_zeroed_record, runtime/blocks.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "runtime/fonts.h"
#include "runtime/owner_lock.h"

// Flag words and type codes the registry and the text window agree on.
constexpr uint32_t kFlagTextFrame = 0x80000000u;   // frame made by open_text_window
constexpr uint32_t kFlagChild = 0x20000000u;       // child control, destroyed with its parent
constexpr int32_t kTypeFrame = 0;
constexpr int32_t kTypeTextArea = 15;

// What the layer that registers a text area keeps of it beyond these
// fields (textwin/). The registry only holds the reference.
struct TextAreaState;

// Packed to 4 and pointer-sized as the font records are (runtime/fonts.h).
#pragma pack(push, 4)
struct WindowRecord {
    WindowRecord* next;         // registry link, under the registry lock
    uintptr_t hwnd;             // lookup key, unique in the registry
    uintptr_t parent;           // HWND of the parent, 0 for a top-level window
    uint32_t flags;
    int32_t font_number;        // font record selected into mem_dc, 0 = none
    uintptr_t saved_font;       // HGDIOBJ mem_dc held before the text font
    uintptr_t mem_dc;           // back buffer; owned by the record
    uintptr_t saved_bitmap;     // bitmap mem_dc held before the back buffer's
    int32_t width;
    int32_t height;
    int32_t cur_x;
    int32_t cur_y;
    int32_t char_width;
    int32_t char_height;
    int32_t ext_leading;
    uintptr_t back_brush;       // HBRUSH, shared by all records of back_color
    uint32_t text_color;        // COLORREF
    uint32_t back_color;        // COLORREF
    int32_t type_code;
    uintptr_t static_proc;      // WNDPROC the text area procedure replaced
    // One-slot key buffer. Window thread: release store, replacing a key not
    // yet taken; calling thread: takes it with atomic_exchange32 against 0.
    volatile uint32_t pending_char;
    // The text window's own state of a text area, null for every other
    // record. Made and freed by textwin/, which frees it before it destroys
    // the record; the registry never reads it.
    TextAreaState* text_area_state;
};
#pragma pack(pop)

// The fields read_window_field can return: those the text window reads.
enum WindowField : uint8_t {
    kFieldFlags,
    kFieldTypeCode,
};

// Links a new zero-filled record at the head of the registry and returns it.
// Types 14, 15 and 26 get text_color COLOR_WINDOWTEXT, back_color
// COLOR_BTNFACE and a back_brush shared with any record of that colour (a
// CreateSolidBrush failure leaves it null). Null (kErrInvalidCall for the
// caller) when the handle is already registered, the record cannot be
// allocated or the list cannot be had; nothing is linked then.
WindowRecord* register_window(uintptr_t hwnd, uintptr_t parent, uint32_t flags, int32_t type_code);

// The first record whose hwnd matches, or null.
WindowRecord* find_window_record(uintptr_t hwnd);

// The field of the record of `hwnd`, read after the lock is released, and the
// record through `record` (when given). For an unregistered handle: 0 and a
// null record.
uintptr_t read_window_field(uintptr_t hwnd, WindowField field, WindowRecord** record);

// The hwnd of the newest record with this parent and the child bit, or 0.
uintptr_t find_child_window(uintptr_t parent);

// The back_brush of the first record whose brush is set and whose back_color
// matches, or 0.
uintptr_t find_shared_brush(uint32_t color);

// Destroys the record of `hwnd` after its child controls' records: gives the
// font back, deletes the brush unless another record still shares it,
// deletes the back-buffer bitmap and mem_dc, and frees the record.
// false when `hwnd` is not registered, a child's destruction failed or the
// list could not be had (the parent's record then stays registered). A
// brush it cannot learn is unshared stays.
bool destroy_window_record(uintptr_t hwnd);

// Gives the record's font back to its font record (use_count - 1; the font
// handle is never deleted) and restores the saved font: selected back into
// mem_dc for types 14 and 26, sent as WM_SETFONT for every other type.
void release_record_font(WindowRecord* record);
