#include "io/native/VelkObjectFactory.h"

#include <cstring>

#include "geometry/GPointCloud.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GPlane.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/GSphere.h"
#include "geometry/GTransform.h"
#include "render/OpenGLCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/PhongModel.h"
#include "shading/PointLight.h"
#include "shading/SpotLight.h"

GObject* VelkObjectFactory::create(unsigned classId) {
    switch (classId) {
    case ClassId::GSphere: return new GSphere();
    case ClassId::GTransform: return new GTransform();
    case ClassId::OpenGLCamera: return new OpenGLCamera();
    case ClassId::SimpleRaytracingCamera: return new SimpleRaytracingCamera();
    case ClassId::PhongModel: return new PhongModel();
    case ClassId::GMaterial: return new GMaterial();
    case ClassId::PointLight: return new PointLight();
    case ClassId::DirectionalLight: return new DirectionalLight();
    case ClassId::SpotLight: return new SpotLight();
    case ClassId::GPlane: return new GPlane();
    case ClassId::GTriangle: return new GTriangle();
    case ClassId::GVertex: return new GVertex();
    case ClassId::GBoundingBox: return new GBoundingBox();
    case ClassId::GPointCloud: return new GPointCloud();
    default: return GObjectFactory::create(classId);
    }
}

namespace {

struct BlockKeyword {
    const char* keyword;
    int classId;
};

// "pathTracingView" is deliberately absent: no class is defined for it, so it
// reads as an unknown word.
const BlockKeyword blockKeywords[] = {
    {"view", ClassId::SimpleRaytracingCamera},
    {"sphere", ClassId::GSphere},
    {"shape", ClassId::GBoundingBox},
    {"directional_light", ClassId::DirectionalLight},
    {"point_light", ClassId::PointLight},
    {"spot_light", ClassId::SpotLight},
    {"plane", ClassId::GPlane},
    {"point_cloud", ClassId::GPointCloud},
};

}  // namespace

int nativeKeywordId(const char* token) {
    if (!token) return -1;
    for (const BlockKeyword& entry : blockKeywords) {
        if (std::strcmp(token, entry.keyword) == 0) return entry.classId;
    }
    return -1;
}
