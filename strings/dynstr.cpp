#include "strings/dynstr.h"

#include <string.h>

#include "platform/platform.h"
#include "runtime/context.h"
#include "runtime/errors.h"
#include "runtime/release_lists.h"

namespace {

// Zero-filled and 4-aligned: reads as an empty zero-terminated text whether
// the reader expects bytes or UTF-16 units.
alignas(4) const char16_t kEmptyText[4] = {0, 0, 0, 0};

// The slots' checks as in the header's inline operations.
StrHandle& slot_ref(ProcFrame& proc_frame, int depth) {
    if (depth < 0 || depth >= proc_frame.depth) __builtin_trap();
    return proc_frame.slots[proc_frame.depth - 1 - depth];
}

StrHandle pop(ProcFrame& proc_frame) {
    if (proc_frame.depth <= 0) __builtin_trap();
    StrHandle v = proc_frame.slots[--proc_frame.depth];
    proc_frame.slots[proc_frame.depth] = 0;
    return v;
}

uint32_t resolve_code_page(uint32_t code_page) {
    if (code_page != 0) return code_page;
    ThreadContext* ctx = get_thread_context();
    return ctx ? ctx->code_page : 0;
}

}  // namespace

const char16_t* str_empty_text() { return kEmptyText; }

StrHandle ansi_to_wide(StrHandle h, uint32_t code_page) {
    uint32_t cp = resolve_code_page(code_page);
    const char* src;
    uint32_t n = str_len_ansi(h, &src);
    if (n == 0 || n > 0x7FFFFFFFu) return 0;
    int m = multibyte_to_wide(cp, kMbPrecomposed, src, static_cast<int>(n), nullptr, 0);
    if (m <= 0) return 0;
    StrHandle r = str_alloc_wide(static_cast<uint32_t>(m));
    if (r == 0) return 0;
    multibyte_to_wide(cp, kMbPrecomposed, src, static_cast<int>(n), reinterpret_cast<char16_t*>(r), m);
    return r;
}

StrHandle wide_to_ansi(StrHandle h, uint32_t code_page) {
    uint32_t cp = resolve_code_page(code_page);
    const char16_t* src;
    uint32_t n = str_len_wide(h, &src);
    if (n == 0) return 0;
    int m = wide_to_multibyte(cp, 0, src, static_cast<int>(n), nullptr, 0);
    if (m <= 0) return 0;
    StrHandle r = str_alloc_ansi(static_cast<uint32_t>(m));
    if (r == 0) return 0;
    wide_to_multibyte(cp, 0, src, static_cast<int>(n), reinterpret_cast<char*>(r), m);
    return r;
}

// --- temporaries ----------------------------------------------------------------

void tmp_drop_n(ProcFrame& proc_frame, int count) {
    while (count-- > 0) tmp_drop(proc_frame);
}

void tmp_set_result(ProcFrame& proc_frame, int operand_count, StrHandle result) {
    tmp_drop_n(proc_frame, operand_count - 1);
    StrHandle& deepest = slot_ref(proc_frame, 0);
    str_free(deepest);
    deepest = result;
}

void tmp_assign(ProcFrame& proc_frame, StrHandle* var) {
    StrHandle s = pop(proc_frame);
    StrHandle h = str_unborrow(s);
    if (!(s & kBorrowedBit) || h == 0) {
        StrHandle old = *var;
        *var = h;
        str_free(old);
        return;
    }
    if (*var == h) return;   // a variable assigned to itself stays as it is
    const char16_t* src;
    uint32_t n = str_len_wide(h, &src);
    if (n == 0) {   // a caller's non-null block of length 0 is the empty string
        StrHandle old = *var;
        *var = 0;
        str_free(old);
        return;
    }
    if (*var != 0 && str_stored_bytes(*var) == 2 * n) {
        memmove(reinterpret_cast<void*>(*var), src, 2 * static_cast<size_t>(n));
        return;
    }
    StrHandle fresh = str_alloc_wide(n);
    StrHandle old = *var;
    if (fresh == 0) {
        *var = 0;
        str_free(old);
        raise_internal(&proc_frame, kErrOutOfMemory);
        return;
    }
    memcpy(reinterpret_cast<void*>(fresh), src, 2 * static_cast<size_t>(n));
    *var = fresh;
    str_free(old);
}

void tmp_concat(ProcFrame& proc_frame) {
    StrHandle r = slot_ref(proc_frame, 0);
    StrHandle& l = slot_ref(proc_frame, 1);
    const char16_t* rd;
    const char16_t* ld;
    uint32_t nr = str_len_wide(r, &rd);
    uint32_t nl = str_len_wide(l, &ld);
    if (nl == 0) {
        str_free(l);   // only an owned block can need it; borrowed and 0 are left alone
        l = r;
        pop(proc_frame);
        return;
    }
    if (nr == 0) {
        tmp_drop(proc_frame);
        return;
    }
    StrHandle joined = (nl + uint64_t{nr} <= kMaxWideUnits) ? str_alloc_wide(nl + nr) : 0;
    if (joined == 0) {
        // Both operands give way to an owned empty result so the temporaries
        // stay balanced for the caller, who goes on after the error.
        str_free(l);
        l = 0;
        tmp_drop(proc_frame);
        raise_internal(&proc_frame, kErrOutOfMemory);
        return;
    }
    auto* out = reinterpret_cast<char16_t*>(joined);
    memcpy(out, ld, 2 * static_cast<size_t>(nl));
    memcpy(out + nl, rd, 2 * static_cast<size_t>(nr));
    str_free(l);
    l = joined;
    tmp_drop(proc_frame);
}

uint32_t tmp_len(ProcFrame& proc_frame) {
    uint32_t n = str_len_wide(slot_ref(proc_frame, 0));
    tmp_drop(proc_frame);
    return n;
}

namespace {

void convert_slot(ProcFrame& proc_frame, int depth, uint32_t code_page,
                  StrHandle (*convert)(StrHandle, uint32_t)) {
    StrHandle& slot = slot_ref(proc_frame, depth);
    StrHandle old = slot;
    StrHandle fresh = str_unborrow(old) == 0 ? 0 : convert(str_unborrow(old), code_page);
    slot = fresh;
    str_free(old);
}

}  // namespace

void tmp_to_wide(ProcFrame& proc_frame, int depth, uint32_t code_page) {
    convert_slot(proc_frame, depth, code_page, ansi_to_wide);
}

void tmp_to_ansi(ProcFrame& proc_frame, int depth, uint32_t code_page) {
    convert_slot(proc_frame, depth, code_page, wide_to_ansi);
}

void release_locals(ProcFrame& proc_frame) {
    if (!proc_frame.descriptor) return;
    uint32_t err = process_release_list(proc_frame.descriptor->release_list, &proc_frame);
    if (err) raise_internal(&proc_frame, err);
}
