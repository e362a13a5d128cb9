#include "foundation/SearchPath.h"

#include <cstring>
#include <string>
#include <vector>

static std::vector<std::string>& searchPaths() {
    static std::vector<std::string> paths;
    return paths;
}

void addSearchPath(const char* text) {
    std::vector<std::string>& paths = searchPaths();
    for (const std::string& entry : paths)
        if (entry == text) return;
    paths.push_back(text);
}

int searchPathCount() { return (int)searchPaths().size(); }

const char* searchPathAt(int i) { return searchPaths()[i].c_str(); }

void clearSearchPaths() { searchPaths().clear(); }

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

static bool canRead(const char* name) {
    FILE* probe = std::fopen(name, "r");
    if (!probe) return false;
    std::fclose(probe);
    return true;
}

FILE* openOnSearchPath(const char* name, const char* mode) {
    if (canRead(name)) return std::fopen(name, mode);
    const std::vector<std::string>& paths = searchPaths();
    // A growable name instead of a 256-byte buffer: long names cannot overflow.
    for (size_t i = paths.size(); i-- > 0;) {
        std::string combined = paths[i] + name;
        if (canRead(combined.c_str())) return std::fopen(combined.c_str(), mode);
    }
    std::fprintf(stderr, "ERROR! could not open file '%s'", name);
    return nullptr;
}
