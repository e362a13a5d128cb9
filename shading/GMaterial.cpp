#include "shading/GMaterial.h"

#include <cinttypes>

#include "image/PixelFunctions.h"
#include "shading/GTexture.h"
#include "shading/PhongModel.h"

GMaterial::GMaterial() {
    for (int i = 0; i < spectrumSize; i++) {
        diffuseSpectrum[i] = 0.0;
        emissiveSpectrum[i] = 0.0;
    }
    for (int i = 0; i < colorCount; i++) {
        colors[i] = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
        colorTextures[i] = nullptr;
    }
    colors[diffuse] = HPoint(1.0f, 1.0f, 1.0f, 0.0f);
    for (int i = 0; i < scalarCount; i++) {
        scalars[i] = 0.0f;
        scalarTextures[i] = nullptr;
    }
    scalars[phongExponent] = 10.0f;
    scalars[indexOfRefraction] = 1.0f;
    lightingModel = PhongModel::shared();
}

GMaterial::GMaterial(const GMaterial& other) : GObject(other) {
    for (int i = 0; i < spectrumSize; i++) {
        diffuseSpectrum[i] = 0.0;
        emissiveSpectrum[i] = 0.0;
    }
    colorTextureMask = other.colorTextureMask;
    scalarTextureMask = other.scalarTextureMask;
    for (int i = 0; i < colorCount; i++) {
        colors[i] = other.colors[i];
        colorTextures[i] = other.colorTextures[i];
    }
    for (int i = 0; i < scalarCount; i++) {
        scalars[i] = other.scalars[i];
        scalarTextures[i] = other.scalarTextures[i];
    }
    lightingModel = PhongModel::shared();
}

const char* GMaterial::toString() const {
    static char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GMaterial", this);
}

void GMaterial::getColorAt(int index, HPoint& out, const HPoint& uv) const {
    if (colorTextureMask & (1u << index)) {
        colorTextures[index]->lookupColor(out, uv);
    } else {
        out = colors[index];
    }
}

float GMaterial::getScalar(int index, const HitRecord& hit) const {
    if (scalarTextureMask & (1u << index)) return scalarTextures[index]->lookupScalar(hit.texCoord);
    return scalars[index];
}

void GMaterial::setColor(int index, const HPoint& color) {
    colors[index] = color;
    colorTextureMask &= ~(1u << index);
}

void GMaterial::setColorFromPixel(int index, unsigned pixel) { setColor(index, pixelToColor(pixel)); }

void GMaterial::setColorTexture(int index, GTexture* texture) {
    // Without a texture the constant stays in force.
    if (!texture) return;
    colorTextures[index] = texture;
    colorTextureMask |= 1u << index;
}

void GMaterial::setScalar(int index, float value) {
    scalars[index] = value;
    scalarTextureMask &= ~(1u << index);
}

void GMaterial::setScalarTexture(int index, GTexture* texture) {
    if (!texture) return;
    scalarTextures[index] = texture;
    scalarTextureMask |= 1u << index;
}

bool GMaterial::isEmissive() const {
    if (colorTextureMask & (1u << emissive)) return true;
    const HPoint& c = colors[emissive];
    return c.x + c.y + c.z > 0.0f;
}

void GMaterial::writeXML(FILE* file) {
    const HPoint& d = colors[diffuse];
    const HPoint& s = colors[specular];
    const HPoint& r = colors[reflected];
    const HPoint& t = colors[transmitted];
    const HPoint& a = colors[ambient];
    const HPoint& e = colors[emissive];
    std::fprintf(file, "<shader type='generic' name='s%" PRIxPTR "'>\n", (uintptr_t)this);
    std::fprintf(file, "<attributes>\n");
    std::fprintf(file, "  <color r='%0.3f' g='%0.3f' b='%0.3f'/>\n", d.x, d.y, d.z);
    std::fprintf(file, "  <specular r='%0.3f' g='%0.3f' b='%0.3f'/>\n", s.x, s.y, s.z);
    std::fprintf(file, "  <reflected r='%0.3f' g='%0.3f' b='%0.3f'/>\n", r.x, r.y, r.z);
    std::fprintf(file, "  <transmitted r='%0.3f' g='%0.3f' b='%0.3f'/>\n", t.x, t.y, t.z);
    std::fprintf(file, "  <IOR value='%0.2f' />\n", scalars[indexOfRefraction]);
    std::fprintf(file, "  <hard value='%0.1f' />\n", scalars[phongExponent]);
    std::fprintf(file, "  <ambient r='%0.3f' g='%0.3f' b='%0.3f'/>\n", a.x, a.y, a.z);
    std::fprintf(file, "  <emissive r='%0.3f' g='%0.3f' b='%0.3f'/>\n", e.x, e.y, e.z);
    std::fprintf(file, "  <phong value='%0.1f' />\n", scalars[phongExponent]);
    std::fprintf(file, "  <glossiness value='%0.3f' />\n", scalars[glossiness]);
    std::fprintf(file, "  <translucency value='%0.3f' />\n", scalars[translucency]);
    std::fprintf(file, "</attributes>\n");
    std::fprintf(file, "</shader>\n");
}
