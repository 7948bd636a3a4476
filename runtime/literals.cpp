#include "runtime/literals.h"

#include <stddef.h>
#include <string.h>

#include "runtime/context.h"

namespace {

struct LiteralSource {
    const void* data;
    uint32_t bytes;
};

// An ANSI literal's bytes without the terminator, which the pool adds
// itself; UTF-16 units written out one by one, which have none.
template <size_t N> constexpr LiteralSource ansi(const char (&text)[N]) { return LiteralSource{text, N - 1}; }
template <size_t N> constexpr LiteralSource utf16(const char16_t (&units)[N]) { return LiteralSource{units, 2 * N}; }

constexpr char16_t kSpaceUnits[] = {0x20};

// Pool order is fixed: the message box refers to the literals by position.
constexpr LiteralSource kLiteralSources[kLiteralCount] = {
    utf16(kCrLf),
    utf16(kSpaceUnits),
    ansi("  Press <Enter>"),
    ansi("  "),
    ansi("  Press 1 for "),
    ansi("  Press 2 for "),
    ansi("  Press 3 for "),
    ansi("12"),
    ansi("123"),
};

const int32_t kLiteralNumbers[kNumberCount] = {1, 2, 0, 3, 4, kLeftMargin, kTopMargin, kEnterKey};

constexpr uint32_t entry_size(uint32_t bytes) { return (4 + bytes + 2 + 3) & ~3u; }

// Data offsets of the literals and of the first number, derived from the
// table so the layout cannot drift from it.
struct PoolOffsets {
    uint32_t literal[kLiteralCount];
    uint32_t numbers;
};

constexpr PoolOffsets compute_offsets() {
    PoolOffsets o{};
    uint32_t at = 0;
    for (uint32_t i = 0; i < kLiteralCount; i++) {
        o.literal[i] = at + 4;
        at += entry_size(kLiteralSources[i].bytes);
    }
    o.numbers = at;
    return o;
}

// Evaluated by the compiler: the DLL runs no static constructors.
constexpr PoolOffsets kOffsets = compute_offsets();
static_assert(kOffsets.numbers + 4 * kNumberCount == kLiteralPoolBytes, "pool size");

}  // namespace

void place_literal_pool(uint8_t* pool) {
    memset(pool, 0, kLiteralPoolBytes);
    for (uint32_t i = 0; i < kLiteralCount; i++) {
        uint32_t at = kOffsets.literal[i];
        memcpy(pool + at - 4, &kLiteralSources[i].bytes, 4);
        memcpy(pool + at, kLiteralSources[i].data, kLiteralSources[i].bytes);
    }
    memcpy(pool + kOffsets.numbers, kLiteralNumbers, sizeof kLiteralNumbers);
}

StrHandle literal(LiteralId id) {
    return reinterpret_cast<StrHandle>(g_runtime.literal_pool + kOffsets.literal[id]);
}

int32_t literal_number(NumberId id) {
    int32_t v;
    memcpy(&v, g_runtime.literal_pool + kOffsets.numbers + 4 * id, 4);
    return v;
}
