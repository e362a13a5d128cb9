// Turns the text of one statement (as left by splitRibStatements) into its
// parse tree, in place: separators and closing quotes and brackets become
// NULs and the tree's texts point into the buffer.
//
// Tokens: blanks separate; a double quote starts a quoted string that runs
// to the next double quote (or the statement end); "[" starts a value array
// whose elements are quoted strings (kept with their opening quote) or bare
// words up to a blank or "]"; anything else is a plain token up to a blank,
// "[" or a double quote. An array the statement ends inside prints
// "Error in Rib file: Unterminated array" and keeps the elements read.
#pragma once

#include <cstddef>

#include "io/rib/RibData.h"

// Parses buffer[start .. end) into statement (cleared first; kind 2).
// buffer[end] must be NUL. NUL bytes inside the range separate tokens.
void parseRibStatement(char* buffer, size_t start, size_t end, RibData& statement);
