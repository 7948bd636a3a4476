// gdi.h bound to the system.
#include "platform/gdi.h"

#include <windows.h>

uint32_t gdi_sys_color(int32_t index) { return GetSysColor(index); }

uintptr_t gdi_create_solid_brush(uint32_t color) {
    return reinterpret_cast<uintptr_t>(CreateSolidBrush(color));
}

bool gdi_delete_object(uintptr_t object) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(object)) != 0;
}

uintptr_t gdi_select_object(uintptr_t dc, uintptr_t object) {
    HGDIOBJ old = SelectObject(reinterpret_cast<HDC>(dc), reinterpret_cast<HGDIOBJ>(object));
    return old == HGDI_ERROR ? 0 : reinterpret_cast<uintptr_t>(old);
}

bool gdi_delete_dc(uintptr_t dc) { return DeleteDC(reinterpret_cast<HDC>(dc)) != 0; }

void user_send_set_font(uintptr_t hwnd, uintptr_t font) {
    SendMessageA(reinterpret_cast<HWND>(hwnd), WM_SETFONT, static_cast<WPARAM>(font), 0);
}
