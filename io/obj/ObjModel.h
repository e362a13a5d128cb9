// ObjModel: what a Wavefront OBJ file and its MTL materials hold once read,
// with every index checked against the lists it points into, so that the
// scene builder can index without further tests.
#pragma once

#include <string>
#include <vector>

#include "foundation/HPoint.h"

class GMaterial;
class GObject;

// One face corner: indices into the model's lists, -1 for none.
struct ObjCorner {
    int position = -1, texCoord = -1, normal = -1;
};

// A group ("g" or "o") with one material: its faces as runs of corners,
// face k being corners[faceStarts[k]] .. corners[faceStarts[k + 1]] - 1.
struct ObjGroup {
    std::string name;
    int material = -1;  // index into ObjModel::materials; -1 for the fallback
    std::vector<ObjCorner> corners;
    std::vector<int> faceStarts;  // one more entry than faces

    int faceCount() const { return faceStarts.empty() ? 0 : (int)faceStarts.size() - 1; }
};

struct ObjModel {
    std::vector<HPoint> positions, normals, texCoords;
    std::vector<ObjGroup> groups;
    // Made by the reader and not owned by the model: whoever builds the scene
    // registers them in its allObjects (or deletes them), with the textures
    // and images in created.
    std::vector<GMaterial*> materials;
    std::vector<std::string> materialNames;
    std::vector<GObject*> created;
};
