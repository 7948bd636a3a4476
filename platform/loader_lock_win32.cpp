// The loader lock's owner, read where the system keeps it: the process
// environment block (through fs or gs) names the loader's critical section,
// and that names its owning thread. The offsets are the system's own and
// fixed for each architecture.
#include "platform/loader_lock.h"

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

bool holds_loader_lock() {
    const uint8_t* peb;
#if defined(__x86_64__)
    constexpr size_t kPebLoaderLock = 0x110, kLockOwningThread = 0x10;
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));
#else
    constexpr size_t kPebLoaderLock = 0xA0, kLockOwningThread = 0x0C;
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
#endif
    const auto* lock = *reinterpret_cast<const uint8_t* const*>(peb + kPebLoaderLock);
    return lock != nullptr &&
           *reinterpret_cast<const uintptr_t*>(lock + kLockOwningThread) == GetCurrentThreadId();
}
