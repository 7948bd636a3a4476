// Numeric text conversion: decimal numbers with fraction and exponent, and
// ampersand-radix integers (&H, &O, &Q, &B).
//
// All arithmetic is x87 extended precision (long double on x86 and x86-64).
// The results are those of a 64-bit significand with rounding to nearest:
// the caller's thread must hold the runtime's control word
// (kRuntimeFpuControl), which the runtime loads at attach and after the
// export's system calls.
#pragma once

#include <stdint.h>

struct ProcFrame;

// Reads the number at byte `start` (1-based) of the top temporary, an ANSI
// string, and drops that temporary. Never raises.
//   returns           when
//   the value         a number begins there (after blanks); the rest is ignored
//   0                 no number, start < 1 or start beyond the text, a radix
//                     number wider than 64 bits, a "?" number with bit 63 set,
//                     decimal underflow
//   +-2^127           decimal overflow, with the number's sign
long double parse_number(ProcFrame& proc_frame, int32_t start);

// Nearest 32-bit integer, ties to even. Values beyond the 32-bit range
// saturate to INT32_MIN / INT32_MAX; NaN gives 0.
int32_t round_to_int32(long double v);
