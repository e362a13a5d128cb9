// Splits a RIB text buffer into statements, in place. A statement is one line
// plus every following line that begins (after blanks, blank lines and whole
// comment lines) with a double quote or "[": RenderMan parameter lists are
// often spread over lines that way. A continuation line that begins with a
// bare number therefore starts a statement of its own.
//
// The buffer is modified: comments become spaces, line feeds inside a
// statement become spaces and the line feed that ends a statement becomes a
// NUL, so every statement's text runs from start to end and buffer[end] is
// NUL. The buffer must hold length bytes plus a terminating NUL; NUL bytes
// inside it (binary input) are ordinary characters here.
#pragma once

#include <cstddef>
#include <vector>

struct RibStatementSpan {
    size_t start;  // first character
    size_t end;    // one past the last character; buffer[end] is NUL
    int line;      // line number of the first line, counted from 1
};

// Collapses every CR LF pair into LF (what reading in text mode does on the
// systems RIB files come from) and answers the new length; buffer[new length]
// is set to NUL.
size_t normalizeLineEnds(char* buffer, size_t length);

// Appends the statements of buffer[0 .. length) to spans, in order.
void splitRibStatements(char* buffer, size_t length, std::vector<RibStatementSpan>& spans);
