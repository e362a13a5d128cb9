// Creates default-constructed objects by class id. This base knows the
// image-like classes; VelkObjectFactory adds the scene classes and hands every
// id it does not know down here.
#pragma once

class GObject;

class GObjectFactory {
public:
    GObjectFactory() {}
    virtual ~GObjectFactory() {}
    // A new object owned by the caller, or nullptr for an id this factory
    // does not know.
    virtual GObject* create(unsigned classId);
};
