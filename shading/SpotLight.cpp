#include "shading/SpotLight.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>

#include "geometry/BlockReading.h"
#include "shading/LightFalloff.h"

const char* SpotLight::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "SpotLight", this);
}

void SpotLight::setDirection(const HPoint& axis) {
    direction = HPoint(axis.x, axis.y, axis.z, 1.0f);
    direction.normalize();
}

bool SpotLight::parse(GScene* scene) {
    (void)scene;
    if (!isToken(nextToken(), "{")) return false;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) return true;
        if (std::strcmp(token, "location") == 0) {
            location = readPoint();
        } else if (std::strcmp(token, "direction") == 0) {
            setDirection(readPoint());
        } else if (std::strcmp(token, "exponent") == 0) {
            exponent = readFloat();
        } else if (std::strcmp(token, "emissive_color") == 0) {
            HPoint c = readColor();
            emissiveColor = HPoint(c.x, c.y, c.z, 1.0f);
        } else if (std::strcmp(token, "size") == 0) {
            readFloat();  // a spot light is never jittered
        } else if (std::strcmp(token, "cutoff_angle") == 0) {
            cutoffCosine = std::cos(readFloat());
        } else if (std::strcmp(token, "attenuation") == 0) {
            attenuation = readPoint();
        }
    }
    return false;  // cut off by the end of input
}

bool SpotLight::illuminate(HPoint& towardsLight, HPoint& color, float& distance, const HPoint& point) {
    if (!unitDirectionToLight(location, point, towardsLight, distance, color)) return false;

    // Cosine between the cone axis and the direction from the light to the point.
    float cosine = -towardsLight.dot(direction);
    if (cutoffCosine > cosine) {
        color = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
        return false;  // outside the cone
    }
    // s^exponent as a real power. Cones wider than a hemisphere reach points
    // behind the light (s < 0): there the power is kept where it is defined
    // and not negative (a whole, even exponent) and is 0 where it would be
    // NaN or subtract light.
    float falloff = std::pow(cosine, exponent);
    if (!(falloff >= 0.0f)) falloff = 0.0f;
    color = emissiveColor.scaled(attenuationFactor(attenuation, distance) * falloff);
    return true;
}

void SpotLight::emitVrml(FILE* file) {
    // The cone and the falloff as this program's reader takes them: the
    // cosine of the half-angle and the exponent exactly, besides "to".
    std::fprintf(file, "<light type='spotlight' name='l%" PRIxPTR "' power='1.0' cast_shadows='on'>\n",
                 (uintptr_t)this);
    std::fprintf(file, "  <from x='%.9g' y='%.9g' z='%.9g'/>\n", location.x, location.y, location.z);
    std::fprintf(file, "  <to x='%.9g' y='%.9g' z='%.9g'/>\n", location.x + direction.x,
                 location.y + direction.y, location.z + direction.z);
    std::fprintf(file, "  <direction x='%.9g' y='%.9g' z='%.9g'/>\n", direction.x, direction.y, direction.z);
    std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g'/>\n", emissiveColor.x, emissiveColor.y,
                 emissiveColor.z);
    std::fprintf(file, "  <exponent value='%.9g'/>\n", exponent);
    std::fprintf(file, "  <cutoff_cosine value='%.9g'/>\n", cutoffCosine);
    std::fprintf(file, "  <attenuation a='%.9g' b='%.9g' c='%.9g'/>\n", attenuation.x, attenuation.y,
                 attenuation.z);
    std::fprintf(file, "</light>\n");
}

void SpotLight::writeVrml(FILE* file) {
    std::fprintf(file, "SpotLight {\n");
    std::fprintf(file, "  location %0.4f %0.4f %0.4f\n", location.x, location.y, location.z);
    std::fprintf(file, "  direction %0.4f %0.4f %0.4f\n", direction.x, direction.y, direction.z);
    std::fprintf(file, "  color %0.4f %0.4f %0.4f\n", emissiveColor.x, emissiveColor.y, emissiveColor.z);
    std::fprintf(file, "  intensity 1\n");
    std::fprintf(file, "  beamWidth %0.4f\n", 1.5705f / exponent);
    std::fprintf(file, "  cutOffAngle %0.4f\n", std::acos(cutoffCosine));
    // VRML orders the coefficients constant, linear, quadratic.
    std::fprintf(file, "  attenuation %0.3f %0.3f %0.3f\n", attenuation.z, attenuation.y, attenuation.x);
    std::fprintf(file, "}\n\n");
}
