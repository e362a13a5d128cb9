#include "shading/GLightingModel.h"

#include <cstdio>

#include "shading/GMaterial.h"

const char* GLightingModel::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GLightingModel", this);
}

void GLightingModel::ambientAndEmissive(HPoint& result, GMaterial* material, const HPoint& ambientLight,
                                        const HitRecord& hit) {
    HPoint ambientPart;
    material->getColor(GMaterial::ambient, ambientPart, hit);
    ambientPart.multiply(ambientLight);
    result.add(ambientPart);
    HPoint emitted;
    material->getColor(GMaterial::emissive, emitted, hit);
    result.add(emitted);
}

void GLightingModel::evaluate(HPoint& result, GMaterial* material, const HPoint& normal,
                              const HPoint& viewDirection, const HPoint& mirrorDirection,
                              const HPoint& lightDirection, const HPoint& lightColor, const HitRecord& hit) {
    (void)result;
    (void)material;
    (void)normal;
    (void)viewDirection;
    (void)mirrorDirection;
    (void)lightDirection;
    (void)lightColor;
    (void)hit;
    std::printf("evaluate %s\n", toString());
}
