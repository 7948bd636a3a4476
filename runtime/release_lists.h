// Release lists: what a scope's variables need when the scope ends (strings
// freed, arrays erased, objects released, variants cleared).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Entries: byte offset of the variable from the scope's base, ORed with its
// kind in the two low bits; the list ends with an entry 0.
enum ReleaseKind : uint32_t {
    kReleaseObject = 0,    // an object pointer: cleared, then the object's Release called
    kReleaseArray = 1,     // an ArrayDescriptor: erased (erase_array)
    kReleaseString = 2,    // a StrHandle: cleared, then freed
    kReleaseVariant = 3,   // a variant: cleared by the system
};
constexpr uint32_t release_entry(size_t offset, ReleaseKind kind) {
    return static_cast<uint32_t>(offset) | kind;
}

// Releases every variable that `list` names, in list order, relative to
// `base`. Returns 0, or the first error reported by erase_array
// (kErrFreeFailed).
uint32_t process_release_list(const uint32_t* list, void* base);

// The module's and thread's own release lists; both are empty in this library.
extern const uint32_t kModuleReleaseList[];
extern const uint32_t kThreadReleaseList[];
