// Point, directional and spot lights: illuminate, native blocks and writers.
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "io/native/Scanner.h"
#include "shading/DirectionalLight.h"
#include "shading/PointLight.h"
#include "shading/SpotLight.h"

namespace {

std::string hexAddress(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIxPTR, (uintptr_t)p);
    return text;
}

std::string vrmlOf(GLight& light, bool vrmlNode = false) {
    FILE* file = std::tmpfile();
    if (vrmlNode)
        static_cast<SpotLight&>(light).writeVrml(file);
    else
        light.emitVrml(file);
    std::rewind(file);
    std::string text;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}

class LightParseTest : public ::testing::Test {
protected:
    void SetUp() override { resetScanner(); }
    void TearDown() override { resetScanner(); }
};

}  // namespace

TEST(PointLightTest, InverseSquareAndCustomAttenuation) {
    PointLight light;
    light.location = HPoint(0, 0, 2);
    light.emissiveColor = HPoint(1, 2, 4, 1);
    HPoint direction, color;
    float distance = 0.0f;
    ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint(0, 0, 0)));
    EXPECT_FLOAT_EQ(distance, 2.0f);
    EXPECT_FLOAT_EQ(direction.z, 1.0f);
    EXPECT_FLOAT_EQ(color.x, 0.25f);
    EXPECT_FLOAT_EQ(color.z, 1.0f);

    light.attenuation = HPoint(0, 0, 1, 1);  // no falloff
    ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint(0, 0, 0)));
    EXPECT_FLOAT_EQ(color.y, 2.0f);
    light.attenuation = HPoint(0, 1, 1, 1);  // 1 / (d + 1)
    ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint(0, 0, 0)));
    EXPECT_FLOAT_EQ(color.x, 1.0f / 3.0f);
    // A point at the light itself is not lit, and gets no NaN.
    EXPECT_FALSE(light.illuminate(direction, color, distance, light.location));
    EXPECT_FALSE(std::isnan(color.x));
}

TEST(PointLightTest, SizeJittersThePositionWithinItsCube) {
    seedRandom(3);
    PointLight light;
    light.location = HPoint(0, 10, 0);
    light.emissiveColor = HPoint(1, 1, 1, 1);
    light.size = 0.5f;
    bool moved = false;
    for (int i = 0; i < 30; i++) {
        HPoint direction, color;
        float distance = 0.0f;
        ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint(0, 0, 0)));
        HPoint position = direction.scaled(distance);
        EXPECT_LE(std::fabs(position.x), 0.5f + 1e-5f);
        EXPECT_LE(std::fabs(position.y - 10.0f), 0.5f + 1e-5f);
        EXPECT_LE(std::fabs(position.z), 0.5f + 1e-5f);
        EXPECT_NEAR(color.x * distance * distance, 1.0f, 1e-5f);
        if (std::fabs(position.x) > 1e-3f) moved = true;
    }
    EXPECT_TRUE(moved);
}

TEST_F(LightParseTest, PointLightBlockIgnoresSize) {
    PointLight light;
    pushInputText("{ location 1 2 3 emissive_color 0.5 0.5 1 size 3 attenuation 0 0 1 blah }");
    ASSERT_TRUE(light.parse(nullptr));
    EXPECT_FLOAT_EQ(light.location.z, 3.0f);
    EXPECT_FLOAT_EQ(light.location.w, 1.0f);
    EXPECT_FLOAT_EQ(light.emissiveColor.z, 1.0f);
    EXPECT_FLOAT_EQ(light.emissiveColor.w, 1.0f);
    EXPECT_FLOAT_EQ(light.attenuation.x, 0.0f);
    EXPECT_FLOAT_EQ(light.attenuation.z, 1.0f);
    EXPECT_FLOAT_EQ(light.size, 0.0f);
    EXPECT_EQ(nextToken(), nullptr);
}

TEST_F(LightParseTest, CutOffOrBracelessBlocksFail) {
    PointLight point;
    pushInputText("{ location 1 2 3");
    EXPECT_FALSE(point.parse(nullptr));
    EXPECT_FLOAT_EQ(point.location.y, 2.0f);
    resetScanner();
    pushInputText("{ emissive_color 1");  // cut off inside the values
    EXPECT_FALSE(point.parse(nullptr));
    resetScanner();
    DirectionalLight directional;
    pushInputText("direction 0 1 0 }");
    EXPECT_FALSE(directional.parse(nullptr));
    resetScanner();
    SpotLight spot;
    pushInputText("{ exponent 2 ");
    EXPECT_FALSE(spot.parse(nullptr));
    EXPECT_FLOAT_EQ(spot.exponent, 2.0f);
}

