// Blocks for fuzz inputs: length prefix and data only, no terminator and no
// slack, so a read one byte past the string is caught by the address checker.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "strings/dynstr.h"

struct ExactBlock {
    uint8_t* raw;
    StrHandle handle;   // 0 for an empty input
};

static inline ExactBlock exact_block(const uint8_t* data, size_t n) {
    ExactBlock b = {nullptr, 0};
    if (n == 0) return b;
    b.raw = static_cast<uint8_t*>(malloc(4 + n));
    const uint32_t len = static_cast<uint32_t>(n);
    memcpy(b.raw, &len, 4);
    memcpy(b.raw + 4, data, n);
    b.handle = reinterpret_cast<StrHandle>(b.raw + 4);
    return b;
}

static inline void exact_free(ExactBlock& b) {
    free(b.raw);
    b.raw = nullptr;
    b.handle = 0;
}

// Reads fuzz bytes front to back; missing bytes read as 0.
struct FuzzReader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    int32_t int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return static_cast<int32_t>(v);
    }
    // A piece of at most `limit` bytes, its length taken from one byte.
    const uint8_t* piece(size_t limit, size_t* len) {
        size_t want = byte();
        if (want > limit) want = limit;
        if (want > n) want = n;
        const uint8_t* at = p;
        p += want;
        n -= want;
        *len = want;
        return at;
    }
};
