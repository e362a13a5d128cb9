// The object factory of the native scene format: scene objects, cameras,
// lights and materials by class id, plus the table of block keywords.
#pragma once

#include "foundation/GObjectFactory.h"

class VelkObjectFactory : public GObjectFactory {
public:
    VelkObjectFactory() {}
    ~VelkObjectFactory() override {}
    // Ids of classes that do not exist in this build answer nullptr.
    GObject* create(unsigned classId) override;
};

// Class id of a block keyword ("view", "sphere", "shape", "directional_light",
// "point_light", "spot_light", "plane", "point_cloud"), compared exactly; -1
// for any other token, including null and "pathTracingView", for which no
// class exists.
int nativeKeywordId(const char* token);
