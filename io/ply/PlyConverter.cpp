#include "io/ply/PlyConverter.h"

#include <cstdio>

bool convertPlyToMesh(const char* inputFileName, const char* outputFileName) {
    (void)outputFileName;
    std::printf("PLY conversion is not available yet: %s\n", inputFileName);
    return false;
}