TEST(PointLightTest, WritesYafRayPointLight) {
    PointLight light;
    light.location = HPoint(1, -2, 3.5f);
    light.emissiveColor = HPoint(0.25f, 0.5f, 1, 1);
    light.size = 0.125f;
    std::string expected = "<light type='pointlight' name='l" + hexAddress(&light) +
                           "' power='1.0' cast_shadows='on'>\n"
                           "  <from x='1' y='-2' z='3.5'/>\n"
                           "  <color r='0.25' g='0.5' b='1'/>\n"
                           "  <radius value='0.125'/>\n"
                           "  <attenuation a='1' b='0' c='0'/>\n"
                           "</light>\n";
    EXPECT_EQ(vrmlOf(light), expected);
    EXPECT_EQ(std::string(light.toString()), "PointLight@" + hexAddress(&light));
    EXPECT_TRUE(light.isKindOf(ClassId::GLight));
    EXPECT_TRUE(light.isKindOf(ClassId::IParseable));
    EXPECT_FALSE(light.isKindOf(ClassId::GSceneObject));
    EXPECT_EQ(light.clone(), nullptr);
}

TEST(DirectionalLightTest, ConstantColourAtUnboundedDistance) {
    DirectionalLight light;
    light.setDirection(HPoint(0, 3, 4));
    light.emissiveColor = HPoint(0.5f, 0.5f, 0.5f, 1);
    HPoint direction, color;
    float distance = 0.0f;
    ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint(100, -7, 3)));
    EXPECT_EQ(distance, FLT_MAX);
    EXPECT_FLOAT_EQ(direction.y, 0.6f);
    EXPECT_FLOAT_EQ(direction.z, 0.8f);
    EXPECT_FLOAT_EQ(color.x, 0.5f);

    seedRandom(5);
    light.size = 0.2f;
    ASSERT_TRUE(light.illuminate(direction, color, distance, HPoint()));
    EXPECT_NEAR(direction.length(), 1.0f, 1e-6f);
    EXPECT_NE(direction.y, 0.6f);
}

TEST_F(LightParseTest, DirectionalBlockNormalises) {
    DirectionalLight light;
    pushInputText("{ direction 0 0 -2 emissive_color 1 0.5 0 size 9 }");
    ASSERT_TRUE(light.parse(nullptr));
    EXPECT_FLOAT_EQ(light.direction.z, -1.0f);
    EXPECT_FLOAT_EQ(light.direction.w, 1.0f);
    EXPECT_FLOAT_EQ(light.emissiveColor.y, 0.5f);
    EXPECT_FLOAT_EQ(light.emissiveColor.w, 1.0f);
    EXPECT_FLOAT_EQ(light.size, 0.0f);
}

TEST(DirectionalLightTest, WritesSunlightFromTheNegatedDirection) {
    DirectionalLight light;
    light.setDirection(HPoint(0, 0, 1));
    light.emissiveColor = HPoint(1, 1, 1, 1);
    std::string expected = "<light type='sunlight' name='l" + hexAddress(&light) +
                           "' power='1.0' cast_shadows='on'>\n"
                           "  <from x='-0' y='-0' z='-1'/>\n"
                           "  <color r='1' g='1' b='1'/>\n"
                           "  <radius value='0'/>\n"
                           "</light>\n";
    EXPECT_EQ(vrmlOf(light), expected);
}

