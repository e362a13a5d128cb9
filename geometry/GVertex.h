// GVertex: a mesh corner shared by the triangles around it. A plain record:
// the mesh loaders fill the four fields directly; triangles hold references.
#pragma once

#include "foundation/GObject.h"
#include "foundation/HPoint.h"

class GMaterial;

class GVertex : public GObject {
public:
    HPoint position;   // (0, 0, 0, 1) by default
    HPoint normal;     // need not be unit length; (0, 0, 0, 1) by default
    HPoint texCoord;   // (u, v) in x, y; (0, 0, 0, 1) by default
    GMaterial* material = nullptr;  // not owned; the material of every triangle using the vertex

    GVertex() {}

    bool isKindOf(int id) const override { return id == ClassId::GVertex || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GVertex; }
    // "GVertex@<address>"
    const char* toString() const override;
};
