#include "runtime/arrays.h"

#include "platform/platform.h"
#include "runtime/blocks.h"
#include "runtime/errors.h"
#include "runtime/frame.h"

namespace {

constexpr uint8_t kArrayKind = 2;

// Leaves the descriptor not dimensioned after a refused dim_array.
void refuse(ProcFrame& proc_frame, ArrayDescriptor* array, RuntimeError error) {
    array->data = nullptr;
    array->flags &= static_cast<uint8_t>(~kArrayDimensioned);
    raise_internal(&proc_frame, error);
}

// Descending quicksort with the middle element (the upper middle of an even
// range) as pivot. The smaller part is sorted by recursion and the larger by
// the loop, so the stack stays logarithmic; the parts are disjoint, so the
// order in which they are sorted does not change the result.
void sort_descending(StrHandle* e, int64_t lo, int64_t hi) {
    while (lo < hi) {
        const StrHandle pivot = e[lo + (hi - lo + 1) / 2];
        int64_t i = lo, j = hi;
        while (i <= j) {
            while (e[i] > pivot) ++i;
            while (e[j] < pivot) --j;
            if (i <= j) {
                const StrHandle t = e[i];
                e[i] = e[j];
                e[j] = t;
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            sort_descending(e, lo, j);
            lo = i;
        } else {
            sort_descending(e, i, hi);
            hi = j;
        }
    }
}

}  // namespace

void sort_handles_descending(StrHandle* handles, uint32_t n) {
    if (n > 1) sort_descending(handles, 0, int64_t{n} - 1);
}

void dim_array(ProcFrame& proc_frame, ArrayDescriptor* array, void* data, uint8_t flags,
               uint8_t element_type, uint8_t dimension_count, uint32_t element_size,
               const int32_t* bounds) {
    if (array->flags & kArrayDimensioned) return;
    array->kind = kArrayKind;
    array->flags = static_cast<uint8_t>(flags & ~kArrayDimensioned);
    array->data = data;
    array->element_type = element_type;
    array->dimension_count = dimension_count;
    array->element_size = element_size;
    if (dimension_count == 0) return refuse(proc_frame, array, kErrSubscript);

    // The dimensions run on into the owner's ArrayDescriptorN storage.
    ArrayDimension* dims = array->dims;
    uint64_t count = 1;
    for (int k = 0; k < dimension_count; ++k) {
        dims[k].lower = bounds[2 * k];
        dims[k].upper = bounds[2 * k + 1];
        if (dims[k].upper < dims[k].lower) return refuse(proc_frame, array, kErrSubscript);
        count *= static_cast<uint64_t>(int64_t{dims[k].upper} - dims[k].lower + 1);
        if (count > 0xFFFFFFFFu) return refuse(proc_frame, array, kErrSubscript);
        if (k + 1 < dimension_count) dims[k].span = static_cast<uint32_t>(count);
    }
    array->element_count = static_cast<uint32_t>(count);
    const uint64_t bytes = count * element_size;
    if (bytes > 0xFFFFFFFFu) return refuse(proc_frame, array, kErrSubscript);
    array->byte_size = static_cast<uint32_t>(bytes);

    if (!(flags & kArrayCallerMemory)) {
        // global_alloc_zeroed hands back zero-filled memory: every element
        // starts as the empty string or a zero value.
        void* memory = global_alloc_zeroed(array->byte_size);
        if (memory == nullptr) return refuse(proc_frame, array, kErrOutOfMemory);
        array->data = memory;
    }
    array->flags |= kArrayDimensioned;
}

uint32_t erase_array(ArrayDescriptor* array) {
    if (!(array->flags & kArrayDimensioned)) return 0;
    if (array->flags & kArrayCallerMemory) {
        array->flags &= static_cast<uint8_t>(~(kArrayCallerMemory | kArrayDimensioned));
        return 0;
    }
    // Only elements of a handle's own width are handles; other sizes own
    // nothing we could free safely.
    if (!(array->flags & kArrayFreeOnly) && array->element_type == kElementString &&
        array->element_size == sizeof(StrHandle) && array->data != nullptr) {
        StrHandle* e = static_cast<StrHandle*>(array->data);
        const uint32_t n = array->element_count;
        sort_handles_descending(e, n);
        for (uint32_t i = 0; i < n; ++i) {
            const StrHandle h = e[i];
            e[i] = 0;
            str_free(h);
        }
    }
    void* memory = array->data;
    array->data = nullptr;
    if (!global_free(memory)) {
        // The elements are all 0 by now; keeping the block lets a retry free
        // it instead of walking a null pointer.
        array->data = memory;
        return kErrFreeFailed;
    }
    array->flags &= static_cast<uint8_t>(~(kArrayCallerMemory | kArrayDimensioned));
    return 0;
}
