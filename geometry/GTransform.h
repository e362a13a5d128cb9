// GTransform: a placeholder scene object with no rendering behaviour.
#pragma once

#include "geometry/GSceneObject.h"

class GTransform : public GSceneObject {
public:
    bool isKindOf(int id) const override { return id == ClassId::GTransform || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GTransform; }
    const char* toString() const override;
    void draw(void* context) override;
};
