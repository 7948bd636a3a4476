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
int32_t field_count(ProcFrame& proc_frame);

// Operands: source, delimiter. Leaves field `index` (negative counts from the
// end: -1 is the last) in the source's slot; the empty string when there is
// no such field. Raises kErrOutOfMemory into `proc_frame` when the copy cannot be
// allocated, leaving the empty string in its place.
void field_at(ProcFrame& proc_frame, int32_t index);

// Where a walk over the fields of one source with one delimiter stands: the
// unit (0-based) at which the next field begins. Start at 0; kFieldsDone
// once the last field has been taken.
constexpr uint32_t kFieldsDone = 0xFFFFFFFFu;

// Operands: source, delimiter. Leaves in the source's slot the field that
// begins at *next and moves *next on to the field after it (kFieldsDone after
// the last). From 0, successive calls leave fields 1, 2, ... field_count, each
// exactly what field_at gives for its index, and each call costs time in its
// own field's length only, so a whole walk is linear in the source. With
// *next at kFieldsDone (or beyond the source) it leaves the empty string.
// *next must come from a walk over the same source and delimiter. Raises
// kErrOutOfMemory into `proc_frame` like field_at, *next moving on all the same.
void field_next(ProcFrame& proc_frame, uint32_t* next);

// Operands: text, set. Position of the first unit of text that is in set,
// scanning forward from `start`, or backward from the unit `-start` counted
// from the end when start < 0.
//   returns   meaning
//   0         start 0, empty text, start beyond the text, or no unit found
//   start     positive start with an empty set (not compared with the length)
//   n+start+1 negative start with an empty set, when positive
int32_t find_any(ProcFrame& proc_frame, int32_t start);

// Pushes an owned string of one unit per code (its low 16 bits); a code of -1
// adds nothing. On allocation failure pushes the empty string and raises
// kErrOutOfMemory.
void string_of_codes(ProcFrame& proc_frame, const int32_t* codes, int count);
