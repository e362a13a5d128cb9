#include "shading/DirectionalLight.h"

#include <cfloat>
#include <cinttypes>

#include "geometry/BlockReading.h"

const char* DirectionalLight::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "DirectionalLight", this);
}

void DirectionalLight::setDirection(const HPoint& towardsLight) {
    direction = HPoint(towardsLight.x, towardsLight.y, towardsLight.z, 1.0f);
    direction.normalize();
}

bool DirectionalLight::parse(GScene* scene) {
    (void)scene;
    if (!isToken(nextToken(), "{")) return false;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) return true;
        if (std::strcmp(token, "direction") == 0) {
            setDirection(readPoint());
        } else if (std::strcmp(token, "emissive_color") == 0) {
            HPoint c = readColor();
            emissiveColor = HPoint(c.x, c.y, c.z, 1.0f);
        } else if (std::strcmp(token, "size") == 0) {
            readFloat();  // native lights cast hard shadows
        }
    }
    return false;  // cut off by the end of input
}

bool DirectionalLight::illuminate(HPoint& towardsLight, HPoint& color, float& distance, const HPoint& point) {
    (void)point;
    towardsLight = direction;
    if (size != 0.0f) {
        towardsLight.jitter(size);
        towardsLight.normalize();
    }
    color = emissiveColor;
    distance = FLT_MAX;  // at infinity: shadow rays are unbounded
    return true;
}

void DirectionalLight::emitVrml(FILE* file) {
    std::fprintf(file, "<light type='sunlight' name='l%" PRIxPTR "' power='1.0' cast_shadows='on'>\n",
                 (uintptr_t)this);
    std::fprintf(file, "  <from x='%.9g' y='%.9g' z='%.9g'/>\n", -direction.x, -direction.y, -direction.z);
    std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g'/>\n", emissiveColor.x, emissiveColor.y,
                 emissiveColor.z);
    std::fprintf(file, "  <radius value='%.9g'/>\n", size);
    std::fprintf(file, "</light>\n");
}
