#include "runtime/frame.h"

#include <string.h>

void frame_init(ProcFrame& frame, const ProcDescriptor* descriptor) {
    memset(&frame, 0, sizeof frame);
    frame.descriptor = descriptor;
}
