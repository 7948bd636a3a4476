// A stand-in for the drawing objects: a small table of fake objects, so the
// registry's tests can count what is live and catch double deletes.
#include "platform/gdi.h"

namespace {

constexpr int kMaxObjects = 4096;
// Stock objects a fresh DC holds; never live, never deleted.
constexpr uintptr_t kStockBitmap = 0x7F000001;
constexpr uintptr_t kStockFont = 0x7F000002;

struct FakeObject {
    GdiFakeKind kind;
    bool live;
    uintptr_t bitmap;   // DCs: selected objects
    uintptr_t font;
    uintptr_t brush;
};

struct FakeGdi {
    FakeObject objects[kMaxObjects];
    int used;
    uint32_t colors[32];
    bool fail_brushes;
    GdiCounters counters;
};
FakeGdi g_fake;

// Handles are index + 1 shifted so that they are even and never 0.
uintptr_t handle_of(int index) { return static_cast<uintptr_t>(index + 1) << 4; }

FakeObject* object_of(uintptr_t h) {
    if (h == 0 || (h & 0xF) != 0) return nullptr;
    uintptr_t index = (h >> 4) - 1;
    if (index >= static_cast<uintptr_t>(g_fake.used)) return nullptr;
    return &g_fake.objects[index];
}

GdiFakeKind kind_of_stock(uintptr_t h) { return h == kStockBitmap ? kFakeBitmap : kFakeFont; }

}  // namespace

uintptr_t gdi_fake_create(GdiFakeKind kind) {
    if (g_fake.used == kMaxObjects) return 0;
    int index = g_fake.used++;
    FakeObject& o = g_fake.objects[index];
    o = FakeObject{kind, true, 0, 0, 0};
    if (kind == kFakeDc) {
        o.bitmap = kStockBitmap;
        o.font = kStockFont;
    }
    g_fake.counters.live_objects++;
    return handle_of(index);
}

uintptr_t gdi_fake_selected(uintptr_t dc, GdiFakeKind kind) {
    FakeObject* d = object_of(dc);
    if (d == nullptr || d->kind != kFakeDc) return 0;
    return kind == kFakeBitmap ? d->bitmap : kind == kFakeFont ? d->font : d->brush;
}

bool gdi_fake_is_live(uintptr_t object) {
    FakeObject* o = object_of(object);
    return o != nullptr && o->live;
}

void gdi_fake_set_sys_color(int32_t index, uint32_t color) {
    if (index >= 0 && index < 32) g_fake.colors[index] = color;
}

void gdi_fake_fail_brushes(bool fail) { g_fake.fail_brushes = fail; }

GdiCounters gdi_counters() { return g_fake.counters; }

void gdi_fake_reset() { g_fake = FakeGdi{}; }

uint32_t gdi_sys_color(int32_t index) {
    return index >= 0 && index < 32 ? g_fake.colors[index] : 0;
}

uintptr_t gdi_create_solid_brush(uint32_t) {
    if (g_fake.fail_brushes) return 0;
    uintptr_t h = gdi_fake_create(kFakeBrush);
    if (h != 0) g_fake.counters.brushes_created++;
    return h;
}

bool gdi_delete_object(uintptr_t object) {
    FakeObject* o = object_of(object);
    if (o == nullptr || !o->live || o->kind == kFakeDc) {
        g_fake.counters.bad_deletes++;
        return false;
    }
    o->live = false;
    g_fake.counters.live_objects--;
    return true;
}

uintptr_t gdi_select_object(uintptr_t dc, uintptr_t object) {
    FakeObject* d = object_of(dc);
    if (d == nullptr || !d->live || d->kind != kFakeDc) return 0;
    GdiFakeKind kind;
    if (object == kStockBitmap || object == kStockFont) {
        kind = kind_of_stock(object);
    } else {
        FakeObject* o = object_of(object);
        if (o == nullptr || !o->live || o->kind == kFakeDc) return 0;
        kind = o->kind;
    }
    uintptr_t* slot = kind == kFakeBitmap ? &d->bitmap : kind == kFakeFont ? &d->font : &d->brush;
    uintptr_t old = *slot;
    *slot = object;
    return old;
}

bool gdi_delete_dc(uintptr_t dc) {
    FakeObject* d = object_of(dc);
    if (d == nullptr || !d->live || d->kind != kFakeDc) {
        g_fake.counters.bad_deletes++;
        return false;
    }
    d->live = false;
    g_fake.counters.live_objects--;
    return true;
}

void user_send_set_font(uintptr_t, uintptr_t) { g_fake.counters.set_font_messages++; }
