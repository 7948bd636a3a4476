// The literal pool: the library's constant strings and numbers, laid out as
// dynamic strings are (runtime/blocks.h), placed into g_runtime at process
// attach and never cleared by the runtime's reset.
#pragma once

#include <stdint.h>

#include "runtime/blocks.h"

// The line break, CR LF, by which a message separates its rows and the
// layers above join rows again: the pool's CR LF literal holds these units
// too.
inline constexpr char16_t kCrLf[] = {0x0D, 0x0A};
constexpr uint32_t kCrLfUnits = sizeof kCrLf / sizeof kCrLf[0];

enum LiteralId : uint32_t {
    kLitCrLf,         // UTF-16 CR LF
    kLitSpace,        // UTF-16 " "
    kLitPressEnter,   // ANSI "  Press <Enter>"
    kLitTwoSpaces,    // ANSI "  "
    kLitPress1,       // ANSI "  Press 1 for "
    kLitPress2,       // ANSI "  Press 2 for "
    kLitPress3,       // ANSI "  Press 3 for "
    kLit12,           // ANSI "12"
    kLit123,          // ANSI "123"
    kLiteralCount
};

// The pool's numbers that mean more than their value, defined once: the
// pool is built from them and the message box uses them by these names.
// Where the box's frame has its top-left corner before the host's offsets:
constexpr int32_t kLeftMargin = 30;
constexpr int32_t kTopMargin = 80;
constexpr int32_t kEnterKey = 13;   // CR, the unit the Enter key types

// Numeric constants behind the strings, in pool order.
enum NumberId : uint32_t {
    kNum1,
    kNum2,
    kNum0,
    kNum3,
    kNum4,
    kNumLeftMargin,
    kNumTopMargin,
    kNumEnterKey,
    kNumberCount
};

// Copies the pool image into `pool` (kLiteralPoolBytes, 4-aligned).
void place_literal_pool(uint8_t* pool);
// Handle of a literal in the placed pool (g_runtime.literal_pool).
StrHandle literal(LiteralId id);
int32_t literal_number(NumberId id);
