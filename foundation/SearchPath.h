// Search folders for input files. Filled once at start from "path.txt"; each
// entry is a plain prefix (it carries its own trailing separator).
#pragma once

#include <cstdio>
#include <string>

// Reads the search-path file; a missing file leaves the list as it is.
void readSearchPaths(const char* fileName);
// Appends a copy of the text unless an equal entry is already listed.
void addSearchPath(const char* text);
int searchPathCount();
const char* searchPathAt(int i);
// Removes every entry (for tests; the driver never shrinks the list).
void clearSearchPaths();
// Opens name as given, else entry + name for the entries from the last added
// to the first; only regular files are taken. Prints "ERROR! could not open
// file '%s'" on standard error and returns null when none can be opened (or,
// when one of the names is a folder or device, "ERROR! '%s' is not a regular
// file; not read" and a newline).
FILE* openOnSearchPath(const char* name, const char* mode);
// The name openOnSearchPath would open (as given or with its folder), or
// empty when there is none; prints nothing.
std::string locateOnSearchPath(const char* name);
