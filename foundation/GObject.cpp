#include "foundation/GObject.h"

#include <cinttypes>
#include <cstdio>

const char* formatClassAddress(char* buffer, int size, const char* className,
                               const void* address) {
    // The full address: on 64-bit systems "%x" alone would cut it in half.
    std::snprintf(buffer, (size_t)size, "%s@%" PRIxPTR, className, (uintptr_t)address);
    return buffer;
}

const char* GObject::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GObject", this);
}
