#include "runtime/frame.h"

#include <string.h>

void frame_init(ProcFrame& proc_frame, const ProcDescriptor* descriptor) {
    memset(&proc_frame, 0, sizeof proc_frame);
    proc_frame.descriptor = descriptor;
}
