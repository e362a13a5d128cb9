// GMaterial: how a surface answers light. Six colour and six scalar
// attributes, each a constant or (mask bit set) a texture looked up at the
// hit's texture coordinates; two tabulated spectra for the spectral renderer;
// and the lighting model the ray tracer shades with (the shared PhongModel).
// Textures and the BSDF are shared, never owned.
#pragma once

#include <cstdio>

#include "foundation/GObject.h"
#include "foundation/HPoint.h"
#include "geometry/HitRecord.h"

class GTexture;
class GLightingModel;
class SpectralBsdf;

class GMaterial : public GObject {
public:
    // Colour attribute indices.
    static const int ambient = 0;
    static const int diffuse = 1;
    static const int specular = 2;
    static const int reflected = 3;
    static const int transmitted = 4;
    static const int emissive = 5;
    static const int colorCount = 6;
    // Scalar attribute indices (entry 4 is unnamed and unused).
    static const int phongExponent = 0;
    static const int indexOfRefraction = 1;
    static const int glossiness = 2;
    static const int translucency = 3;
    static const int displacement = 5;
    static const int scalarCount = 6;
    // Spectra: 400 .. 700 nm in 1 nm steps.
    static const int spectrumSize = 301;

    SpectralBsdf* bsdf = nullptr;              // not owned; only the spectral renderer reads it
    double diffuseSpectrum[spectrumSize];
    double emissiveSpectrum[spectrumSize];
    unsigned colorTextureMask = 0;             // bit i: colour i is colorTextures[i]
    HPoint colors[colorCount];
    GTexture* colorTextures[colorCount];
    unsigned scalarTextureMask = 0;            // bit i: scalar i is scalarTextures[i]
    float scalars[scalarCount];
    GTexture* scalarTextures[scalarCount];
    GLightingModel* lightingModel;             // not owned: the shared PhongModel

    // The material defaults: white diffuse, everything else black, Phong
    // exponent 10, index of refraction 1.
    GMaterial();
    // Copies masks and attribute entries (textures shared); no BSDF, no spectra.
    GMaterial(const GMaterial& other);
    GMaterial& operator=(const GMaterial&) = delete;

    bool isKindOf(int id) const override { return id == ClassId::GMaterial || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GMaterial; }
    const char* toString() const override;

    // Colour i at the hit's texture coordinates (all four components).
    void getColor(int index, HPoint& out, const HitRecord& hit) const { getColorAt(index, out, hit.texCoord); }
    // Colour i at explicit texture coordinates (u, v) = (uv.x, uv.y).
    void getColorAt(int index, HPoint& out, const HPoint& uv) const;
    // The stored constant, ignoring the mask.
    void getRawColor(int index, HPoint& out) const { out = colors[index]; }
    float getScalar(int index, const HitRecord& hit) const;
    float getRawScalar(int index) const { return scalars[index]; }

    void setColor(int index, const HPoint& color);
    void setColorFromPixel(int index, unsigned pixel);
    void setColorTexture(int index, GTexture* texture);
    void setScalar(int index, float value);
    void setScalarTexture(int index, GTexture* texture);

    // True when the emissive attribute is a texture or a colour with r + g + b > 0.
    bool isEmissive() const;

    // The YafRay XML shader block, named "s<address>".
    virtual void writeXML(FILE* file);
};
