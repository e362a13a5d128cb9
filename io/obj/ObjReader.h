// ObjReader: Wavefront OBJ files and their MTL material libraries, parsed by
// tinyobjloader when velk is built with it. The library trusts the indices
// of a file (an index past the vertex list is read as it stands, a zero one
// fails the whole file), so every face line is screened here first: faces
// with a bad index or fewer than three corners are reported with their line
// and left out, and elements velk does not draw (lines, points, tags) are
// dropped, before the library sees the text. Polygons are kept whole; the
// scene builder triangulates them.
//
// Messages are one line each on standard output, naming the file and, where
// there is one, the line: "OBJ file 'NAME' line N: ...", "MTL file ...".
#pragma once

#include <map>
#include <string>
#include <vector>

#include "io/obj/ObjModel.h"

// Whether this build reads OBJ files at all.
bool objFilesSupported();
// The line printed when an OBJ file is refused by a build without the library.
void reportObjUnsupported(const char* fileName);

// What the face screen learned besides the cleaned text.
struct ObjScreenRecord {
    int facesRejected = 0;
    int elementsDropped = 0;                 // "l", "p" and other lines velk does not use
    std::map<std::string, int> libraryLines;  // mtllib name -> its first line
    std::vector<std::pair<std::string, int>> materialUses;  // usemtl name, line
};

// The text with every bad face line blanked (the line count stays, so the
// library's own line numbers still agree) and unused elements dropped. Each
// bad face prints one line.
std::string screenObjText(const std::string& text, const char* fileName, ObjScreenRecord& record);

// Reads an MTL text into model's materials (appended). folder is where its
// textures are looked for first. Unknown and unused keywords are reported
// once per keyword with their first line. False when the library is absent.
bool readMtlText(const std::string& text, const char* fileName, const std::string& folder,
                 ObjModel& model);

// Reads an OBJ text; material libraries and textures are looked up in folder
// first, then as named (and on the search path). False, after one line, when
// nothing could be read.
bool readObjText(const std::string& text, const char* fileName, const std::string& folder,
                 ObjModel& model);

// Finds fileName (as named, else on the search path) and reads it. A missing
// file is reported by the lookup.
bool readObjFile(const char* fileName, ObjModel& model);

// Name as given when it can be opened, else folder + name, else entry + name
// for the search-path entries; empty when none opens.
std::string locateObjInput(const std::string& name, const std::string& folder);
