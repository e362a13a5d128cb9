#include "shading/PhongModel.h"

#include <cmath>

#include "shading/GMaterial.h"

PhongModel* PhongModel::shared() {
    // Created on first use so that materials built during static
    // initialisation still find it; it lives for the whole run.
    static PhongModel instance;
    return &instance;
}

const char* PhongModel::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PhongModel", this);
}

void PhongModel::evaluate(HPoint& result, GMaterial* material, const HPoint& normal, const HPoint& viewDirection,
                          const HPoint& mirrorDirection, const HPoint& lightDirection, const HPoint& lightColor,
                          const HitRecord& hit) {
    (void)viewDirection;
    float cosine = lightDirection.dot(normal);
    if (cosine <= 0.0f) return;  // the light is behind the surface

    HPoint reflected;
    material->getColor(GMaterial::diffuse, reflected, hit);
    reflected.scale(cosine);

    float highlight = lightDirection.dot(mirrorDirection);
    if (highlight > 0.0f) {
        HPoint specularColor;
        material->getColor(GMaterial::specular, specularColor, hit);
        float exponent = material->getScalar(GMaterial::phongExponent, hit);
        specularColor.scale(std::pow(highlight, exponent));
        reflected.add(specularColor);
    }
    reflected.multiply(lightColor);
    result.add(reflected);
}
