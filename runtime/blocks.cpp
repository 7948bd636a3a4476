#include "runtime/blocks.h"

#include <string.h>

#include "platform/platform.h"

StrHandle str_alloc_ansi(uint32_t bytes) {
    if (bytes == 0) return 0;
    return reinterpret_cast<StrHandle>(sys_alloc_string_byte_len(bytes));
}

StrHandle str_alloc_wide(uint32_t units) {
    if (units == 0) return 0;
    if (units > kMaxWideUnits) return 0;
    return reinterpret_cast<StrHandle>(sys_alloc_string_len(units));
}

void str_free(StrHandle h) {
    if (h == 0 || (h & kBorrowedBit)) return;
    sys_free_string(reinterpret_cast<void*>(h));
}

void* alloc_zeroed_record(uint32_t bytes) {
    void* record = alloc_record(bytes);
    if (record == nullptr) return nullptr;
    memset(record, 0, bytes);
    return record;
}
