// IParseable: the base of everything that reads its own block from a native
// scene file (cameras, lights, scene objects). The loader calls parse right
// after the block keyword; parse consumes exactly the object's block.
#pragma once

#include "foundation/GObject.h"

class GScene;

class IParseable : public GObject {
public:
    bool isKindOf(int id) const override { return id == ClassId::IParseable || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::IParseable; }
    // Reads the block through the scene scanner; true when it ended with "}".
    virtual bool parse(GScene* scene) {
        (void)scene;
        return false;
    }
};
