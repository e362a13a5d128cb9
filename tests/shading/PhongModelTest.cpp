#include "shading/PhongModel.h"

#include <cinttypes>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "shading/GMaterial.h"

namespace {

const HPoint up(0, 0, 1, 1);
const HPoint white(1, 1, 1, 1);

HPoint unit(float x, float y, float z) {
    HPoint v(x, y, z, 1);
    v.normalize();
    return v;
}

}  // namespace

TEST(PhongModelTest, DefaultMaterialAtNormalIncidenceAddsTheLightColour) {
    GMaterial material;
    HitRecord hit;
    HPoint result(0.1f, 0.2f, 0.3f, 0.0f);
    HPoint light(0.5f, 1.0f, 2.0f, 1.0f);
    PhongModel::shared()->evaluate(result, &material, up, HPoint(0, 0, -1), up, up, light, hit);
    EXPECT_FLOAT_EQ(result.x, 0.6f);
    EXPECT_FLOAT_EQ(result.y, 1.2f);
    EXPECT_FLOAT_EQ(result.z, 2.3f);
    EXPECT_FLOAT_EQ(result.w, 0.0f);
}

TEST(PhongModelTest, DiffuseFollowsTheCosine) {
    GMaterial material;
    material.setColor(GMaterial::diffuse, HPoint(0.5f, 0.25f, 1.0f, 0));
    HitRecord hit;
    HPoint result(0, 0, 0, 0);
    HPoint lightDirection = unit(std::sqrt(3.0f), 0, 1);  // 60 degrees off the normal
    PhongModel::shared()->evaluate(result, &material, up, up, HPoint(0, 0, -1), lightDirection, white, hit);
    EXPECT_NEAR(result.x, 0.25f, 1e-6f);
    EXPECT_NEAR(result.y, 0.125f, 1e-6f);
    EXPECT_NEAR(result.z, 0.5f, 1e-6f);
}

TEST(PhongModelTest, SpecularUsesARealPowerOfTheMirrorCosine) {
    GMaterial material;
    material.setColor(GMaterial::diffuse, HPoint(0, 0, 0, 0));
    material.setColor(GMaterial::specular, HPoint(1, 1, 1, 0));
    HitRecord hit;
    HPoint result(0, 0, 0, 0);
    // L . N > 0 and L . R = 0.5: weight 0.5^10 = 1/1024.
    HPoint lightDirection = up;
    HPoint mirror = unit(std::sqrt(3.0f), 0, 1);
    PhongModel::shared()->evaluate(result, &material, up, up, mirror, lightDirection, white, hit);
    EXPECT_NEAR(result.x, 1.0f / 1024.0f, 1e-7f);
    // A fractional exponent is a real power too.
    material.setScalar(GMaterial::phongExponent, 0.5f);
    result = HPoint(0, 0, 0, 0);
    PhongModel::shared()->evaluate(result, &material, up, up, mirror, lightDirection, white, hit);
    EXPECT_NEAR(result.x, std::sqrt(0.5f), 1e-6f);
    // Mirror pointing away from the light: no highlight.
    result = HPoint(0, 0, 0, 0);
    PhongModel::shared()->evaluate(result, &material, up, up, HPoint(0, 0, -1), lightDirection, white, hit);
    EXPECT_FLOAT_EQ(result.x, 0.0f);
}

TEST(PhongModelTest, LightBehindTheSurfaceAddsNothing) {
    GMaterial material;
    material.setColor(GMaterial::specular, HPoint(1, 1, 1, 0));
    HitRecord hit;
    HPoint result(0, 0, 0, 0);
    HPoint below(0, 0, -1, 1);
    PhongModel::shared()->evaluate(result, &material, up, up, below, below, white, hit);
    EXPECT_FLOAT_EQ(result.x + result.y + result.z, 0.0f);
    HPoint grazing(1, 0, 0, 1);
    PhongModel::shared()->evaluate(result, &material, up, up, grazing, grazing, white, hit);
    EXPECT_FLOAT_EQ(result.x + result.y + result.z, 0.0f);
}

TEST(PhongModelTest, AmbientAndEmissiveAreAdded) {
    GMaterial material;
    material.setColor(GMaterial::ambient, HPoint(0.5f, 1.0f, 0.0f, 0));
    material.setColor(GMaterial::emissive, HPoint(0.0f, 0.25f, 0.5f, 0));
    HitRecord hit;
    HPoint result(1, 1, 1, 0);
    PhongModel::shared()->ambientAndEmissive(result, &material, HPoint(0.2f, 0.4f, 0.6f, 1), hit);
    EXPECT_FLOAT_EQ(result.x, 1.1f);
    EXPECT_FLOAT_EQ(result.y, 1.65f);
    EXPECT_FLOAT_EQ(result.z, 1.5f);
}

TEST(PhongModelTest, BaseModelOnlyReportsEvaluate) {
    GLightingModel base;
    GMaterial material;
    HitRecord hit;
    HPoint result(0, 0, 0, 0);
    char name[64];
    std::snprintf(name, sizeof name, "GLightingModel@%" PRIxPTR, (uintptr_t)&base);
    testing::internal::CaptureStdout();
    base.evaluate(result, &material, up, up, up, up, white, hit);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("evaluate ") + name + "\n");
    EXPECT_FLOAT_EQ(result.x, 0.0f);
    EXPECT_TRUE(PhongModel::shared()->isKindOf(ClassId::GLightingModel));
    EXPECT_EQ(PhongModel::shared()->clone(), nullptr);
}
