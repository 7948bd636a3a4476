#include "strings/unicode_runs.h"

CodePointRun find_code_point_run(const uint8_t* runs, const uint32_t* index, uint32_t entries, uint32_t value_bits,
                                 uint32_t code_point) {
    // The last index entry at or before the code point (the first one is).
    const uint32_t entry =
        index[count_at_or_below(index, entries, code_point, [](uint32_t e) { return e >> kRunIndexOffsetBits; }) - 1];
    const uint8_t* at = runs + (entry & ((1u << kRunIndexOffsetBits) - 1));
    CodePointRun run{entry >> kRunIndexOffsetBits, 0, 0};
    // The runs cover every code point, so one of the next 16 holds it.
    for (;;) {
        const uint32_t packed = read_varint(at);
        run.last = run.first + (packed >> value_bits);
        if (code_point <= run.last) {
            run.value = packed & ((1u << value_bits) - 1);
            return run;
        }
        run.first = run.last + 1;
    }
}
