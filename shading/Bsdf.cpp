#include "shading/Bsdf.h"

#include <cmath>

#include "geometry/HitRecord.h"
#include "shading/GMaterial.h"

namespace {

const float pi = 3.14159265358979f;
const float inversePi = 0.318309886f;
const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

// A colour's luminance as a lobe's chance: negative or NaN colours scatter nothing.
float chanceOf(const HPoint& colour) {
    float l = luminanceOf(colour);
    return l > 0.0f ? l : 0.0f;
}

HPoint opaque(const HPoint& c) { return HPoint(c.x, c.y, c.z, 1.0f); }

// The mirror image of wo about the unit normal n (either side).
HPoint mirrorOf(const HPoint& n, const HPoint& wo) {
    float twoCos = 2.0f * n.dot(wo);
    return HPoint(twoCos * n.x - wo.x, twoCos * n.y - wo.y, twoCos * n.z - wo.z, 1.0f);
}

// Direction at angle acos(cosAngle) and azimuth phi about the unit axis.
HPoint aroundAxis(const HPoint& axis, float cosAngle, float phi) {
    HPoint p = HPoint::perpendicular(axis);
    p.normalize();
    HPoint q = p.cross(axis);
    float sinAngle = std::sqrt(std::fmax(0.0f, 1.0f - cosAngle * cosAngle));
    float a = sinAngle * std::cos(phi), b = sinAngle * std::sin(phi);
    HPoint d(axis.x * cosAngle + p.x * a + q.x * b, axis.y * cosAngle + p.y * a + q.y * b,
             axis.z * cosAngle + p.z * a + q.z * b, 1.0f);
    d.normalize();
    return d;
}

}  // namespace

float fresnelDielectric(float cosIncident, float etaIncident, float etaTransmitted) {
    float eta = etaIncident / etaTransmitted;
    float sin2Transmitted = eta * eta * (1.0f - cosIncident * cosIncident);
    if (sin2Transmitted >= 1.0f) return 1.0f;
    float cosTransmitted = std::sqrt(1.0f - sin2Transmitted);
    float parallel = (etaTransmitted * cosIncident - etaIncident * cosTransmitted) /
                     (etaTransmitted * cosIncident + etaIncident * cosTransmitted);
    float perpendicular = (etaIncident * cosIncident - etaTransmitted * cosTransmitted) /
                          (etaIncident * cosIncident + etaTransmitted * cosTransmitted);
    return 0.5f * (parallel * parallel + perpendicular * perpendicular);
}

void Bsdf::setUp(const GMaterial& material, const HitRecord& hit) {
    normal = hit.normal;
    HPoint specularColor, reflectedColor;
    material.getColor(GMaterial::diffuse, diffuseColor, hit);
    material.getColor(GMaterial::specular, specularColor, hit);
    material.getColor(GMaterial::reflected, reflectedColor, hit);
    material.getColor(GMaterial::transmitted, transmittedColor, hit);
    diffuseColor = opaque(diffuseColor);
    transmittedColor = opaque(transmittedColor);
    // A material that reflects is a mirror; one that has only the specular
    // colour shows it as a glossy highlight of its Phong exponent.
    if (chanceOf(reflectedColor) > 0.0f) {
        mirrorColor = opaque(reflectedColor);
        glossyColor = black;
    } else {
        mirrorColor = black;
        glossyColor = opaque(specularColor);
    }
    exponent = material.getScalar(GMaterial::phongExponent, hit);
    if (!(exponent > 0.0f)) exponent = 0.0f;
    index = material.getScalar(GMaterial::indexOfRefraction, hit);
    if (!(index > 0.0f)) index = 1.0f;
    float d = chanceOf(diffuseColor), g = chanceOf(glossyColor), m = chanceOf(mirrorColor),
          t = chanceOf(transmittedColor);
    float total = d + g + m + t;
    if (!(total > 0.0f) || !std::isfinite(total)) {
        diffuseChance = glossyChance = mirrorChance = transmittedChance = 0.0f;
        return;
    }
    diffuseChance = d / total;
    glossyChance = g / total;
    mirrorChance = m / total;
    transmittedChance = t / total;
}

