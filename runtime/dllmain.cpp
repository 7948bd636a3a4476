// The DLL's entry point. The system calls it directly (the image has no C
// runtime startup in front of it), so it only forwards to the library's own
// entry logic, which the native tests drive through the same function.
#include <windows.h>

#include <stdint.h>

#include "runtime/runtime.h"

extern "C" int __stdcall DllEntry(void* module, unsigned reason, void* reserved) {
    // The system does not unregister a DLL's window classes when it is
    // unloaded: a host that frees and loads the library again would find
    // "VORANTEXT" still registered, pointing at the old image's window
    // procedure, and could never open a text window again. At process end
    // (reserved set) the class goes with the process anyway.
    ATOM atom = static_cast<ATOM>(g_runtime.shared.text.text_class_atom);
    if (reason == DLL_PROCESS_DETACH && !reserved && atom != 0 &&
        !g_runtime.shared.text.current_text_window) {
        UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(atom)),
                         static_cast<HINSTANCE>(module));
    }
    // The opens' turn, made by the first open, goes with an unload; at
    // process end the system closes it.
    HANDLE turn = reinterpret_cast<HANDLE>(g_runtime.shared.text.turn_mutex);
    if (reason == DLL_PROCESS_DETACH && !reserved && turn != nullptr) CloseHandle(turn);
    return static_cast<int>(library_entry(reinterpret_cast<uintptr_t>(module), reason,
                                          reinterpret_cast<uintptr_t>(reserved)));
}
