// Blocks of the system string allocator: the storage of every dynamic string
// and of the runtime's own records (fonts, windows).
//
// A string handle is the address of the first data byte of a block whose
// 32-bit byte length sits in the 4 bytes before it and whose data is followed
// by a zero terminator. The empty string is the handle 0. In a temporary slot
// bit 0 (the borrowed bit) marks a value the slot must not free.
#pragma once

#include <stddef.h>
#include <stdint.h>

using StrHandle = uintptr_t;
constexpr StrHandle kBorrowedBit = 1;

static inline StrHandle str_unborrow(StrHandle h) { return h & ~kBorrowedBit; }

// The most UTF-16 units a block holds: its byte length is 32 bits.
constexpr uint32_t kMaxWideUnits = 0x7FFFFFFFu;

// A block of n bytes / n UTF-16 units, contents uninitialised. 0 for n == 0.
// Failure (system out of memory) is the handle 0 for n > 0: the caller treats
// it as kErrOutOfMemory and raises or swallows it.
StrHandle str_alloc_ansi(uint32_t bytes);
StrHandle str_alloc_wide(uint32_t units);

// Frees an owned handle. Does nothing for 0 or for a borrowed value.
void str_free(StrHandle h);

// A record of the runtime's lists in a block of its own: only 4-aligned, as
// every block is. Null when there is no memory. The zero-filled kind is for
// records whose every field starts at 0; free either with free_record.
inline void* alloc_record(uint32_t bytes) { return reinterpret_cast<void*>(str_alloc_ansi(bytes)); }
void* alloc_zeroed_record(uint32_t bytes);
inline void free_record(void* record) { str_free(reinterpret_cast<StrHandle>(record)); }