HPoint Bsdf::evaluate(const HPoint& wo, const HPoint& wi) const {
    HPoint f = black;
    float cosO = normal.dot(wo), cosI = normal.dot(wi);
    if (!(cosO * cosI > 0.0f)) return f;  // the other side, or in the plane
    if (diffuseChance > 0.0f) f.add(diffuseColor.scaled(inversePi));
    if (glossyChance > 0.0f) {
        float cosAlpha = mirrorOf(normal, wo).dot(wi);
        if (cosAlpha > 0.0f)
            f.add(glossyColor.scaled((exponent + 2.0f) * (0.5f * inversePi) * std::pow(cosAlpha, exponent)));
    }
    return f;
}

float Bsdf::density(const HPoint& wo, const HPoint& wi) const {
    float cosO = normal.dot(wo), cosI = normal.dot(wi);
    if (!(cosO * cosI > 0.0f)) return 0.0f;
    float pdf = 0.0f;
    if (diffuseChance > 0.0f) pdf += diffuseChance * std::fabs(cosI) * inversePi;
    if (glossyChance > 0.0f) {
        float cosAlpha = mirrorOf(normal, wo).dot(wi);
        if (cosAlpha > 0.0f)
            pdf += glossyChance * (exponent + 1.0f) * (0.5f * inversePi) * std::pow(cosAlpha, exponent);
    }
    return pdf;
}

bool Bsdf::sample(const HPoint& wo, float uLobe, float u1, float u2, BsdfSample& out) const {
    float cosO = normal.dot(wo);
    if (!(cosO != 0.0f) || !scatters()) return false;
    // The normal on wo's side.
    HPoint facing = cosO > 0.0f ? normal : normal.scaled(-1.0f);
    facing.w = 1.0f;
    const float absCosO = std::fabs(cosO);

    // Specular lobes first on the unit interval, then the others.
    if (uLobe < mirrorChance) {
        out.direction = mirrorOf(facing, wo);
        out.pdf = mirrorChance;
        out.weight = mirrorColor.scaled(1.0f / mirrorChance);
        out.value = mirrorColor.scaled(1.0f / absCosO);
        out.isSpecular = true;
        return true;
    }
    if (uLobe < mirrorChance + transmittedChance) {
        // Entering from the normal's side, leaving against it.
        const float etaI = cosO > 0.0f ? 1.0f : index, etaT = cosO > 0.0f ? index : 1.0f;
        const float reflectance = fresnelDielectric(absCosO, etaI, etaT);
        HPoint arriving = wo.scaled(-1.0f);
        HPoint refracted;
        bool reflects = u1 < reflectance || !refracted.refract(facing, arriving, etaI, etaT);
        float share = reflects ? reflectance : 1.0f - reflectance;
        if (!(share > 0.0f)) return false;
        if (reflects) {
            out.direction = mirrorOf(facing, wo);
        } else {
            refracted.normalize();
            refracted.w = 1.0f;
            out.direction = refracted;
        }
        out.pdf = transmittedChance * share;
        out.weight = transmittedColor.scaled(1.0f / transmittedChance);
        float cosI = std::fabs(normal.dot(out.direction));
        out.value = cosI > 0.0f ? transmittedColor.scaled(share / cosI) : black;
        out.isSpecular = true;
        return true;
    }

    // Diffuse or glossy: a direction from the chosen lobe, then the mixture's
    // density and value, so that any lobe could have given it.
    const float nonSpecular = diffuseChance + glossyChance;
    if (!(nonSpecular > 0.0f)) return false;
    float pick = (uLobe - mirrorChance - transmittedChance) / nonSpecular;
    HPoint wi;
    if (pick < diffuseChance / nonSpecular) {
        // Cosine about the facing normal: the square root of u1 as the sine.
        float cosTheta = std::sqrt(std::fmax(0.0f, 1.0f - u1));
        wi = aroundAxis(facing, cosTheta, 2.0f * pi * u2);
    } else {
        float cosAlpha = std::pow(u1 < 1.0f ? 1.0f - u1 : 0.0f, 1.0f / (exponent + 1.0f));
        wi = aroundAxis(mirrorOf(facing, wo), cosAlpha, 2.0f * pi * u2);
        if (!(facing.dot(wi) > 0.0f)) return false;  // the lobe reaches below the surface
    }
    out.direction = wi;
    out.pdf = density(wo, wi);
    if (!(out.pdf > 0.0f)) return false;
    out.value = evaluate(wo, wi);
    out.weight = out.value.scaled(std::fabs(normal.dot(wi)) / out.pdf);
    out.weight.w = 1.0f;
    out.isSpecular = false;
    return true;
}
