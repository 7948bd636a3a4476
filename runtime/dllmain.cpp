// The DLL's entry point. The system calls it directly (the image has no C
// runtime startup in front of it), so it only forwards to the library's own
// entry logic, which the native tests drive through the same function.
#include <stdint.h>

#include "runtime/runtime.h"

extern "C" int __stdcall DllEntry(void* module, unsigned reason, void* reserved) {
    return static_cast<int>(library_entry(reinterpret_cast<uintptr_t>(module), reason,
                                          reinterpret_cast<uintptr_t>(reserved)));
}