TEST(SpotLightTest, ConeCutoffAndFalloff) {
    SpotLight light;
    light.location = HPoint(0, 0, 0);
    light.setDirection(HPoint(0, 0, -1));
    light.emissiveColor = HPoint(1, 1, 1, 1);
    light.cutoffCosine = std::cos(0.5f);
    light.exponent = 3.0f;
    HPoint direction, color;
    float distance = 0.0f;
    // 0.6 radians off the axis, distance 2: outside the cone.
    HPoint outside(2 * std::sin(0.6f), 0, -2 * std::cos(0.6f));
    EXPECT_FALSE(light.illuminate(direction, color, distance, outside));
    EXPECT_FLOAT_EQ(color.x, 0.0f);
    EXPECT_FLOAT_EQ(color.w, 1.0f);
    // 0.4 radians off: cos(0.4)^3 / d^2.
    HPoint inside(2 * std::sin(0.4f), 0, -2 * std::cos(0.4f));
    ASSERT_TRUE(light.illuminate(direction, color, distance, inside));
    EXPECT_NEAR(distance, 2.0f, 1e-6f);
    EXPECT_NEAR(color.x, std::pow(std::cos(0.4f), 3.0f) / 4.0f, 1e-6f);
    EXPECT_NEAR(direction.dot(inside), -2.0f, 1e-5f);  // unit, towards the light

    // A cone wider than a hemisphere: behind the light the real power holds
    // where it is defined and positive (a whole, even exponent: cut-off 2.0,
    // exponent 2, 1.9 radians off the axis gives cos(1.9)^2 = 0.1045 at unit
    // distance); a fractional or odd one gives no light rather than NaN or
    // negative light.
    light.cutoffCosine = std::cos(2.0f);
    light.exponent = 2.0f;
    HPoint behind(std::sin(1.9f), 0, -std::cos(1.9f));
    ASSERT_TRUE(light.illuminate(direction, color, distance, behind));
    EXPECT_NEAR(color.x, 0.1045f, 1e-4f);
    for (float exponent : {1.5f, 3.0f}) {
        light.exponent = exponent;
        ASSERT_TRUE(light.illuminate(direction, color, distance, behind));
        EXPECT_EQ(color.x, 0.0f) << exponent;
    }
}

TEST_F(LightParseTest, SpotBlockReadsEveryKeyword) {
    SpotLight light;
    EXPECT_FLOAT_EQ(light.exponent, 1.0f);  // neutral falloff when the block omits it
    pushInputText(
        "{ location 0 5 0 direction 0 -3 0 exponent 4 emissive_color 1 1 0.5 size 2\n"
        "  cutoff_angle 0.5 attenuation 0.5 0.25 1 }");
    ASSERT_TRUE(light.parse(nullptr));
    EXPECT_FLOAT_EQ(light.location.y, 5.0f);
    EXPECT_FLOAT_EQ(light.direction.y, -1.0f);
    EXPECT_FLOAT_EQ(light.exponent, 4.0f);
    EXPECT_FLOAT_EQ(light.emissiveColor.z, 0.5f);
    EXPECT_FLOAT_EQ(light.cutoffCosine, std::cos(0.5f));
    EXPECT_FLOAT_EQ(light.attenuation.x, 0.5f);
    EXPECT_FLOAT_EQ(light.attenuation.y, 0.25f);
}

TEST(SpotLightTest, WritesVrmlNode) {
    SpotLight light;
    light.location = HPoint(1, 2, 3);
    light.setDirection(HPoint(0, -1, 0));
    light.emissiveColor = HPoint(1, 0.5f, 0.25f, 1);
    light.exponent = 4.0f;
    light.cutoffCosine = 0.5f;
    light.attenuation = HPoint(0.5f, 0.25f, 1, 1);
    std::string expected =
        "SpotLight {\n"
        "  location 1.0000 2.0000 3.0000\n"
        "  direction 0.0000 -1.0000 0.0000\n"
        "  color 1.0000 0.5000 0.2500\n"
        "  intensity 1\n"
        "  beamWidth 0.3926\n"
        "  cutOffAngle 1.0472\n"
        "  attenuation 1.000 0.250 0.500\n"
        "}\n\n";
    EXPECT_EQ(vrmlOf(light, true), expected);
    EXPECT_EQ(std::string(light.toString()), "SpotLight@" + hexAddress(&light));
}

TEST(GLightTest, BaseLightAnswersNothing) {
    GLight light;
    HPoint direction, color;
    float distance = 0.0f;
    EXPECT_FALSE(light.illuminate(direction, color, distance, HPoint()));
    EXPECT_FALSE(light.parse(nullptr));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(vrmlOf(light), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "XML export: GLight@" + hexAddress(&light) + " is not written: the format has no such light\n");
}
