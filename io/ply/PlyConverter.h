// Conversion of an ASCII PLY mesh into a YafRay mesh fragment.
#pragma once

// Returns false (after a message) when the input cannot be read or converted.
bool convertPlyToMesh(const char* inputFileName, const char* outputFileName);
