// Arrays: a descriptor in the owner's storage and zero-filled element memory
// from the global heap.
#pragma once

#include <stdint.h>

#include "runtime/blocks.h"

struct ProcFrame;

constexpr uint8_t kArrayCallerMemory = 0x01;  // element memory supplied by the caller
constexpr uint8_t kArrayFreeOnly = 0x02;      // erase frees the memory without releasing elements
constexpr uint8_t kArrayDimensioned = 0x04;   // the dimensioned bit
constexpr uint8_t kElementString = 54;        // '6': dynamic string handle, pointer-sized (4 bytes in the 32-bit DLL)

struct ArrayDimension {
    int32_t lower;
    int32_t upper;
    uint32_t span;   // product of the counts of dimensions 1..k; not set for the last
};

// Header shared by descriptors of any dimension count; the dimensions follow
// it. Use ArrayDescriptorN<k> for storage.
struct ArrayDescriptor {
    void* data;
    uint8_t flags;
    uint8_t kind;
    uint8_t element_type;
    uint8_t dimension_count;
    uint32_t element_count;
    uint32_t byte_size;
    uint32_t element_size;
    ArrayDimension dims[1];
};

template <int K>
struct ArrayDescriptorN {
    ArrayDescriptor head;            // holds dims[0]
    ArrayDimension more[K - 1 > 0 ? K - 1 : 1];
};

// Dimensions the array. `bounds` holds lower and upper bound of each
// dimension in order. Raises kErrSubscript (inverted bounds, count or size
// beyond 32 bits) or kErrOutOfMemory into `proc_frame`; the array then stays not
// dimensioned. An already dimensioned array is left as it is.
void dim_array(ProcFrame& proc_frame, ArrayDescriptor* array, void* data, uint8_t flags,
               uint8_t element_type, uint8_t dimension_count, uint32_t element_size,
               const int32_t* bounds);

// Releases the elements (strings freed in descending handle order) and the
// memory. Returns 0, or kErrFreeFailed when the memory cannot be freed (flags
// unchanged).
uint32_t erase_array(ArrayDescriptor* array);

// Sorts n handles by descending unsigned value in place: the order in which
// erase_array frees an array's strings.
void sort_handles_descending(StrHandle* handles, uint32_t n);
