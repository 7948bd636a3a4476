// The window registry: one WindowRecord per window the runtime manages,
// newest first, under the registry lock.
#include "runtime/registry.h"

#include "platform/gdi.h"
#include "runtime/blocks.h"
#include "runtime/context.h"

namespace {

// The runtime's other owner-drawn kinds of window, types 14 and 26: each
// draws into a memory DC of its own and keeps its font selected there. The
// text window registers neither; docs/design.md says why they stay.
bool keeps_font_in_own_dc(int32_t type_code) { return type_code == 14 || type_code == 26; }

// Owner-drawn windows: the text area and the kinds with a DC of their own.
bool gets_default_colours(int32_t type_code) {
    return type_code == kTypeTextArea || keeps_font_in_own_dc(type_code);
}

auto& registry() { return g_runtime.shared.registry; }

// Unlinks `record`; false when it is not in the list, or the list cannot
// be walked.
bool unlink_record(WindowRecord* record) {
    if (!owner_lock_take(&registry().lock)) return false;
    WindowRecord* before = nullptr;
    WindowRecord* at = registry().head;
    while (at != nullptr && at != record) {
        before = at;
        at = at->next;
    }
    bool found = at == record;
    if (found) {
        if (before == nullptr) {
            registry().head = record->next;
        } else {
            before->next = record->next;
        }
        record->next = nullptr;
    }
    owner_lock_release(&registry().lock);
    return found;
}

// The hwnd of the newest child control of `parent` into *child (0 for
// none); false when the list cannot be walked, so none is not assumed.
bool child_of(uintptr_t parent, uintptr_t* child) {
    if (!owner_lock_take(&registry().lock)) return false;
    WindowRecord* record = registry().head;
    while (record != nullptr && !(record->parent == parent && (record->flags & kFlagChild) != 0)) record = record->next;
    *child = record != nullptr ? record->hwnd : 0;
    owner_lock_release(&registry().lock);
    return true;
}

// The brush of the first record with one of `color` into *brush (0 for
// none); false when the list cannot be walked.
bool brush_of(uint32_t color, uintptr_t* brush) {
    if (!owner_lock_take(&registry().lock)) return false;
    WindowRecord* record = registry().head;
    while (record != nullptr && !(record->back_brush != 0 && record->back_color == color)) record = record->next;
    *brush = record != nullptr ? record->back_brush : 0;
    owner_lock_release(&registry().lock);
    return true;
}

}  // namespace

WindowRecord* find_window_record(uintptr_t hwnd) {
    if (!owner_lock_take(&registry().lock)) return nullptr;
    WindowRecord* record = registry().head;
    while (record != nullptr && record->hwnd != hwnd) record = record->next;
    owner_lock_release(&registry().lock);
    return record;
}

uintptr_t read_window_field(uintptr_t hwnd, WindowField field, WindowRecord** record) {
    WindowRecord* found = find_window_record(hwnd);
    if (record != nullptr) *record = found;
    if (found == nullptr) return 0;
    switch (field) {
    case kFieldFlags: return found->flags;
    case kFieldTypeCode: return static_cast<uintptr_t>(static_cast<intptr_t>(found->type_code));
    }
    return 0;
}

uintptr_t find_child_window(uintptr_t parent) {
    uintptr_t hwnd = 0;
    return child_of(parent, &hwnd) ? hwnd : 0;
}

uintptr_t find_shared_brush(uint32_t color) {
    uintptr_t brush = 0;
    return brush_of(color, &brush) ? brush : 0;
}

WindowRecord* register_window(uintptr_t hwnd, uintptr_t parent, uint32_t flags, int32_t type_code) {
    if (find_window_record(hwnd) != nullptr) return nullptr;
    auto* record = static_cast<WindowRecord*>(alloc_zeroed_record(sizeof(WindowRecord)));
    if (record == nullptr) return nullptr;
    record->hwnd = hwnd;
    record->parent = parent;
    record->flags = flags;
    record->type_code = type_code;

    if (!owner_lock_take(&registry().lock)) {
        free_record(record);
        return nullptr;
    }
    record->next = registry().head;
    registry().head = record;
    owner_lock_release(&registry().lock);

    if (gets_default_colours(type_code)) {
        record->text_color = gdi_sys_color(kColorWindowText);
        record->back_color = gdi_sys_color(kColorBtnFace);
        // The record is linked but its brush is still 0: it never finds itself.
        uintptr_t brush = find_shared_brush(record->back_color);
        record->back_brush = brush != 0 ? brush : gdi_create_solid_brush(record->back_color);
    }
    return record;
}

void release_record_font(WindowRecord* record) {
    int32_t number = atomic_exchange32(&record->font_number, 0);
    if (number == 0) return;
    FontRecord* font_record = find_font_record(number);
    if (font_record == nullptr) return;
    __atomic_fetch_sub(&font_record->use_count, 1, __ATOMIC_SEQ_CST);
    uintptr_t saved = record->saved_font;   // the record is the window thread's alone by now
    record->saved_font = 0;
    if (saved == 0) return;
    if (keeps_font_in_own_dc(record->type_code)) {
        gdi_select_object(record->mem_dc, saved);
    } else {
        // For the text area the window is already gone and this does nothing.
        user_send_set_font(record->hwnd, saved);
    }
}

bool destroy_window_record(uintptr_t hwnd) {
    for (;;) {
        uintptr_t child = 0;
        if (!child_of(hwnd, &child)) return false;
        if (child == 0) break;
        // A record that names itself as its parent would never leave the list.
        if (child == hwnd || !destroy_window_record(child)) return false;
    }
    WindowRecord* record = find_window_record(hwnd);
    if (record == nullptr || !unlink_record(record)) return false;

    release_record_font(record);
    // Unlinked first, so the brush search sees only the other records. A
    // search that cannot be made keeps the brush: another may share it.
    uintptr_t shared = 0;
    if (record->back_brush != 0 && static_cast<int32_t>(record->back_color) >= 0 &&
        brush_of(record->back_color, &shared) && shared != record->back_brush) {
        gdi_delete_object(record->back_brush);
    }
    if (record->saved_bitmap != 0) {
        uintptr_t back_buffer = gdi_select_object(record->mem_dc, record->saved_bitmap);
        if (back_buffer != 0) gdi_delete_object(back_buffer);
    }
    if (record->mem_dc != 0) gdi_delete_dc(record->mem_dc);
    free_record(record);
    return true;
}
