// The font list: one FontRecord per font description the runtime knows,
// with the font handles made from it, under the font list's lock.
//
// The list lives in g_runtime.shared.fonts with an owner lock of its own
// (runtime/owner_lock.h). The lock guards the list walks and the link and
// unlink steps only; the fields of a record are read and written outside it,
// and no system call is made while it is held. Records are blocks of their own (alloc_record, runtime/blocks.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

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

// Pointer and handle fields are pointer-sized: 32 bits in the 32-bit DLL, 64
// in the x64 DLL and natively. The records live in blocks of the string
// allocator, which are only 4-aligned (runtime/blocks.h), so they are packed
// to 4: where a pointer is 8 bytes its fields would otherwise ask for an
// 8-aligned start that no block promises.
#pragma pack(push, 4)
// A font record's font made for a screen of another DPI than 96.
struct ScaledFont {
    ScaledFont* next;
    uint32_t dpi;
    uintptr_t handle;        // HFONT
};

// A font of the system drawn for characters the record's font lacks, at a
// cell `height` pixels high: one per face and height, shared by every range
// that uses it. Its handle is the list's: deleted at unload.
struct SystemFont {
    SystemFont* next;
    int32_t height;
    uintptr_t handle;        // HFONT
    char16_t face[32];       // zero-terminated within its 32 units
};

// Which system font draws the code points [first, last] at a cell `height`
// pixels high: a handle of a SystemFont of the same record, never owned
// here; 0 records that no font of the system fits, kept for one code point
// only, so a failed search never hides the characters beside it.
struct FallbackFont {
    FallbackFont* next;
    uint32_t first;
    uint32_t last;
    int32_t height;
    uintptr_t handle;        // HFONT of a SystemFont, or 0: none to be had
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
    // Which system font draws what the record's font has no glyph for,
    // newest first. Linked under the lock and kept as `scaled` is.
    FallbackFont* fallback;
    // The system fonts those use, at most kMaxSystemFonts, newest first;
    // never left selected into a DC, so each goes at unload.
    SystemFont* system_fonts;
    uint32_t system_font_count;
};

#pragma pack(pop)

// Builds the three default font records into g_runtime.shared.fonts, called
// by runtime_reset on one thread without the lock. A record that cannot be
// allocated ends the list before it, so the list never has a gap: fonts
// 1..k exist or font k+1 and after are missing, never something in between.
void build_default_font_list();

// Frees the font records when the library is unloaded, and the font handles
// (scaled ones too) of the records no window has selected, and every system
// font kept for what they lack; without it every unload of the library would
// leave them behind in the host. Never at process end, where the lock may
// have been left taken by a thread that is gone. Nothing goes when the
// font list's lock cannot be had within its bound.
void release_font_list();

// The first font record whose number matches, or null (failure, also when
// the font list's lock cannot be had within its bound, as for every search
// below).
FontRecord* find_font_record(int32_t number);

// The font of `font_record` made for `dpi`, or 0 when none has been kept.
uintptr_t find_scaled_font(FontRecord* font_record, uint32_t dpi);

// Keeps `font`, made from `font_record` for `dpi`, for every later window at
// that DPI; it goes when the library is unloaded, as font_handle does. False
// when there is no memory to keep it, or no lock to link it with: the font
// then stays the caller's.
bool keep_scaled_font(FontRecord* font_record, uint32_t dpi, uintptr_t font);

// How many system fonts a font record keeps, whatever the scripts and cell
// heights its windows draw: each is a GDI object of the host's process
// until the library is unloaded.
constexpr uint32_t kMaxSystemFonts = 24;

// The fallback kept for `code_point` at `height`: true with its font in
// `font` (0 when no font fits), false when none was kept. An entry for the
// code point alone comes before one for a range that holds it.
bool find_fallback_font(FontRecord* font_record, uint32_t code_point, int32_t height, uintptr_t* font);

// Keeps `font` (0 for none; else a handle keep_system_font returned) for the
// code points [first, last] at `height`, for every later lookup until the
// library is unloaded. False when there is no memory or no lock within its
// bound to keep it.
bool keep_fallback_font(FontRecord* font_record, uint32_t first, uint32_t last, int32_t height, uintptr_t font);

// Whether two face names, each zero-terminated within its 32 units, are
// the same.
bool same_face(const char16_t* a, const char16_t* b);

// The kept system font of face `face` (zero-terminated within 32 units) at
// `height`, or 0 (also without the lock).
uintptr_t find_system_font(FontRecord* font_record, const char16_t* face, int32_t height);

// Keeps `font`, made of `face` at `height`, until the library is unloaded,
// and returns the handle to draw with:
// | returned                 | the caller's `font`                          |
// |--------------------------|----------------------------------------------|
// | `font`                   | kept: the list's now                         |
// | another handle           | one of that face and height was kept first:  |
// |                          | the caller deletes its own                   |
// | 0                        | kMaxSystemFonts are kept, no memory, or no   |
// |                          | lock within its bound: it stays the caller's |
uintptr_t keep_system_font(FontRecord* font_record, const char16_t* face, int32_t height, uintptr_t font);
