#include "render/MisScatter.h"

#include <cmath>

#include "foundation/Sampling.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "shading/GMaterial.h"

namespace {
const float invPi = 0.318309886f;
float luminanceOf(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }
}  // namespace

void MisScatter::set(GScene& scene, const HitRecord& hit) {
    GMaterial* material = hit.object ? hit.object->getMaterial() : nullptr;
    if (!material) material = scene.defaultMaterial;
    normal = hit.normal;
    material->getColor(GMaterial::diffuse, diffuse, hit);
    material->getColor(GMaterial::specular, specular, hit);
    material->getColor(GMaterial::transmitted, transmitted, hit);
    index = material->getScalar(GMaterial::indexOfRefraction, hit);
    chanceDiffuse = luminanceOf(diffuse);
    chanceSpecular = luminanceOf(specular);
    chanceTransmitted = luminanceOf(transmitted);
    if (!(chanceDiffuse > 0.0f)) chanceDiffuse = 0.0f;
    if (!(chanceSpecular > 0.0f)) chanceSpecular = 0.0f;
    if (!(chanceTransmitted > 0.0f)) chanceTransmitted = 0.0f;
    chanceSum = chanceDiffuse + chanceSpecular + chanceTransmitted;
}

HPoint MisScatter::evaluate(const HPoint& wo, const HPoint& wi) const {
    if (!(chanceDiffuse > 0.0f) || normal.dot(wo) * normal.dot(wi) <= 0.0f) return HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    return diffuse.scaled(invPi);
}

float MisScatter::density(const HPoint& wo, const HPoint& wi) const {
    float cosWo = normal.dot(wo), cosWi = normal.dot(wi);
    if (!(chanceDiffuse > 0.0f) || cosWo * cosWi <= 0.0f) return 0.0f;
    return chanceDiffuse / chanceSum * std::fabs(cosWi) * invPi;
}

bool MisScatter::sample(const HPoint& wo, float u0, float u1, float u2, MisScatterSample& out) const {
    if (isBlack()) return false;
    float cosWo = normal.dot(wo);
    if (cosWo == 0.0f) return false;
    HPoint facing = cosWo > 0.0f ? normal : normal.scaled(-1.0f);
    float u = u0 * chanceSum;
    if (u < chanceDiffuse) {
        // Cosine-distributed about the side wo lies on.
        float r = std::sqrt(u1), phi = 6.28318531f * u2;
        HPoint p, q;
        localFrame(facing, p, q);
        float z = std::sqrt(std::fmax(0.0f, 1.0f - u1));
        out.wi = p.scaled(r * std::cos(phi)).sum(q.scaled(r * std::sin(phi))).sum(facing.scaled(z));
        out.wi.w = 1.0f;
        out.wi.normalize();
        out.f = diffuse.scaled(invPi);
        out.pdf = density(wo, out.wi);
        out.specular = false;
        return out.pdf > 0.0f;
    }
    HPoint incoming = wo.scaled(-1.0f);
    const HPoint* color;
    float chance;
    if (u < chanceDiffuse + chanceSpecular || !(chanceTransmitted > 0.0f)) {
        out.wi = HPoint::reflect(facing, incoming);
        color = &specular;
        chance = chanceSpecular;
    } else {
        bool inside = cosWo < 0.0f;
        float n1 = inside ? index : 1.0f, n2 = inside ? 1.0f : index;
        if (!out.wi.refract(facing, incoming, n1, n2)) return false;
        color = &transmitted;
        chance = chanceTransmitted;
    }
    out.wi.w = 1.0f;
    float cosWi = std::fabs(normal.dot(out.wi));
    if (!(cosWi > 0.0f) || !(chance > 0.0f)) return false;
    out.f = color->scaled(1.0f / cosWi);
    out.pdf = chance / chanceSum;
    out.specular = true;
    return true;
}
