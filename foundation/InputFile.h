// Input files as every reader takes them: only regular files. A folder, a
// device such as /dev/zero or a pipe opens as well, but reports a size that
// nothing backs or never ends, so it is refused before it is opened (opening
// a pipe would already wait for a writer). What a reader then reads is
// bounded by the size of the file.
#pragma once

#include <cstdio>
#include <string>

// What a file is, whatever it is named: two names of one file compare equal.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};

// True when name exists (as anything).
bool inputExists(const char* name);
// True when name is a regular file (links followed).
bool isRegularFile(const char* name);
// The identity of an existing file; false when there is none.
bool identifyFile(const char* name, FileIdentity& identity);

// Opens a regular file for reading. A missing file answers null silently;
// anything else that exists prints "ERROR! '<name>' is not a regular file;
// not read" and a newline on standard error and answers null.
FILE* openInputFile(const char* name, const char* mode);

// The whole of a regular file (at most the size it has when opened) into
// text, refused as openInputFile refuses. False also on a read error.
bool readInputFile(const char* name, std::string& text);
