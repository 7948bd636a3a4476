#include "runtime/blocks.h"

#include "platform/platform.h"

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

void* alloc_zeroed_record(uint32_t bytes) {
    void* record = alloc_record(bytes);
    if (record == nullptr) return nullptr;
    // Through a volatile pointer, so the compiler keeps this short loop
    // rather than turning it into a call of memset.
    volatile uint8_t* b = static_cast<volatile uint8_t*>(record);
    for (uint32_t i = 0; i < bytes; ++i) b[i] = 0;
    return record;
}
