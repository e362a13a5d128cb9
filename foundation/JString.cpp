#include "foundation/JString.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/FatalExit.h"

static char* allocateChars(int capacity) {
    char* buffer = static_cast<char*>(std::malloc((size_t)capacity + 1));
    if (!buffer) {
        std::fprintf(stderr, "out of memory\n");
        fatalExit(1);
    }
    return buffer;
}

JString::JString(const char* text) {
    int n = text ? (int)std::strlen(text) : 0;
    length = capacity = n;
    chars = allocateChars(n);
    if (n > 0) std::memcpy(chars, text, (size_t)n);
    chars[n] = '\0';
}

JString::JString(const char* text, int n) {
    if (!text || n < 0) n = 0;
    length = capacity = n;
    chars = allocateChars(n);
    if (n > 0) std::memcpy(chars, text, (size_t)n);
    chars[n] = '\0';
}

JString::JString(const JString& other) : JString(other.chars, other.length) {}

JString& JString::operator=(const JString& other) {
    if (this == &other) return *this;
    // Grows only past the current length, and then to exactly the new length.
    if (other.length > length) {
        std::free(chars);
        chars = allocateChars(other.length);
        capacity = other.length;
    }
    std::memcpy(chars, other.chars, (size_t)other.length);
    length = other.length;
    chars[length] = '\0';
    return *this;
}

JString::~JString() { std::free(chars); }

void JString::reallocate(int newCapacity) {
    char* grown = static_cast<char*>(std::realloc(chars, (size_t)newCapacity + 1));
    if (!grown) {
        std::fprintf(stderr, "out of memory\n");
        fatalExit(1);
    }
    chars = grown;
    capacity = newCapacity;
}

bool JString::equals(const JString& other) const {
    return length == other.length && std::memcmp(chars, other.chars, (size_t)length) == 0;
}

static uint32_t littleEndianWord(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) |
           ((uint32_t)b[3] << 24);
}

int JString::hash() const {
    if (length <= 3) {
        int sum = 0;
        for (int i = 0; i < length; i++) sum += (signed char)chars[i];
        return sum;
    }
    // Wrapping 32-bit sum, done unsigned to stay well defined.
    return (int)(littleEndianWord(chars) + littleEndianWord(chars + length - 4));
}

char JString::charAt(int i) const {
    if ((unsigned)i >= (unsigned)length) {
        std::fprintf(stderr, "Index Out Of Bounds Exception at [%d] in:\n%s\n", i, chars);
        std::fflush(stderr);
        fatalExit(1);
    }
    return chars[i];
}

JString JString::substring(int a, int b) const {
    if (b < a) {
        int t = a;
        a = b;
        b = t;
    }
    // A negative start would read before the buffer; it is as fatal as an end
    // past the text.
    if (b > length || a < 0) {
        std::fprintf(stderr, "Index Out Of Bounds Exception w/ substring(%d,%d]:\n%s\n", a, b,
                     chars);
        std::fflush(stderr);
        fatalExit(1);
    }
    return JString(chars + a, b - a);
}

void JString::appendBytes(const char* bytes, int n) {
    if (n <= 0) return;
    int newLength = length + n;
    if (newLength > capacity) {
        // Copy before freeing: the bytes may come from this very buffer.
        char* grown = allocateChars(newLength);
        std::memcpy(grown, chars, (size_t)length);
        std::memcpy(grown + length, bytes, (size_t)n);
        std::free(chars);
        chars = grown;
        capacity = newLength;
    } else {
        std::memmove(chars + length, bytes, (size_t)n);
    }
    length = newLength;
    chars[length] = '\0';
}

void JString::append(const char* text) {
    if (text) appendBytes(text, (int)std::strlen(text));
}

void JString::append(const JString& other) { appendBytes(other.chars, other.length); }

void JString::append(char c) {
    if (length == capacity) reallocate(2 * (capacity + 1));
    chars[length++] = c;
    chars[length] = '\0';
}

int JString::compareTo(const JString& other) const {
    int common = length < other.length ? length : other.length;
    for (int i = 0; i < common; i++) {
        unsigned char a = (unsigned char)chars[i];
        unsigned char b = (unsigned char)other.chars[i];
        if (a != b) return a < b ? -1 : 1;
    }
    if (length == other.length) return 0;
    return length < other.length ? -1 : 1;
}

bool JString::equalsIgnoreCase(const JString& other) const {
    if (length != other.length) return false;
    for (int i = 0; i < length; i++) {
        if (std::tolower((unsigned char)chars[i]) != std::tolower((unsigned char)other.chars[i]))
            return false;
    }
    return true;
}

int JString::indexOf(char c, int from) const {
    if (from < 0) from = 0;
    for (int i = from; i < length; i++) {
        if (chars[i] == c) return i;
    }
    return -1;
}

int JString::indexOf(const char* text, int from) const {
    if (!text) text = "";
    int n = (int)std::strlen(text);
    if (from < 0) from = 0;
    if (from > length) return n == 0 ? length : -1;
    for (int i = from; i + n <= length; i++) {
        if (std::memcmp(chars + i, text, (size_t)n) == 0) return i;
    }
    return -1;
}

int JString::lastIndexOf(char c, int from) const {
    if (from >= length) from = length - 1;
    for (int i = from; i >= 0; i--) {
        if (chars[i] == c) return i;
    }
    return -1;
}

int JString::lastIndexOf(const char* text, int from) const {
    if (!text) text = "";
    int n = (int)std::strlen(text);
    if (from > length - n) from = length - n;
    for (int i = from; i >= 0; i--) {
        if (std::memcmp(chars + i, text, (size_t)n) == 0) return i;
    }
    return -1;
}

bool JString::endsWith(const char* text) const {
    if (!text) text = "";
    int n = (int)std::strlen(text);
    return n <= length && std::memcmp(chars + length - n, text, (size_t)n) == 0;
}

bool JString::endsWith(const JString& other) const {
    return other.length <= length &&
           std::memcmp(chars + length - other.length, other.chars, (size_t)other.length) == 0;
}

void JString::replace(char from, char to) {
    for (int i = 0; i < length; i++) {
        if (chars[i] == from) chars[i] = to;
    }
}

void JString::replace(const char* target, const char* replacement) {
    int targetLength = target ? (int)std::strlen(target) : 0;
    if (targetLength == 0 || indexOf(target) < 0) return;
    JString result("");
    int start = 0;
    for (int found = indexOf(target); found >= 0; found = indexOf(target, start)) {
        result.appendBytes(chars + start, found - start);
        result.append(replacement);
        start = found + targetLength;
    }
    result.appendBytes(chars + start, length - start);
    // Hand the new buffer over instead of copying it back.
    std::free(chars);
    chars = result.chars;
    capacity = result.capacity;
    length = result.length;
    result.chars = nullptr;
}
