// What the fuzz targets share: a fatal end of the run on bad input (the
// containers' "Index Out Of Bounds" and the like, status 1) becomes an
// exception that the target catches, so the fuzzer tells it from a crash;
// readers that take a file name get the input in a per-process temporary
// file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "foundation/FatalExit.h"

struct FatalRunEnd {
    int status;
};

[[noreturn]] inline void throwFatalRunEnd(int status) {
    throw FatalRunEnd{status};
}

// A folder of this process under /dev/shm (else TMPDIR, else /tmp), made on
// first use and removed with its content when the process ends.
inline const std::string& fuzzFolder() {
    // Kept on the heap: the removal at exit runs after static destructors.
    static const std::string& folder = *new std::string([] {
        std::error_code error;
        std::string base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error)) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && tmp[0] ? tmp : "/tmp";
        }
        std::string made = base + "/velk-fuzz-" + std::to_string((long)getpid());
        std::filesystem::create_directories(made, error);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(fuzzFolder(), ignored);
        });
        return made;
    }());
    return folder;
}

// The input written to fuzzFolder()/name, removed again when this goes.
class InputFile {
public:
    InputFile(const uint8_t* data, size_t size, const char* name)
        : filePath(fuzzFolder() + "/" + name) {
        FILE* file = std::fopen(filePath.c_str(), "wb");
        if (!file)
            std::abort(); // a harness that cannot write its input tests nothing
        if (size > 0 && std::fwrite(data, 1, size, file) != size)
            std::abort();
        std::fclose(file);
    }
    ~InputFile() { std::remove(filePath.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    const char* path() const { return filePath.c_str(); }

private:
    std::string filePath;
};

// The input as a zero-terminated text (readers that scan texts stop at the
// first zero byte, as they do in a file's text).
inline std::string inputText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Runs one reader on one input; a fatal end of the run is one of the answers
// the program has for bad input, not a fault.
template <class Reader> void runReader(Reader reader) {
    static const bool installed = (setFatalExitHandler(throwFatalRunEnd), true);
    (void)installed;
    try {
        reader();
    } catch (const FatalRunEnd&) {
    }
}
