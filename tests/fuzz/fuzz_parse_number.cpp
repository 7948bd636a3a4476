// parse_number on any bytes and any start: no crash, no read outside the
// string, never NaN, and the same answer from an owned copy of the text.
#include <stdint.h>
#include <stdlib.h>

#include "fuzz_support.h"
#include "runtime/runtime.h"
#include "platform/platform.h"
#include "strings/number.h"

// The literal pool and the first thread context come from the attach.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    library_entry(0x10000, kProcessAttach, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    load_fpu_control(kRuntimeFpuControl);
    FuzzReader r = {data, size};
    // Starts near the text are the interesting ones; the first byte picks
    // a small start or a raw 32-bit one.
    const uint8_t mode = r.byte();
    int32_t start = (mode & 0x80) ? r.int32() : static_cast<int32_t>(mode & 0x3F) - 8;

    ExactBlock text = exact_block(r.p, r.n);
    ProcFrame f;
    frame_init(f, nullptr);
    tmp_push_ref(f, text.handle);
    const long double v = parse_number(f, start);
    if (f.depth != 0 || f.error_slot != 0) abort();
    if (v != v) abort();

    // Owned operand: same value, and the parse frees it.
    const StrHandle copy = str_alloc_ansi(static_cast<uint32_t>(r.n));
    if (r.n != 0 && copy != 0) memcpy(reinterpret_cast<void*>(copy), r.p, r.n);
    if (r.n == 0 || copy != 0) {
        tmp_push_owned(f, copy);
        const long double w = parse_number(f, start);
        if (!(w == v) || f.depth != 0) abort();
    }
    (void)round_to_int32(v);
    exact_free(text);
    return 0;
}
