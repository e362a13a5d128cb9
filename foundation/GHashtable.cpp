#include "foundation/GHashtable.h"

#include <cstdint>

int stdStringHash(const std::string& s) {
    // Unsigned arithmetic wraps without undefined behaviour.
    uint32_t n = (uint32_t)s.size();
    const char* p = s.c_str();
    if (n > 1) {
        return (int)(n + 23u * (uint32_t)(int)(signed char)p[0] +
                     79u * (uint32_t)(int)(signed char)p[1] +
                     541u * (uint32_t)(int)(signed char)p[n - 1] +
                     41u * (uint32_t)(int)(signed char)p[n - 2]);
    }
    return (int)(n + 23u * (uint32_t)(int)(signed char)p[0]);
}

int stdStringKeyHash(const std::string* key) { return stdStringHash(*key); }
