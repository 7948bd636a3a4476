// The process-wide runtime record and the per-thread context: the state every
// part of the runtime and the layers above it read and write.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "runtime/lock_word.h"

struct FontRecord;
struct WindowRecord;

// One block per thread, made on first use (get_thread_context), freed at
// thread detach, or at an unload's process detach for the detaching thread.
struct ThreadContext {
    uint32_t code_page;   // 0 = system ANSI code page; inherited, never changed
    // The thread's identity as the owner locks hold it (low, high words),
    // 0 until a lock first asks the system for it (runtime/owner_lock.cpp).
    uint32_t lock_identity[2];
    uint32_t reserved[5];
};

// The literal pool's size (runtime/literals.cpp lays it out).
constexpr uint32_t kLiteralPoolBytes = 164;

// Fields that runtime_reset clears at process attach. Each says who writes and
// who reads it, and under which discipline when two threads share it.
struct ResettableState {
    // Undoes what a layer above made for the process (the text window's
    // class and turn): set by it in one atomic store, called by
    // library_entry at an unload's process detach. Null until set.
    void (*detach_hook)(uintptr_t module);
    struct Fonts {
        FontRecord* head;           // built by runtime_reset; walked under `lock`
        OwnerLockWord lock;         // owner lock (owner_lock.h): 0 when free, else the holder's identity
    } fonts;
    struct Registry {
        WindowRecord* head;         // window thread links/unlinks; both threads walk; under `lock`
        OwnerLockWord lock;         // owner lock, as for fonts
    } registry;
    // The text window's state; docs/design.md says who writes and reads
    // each field, under which lock, and what every wait on it is bounded by.
    struct TextWindow {
        // Text area record of the open text window, null when none. The
        // window thread publishes it (release store, under text_lock) and
        // clears it at the frame's WM_NCDESTROY; whoever reclaims the
        // records of a window whose thread died clears it too.
        WindowRecord* volatile current_text_window;
        uint32_t text_class_atom;   // window thread only; registered once per process
        volatile uintptr_t active_window;  // HWND; window thread writes, calling thread reads
        // Owner lock (owner_lock.h) over every use of the published text
        // area record, so its teardown never frees it under a text
        // operation.
        OwnerLockWord text_lock;
        // The published window's thread (HANDLE, SYNCHRONIZE), under
        // text_lock: set with current_text_window, closed by whoever clears
        // it. Tells for sure whether that thread has ended, as its reusable
        // id could not.
        volatile uintptr_t window_thread;
        // Times the opens' turn has been taken: a waiter's bound starts
        // again whenever it moves.
        volatile uint32_t turn_passes;
        // The opens' turn: a kernel mutex (HANDLE), made by the first open,
        // closed when the library is unloaded; and its holder's thread id,
        // written by the holder only.
        volatile uintptr_t turn_mutex;
        volatile uint32_t turn_owner;
        // The step at which the last failed open stopped (OpenStep in
        // textwin/textwin.h), for tests and debuggers: the export itself
        // only returns 0. Written by whichever thread failed; never cleared.
        volatile uint32_t open_failure;
    } text;
};

struct RuntimeState {
    // --- set by the entry point, kept for the life of the library ---
    uintptr_t module_handle;        // saved at process attach
    uint32_t tls_slot;              // per-thread context slot
    ThreadContext* first_context;   // attaching thread's context; null once that thread has ended
    uint16_t attach_result;         // what the entry point returns, zero-extended
    uint32_t current_reason;        // reason of the entry call being processed
    uintptr_t saved_reserved;       // reserved argument of process attach, for library_callback
    OsVersionInfoA platform_version;
    // The inherited setting of new contexts. Kept here as well as in
    // first_context because the attaching thread may end long before others
    // make their contexts.
    uint32_t default_code_page;
    alignas(4) uint8_t literal_pool[kLiteralPoolBytes];  // placed at attach, never reset

    // --- cleared by runtime_reset ---
    ResettableState shared;
};

extern RuntimeState g_runtime;

// The calling thread's context, made on first use with the inherited
// code_page. Null when the block cannot be allocated (kErrOutOfMemory for the
// caller; the thread stays without a context and a later call tries again).
ThreadContext* get_thread_context();
