// The library's entry logic: process and thread attach and detach, on top of
// the rest of the runtime. Includes the runtime record and the release lists
// for the layers above, which use them with the entry logic.
#pragma once

#include <stdint.h>

#include "runtime/context.h"
#include "runtime/release_lists.h"

// Reason codes of the library entry point.
enum EntryReason : uint32_t {
    kProcessDetach = 0,
    kProcessAttach = 1,
    kThreadAttach = 2,
    kThreadDetach = 3,
};

// The library entry logic, for every reason. The Win32 entry point calls it;
// native tests call it directly. Returns the entry point's result. Process
// detach with `reserved` set (the process is ending) takes no lock and frees
// nothing; with `reserved` 0 (an unload) it calls the detach hook
// (ResettableState::detach_hook), then releases everything.
uint32_t library_entry(uintptr_t module, uint32_t reason, uintptr_t reserved);

// The library's own notification routine: 1 for every EntryReason
// (kProcessDetach to kThreadDetach), else 0.
uint32_t library_callback(uintptr_t module, uint32_t reason, uintptr_t reserved);

// Clears `g_runtime.shared` and builds the default font list. Process attach only.
void runtime_reset();

// Releases the calling thread's context, if it has one.
void release_thread_context();
