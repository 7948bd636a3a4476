// The font list: three default font descriptions, numbered 1 to 3. Their
// font handles, for 96 DPI and for any other DPI a window was shown at, and
// the fonts of the system found for the characters they have no glyph for,
// are made on first use by the text window and live as long as the library.
#include "runtime/registry.h"

#include "platform/gdi.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"

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

void zero_bytes(void* p, size_t n) {
    volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) b[i] = 0;
}

}  // namespace

void build_default_font_list() {
    g_runtime.shared.fonts.head = nullptr;
    FontRecord* last = nullptr;
    for (const DefaultFont& d : kDefaultFonts) {
        FontRecord* f = reinterpret_cast<FontRecord*>(str_alloc_ansi(sizeof(FontRecord)));
        if (f == nullptr) return;   // the list ends before the first missing record
        zero_bytes(f, sizeof(FontRecord));
        f->use_count = 1;
        f->number = d.number;
        f->point_size = d.point_size;
        f->logfont.weight = kFwNormal;
        f->logfont.char_set = kAnsiCharset;
        f->logfont.pitch_and_family = d.pitch_and_family;
        for (int i = 0; i < 31 && d.face_name[i] != 0; ++i) {
            f->logfont.face_name[i] = static_cast<char16_t>(static_cast<uint8_t>(d.face_name[i]));
        }
        if (last == nullptr) {
            g_runtime.shared.fonts.head = f;
        } else {
            last->next = f;
        }
        last = f;
    }
}

FontRecord* find_font_record(int32_t number) {
    auto& fonts = g_runtime.shared.fonts;
    spin_acquire(&fonts.lock);
    FontRecord* f = fonts.head;
    while (f != nullptr && f->number != number) f = f->next;
    spin_release(&fonts.lock);
    return f;
}

uintptr_t find_scaled_font(FontRecord* f, uint32_t dpi) {
    auto& fonts = g_runtime.shared.fonts;
    spin_acquire(&fonts.lock);
    ScaledFont* s = f->scaled;
    while (s != nullptr && s->dpi != dpi) s = s->next;
    const uintptr_t font = s != nullptr ? s->handle : 0;
    spin_release(&fonts.lock);
    return font;
}

namespace {

// Links `kept` at the head of one of a font record's lists of fonts kept
// for later windows, under the font list's lock: nothing else is done
// while it is held.
template <class Kept>
void link_kept(Kept** head, Kept* kept) {
    auto& fonts = g_runtime.shared.fonts;
    spin_acquire(&fonts.lock);
    kept->next = *head;
    *head = kept;
    spin_release(&fonts.lock);
}

}  // namespace

bool keep_scaled_font(FontRecord* f, uint32_t dpi, uintptr_t font) {
    auto* s = reinterpret_cast<ScaledFont*>(str_alloc_ansi(sizeof(ScaledFont)));
    if (s == nullptr) return false;
    s->dpi = dpi;
    s->handle = font;
    link_kept(&f->scaled, s);
    return true;
}

bool find_fallback_font(FontRecord* f, uint32_t code_point, int32_t height, uintptr_t* font) {
    auto& fonts = g_runtime.shared.fonts;
    spin_acquire(&fonts.lock);
    FallbackFont* k = f->fallback;
    while (k != nullptr && (k->height != height || code_point < k->first || code_point > k->last)) k = k->next;
    if (k != nullptr) *font = k->handle;
    spin_release(&fonts.lock);
    return k != nullptr;
}

bool keep_fallback_font(FontRecord* f, uint32_t first, uint32_t last, int32_t height, uintptr_t font) {
    auto* k = reinterpret_cast<FallbackFont*>(str_alloc_ansi(sizeof(FallbackFont)));
    if (k == nullptr) return false;
    k->first = first;
    k->last = last;
    k->height = height;
    k->handle = font;
    link_kept(&f->fallback, k);
    return true;
}

void release_font_list() {
    auto& fonts = g_runtime.shared.fonts;
    spin_acquire(&fonts.lock);
    FontRecord* f = fonts.head;
    fonts.head = nullptr;
    spin_release(&fonts.lock);
    while (f != nullptr) {
        FontRecord* next = f->next;
        // A window still holding the font keeps its handle; the record is
        // the runtime's alone.
        const bool unused = f->use_count <= 1;
        if (f->font_handle != 0 && unused) gdi_delete_object(f->font_handle);
        for (ScaledFont* s = f->scaled; s != nullptr;) {
            ScaledFont* after = s->next;
            if (unused) gdi_delete_object(s->handle);
            str_free(reinterpret_cast<StrHandle>(s));
            s = after;
        }
        for (FallbackFont* k = f->fallback; k != nullptr;) {
            FallbackFont* after = k->next;
            if (k->handle != 0) gdi_delete_object(k->handle);
            str_free(reinterpret_cast<StrHandle>(k));
            k = after;
        }
        str_free(reinterpret_cast<StrHandle>(f));
        f = next;
    }
}
