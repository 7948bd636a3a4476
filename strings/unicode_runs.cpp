#include "strings/unicode_runs.h"

namespace {

constexpr uint32_t kOffsetBits = 11;

}  // namespace

CodePointRun find_code_point_run(const uint8_t* runs, const uint32_t* index, uint32_t entries, uint32_t value_bits,
                                 uint32_t code_point) {
    // The last index entry at or before the code point (the first one is).
    const uint32_t entry =
        index[count_at_or_below(index, entries, code_point, [](uint32_t e) { return e >> kOffsetBits; }) - 1];
    const uint8_t* at = runs + (entry & ((1u << kOffsetBits) - 1));
    CodePointRun run{entry >> kOffsetBits, 0, 0};
    // The runs cover every code point, so one of the next 16 holds it.
    for (;;) {
        uint32_t packed = 0;
        for (uint32_t shift = 0, more = 1; more; shift += 7) {
            more = *at & 0x80;
            packed |= uint32_t(*at++ & 0x7F) << shift;
        }
        run.last = run.first + (packed >> value_bits);
        if (code_point <= run.last) {
            run.value = packed & ((1u << value_bits) - 1);
            return run;
        }
        run.first = run.last + 1;
    }
}
