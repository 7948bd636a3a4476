// The procedure frame: the head of every library procedure's locals, with
// its string temporaries' slots and its error slot.
#pragma once

#include <stdint.h>

#include "runtime/blocks.h"

struct ProcDescriptor {
    const uint32_t* release_list;   // entries relative to the frame's address; ends with 0
};

constexpr int kTempSlots = 5;

// A procedure keeps its dynamic locals in a struct whose first member is its
// ProcFrame, so release list offsets are measured from the frame's address.
// The string temporaries (tmp_*) fill the slots.
struct ProcFrame {
    int32_t depth;                      // slots in use; 0 at every exit
    const ProcDescriptor* descriptor;
    StrHandle slots[kTempSlots];        // slots[depth - 1] is the top
    uint8_t numeric_scratch[8];
    uint8_t error_slot;                 // last run-time error raised in this call, 0 = none
};

void frame_init(ProcFrame& proc_frame, const ProcDescriptor* descriptor);
