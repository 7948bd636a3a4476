// field_count / field_at / field_next / find_any / string_of_codes on any
// texts, odd byte lengths included, any index and start: no crash, no read
// outside the strings, results within their documented ranges, temporaries
// balanced, and a walk with field_next giving field_at's fields.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "fuzz_support.h"
#include "runtime/runtime.h"
#include "strings/fields.h"

// The literal pool and the first thread context come from the attach.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    library_entry(0x10000, kProcessAttach, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReader r = {data, size};
    const int32_t index = r.int32();
    const int32_t start = r.int32();
    size_t delim_len;
    const uint8_t* delim_bytes = r.piece(9, &delim_len);
    ExactBlock delim = exact_block(delim_bytes, delim_len);
    ExactBlock source = exact_block(r.p, r.n);
    const int32_t n = static_cast<int32_t>(r.n / 2);

    ProcFrame f;
    frame_init(f, nullptr);

    tmp_push_ref(f, source.handle);
    tmp_push_ref(f, delim.handle);
    const int32_t count = field_count(f);
    if (count < 1 || count > n + 1) abort();

    auto field_text = [&f]() {
        const char16_t* d;
        const uint32_t len = str_len_wide(tmp_slot(f, 0), &d);
        std::u16string t(d, len);
        tmp_drop(f);
        return t;
    };
    // Walked fields joined by the delimiter give the source back; those
    // compared with field_at are the ends and one chosen by the input.
    const char16_t* source_units;
    const char16_t* delim_units;
    const uint32_t source_n = str_len_wide(source.handle, &source_units);
    const uint32_t delim_n = str_len_wide(delim.handle, &delim_units);
    const int32_t chosen = static_cast<int32_t>(static_cast<uint32_t>(index) % static_cast<uint32_t>(count)) + 1;
    std::u16string joined;
    int32_t walked = 0;
    for (uint32_t next = 0; next != kFieldsDone;) {
        if (++walked > count) abort();
        tmp_push_ref(f, source.handle);
        tmp_push_ref(f, delim.handle);
        field_next(f, &next);
        if (f.depth != 1) abort();
        const std::u16string field = field_text();
        if (walked > 1) joined.append(delim_units, delim_n);
        joined += field;
        if (walked <= 2 || walked >= count - 1 || walked == chosen) {
            tmp_push_ref(f, source.handle);
            tmp_push_ref(f, delim.handle);
            field_at(f, walked);
            if (field_text() != field) abort();
        }
    }
    if (walked != count) abort();
    if (delim_n > 0 && joined != std::u16string(source_units, source_n)) abort();

    // Small indexes near the ends are where mistakes live; also the raw one.
    const int32_t indexes[] = {index, static_cast<int32_t>(index % 5), -count, count, count + 1};
    for (int32_t i : indexes) {
        tmp_push_ref(f, source.handle);
        tmp_push_ref(f, delim.handle);
        field_at(f, i);
        if (f.depth != 1) abort();
        const char16_t* d;
        if (static_cast<int32_t>(str_len_wide(tmp_slot(f, 0), &d)) > n) abort();
        tmp_drop(f);
    }

    const int32_t starts[] = {start, static_cast<int32_t>(start % 7), -1, 1};
    for (int32_t s : starts) {
        tmp_push_ref(f, source.handle);
        tmp_push_ref(f, delim.handle);
        const int32_t pos = find_any(f, s);
        const bool empty_set = delim_len < 2;
        const bool ok = pos == 0 || (pos >= 1 && pos <= n) || (empty_set && s > 0 && pos == s);
        if (!ok) abort();
    }

    int32_t codes[4] = {index, start, index ^ start, 13};
    codes[start & 3] = -1;
    uint32_t units = 0;
    for (int32_t c : codes) units += c != -1;
    string_of_codes(f, codes, 4);
    if (str_len_wide(tmp_slot(f, 0)) != units) abort();
    tmp_drop(f);

    if (f.depth != 0 || f.error_slot != 0) abort();
    exact_free(source);
    exact_free(delim);
    return 0;
}
