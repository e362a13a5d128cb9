#include "geometry/MeshText.h"

#include <climits>
#include <cstdlib>
#include <cstring>

bool MeshText::load(FILE* file) {
    data.pop_back();
    bool ok = true;
    // The bytes the file holds from here, when it can tell: room for them at
    // once instead of growing step by step (what is read still decides).
    long here = std::ftell(file);
    if (here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        long end = std::ftell(file);
        if (end > here) data.reserve(data.size() + (size_t)(end - here) + 1);
        std::fseek(file, here, SEEK_SET);
    }
    // Grows with what is actually read, never with a size announced anywhere.
    char block[1 << 16];
    for (;;) {
        size_t got = std::fread(block, 1, sizeof block, file);
        data.insert(data.end(), block, block + got);
        if (got < sizeof block) {
            if (std::ferror(file)) ok = false;
            break;
        }
    }
    data.push_back('\0');
    return ok;
}

void MeshText::assign(const char* text, size_t length) {
    data.assign(text, text + length);
    data.push_back('\0');
    cursor = 0;
}

char* MeshText::nextLine() {
    size_t end = data.size() - 1;
    if (cursor >= end) return nullptr;
    char* line = data.data() + cursor;
    const char* newline = static_cast<const char*>(std::memchr(line, '\n', end - cursor));
    size_t length = newline ? (size_t)(newline - line) : end - cursor;
    cursor += newline ? length + 1 : length;
    if (length > 0 && line[length - 1] == '\r') length--;
    line[length] = '\0';
    return line;
}

static char* skipBlanks(char* cursor) {
    while (*cursor == ' ' || *cursor == '\t' || *cursor == '\r' || *cursor == '\v' || *cursor == '\f') cursor++;
    return cursor;
}

bool scanFloat(char*& cursor, float& value) {
    char* start = skipBlanks(cursor);
    char* end = start;
    float v = std::strtof(start, &end);
    if (end == start) {
        value = 0.0f;
        return false;
    }
    value = v;
    cursor = end;
    return true;
}

bool scanInt(char*& cursor, int& value) {
    char* start = skipBlanks(cursor);
    char* end = start;
    long v = std::strtol(start, &end, 10);
    if (end == start) {
        value = 0;
        return false;
    }
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = (int)v;
    cursor = end;
    return true;
}

bool lineWord(const char* line, int index, char* out, size_t size) {
    const char* p = line;
    for (int word = 0;; word++) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\v' || *p == '\f') p++;
        if (*p == '\0') break;
        const char* start = p;
        while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\v' && *p != '\f') p++;
        if (word == index) {
            size_t length = (size_t)(p - start);
            if (size == 0) return true;
            if (length > size - 1) length = size - 1;
            std::memcpy(out, start, length);
            out[length] = '\0';
            return true;
        }
    }
    if (size > 0) out[0] = '\0';
    return false;
}
