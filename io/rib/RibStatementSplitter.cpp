#include "io/rib/RibStatementSplitter.h"

size_t normalizeLineEnds(char* buffer, size_t length) {
    size_t kept = 0;
    for (size_t i = 0; i < length; i++) {
        if (buffer[i] == '\r' && i + 1 < length && buffer[i + 1] == '\n') continue;
        buffer[kept++] = buffer[i];
    }
    buffer[kept] = '\0';
    return kept;
}

// True when the text after the line feed at position lineFeed continues the
// statement: past blanks, line feeds and whole comment lines the next
// character is a double quote or "[".
static bool continuesStatement(const char* buffer, size_t length, size_t lineFeed) {
    size_t i = lineFeed + 1;
    while (i < length) {
        char c = buffer[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            i++;
        } else if (c == '#') {
            while (i < length && buffer[i] != '\n') i++;
        } else {
            return c == '"' || c == '[';
        }
    }
    return false;
}

void splitRibStatements(char* buffer, size_t length, std::vector<RibStatementSpan>& spans) {
    int depth = 0;
    bool atStart = true;
    size_t statementStart = 0;
    int line = 1;
    int statementLine = 1;

    for (size_t i = 0; i < length; i++) {
        char c = buffer[i];
        if (c == ' ' || c == '\t') continue;
        if (c == '#') {
            // Comment: blank it up to, not including, the line feed.
            while (i < length && buffer[i] != '\n') buffer[i++] = ' ';
            if (i == length) break;
            c = '\n';
        }
        if (c == '\n') {
            line++;
            if (atStart) {
                // Blank line before a statement: skip it.
                buffer[i] = ' ';
                statementStart = i + 1;
                statementLine = line;
            } else if (depth > 0 || continuesStatement(buffer, length, i)) {
                buffer[i] = ' ';
            } else {
                buffer[i] = '\0';
                spans.push_back(RibStatementSpan{statementStart, i, statementLine});
                statementStart = i + 1;
                statementLine = line;
                atStart = true;
            }
            continue;
        }
        if (c == '[') {
            depth++;
        } else if (c == ']') {
            // A stray "]" must not make a later "[" look closed.
            if (depth > 0) depth--;
        }
        atStart = false;
    }
    if (!atStart) spans.push_back(RibStatementSpan{statementStart, length, statementLine});
}
