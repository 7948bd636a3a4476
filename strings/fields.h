// Field splitting, set search and strings built from character codes, on the
// string temporaries.
//
// String operands are pushed in argument order (the first deepest) and are
// consumed whatever the result; numeric operands are plain arguments. A
// string result is left owned in the deepest operand's slot (string_of_codes,
// which has no string operand, pushes it). All positions are 1-based UTF-16
// units; units compare as exact 16-bit values.
#pragma once

#include <stdint.h>

struct ProcFrame;

// Operands: source, delimiter. Number of fields, at least 1. An empty
// delimiter reads the source as a comma-separated list.
int32_t field_count(ProcFrame& f);

// Operands: source, delimiter. Leaves field `index` (negative counts from the
// end: -1 is the last) in the source's slot; the empty string when there is
// no such field. Raises 7 into f when the copy cannot be allocated, leaving
// the empty string in its place.
void field_at(ProcFrame& f, int32_t index);

// Operands: text, set. Position of the first unit of text that is in set,
// scanning forward from `start`, or backward from the unit `-start` counted
// from the end when start < 0.
//   returns   meaning
//   0         start 0, empty text, start beyond the text, or no unit found
//   start     positive start with an empty set (not compared with the length)
//   n+start+1 negative start with an empty set, when positive
int32_t find_any(ProcFrame& f, int32_t start);

// Pushes an owned string of one unit per code (its low 16 bits); a code of -1
// adds nothing. On allocation failure pushes the empty string and raises 7.
void string_of_codes(ProcFrame& f, const int32_t* codes, int count);
