// The font list: three default font descriptions, numbered 1 to 3. Their
// font handles, for 96 DPI and for any other DPI a window was shown at, and
// the fonts of the system found for the characters they have no glyph for,
// are made on first use by the text window and live as long as the library.
#include "runtime/fonts.h"

#include "platform/gdi.h"
#include "runtime/blocks.h"
#include "runtime/context.h"

namespace {

struct DefaultFont {
    int32_t number;
    float point_size;
    uint8_t pitch_and_family;
    const char* face_name;   // ANSI; widened one byte to one unit
};

constexpr int32_t kFwNormal = 400;
constexpr uint8_t kAnsiCharset = 0;
constexpr uint8_t kDefaultPitch = 0;
constexpr uint8_t kFixedPitch = 1;

// The runtime's default list; the text window uses font 2 only, fonts 1
// and 3 are kept for the runtime's other kinds of window.
const DefaultFont kDefaultFonts[] = {
    {1, 8.0f, kDefaultPitch, "MS Sans Serif"},
    {2, 0.0f, kFixedPitch, "Lucida Console"},
    {3, 11.0f, kFixedPitch, "Lucida Console"},
};

}  // namespace

void build_default_font_list() {
    g_runtime.shared.fonts.head = nullptr;
    FontRecord* last = nullptr;
    for (const DefaultFont& d : kDefaultFonts) {
        auto* font_record = static_cast<FontRecord*>(alloc_zeroed_record(sizeof(FontRecord)));
        if (font_record == nullptr) return;   // the list ends before the first missing record
        font_record->use_count = 1;
        font_record->number = d.number;
        font_record->point_size = d.point_size;
        font_record->logfont.weight = kFwNormal;
        font_record->logfont.char_set = kAnsiCharset;
        font_record->logfont.pitch_and_family = d.pitch_and_family;
        for (int i = 0; i < 31 && d.face_name[i] != 0; ++i) {
            font_record->logfont.face_name[i] = static_cast<char16_t>(static_cast<uint8_t>(d.face_name[i]));
        }
        if (last == nullptr) {
            g_runtime.shared.fonts.head = font_record;
        } else {
            last->next = font_record;
        }
        last = font_record;
    }
}

FontRecord* find_font_record(int32_t number) {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) return nullptr;
    FontRecord* font_record = fonts.head;
    while (font_record != nullptr && font_record->number != number) font_record = font_record->next;
    owner_lock_release(&fonts.lock);
    return font_record;
}

uintptr_t find_scaled_font(FontRecord* font_record, uint32_t dpi) {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) return 0;
    ScaledFont* scaled = font_record->scaled;
    while (scaled != nullptr && scaled->dpi != dpi) scaled = scaled->next;
    const uintptr_t font = scaled != nullptr ? scaled->handle : 0;
    owner_lock_release(&fonts.lock);
    return font;
}

namespace {

// Links `kept` at the head of one of a font record's lists of fonts kept
// for later windows, under the font list's lock: nothing else is done
// while it is held. Without the lock it frees `kept` and returns false.
template <class Kept>
bool link_kept(Kept** head, Kept* kept) {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) {
        free_record(kept);
        return false;
    }
    kept->next = *head;
    *head = kept;
    owner_lock_release(&fonts.lock);
    return true;
}

}  // namespace

bool keep_scaled_font(FontRecord* font_record, uint32_t dpi, uintptr_t font) {
    auto* scaled = static_cast<ScaledFont*>(alloc_record(sizeof(ScaledFont)));
    if (scaled == nullptr) return false;
    *scaled = ScaledFont{nullptr, dpi, font};
    return link_kept(&font_record->scaled, scaled);
}

bool find_fallback_font(FontRecord* font_record, uint32_t code_point, int32_t height, uintptr_t* font) {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) return false;
    const FallbackFont* range = nullptr;
    for (const FallbackFont* fallback = font_record->fallback; fallback != nullptr; fallback = fallback->next) {
        if (fallback->height != height || code_point < fallback->first || code_point > fallback->last) continue;
        if (fallback->first == fallback->last) {   // the code point's own: found in its own search
            range = fallback;
            break;
        }
        if (range == nullptr) range = fallback;
    }
    if (range != nullptr) *font = range->handle;
    owner_lock_release(&fonts.lock);
    return range != nullptr;
}

