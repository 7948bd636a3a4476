// Whether the calling thread holds the system loader's lock, as it does in
// any DLL's entry point. Win32 only: a window-free caller has no loader.
#pragma once

// Read from the loader's lock, found through the process environment block
// as a debugger finds it. True only when its owner is this thread.
bool holds_loader_lock();
