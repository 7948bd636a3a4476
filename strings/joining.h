// Arabic joining: which letters of a text join their neighbours, and the
// presentation form that draws each in its own cell. Forms come from the
// text in logical order, before it is reordered for display.
#pragma once

#include <stdint.h>

// Joining types (ArabicShaping.txt). The generated table
// (strings/joining_tables.inc) stores these numbers: the order is fixed.
enum JoiningType : uint8_t {
    kJoinNone,          // U: joins neither side
    kJoinTransparent,   // T: marks and format characters, skipped over
    kJoinRight,         // R: joins the character before it only
    kJoinLeft,          // L: joins the character after it only
    kJoinDual,          // D: joins both
    kJoinCausing,       // C: makes both neighbours join it (tatweel, ZWJ)
};

// Contextual forms; bit 0 = joined to the character before, bit 1 = joined
// to the one after.
enum JoiningForm : uint8_t { kFormIsolated, kFormFinal, kFormInitial, kFormMedial };

// Joining type of a code point: ArabicShaping.txt's, or, for one it does not
// list, T for general categories Mn, Me and Cf and U for the rest.
JoiningType joining_type(uint32_t code_point);

// Contextual form of every character of units[0, n) into forms[0, n), one
// per unit (both units of a surrogate pair alike): a character joins the one
// before it when it is R, D or C and that one is L, D or C, skipping
// transparent characters in between. Transparent characters themselves are
// isolated.
void joining_forms(const char16_t* units, uint32_t n, uint8_t* forms);

// The presentation form (U+FB50..U+FEFC) that draws `code_point` in `form`,
// or 0 when it has none.
uint32_t arabic_presentation_form(uint32_t code_point, JoiningForm form);

// The ligature that draws lam (U+0644) followed by `alef`, given lam's form
// from joining_forms(): initial gives the isolated ligature, medial the final
// one (U+FEF5..U+FEFC). 0 when `alef` makes no ligature with lam or lam does
// not join it.
uint32_t lam_alef_ligature(uint32_t alef, JoiningForm lam_form);
