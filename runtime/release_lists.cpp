#include "runtime/release_lists.h"

#include "platform/platform.h"
#include "runtime/arrays.h"
#include "runtime/blocks.h"

const uint32_t kModuleReleaseList[] = {0};
const uint32_t kThreadReleaseList[] = {0};

#if defined(_WIN32) && defined(__i386__)
#define RELEASE_CALL __stdcall
#else
#define RELEASE_CALL
#endif

uint32_t process_release_list(const uint32_t* list, void* base) {
    uint32_t first_error = 0;
    if (!list) return 0;
    auto* bytes = static_cast<uint8_t*>(base);
    for (; *list != 0; ++list) {
        void* var = bytes + (*list & ~3u);
        switch (static_cast<ReleaseKind>(*list & 3u)) {
        case kReleaseObject: {
            using ReleaseFn = uint32_t(RELEASE_CALL*)(void*);
            void* obj = *static_cast<void**>(var);
            // Cleared first, so a release list run twice cannot release twice.
            *static_cast<void**>(var) = nullptr;
            if (obj) (*reinterpret_cast<ReleaseFn**>(obj))[2](obj);
            break;
        }
        case kReleaseArray: {
            uint32_t err = erase_array(static_cast<ArrayDescriptor*>(var));
            if (err && !first_error) first_error = err;
            break;
        }
        case kReleaseString: {
            StrHandle h = *static_cast<StrHandle*>(var);
            *static_cast<StrHandle*>(var) = 0;
            str_free(h);
            break;
        }
        case kReleaseVariant:
            variant_clear(var);
            break;
        }
    }
    return first_error;
}
