// The window registry: one WindowRecord per window the runtime manages,
// newest first, under the registry lock.
#include "runtime/registry.h"

#include "platform/gdi.h"
#include "runtime/runtime.h"
#include "strings/dynstr.h"

namespace {

// Kinds of window with a DC of their own; the text window uses types 0 and
// 15 only, these are kept for the runtime's other kinds.
constexpr int32_t kTypeOwnDcFont14 = 14;
constexpr int32_t kTypeOwnDcFont26 = 26;

bool gets_default_colours(int32_t type_code) {
    return type_code == kTypeOwnDcFont14 || type_code == kTypeTextArea ||
           type_code == kTypeOwnDcFont26;
}

void zero_bytes(void* p, size_t n) {
    volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) b[i] = 0;
}

auto& registry() { return g_runtime.shared.registry; }

// Unlinks r; false when it is not in the list.
bool unlink_record(WindowRecord* r) {
    spin_acquire(&registry().lock);
    WindowRecord* before = nullptr;
    WindowRecord* at = registry().head;
    while (at != nullptr && at != r) {
        before = at;
        at = at->next;
    }
    bool found = at == r;
    if (found) {
        if (before == nullptr) {
            registry().head = r->next;
        } else {
            before->next = r->next;
        }
        r->next = nullptr;
    }
    spin_release(&registry().lock);
    return found;
}

}  // namespace

WindowRecord* find_window_record(uintptr_t hwnd) {
    spin_acquire(&registry().lock);
    WindowRecord* r = registry().head;
    while (r != nullptr && r->hwnd != hwnd) r = r->next;
    spin_release(&registry().lock);
    return r;
}

uintptr_t read_window_field(uintptr_t hwnd, WindowField field, WindowRecord** record) {
    WindowRecord* r = find_window_record(hwnd);
    if (record != nullptr) *record = r;
    if (r == nullptr) return 0;
    switch (field) {
    case kFieldFlags: return r->flags;
    case kFieldTypeCode: return static_cast<uintptr_t>(static_cast<intptr_t>(r->type_code));
    }
    return 0;
}

uintptr_t find_child_window(uintptr_t parent) {
    spin_acquire(&registry().lock);
    WindowRecord* r = registry().head;
    while (r != nullptr && !(r->parent == parent && (r->flags & kFlagChild) != 0)) r = r->next;
    uintptr_t hwnd = r != nullptr ? r->hwnd : 0;
    spin_release(&registry().lock);
    return hwnd;
}

uintptr_t find_shared_brush(uint32_t color) {
    spin_acquire(&registry().lock);
    WindowRecord* r = registry().head;
    while (r != nullptr && !(r->back_brush != 0 && r->back_color == color)) r = r->next;
    uintptr_t brush = r != nullptr ? r->back_brush : 0;
    spin_release(&registry().lock);
    return brush;
}

WindowRecord* register_window(uintptr_t hwnd, uintptr_t parent, uint32_t flags, int32_t type_code) {
    if (find_window_record(hwnd) != nullptr) return nullptr;
    WindowRecord* r = reinterpret_cast<WindowRecord*>(str_alloc_ansi(sizeof(WindowRecord)));
    if (r == nullptr) return nullptr;
    zero_bytes(r, sizeof(WindowRecord));
    r->hwnd = hwnd;
    r->parent = parent;
    r->flags = flags;
    r->type_code = type_code;

    spin_acquire(&registry().lock);
    r->next = registry().head;
    registry().head = r;
    spin_release(&registry().lock);

    if (gets_default_colours(type_code)) {
        r->text_color = gdi_sys_color(kColorWindowText);
        r->back_color = gdi_sys_color(kColorBtnFace);
        // The record is linked but its brush is still 0: it never finds itself.
        uintptr_t brush = find_shared_brush(r->back_color);
        r->back_brush = brush != 0 ? brush : gdi_create_solid_brush(r->back_color);
    }
    return r;
}

void release_record_font(WindowRecord* r) {
    int32_t number = atomic_exchange32(&r->font_number, 0);
    if (number == 0) return;
    FontRecord* f = find_font_record(number);
    if (f == nullptr) return;
    __atomic_fetch_sub(&f->use_count, 1, __ATOMIC_SEQ_CST);
    uintptr_t saved = r->saved_font;   // the record is the window thread's alone by now
    r->saved_font = 0;
    if (saved == 0) return;
    if (r->type_code == kTypeOwnDcFont14 || r->type_code == kTypeOwnDcFont26) {
        gdi_select_object(r->mem_dc, saved);
    } else {
        // For the text area the window is already gone and this does nothing.
        user_send_set_font(r->hwnd, saved);
    }
}

bool destroy_window_record(uintptr_t hwnd) {
    for (;;) {
        uintptr_t child = find_child_window(hwnd);
        if (child == 0) break;
        // A record that names itself as its parent would never leave the list.
        if (child == hwnd || !destroy_window_record(child)) return false;
    }
    WindowRecord* r = find_window_record(hwnd);
    if (r == nullptr || !unlink_record(r)) return false;

    release_record_font(r);
    // Unlinked first, so the brush search sees only the other records.
    if (r->back_brush != 0 && static_cast<int32_t>(r->back_color) >= 0 &&
        find_shared_brush(r->back_color) != r->back_brush) {
        gdi_delete_object(r->back_brush);
    }
    if (r->saved_bitmap != 0) {
        uintptr_t back_buffer = gdi_select_object(r->mem_dc, r->saved_bitmap);
        if (back_buffer != 0) gdi_delete_object(back_buffer);
    }
    if (r->mem_dc != 0) gdi_delete_dc(r->mem_dc);
    str_free(r->shown_text);
    str_free(r->reading_text);
    str_free(reinterpret_cast<StrHandle>(r));
    return true;
}
