#include "shading/GMaterial.h"

#include <cinttypes>
#include <string>

#include <gtest/gtest.h>

#include "image/GImage.h"
#include "shading/GTexture.h"
#include "shading/PhongModel.h"

namespace {

std::string hexAddress(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIxPTR, (uintptr_t)p);
    return text;
}

std::string xmlOf(GMaterial& material) {
    FILE* file = std::tmpfile();
    material.writeXML(file);
    std::rewind(file);
    std::string text;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}

// An image whose colour is its texture coordinates and whose scalar is u + v.
class CoordinateImage : public GImage {
public:
    CoordinateImage() { width = height = 1; }  // has pixels: textures read it
    HPoint sampleColor(const HPoint& uv, bool, bool) const override { return HPoint(uv.x, uv.y, 0.5f, 0.0f); }
    float sampleScalar(const HPoint& uv, bool, bool) const override { return uv.x + uv.y; }
};

}  // namespace

TEST(GMaterialTest, DefaultsAndSharedLightingModel) {
    GMaterial material;
    HPoint c;
    material.getRawColor(GMaterial::diffuse, c);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.z, 1.0f);
    EXPECT_FLOAT_EQ(c.w, 0.0f);
    for (int i : {GMaterial::ambient, GMaterial::specular, GMaterial::reflected, GMaterial::transmitted,
                  GMaterial::emissive}) {
        material.getRawColor(i, c);
        EXPECT_FLOAT_EQ(c.x + c.y + c.z + c.w, 0.0f) << "colour " << i;
    }
    EXPECT_FLOAT_EQ(material.getRawScalar(GMaterial::phongExponent), 10.0f);
    EXPECT_FLOAT_EQ(material.getRawScalar(GMaterial::indexOfRefraction), 1.0f);
    EXPECT_FLOAT_EQ(material.getRawScalar(GMaterial::glossiness), 0.0f);
    EXPECT_FLOAT_EQ(material.getRawScalar(GMaterial::displacement), 0.0f);
    EXPECT_EQ(material.colorTextureMask, 0u);
    EXPECT_EQ(material.bsdf, nullptr);
    EXPECT_EQ(material.diffuseSpectrum[300], 0.0);
    EXPECT_EQ(material.lightingModel, PhongModel::shared());
    EXPECT_FALSE(material.isEmissive());
    EXPECT_EQ(std::string(material.toString()), "GMaterial@" + hexAddress(&material));
    EXPECT_EQ(material.clone(), nullptr);
}

TEST(GMaterialTest, TextureReferencesAndConstants) {
    CoordinateImage image;
    GTexture texture;
    texture.setImage(&image);
    GMaterial material;
    HitRecord hit;
    hit.texCoord = HPoint(0.25f, 0.75f, 0, 1);

    material.setColorTexture(GMaterial::diffuse, &texture);
    HPoint c;
    material.getColor(GMaterial::diffuse, c, hit);
    EXPECT_FLOAT_EQ(c.x, 0.25f);
    EXPECT_FLOAT_EQ(c.y, 0.75f);
    material.getColorAt(GMaterial::diffuse, c, HPoint(0.5f, 0.125f, 0, 1));
    EXPECT_FLOAT_EQ(c.y, 0.125f);

    // Setting a constant clears the texture bit.
    material.setColor(GMaterial::diffuse, HPoint(0.1f, 0.2f, 0.3f, 0.0f));
    material.getColor(GMaterial::diffuse, c, hit);
    EXPECT_FLOAT_EQ(c.x, 0.1f);
    EXPECT_EQ(material.colorTextureMask, 0u);

    material.setScalarTexture(GMaterial::phongExponent, &texture);
    EXPECT_FLOAT_EQ(material.getScalar(GMaterial::phongExponent, hit), 1.0f);
    EXPECT_FLOAT_EQ(material.getRawScalar(GMaterial::phongExponent), 10.0f);
    material.setScalar(GMaterial::phongExponent, 4.0f);
    EXPECT_FLOAT_EQ(material.getScalar(GMaterial::phongExponent, hit), 4.0f);

    // An emissive texture counts as emission.
    material.setColorTexture(GMaterial::emissive, &texture);
    EXPECT_TRUE(material.isEmissive());
}

