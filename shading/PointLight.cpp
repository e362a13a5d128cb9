#include "shading/PointLight.h"

#include <cinttypes>
#include <cmath>

#include "geometry/BlockReading.h"
#include "shading/LightFalloff.h"

const char* PointLight::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PointLight", this);
}

bool PointLight::parse(GScene* scene) {
    (void)scene;
    if (!isToken(nextToken(), "{")) return false;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) return true;
        if (std::strcmp(token, "location") == 0) {
            location = readPoint();
        } else if (std::strcmp(token, "emissive_color") == 0) {
            HPoint c = readColor();
            emissiveColor = HPoint(c.x, c.y, c.z, 1.0f);
        } else if (std::strcmp(token, "attenuation") == 0) {
            attenuation = readPoint();
        } else if (std::strcmp(token, "size") == 0) {
            readFloat();  // native lights cast hard shadows
        }
    }
    return false;  // cut off by the end of input
}

bool PointLight::illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point) {
    HPoint position = location;
    if (size > 0.0f) position.jitter(size);  // soft shadows: a new position per query
    if (!unitDirectionToLight(position, point, direction, distance, color)) return false;
    color = emissiveColor.scaled(attenuationFactor(attenuation, distance));
    return true;
}

void PointLight::emitVrml(FILE* file) {
    std::fprintf(file, "<light type='pointlight' name='l%" PRIxPTR "' power='1.0' cast_shadows='on'>\n",
                 (uintptr_t)this);
    std::fprintf(file, "  <from x='%.9g' y='%.9g' z='%.9g'/>\n", location.x, location.y, location.z);
    std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g'/>\n", emissiveColor.x, emissiveColor.y,
                 emissiveColor.z);
    std::fprintf(file, "  <radius value='%.9g'/>\n", size);
    // 1 / (a d^2 + b d + c); the reader takes inverse-square when it is absent.
    std::fprintf(file, "  <attenuation a='%.9g' b='%.9g' c='%.9g'/>\n", attenuation.x, attenuation.y,
                 attenuation.z);
    std::fprintf(file, "</light>\n");
}
