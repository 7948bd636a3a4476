#include "strings/dynstr.h"

#include <string.h>

#include "platform/platform.h"
#include "runtime/errors.h"
#include "runtime/runtime.h"

namespace {

// Zero-filled and 4-aligned: reads as an empty zero-terminated text whether
// the reader expects bytes or UTF-16 units.
alignas(4) const char16_t kEmptyText[4] = {0, 0, 0, 0};

struct LiteralSource {
    const void* data;
    uint32_t bytes;
};

constexpr char16_t kCrLfUnits[] = {0x0D, 0x0A};
constexpr char16_t kSpaceUnits[] = {0x20};

// Pool order is fixed: the message box refers to the literals by position.
constexpr LiteralSource kLiteralSources[kLiteralCount] = {
    {kCrLfUnits, 4},
    {kSpaceUnits, 2},
    {"  Press <Enter>", 15},
    {"  ", 2},
    {"  Press 1 for ", 14},
    {"  Press 2 for ", 14},
    {"  Press 3 for ", 14},
    {"12", 2},
    {"123", 3},
};

const int32_t kLiteralNumbers[kNumberCount] = {1, 2, 0, 3, 4, 30, 80, 13};

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

// The slots' checks as in the header's inline operations.
StrHandle& slot_ref(ProcFrame& f, int depth) {
    if (depth < 0 || depth >= f.depth) __builtin_trap();
    return f.slots[f.depth - 1 - depth];
}

StrHandle pop(ProcFrame& f) {
    if (f.depth <= 0) __builtin_trap();
    StrHandle v = f.slots[--f.depth];
    f.slots[f.depth] = 0;
    return v;
}

uint32_t resolve_code_page(uint32_t code_page) {
    if (code_page != 0) return code_page;
    ThreadContext* ctx = get_thread_context();
    return ctx ? ctx->code_page : 0;
}

}  // namespace

// --- blocks ------------------------------------------------------------------

StrHandle str_alloc_ansi(uint32_t bytes) {
    if (bytes == 0) return 0;
    return reinterpret_cast<StrHandle>(sys_alloc_string_byte_len(bytes));
}

StrHandle str_alloc_wide(uint32_t units) {
    if (units == 0) return 0;
    if (units > 0x7FFFFFFFu) return 0;   // the byte length would not fit in 32 bits
    return reinterpret_cast<StrHandle>(sys_alloc_string_len(units));
}

void str_free(StrHandle h) {
    if (h == 0 || (h & kBorrowedBit)) return;
    sys_free_string(reinterpret_cast<void*>(h));
}

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

// --- literal pool ----------------------------------------------------------------

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

// --- temporaries ----------------------------------------------------------------

void frame_init(ProcFrame& f, const ProcDescriptor* descriptor) {
    memset(&f, 0, sizeof f);
    f.descriptor = descriptor;
}

void tmp_drop_n(ProcFrame& f, int count) {
    while (count-- > 0) tmp_drop(f);
}

void tmp_set_result(ProcFrame& f, int operand_count, StrHandle result) {
    tmp_drop_n(f, operand_count - 1);
    StrHandle& deepest = slot_ref(f, 0);
    str_free(deepest);
    deepest = result;
}

void tmp_assign(ProcFrame& f, StrHandle* var) {
    StrHandle s = pop(f);
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
        raise_internal(&f, kErrOutOfMemory);
        return;
    }
    memcpy(reinterpret_cast<void*>(fresh), src, 2 * static_cast<size_t>(n));
    *var = fresh;
    str_free(old);
}

void tmp_concat(ProcFrame& f) {
    StrHandle r = slot_ref(f, 0);
    StrHandle& l = slot_ref(f, 1);
    const char16_t* rd;
    const char16_t* ld;
    uint32_t nr = str_len_wide(r, &rd);
    uint32_t nl = str_len_wide(l, &ld);
    if (nl == 0) {
        str_free(l);   // only an owned block can need it; borrowed and 0 are left alone
        l = r;
        pop(f);
        return;
    }
    if (nr == 0) {
        tmp_drop(f);
        return;
    }
    StrHandle joined = (nl + uint64_t{nr} <= 0x7FFFFFFFu) ? str_alloc_wide(nl + nr) : 0;
    if (joined == 0) {
        // Both operands give way to an owned empty result so the temporaries
        // stay balanced for the caller, who goes on after the error.
        str_free(l);
        l = 0;
        tmp_drop(f);
        raise_internal(&f, kErrOutOfMemory);
        return;
    }
    auto* out = reinterpret_cast<char16_t*>(joined);
    memcpy(out, ld, 2 * static_cast<size_t>(nl));
    memcpy(out + nl, rd, 2 * static_cast<size_t>(nr));
    str_free(l);
    l = joined;
    tmp_drop(f);
}

uint32_t tmp_len(ProcFrame& f) {
    uint32_t n = str_len_wide(slot_ref(f, 0));
    tmp_drop(f);
    return n;
}

namespace {

void convert_slot(ProcFrame& f, int depth, uint32_t code_page, StrHandle (*convert)(StrHandle, uint32_t)) {
    StrHandle& slot = slot_ref(f, depth);
    StrHandle old = slot;
    StrHandle fresh = str_unborrow(old) == 0 ? 0 : convert(str_unborrow(old), code_page);
    slot = fresh;
    str_free(old);
}

}  // namespace

void tmp_to_wide(ProcFrame& f, int depth, uint32_t code_page) { convert_slot(f, depth, code_page, ansi_to_wide); }

void tmp_to_ansi(ProcFrame& f, int depth, uint32_t code_page) { convert_slot(f, depth, code_page, wide_to_ansi); }

void release_locals(ProcFrame& f) {
    if (!f.descriptor) return;
    uint32_t err = process_release_list(f.descriptor->release_list, &f);
    if (err) raise_internal(&f, err);
}