TEST(GMaterialTest, CopySharesTexturesButNotSpectraOrBsdf) {
    GTexture texture;
    GMaterial original;
    original.setColorTexture(GMaterial::diffuse, &texture);
    original.setColor(GMaterial::specular, HPoint(0.5f, 0.5f, 0.5f, 0.0f));
    original.setScalar(GMaterial::glossiness, 0.3f);
    original.diffuseSpectrum[10] = 0.7;
    original.bsdf = reinterpret_cast<SpectralBsdf*>(&texture);  // any non-null marker
    GMaterial copy(original);
    EXPECT_EQ(copy.colorTextureMask, original.colorTextureMask);
    EXPECT_EQ(copy.colorTextures[GMaterial::diffuse], &texture);
    HPoint c;
    copy.getRawColor(GMaterial::specular, c);
    EXPECT_FLOAT_EQ(c.x, 0.5f);
    EXPECT_FLOAT_EQ(copy.getRawScalar(GMaterial::glossiness), 0.3f);
    EXPECT_EQ(copy.diffuseSpectrum[10], 0.0);
    EXPECT_EQ(copy.bsdf, nullptr);
    EXPECT_EQ(copy.lightingModel, PhongModel::shared());
}

TEST(GMaterialTest, ColourFromPixelDecodesTheWord) {
    GMaterial material;
    material.setColorFromPixel(GMaterial::reflected, 0xFF3366FFu);
    HPoint c;
    material.getRawColor(GMaterial::reflected, c);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.y, 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(c.z, 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(c.w, 0.0f);
}

TEST(GMaterialTest, WriteXmlOfDefaultMaterial) {
    GMaterial material;
    std::string expected = "<shader type='generic' name='s" + hexAddress(&material) + "'>\n" +
                           "<attributes>\n"
                           "  <color r='1' g='1' b='1'/>\n"
                           "  <specular r='0' g='0' b='0'/>\n"
                           "  <reflected r='0' g='0' b='0'/>\n"
                           "  <transmitted r='0' g='0' b='0'/>\n"
                           "  <IOR value='1' />\n"
                           "  <hard value='10' />\n"
                           "  <ambient r='0' g='0' b='0'/>\n"
                           "  <emissive r='0' g='0' b='0'/>\n"
                           "  <phong value='10' />\n"
                           "  <glossiness value='0' />\n"
                           "  <translucency value='0' />\n"
                           "</attributes>\n"
                           "</shader>\n";
    EXPECT_EQ(xmlOf(material), expected);
}

TEST(GMaterialTest, WriteXmlPrintsEveryAttributeInItsLine) {
    GMaterial material;
    material.setColor(GMaterial::ambient, HPoint(0.1f, 0.2f, 0.3f, 0));
    material.setColor(GMaterial::diffuse, HPoint(0.4f, 0.5f, 0.6f, 0));
    material.setColor(GMaterial::specular, HPoint(0.7f, 0.8f, 0.9f, 0));
    material.setColor(GMaterial::reflected, HPoint(0.11f, 0.12f, 0.13f, 0));
    material.setColor(GMaterial::transmitted, HPoint(0.21f, 0.22f, 0.23f, 0));
    material.setColor(GMaterial::emissive, HPoint(2, 3, 4, 0));
    material.setScalar(GMaterial::phongExponent, 32.25f);
    material.setScalar(GMaterial::indexOfRefraction, 1.333f);
    material.setScalar(GMaterial::glossiness, 0.0625f);
    material.setScalar(GMaterial::translucency, 0.5f);
    std::string expected = "<shader type='generic' name='s" + hexAddress(&material) + "'>\n" +
                           "<attributes>\n"
                           "  <color r='0.400000006' g='0.5' b='0.600000024'/>\n"
                           "  <specular r='0.699999988' g='0.800000012' b='0.899999976'/>\n"
                           "  <reflected r='0.109999999' g='0.119999997' b='0.129999995'/>\n"
                           "  <transmitted r='0.209999993' g='0.219999999' b='0.230000004'/>\n"
                           "  <IOR value='1.33299994' />\n"
                           "  <hard value='32.25' />\n"
                           "  <ambient r='0.100000001' g='0.200000003' b='0.300000012'/>\n"
                           "  <emissive r='2' g='3' b='4'/>\n"
                           "  <phong value='32.25' />\n"
                           "  <glossiness value='0.0625' />\n"
                           "  <translucency value='0.5' />\n"
                           "</attributes>\n"
                           "</shader>\n";
    EXPECT_EQ(xmlOf(material), expected);
}
