// Run-time error numbers and raising.
//
// An operation that fails either raises its error into the error slot of the
// procedure frame it was given, or returns the number to its caller, which
// raises it, passes it on or ignores it. Numbers from kFirstFatalError on end
// the host process with exit code kFatalExitCode.
#pragma once

#include <stdint.h>

struct ProcFrame;

// Each number is fixed forever.
#define RUNTIME_ERRORS(X)                                   \
    X(kErrInvalidCall, 5, "Invalid procedure call")         \
    X(kErrOutOfMemory, 7, "Out of memory")                  \
    X(kErrSubscript, 9, "Subscript out of range")           \
    X(kErrInternal, 51, "Internal error")                   \
    X(kErrFreeFailed, 241, "Memory could not be released")

enum RuntimeError : uint8_t {
    kErrNone = 0,
#define X(name, number, text) name = number,
    RUNTIME_ERRORS(X)
#undef X
};

constexpr uint32_t kFirstFatalError = 241;
constexpr uint32_t kFatalExitCode = 255;

// Description of a known error number, or null.
const char* error_description(uint32_t number);

// The internal raise. Takes the low 8 bits (0 becomes kErrInternal), records
// the number in `proc_frame`'s error slot (when a frame is given), makes sure this
// thread has a context, and from kFirstFatalError on ends the process with
// exit code kFatalExitCode.
// Otherwise returns, and the caller goes on with its neutral result.
void raise_internal(ProcFrame* proc_frame, uint32_t number);

// As raise_internal, except that a number outside 1..255 becomes
// kErrInvalidCall first.
void raise_error(ProcFrame* proc_frame, int32_t number);
