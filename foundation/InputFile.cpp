#include "foundation/InputFile.h"

#include <sys/stat.h>

bool inputExists(const char* name) {
    struct stat info;
    return name && stat(name, &info) == 0;
}

bool isRegularFile(const char* name) {
    struct stat info;
    return name && stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

bool identifyFile(const char* name, FileIdentity& identity) {
    struct stat info;
    if (!name || stat(name, &info) != 0)
        return false;
    identity.device = (unsigned long long)info.st_dev;
    identity.inode = (unsigned long long)info.st_ino;
    return true;
}

static void reportIrregular(const char* name) {
    std::fprintf(stderr, "ERROR! '%s' is not a regular file; not read\n", name);
}

FILE* openInputFile(const char* name, const char* mode) {
    if (!inputExists(name))
        return nullptr;
    if (!isRegularFile(name)) {
        reportIrregular(name);
        return nullptr;
    }
    FILE* file = std::fopen(name, mode);
    if (!file)
        return nullptr;
    // The name may have been replaced between the look and the opening.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        reportIrregular(name);
        return nullptr;
    }
    return file;
}

bool readInputFile(const char* name, std::string& text) {
    text.clear();
    FILE* file = openInputFile(name, "rb");
    if (!file)
        return false;
    struct stat info;
    bool ok = fstat(fileno(file), &info) == 0;
    if (ok && info.st_size > 0) {
        text.resize((size_t)info.st_size);
        size_t got = std::fread(&text[0], 1, text.size(), file);
        if (std::ferror(file))
            ok = false;
        text.resize(got); // a file that shrank meanwhile gives what it still has
    }
    std::fclose(file);
    return ok;
}