bool keep_fallback_font(FontRecord* font_record, uint32_t first, uint32_t last, int32_t height, uintptr_t font) {
    auto* fallback = static_cast<FallbackFont*>(alloc_record(sizeof(FallbackFont)));
    if (fallback == nullptr) return false;
    *fallback = FallbackFont{nullptr, first, last, height, font};
    return link_kept(&font_record->fallback, fallback);
}

bool same_face(const char16_t* a, const char16_t* b) {
    for (int i = 0; i < 32; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) break;
    }
    return true;
}

namespace {

// Under the font list's lock.
const SystemFont* system_font_of(const FontRecord* font_record, const char16_t* face, int32_t height) {
    const SystemFont* kept = font_record->system_fonts;
    while (kept != nullptr && (kept->height != height || !same_face(kept->face, face))) kept = kept->next;
    return kept;
}

}  // namespace

uintptr_t find_system_font(FontRecord* font_record, const char16_t* face, int32_t height) {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) return 0;
    const SystemFont* kept = system_font_of(font_record, face, height);
    const uintptr_t font = kept != nullptr ? kept->handle : 0;
    owner_lock_release(&fonts.lock);
    return font;
}

uintptr_t keep_system_font(FontRecord* font_record, const char16_t* face, int32_t height, uintptr_t font) {
    auto* mine = static_cast<SystemFont*>(alloc_record(sizeof(SystemFont)));
    if (mine == nullptr) return 0;
    mine->height = height;
    mine->handle = font;
    bool ended = false;   // nothing is read past the face's terminator
    for (int i = 0; i < 32; ++i) {
        ended = ended || i == 31 || face[i] == 0;
        mine->face[i] = ended ? 0 : face[i];
    }
    auto& fonts = g_runtime.shared.fonts;
    // The count and the search are one step with the link: two threads that
    // found the same face keep it once, and the bound holds.
    if (!owner_lock_take(&fonts.lock)) {
        free_record(mine);
        return 0;
    }
    const SystemFont* kept = system_font_of(font_record, face, height);
    uintptr_t drawn = kept != nullptr ? kept->handle : 0;
    if (kept == nullptr && font_record->system_font_count < kMaxSystemFonts) {
        mine->next = font_record->system_fonts;
        font_record->system_fonts = mine;
        font_record->system_font_count++;
        drawn = font;
        mine = nullptr;
    }
    owner_lock_release(&fonts.lock);
    if (mine != nullptr) free_record(mine);
    return drawn;
}

void release_font_list() {
    auto& fonts = g_runtime.shared.fonts;
    if (!owner_lock_take(&fonts.lock)) return;   // a holder stuck in a walk keeps the list
    FontRecord* font_record = fonts.head;
    fonts.head = nullptr;
    owner_lock_release(&fonts.lock);
    while (font_record != nullptr) {
        FontRecord* next = font_record->next;
        // A window still holding the font keeps its handle; the record is
        // the runtime's alone.
        const bool unused = font_record->use_count <= 1;
        if (font_record->font_handle != 0 && unused) gdi_delete_object(font_record->font_handle);
        for (ScaledFont* scaled = font_record->scaled; scaled != nullptr;) {
            ScaledFont* after = scaled->next;
            if (unused) gdi_delete_object(scaled->handle);
            free_record(scaled);
            scaled = after;
        }
        for (FallbackFont* fallback = font_record->fallback; fallback != nullptr;) {
            FallbackFont* after = fallback->next;
            free_record(fallback);
            fallback = after;
        }
        for (SystemFont* kept = font_record->system_fonts; kept != nullptr;) {
            SystemFont* after = kept->next;
            gdi_delete_object(kept->handle);
            free_record(kept);
            kept = after;
        }
        free_record(font_record);
        font_record = next;
    }
}
