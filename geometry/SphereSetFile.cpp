#include "geometry/SphereSetFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "foundation/JVector.h"
#include "geometry/GSphere.h"
#include "image/PixelFunctions.h"
#include "shading/GMaterial.h"

static uint32_t readWord(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static float readFloatWord(const unsigned char* p) {
    uint32_t word = readWord(p);
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

static const size_t materialRecordSize = 64;
static const size_t sphereRecordSize = 24;

void readSphereSet(const unsigned char* data, size_t size, const char* fileName, GMaterial* blockMaterial,
                   bool readIndexOfRefraction, SphereSetReceiver& receiver) {
    if (size < 4) {
        std::printf("POINT_CLOUD file '%s' has no material count\n", fileName);
        return;
    }
    int32_t materialCount = (int32_t)readWord(data);
    size_t offset = 4;
    if (materialCount < 0 || (uint64_t)materialCount * materialRecordSize + 4 > size - offset) {
        std::printf("POINT_CLOUD file '%s' announces %d material records that it does not hold\n", fileName,
                    (int)materialCount);
        return;
    }
    JVector<GMaterial> materials(materialCount > 0 ? materialCount : 1, -1);
    for (int32_t m = 0; m < materialCount; m++, offset += materialRecordSize) {
        const unsigned char* record = data + offset;
        GMaterial* material = new GMaterial();
        material->lightingModel = blockMaterial->lightingModel;
        material->setColor(GMaterial::ambient, pixelToColor(readWord(record + 4)));
        material->setColor(GMaterial::diffuse, pixelToColor(readWord(record + 8)));
        uint32_t specular = readWord(record + 12);
        material->setColor(GMaterial::specular, pixelToColor(specular & 0xFFFFFFu));
        material->setScalar(GMaterial::phongExponent, (float)(specular >> 24));
        material->setColor(GMaterial::reflected, pixelToColor(readWord(record + 16)));
        material->setColor(GMaterial::transmitted, pixelToColor(readWord(record + 20)));
        if (readIndexOfRefraction) material->setScalar(GMaterial::indexOfRefraction, readFloatWord(record + 24));
        receiver.material(material);
        materials.add(material);
    }
    int32_t sphereCount = (int32_t)readWord(data + offset);
    offset += 4;
    if (sphereCount < 0) {
        std::printf("POINT_CLOUD file '%s' announces %d spheres\n", fileName, (int)sphereCount);
        return;
    }
    size_t held = (size - offset) / sphereRecordSize;
    size_t spheres = (size_t)sphereCount;
    if (spheres > held) {
        std::printf("POINT_CLOUD file '%s' is cut short: %d of %d sphere records read\n", fileName, (int)held,
                    (int)sphereCount);
        spheres = held;
    }
    for (size_t s = 0; s < spheres; s++, offset += sphereRecordSize) {
        const unsigned char* record = data + offset;
        GSphere* sphere = new GSphere();
        sphere->center = HPoint(readFloatWord(record), readFloatWord(record + 4), readFloatWord(record + 8), 1.0f);
        sphere->setRadius(readFloatWord(record + 12));
        uint32_t materialIndex = readWord(record + 16) >> 24;
        sphere->material =
            materialIndex < (uint32_t)materials.count ? materials[(int)materialIndex] : blockMaterial;
        sphere->packedColor = readWord(record + 20);
        receiver.sphere(sphere);
    }
}

