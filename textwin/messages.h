// The library's own window messages, for textwin/ and for the tests that
// watch for them or send them. Plain numbers, so a host-side test needs no
// more than this header.
#pragma once

#include <stdint.h>

// The close request: WM_SYSCOMMAND with this code. The frame closes on it
// alone; the user's SC_CLOSE is refused.
constexpr uint32_t kCloseRequest = 0x1405;

// Messages of the text area's own, in the WM_USER range (0x0400 on).
constexpr uint32_t kUserMessages = 0x0400;
// Its frame to the front, the keyboard to it.
constexpr uint32_t kBringToFront = kUserMessages + 0x1000;
// Paint what is invalid now, on the window thread.
constexpr uint32_t kPaintNow = kUserMessages + 0x1001;
