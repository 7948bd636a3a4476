// The few drawing-object and window calls the window registry makes.
//
// The registry is window-free code: it reaches GDI and USER only through this
// header, so its lists, locks and ownership rules are tested natively.
// gdi_win32.cpp binds it to gdi32/user32; gdi_native.cpp is a stand-in that
// hands out fake objects and counts the live ones, so a test can see a brush
// deleted twice or a bitmap left behind.
#pragma once

#include <stdint.h>

constexpr int32_t kColorWindowText = 8;   // COLOR_WINDOWTEXT
constexpr int32_t kColorBtnFace = 15;     // COLOR_BTNFACE

uint32_t gdi_sys_color(int32_t index);                  // GetSysColor
uintptr_t gdi_create_solid_brush(uint32_t color);       // CreateSolidBrush; 0 on failure
bool gdi_delete_object(uintptr_t object);               // DeleteObject
// SelectObject: the object of the same kind that `dc` held before; 0 on failure.
uintptr_t gdi_select_object(uintptr_t dc, uintptr_t object);
bool gdi_delete_dc(uintptr_t dc);                       // DeleteDC
// SendMessageA(hwnd, WM_SETFONT, font, 0): the ANSI entry point on purpose.
void user_send_set_font(uintptr_t hwnd, uintptr_t font);

#ifndef _WIN32
// --- native stand-in only --------------------------------------------------------
enum GdiFakeKind : uint8_t { kFakeBrush = 1, kFakeDc, kFakeBitmap, kFakeFont };

// A new live object of the given kind. A fake DC starts with a stock bitmap
// and a stock font selected, which are not counted as live.
uintptr_t gdi_fake_create(GdiFakeKind kind);
// The object of `kind` currently selected into `dc`, 0 for none.
uintptr_t gdi_fake_selected(uintptr_t dc, GdiFakeKind kind);
bool gdi_fake_is_live(uintptr_t object);
void gdi_fake_set_sys_color(int32_t index, uint32_t color);
// While set, gdi_create_solid_brush fails.
void gdi_fake_fail_brushes(bool fail);

struct GdiCounters {
    int32_t live_objects;        // fake objects created and not yet deleted
    int32_t brushes_created;
    int32_t bad_deletes;         // deletes of unknown or already deleted objects
    int32_t set_font_messages;   // user_send_set_font calls
};
GdiCounters gdi_counters();
// Forgets every fake object and counter.
void gdi_fake_reset();
#endif
