// Fonts and drawing objects: the font list and the window registry.
//
// Both lists live in g_runtime.shared (fonts / registry) with a spin lock
// each. A lock guards the list walk and the link and unlink steps only; the
// fields of a record are read and written outside it. No operation holds
// both locks, and none makes a system call while it holds one.
//
// Records are raw zero-filled blocks from the string allocator
// (str_alloc_ansi), freed with str_free. In the DLL every field is 32 bits;
// natively the fields that hold a pointer or handle are pointer-sized.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "runtime/owner_lock.h"

// Mirrors LOGFONTW (92 bytes) so window-free code can hold one.
struct LogFontW {
    int32_t height;
    int32_t width;
    int32_t escapement;
    int32_t orientation;
    int32_t weight;
    uint8_t italic;
    uint8_t underline;
    uint8_t strike_out;
    uint8_t char_set;
    uint8_t out_precision;
    uint8_t clip_precision;
    uint8_t quality;
    uint8_t pitch_and_family;
    char16_t face_name[32];
};
static_assert(sizeof(LogFontW) == 92, "LOGFONTW layout");

// The string allocator's blocks are only 4-aligned, so natively the records
// are packed to 4 as well; in the DLL this changes nothing.
#pragma pack(push, 4)
// A font record's font made for a screen of another DPI than 96.
struct ScaledFont {
    ScaledFont* next;
    uint32_t dpi;
    uintptr_t handle;        // HFONT
};

// A font of the system that has glyphs the record's font lacks, for the code
// points [first, last] at a cell `height` pixels high. A handle of 0 records
// that no font of the system had one, so the range is not searched again.
struct FallbackFont {
    FallbackFont* next;
    uint32_t first;
    uint32_t last;
    int32_t height;
    uintptr_t handle;        // HFONT, or 0: none to be had
};

struct FontRecord {
    FontRecord* next;        // null at the end of the list
    int32_t use_count;       // WindowRecords with this font selected; defaults start at 1
    int32_t number;          // lookup key
    // HFONT for 96 DPI, made by the first window that selects it and kept
    // for every later one; deleted only when the library is unloaded.
    uintptr_t font_handle;
    float point_size;        // nominal size; unused by the text window
    LogFontW logfont;
    // The fonts made for other DPIs, newest first, kept as font_handle is.
    // Linked under the font list's lock, never unlinked before the unload.
    ScaledFont* scaled;
    // Fonts for what the record's font has no glyph for, newest first: a
    // narrower range kept later is found before the wider one it refines.
    // Linked under the lock and kept as `scaled` is; never left selected
    // into a DC, so each goes at unload.
    FallbackFont* fallback;
};

// Flag words and type codes the registry and the text window agree on.
constexpr uint32_t kFlagTextFrame = 0x80000000u;   // frame made by open_text_window
constexpr uint32_t kFlagChild = 0x20000000u;       // child control, destroyed with its parent
constexpr int32_t kTypeFrame = 0;
constexpr int32_t kTypeTextArea = 15;

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
    // What the text area shows, as text (textwin/shown_text.h): written by
    // the text operations and read by the window procedure, both under the
    // text lock. Owned by the record.
    uintptr_t shown_text;
    // A text area whose rows do not all fit its screen shows `shown_rows`
    // of its `rows`: the part that scrolls, from `top_row` on, and beneath
    // it the last `pinned_rows`, always in view. shown_rows == rows when
    // every row is in view. top_row is the window thread's to change; all
    // four are read and written under the text lock once published.
    int32_t rows;
    int32_t shown_rows;
    int32_t pinned_rows;
    int32_t top_row;
    uintptr_t scroll_bar;       // HWND of the scroll bar beside the part that scrolls; 0 when none
    // What a reader gets instead of the rows as shown, once the window has
    // it: the host's own lines, not the wrap. Owned by the record; under
    // the text lock.
    uintptr_t reading_text;
};
#pragma pack(pop)

// The fields read_window_field can return: those the text window reads.
enum WindowField : uint8_t {
    kFieldFlags,
    kFieldTypeCode,
};

// The registry's and the font list's lock: an owner lock (owner_lock.h), so
// a thread killed inside a list walk leaves nobody spinning for good. Held
// only for a few loads and stores.
static inline void spin_acquire(OwnerLockWord* word) { owner_lock_take(word); }
static inline void spin_release(OwnerLockWord* word) { owner_lock_release(word); }

// Builds the three default font records into g_runtime.shared.fonts, called
// by runtime_reset on one thread without the lock. A record that cannot be
// allocated ends the list before it, so the list never has a gap: fonts
// 1..k exist or font k+1 and after are missing, never something in between.
void build_default_font_list();

// Frees the font records when the library is unloaded, and the font handles
// (scaled ones too) of the records no window has selected, and every
// fallback font; without it every unload of the library would
// leave them behind in the host. Never at process end, where the lock may
// have been left taken by a thread that is gone.
void release_font_list();

// The first font record whose number matches, or null (failure).
FontRecord* find_font_record(int32_t number);

// The font of record `f` made for `dpi`, or 0 when none has been kept.
uintptr_t find_scaled_font(FontRecord* f, uint32_t dpi);

// Keeps `font`, made from record `f` for `dpi`, for every later window at
// that DPI; it goes when the library is unloaded, as font_handle does. False
// when there is no memory to keep it: the font then stays the caller's.
bool keep_scaled_font(FontRecord* f, uint32_t dpi, uintptr_t font);

// The newest fallback kept for `code_point` at `height`: true with its font
// in `font` (0 when the search found none), false when none was kept.
bool find_fallback_font(FontRecord* f, uint32_t code_point, int32_t height, uintptr_t* font);

// Keeps `font` (0 for none) for the code points [first, last] at `height`,
// for every later lookup until the library is unloaded. False when there is
// no memory to keep it: a font then stays the caller's.
bool keep_fallback_font(FontRecord* f, uint32_t first, uint32_t last, int32_t height, uintptr_t font);

// Links a new zero-filled record at the head of the registry and returns it.
// Types 14, 15 and 26 get text_color COLOR_WINDOWTEXT, back_color
// COLOR_BTNFACE and a back_brush shared with any record of that colour (a
// CreateSolidBrush failure leaves it null). Null (error 5 for the caller)
// when the handle is already registered or the record cannot be allocated;
// nothing is linked then.
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
// false when `hwnd` is not registered or a child's destruction failed (the
// parent's record then stays registered).
bool destroy_window_record(uintptr_t hwnd);

// Gives the record's font back to its font record (use_count - 1; the font
// handle is never deleted) and restores the saved font: selected back into
// mem_dc for types 14 and 26, sent as WM_SETFONT for every other type.
void release_record_font(WindowRecord* r);
