// Conversion of an ASCII PLY mesh into a YafRay mesh fragment ("<mesh>" with
// its points and faces, meant to be pasted into a scene's object element):
// the "-ply2vrml" tool and scene files whose name ends in "y".
#pragma once

// ASCII or binary PLY. Returns false (after a message) when a file cannot be
// opened or a binary body cannot be read at all; nothing is written then. A
// binary body shorter than its header says is converted as far as it goes,
// with a message.
bool convertPlyToMesh(const char* inputFileName, const char* outputFileName);
