#include "io/rib/RibStatementParser.h"

#include <cstdio>

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\0'; }

// The quoted text that starts at position first (just after its opening
// quote): runs to the next quote, which becomes a NUL. Answers the position
// after it.
static size_t skipQuoted(char* buffer, size_t first, size_t end) {
    size_t i = first;
    while (i < end && buffer[i] != '"') i++;
    if (i < end) {
        buffer[i] = '\0';
        return i + 1;
    }
    return end;  // runs to the statement end, whose NUL terminates it
}

// The array whose contents start at position first (just after "[").
// Answers the position after its "]".
static size_t parseArray(char* buffer, size_t first, size_t end, RibData& array) {
    size_t i = first;
    while (i < end) {
        char c = buffer[i];
        if (isBlank(c)) {
            buffer[i++] = '\0';
        } else if (c == ']') {
            buffer[i] = '\0';
            return i + 1;
        } else if (c == '"') {
            array.values.push_back(buffer + i);
            i = skipQuoted(buffer, i + 1, end);
        } else {
            array.values.push_back(buffer + i);
            while (i < end && !isBlank(buffer[i]) && buffer[i] != ']') i++;
        }
    }
    std::printf("Error in Rib file: Unterminated array\n");
    return end;
}

void parseRibStatement(char* buffer, size_t start, size_t end, RibData& statement) {
    statement = RibData(RibData::nodeArray, "");
    size_t i = start;
    // An opener found at the end of a plain token is overwritten by the
    // token's terminating NUL, so it is remembered here instead.
    char pendingOpener = '\0';
    while (i < end || pendingOpener) {
        char c = pendingOpener ? pendingOpener : buffer[i];
        size_t contentStart = pendingOpener ? i : i + 1;
        pendingOpener = '\0';
        if (isBlank(c)) {
            buffer[i++] = '\0';
        } else if (c == '"') {
            statement.nodes.push_back(RibData(RibData::quotedString, buffer + contentStart));
            i = skipQuoted(buffer, contentStart, end);
        } else if (c == '[') {
            statement.nodes.push_back(RibData(RibData::valueArray, ""));
            i = parseArray(buffer, contentStart, end, statement.nodes.back());
        } else {
            statement.nodes.push_back(RibData(RibData::plainToken, buffer + i));
            while (i < end && !isBlank(buffer[i]) && buffer[i] != '[' && buffer[i] != '"') i++;
            if (i < end && !isBlank(buffer[i])) {
                pendingOpener = buffer[i];
                buffer[i++] = '\0';
            }
        }
    }
}
