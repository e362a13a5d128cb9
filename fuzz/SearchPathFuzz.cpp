// "path.txt", then one lookup through every folder it listed.
#include "foundation/SearchPath.h"
#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "path.txt");
    runReader([&] {
        readSearchPaths(input.path());
        FILE* file = openOnSearchPath("velk-fuzz-no-such-file", "r");
        if (file)
            std::fclose(file);
    });
    clearSearchPaths();
    return 0;
}
