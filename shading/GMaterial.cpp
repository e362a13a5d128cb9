#include "shading/GMaterial.h"

#include <cinttypes>
#include <cstdio>

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
    static thread_local char buffer[objectTextSize];
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
    // The format carries an image texture on the diffuse colour only, tiled,
    // untinted, named by its file.
    const GTexture* image = (colorTextureMask & (1u << diffuse)) ? colorTextures[diffuse] : nullptr;
    bool imageWritten = image && !image->fileName.empty() && image->wrapU && image->wrapV && !image->passThrough &&
                        image->tint.x == 1.0f && image->tint.y == 1.0f && image->tint.z == 1.0f;
    if (imageWritten)
        std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g' texture_image='%s'/>\n", d.x, d.y, d.z,
                     image->fileName.c_str());
    else
        std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g'/>\n", d.x, d.y, d.z);
    unsigned leftOut = colorTextureMask & ~(imageWritten ? 1u << diffuse : 0u);
    if (leftOut || scalarTextureMask)
        std::printf("XML export: %s has textures the format cannot carry; they are left out\n", toString());
    std::fprintf(file, "  <specular r='%.9g' g='%.9g' b='%.9g'/>\n", s.x, s.y, s.z);
    std::fprintf(file, "  <reflected r='%.9g' g='%.9g' b='%.9g'/>\n", r.x, r.y, r.z);
    std::fprintf(file, "  <transmitted r='%.9g' g='%.9g' b='%.9g'/>\n", t.x, t.y, t.z);
    std::fprintf(file, "  <IOR value='%.9g' />\n", scalars[indexOfRefraction]);
    std::fprintf(file, "  <hard value='%.9g' />\n", scalars[phongExponent]);
    std::fprintf(file, "  <ambient r='%.9g' g='%.9g' b='%.9g'/>\n", a.x, a.y, a.z);
    std::fprintf(file, "  <emissive r='%.9g' g='%.9g' b='%.9g'/>\n", e.x, e.y, e.z);
    std::fprintf(file, "  <phong value='%.9g' />\n", scalars[phongExponent]);
    std::fprintf(file, "  <glossiness value='%.9g' />\n", scalars[glossiness]);
    std::fprintf(file, "  <translucency value='%.9g' />\n", scalars[translucency]);
    std::fprintf(file, "</attributes>\n");
    std::fprintf(file, "</shader>\n");
}
