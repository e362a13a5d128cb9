#include "foundation/SearchPath.h"

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/InputFile.h"

static std::vector<std::string>& searchPaths() {
    static std::vector<std::string> paths;
    return paths;
}

// The same entries as a set, so that a long file is checked for duplicates
// in linear time.
static std::unordered_set<std::string>& listedPaths() {
    static std::unordered_set<std::string> listed;
    return listed;
}

void addSearchPath(const char* text) {
    if (!listedPaths().insert(text).second)
        return;
    searchPaths().push_back(text);
}

int searchPathCount() { return (int)searchPaths().size(); }

const char* searchPathAt(int i) { return searchPaths()[i].c_str(); }

void clearSearchPaths() {
    searchPaths().clear();
    listedPaths().clear();
}

static bool isQuote(char c) { return c == '"' || c == '\''; }

void readSearchPaths(const char* fileName) {
    FILE* file = openOnSearchPath(fileName, "r");
    if (!file) return;
    char line[256];
    for (;;) {
        std::memset(line, 0, sizeof line);
        if (!std::fgets(line, 255, file)) break;
        size_t length = std::strlen(line);
        if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
        const char* entry = line;
        // A quoted folder name loses its quotes (the two need not match).
        if (length >= 2 && isQuote(line[0]) && isQuote(line[length - 1])) {
            line[length - 1] = '\0';
            entry = line + 1;
        }
        if (entry[0] != '\0' && entry[0] != '#') addSearchPath(entry);
    }
    std::fclose(file);
}

// Only a regular file is taken; a folder or device of that name lets the
// search go on, and is reported when nothing better is found.
static FILE* openCandidate(const char* name, const char* mode, bool& irregular) {
    if (!inputExists(name))
        return nullptr;
    if (!isRegularFile(name)) {
        irregular = true;
        return nullptr;
    }
    return std::fopen(name, mode);
}

std::string locateOnSearchPath(const char* name) {
    if (inputExists(name) && isRegularFile(name)) return name;
    const std::vector<std::string>& paths = searchPaths();
    for (size_t i = paths.size(); i-- > 0;) {
        std::string combined = paths[i] + name;
        if (inputExists(combined.c_str()) && isRegularFile(combined.c_str())) return combined;
    }
    return std::string();
}

FILE* openOnSearchPath(const char* name, const char* mode) {
    bool irregular = false;
    if (FILE* file = openCandidate(name, mode, irregular))
        return file;
    const std::vector<std::string>& paths = searchPaths();
    // A growable name instead of a 256-byte buffer: long names cannot overflow.
    for (size_t i = paths.size(); i-- > 0;) {
        std::string combined = paths[i] + name;
        if (FILE* file = openCandidate(combined.c_str(), mode, irregular))
            return file;
    }
    if (irregular)
        std::fprintf(stderr, "ERROR! '%s' is not a regular file; not read\n", name);
    else
        std::fprintf(stderr, "ERROR! could not open file '%s'", name);
    return nullptr;
}
