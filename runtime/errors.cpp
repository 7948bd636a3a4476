#include "runtime/errors.h"

#include "platform/platform.h"
#include "runtime/context.h"
#include "runtime/frame.h"

const char* error_description(uint32_t number) {
    switch (number) {
#define X(name, num, text) \
    case num:              \
        return text;
        RUNTIME_ERRORS(X)
#undef X
    default:
        return nullptr;
    }
}

void raise_internal(ProcFrame* proc_frame, uint32_t number) {
    uint32_t n = number & 0xFFu;
    if (n == 0) n = kErrInternal;
    if (proc_frame) proc_frame->error_slot = static_cast<uint8_t>(n);
    // The raising thread gets its context even though nothing here reads it:
    // a later handler on this thread must find one. Failure is not an error.
    (void)get_thread_context();
    if (n >= kFirstFatalError) exit_process(kFatalExitCode);
}

void raise_error(ProcFrame* proc_frame, int32_t number) {
    if (number < 1 || number > 255) number = kErrInvalidCall;
    raise_internal(proc_frame, static_cast<uint32_t>(number));
}
