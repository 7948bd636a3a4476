// Shared by the generated property tables (strings/*_tables.inc): a run of
// code points with one value, found in a table of runs. The code point that
// starts at a UTF-16 unit is strings/cells.h's code_point_at.
#pragma once

#include <stdint.h>

constexpr uint32_t kLastCodePoint = 0x10FFFF;

// An index entry packs a run's first code point above the offset of the run
// in its stream, in this many low bits; scripts/gen-bidi-tables.sh reads
// the number here.
constexpr uint32_t kRunIndexOffsetBits = 11;

// A number of a table's stream: 7-bit groups, low first, the high bit set
// on all but the last. Moves `at` past it.
inline uint32_t read_varint(const uint8_t*& at) {
    uint32_t value = 0;
    for (uint32_t shift = 0;; shift += 7) {
        const uint8_t b = *at++;
        value |= uint32_t(b & 0x7F) << shift;
        if (b < 0x80) return value;
    }
}

// Code points first..last, all with one value.
struct CodePointRun {
    uint32_t first;
    uint32_t last;
    uint32_t value;
};

// The run that holds `code_point` (at most kLastCodePoint) in a table written
// by scripts/gen-bidi-tables.sh: `runs` is its byte stream, which covers every
// code point from the first index entry's (at or before `code_point`) on,
// each run varint((length - 1) << value_bits | value); `index`
// holds every 16th run's first code point and offset in the stream, packed
// (first << kRunIndexOffsetBits) | offset, `entries` of them.
CodePointRun find_code_point_run(const uint8_t* runs, const uint32_t* index, uint32_t entries, uint32_t value_bits,
                                 uint32_t code_point);

// How many of entries[0, n), sorted by key(entry), have a key at or below
// `value`: the last of them is at the result less one.
template <typename Entry, typename Key>
uint32_t count_at_or_below(const Entry* entries, uint32_t n, uint32_t value, Key key) {
    uint32_t step = 1, count = 0;
    while (step * 2 <= n) step *= 2;
    for (; step > 0; step /= 2) {
        if (count + step <= n && key(entries[count + step - 1]) <= value) count += step;
    }
    return count;
}

// The run found last, kept by a caller that looks up many code points of
// one table, most of them in the same run as the one before. Starts empty
// (all zero, so that a cache on the stack needs no initial image).
struct RunCache {
    uint32_t first = 0;
    uint32_t end = 0;   // one past the run's last code point
    uint32_t value = 0;
};

// find_code_point_run(...).value, searched only when `cache` does not hold it.
inline uint32_t code_point_value(RunCache& cache, const uint8_t* runs, const uint32_t* index, uint32_t entries,
                                 uint32_t value_bits, uint32_t code_point) {
    if (code_point < cache.first || code_point >= cache.end) {
        const CodePointRun run = find_code_point_run(runs, index, entries, value_bits, code_point);
        cache.first = run.first;
        cache.end = run.last + 1;
        cache.value = run.value;
    }
    return cache.value;
}
