// Conversion of an ASCII PLY mesh into a YafRay mesh fragment ("<mesh>" with
// its points and faces, meant to be pasted into a scene's object element):
// the "-ply2vrml" tool and scene files whose name ends in "y".
#pragma once

// Returns false (after a message) when a file cannot be opened or the input
// is a binary PLY file; nothing is written then.
bool convertPlyToMesh(const char* inputFileName, const char* outputFileName);
