#include <gtest/gtest.h>

#include <initializer_list>

#include "app/Driver.h"
#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GScene.h"
#include "render/SimpleRaytracingCamera.h"
#include "tests/TestSupport.h"

namespace {

// Runs one options pass over a command line given as words (program name first).
int passOver(std::initializer_list<const char*> words, GScene* scene, bool firstPass) {
    JVector<char> arguments(8, -1);
    for (const char* word : words) arguments.add(const_cast<char*>(word));
    return parseOptions(arguments, scene, firstPass);
}

// The product's defaults, as no test may leave them otherwise (every test
// that changes a setting restores what it found).
TEST(GlobalSettingsTest, DefaultsAreUntouched) {
    EXPECT_EQ(epsilon, 0.001f);
    EXPECT_TRUE(fakeCaustics);
    EXPECT_FALSE(transparentShadows);
    EXPECT_EQ(minObjectsInGrid, 15);
    EXPECT_EQ(maxGridVoxels, 10000000);
    EXPECT_EQ(rayMarchOffsetFactor, 0.25f);
    EXPECT_EQ(rayMarchStepFactor, 0.3f);
    EXPECT_EQ(rayMarchRefinements, 3);
    EXPECT_EQ(outputFileName, "image.ppm");
}

class OptionsTest : public testing::Test {
protected:
    GlobalSettingsGuard settings;
};

TEST_F(OptionsTest, GlobalSettingsAreSetIgnoringCase) {
    EXPECT_EQ(-1, passOver({"velk", "s.txt", "-EPSILON", "0.5", "-minobjectsingrid", "3",
                            "-maxGridVoxels", "99", "-rayMarching", "0.1", "0.2", "7", "-o",
                            "out.ppm"},
                           nullptr, true));
    EXPECT_FLOAT_EQ(0.5f, epsilon);
    EXPECT_EQ(3, minObjectsInGrid);
    EXPECT_EQ(99, maxGridVoxels);
    EXPECT_FLOAT_EQ(0.1f, rayMarchOffsetFactor);
    EXPECT_FLOAT_EQ(0.2f, rayMarchStepFactor);
    EXPECT_EQ(7, rayMarchRefinements);
    EXPECT_EQ("out.ppm", outputFileName);
}

TEST_F(OptionsTest, FakeCausticsZeroLeavesTransparentShadows) {
    transparentShadows = true;
    passOver({"velk", "s.txt", "-fakeCaustics", "0"}, nullptr, true);
    EXPECT_FALSE(fakeCaustics);
    EXPECT_TRUE(transparentShadows);
    transparentShadows = false;
    passOver({"velk", "s.txt", "-fakeCaustics", "1"}, nullptr, true);
    EXPECT_TRUE(fakeCaustics);
    EXPECT_TRUE(transparentShadows);
    passOver({"velk", "s.txt", "-transparentShadows", "0"}, nullptr, true);
    EXPECT_FALSE(transparentShadows);
}

TEST_F(OptionsTest, ValuesAreTakenEvenWhenTheyLookLikeOptions) {
    testing::internal::CaptureStdout();
    passOver({"velk", "s.txt", "-o", "-epsilon", "0.25"}, nullptr, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("-epsilon", outputFileName);
    EXPECT_FLOAT_EQ(0.001f, epsilon);
    EXPECT_EQ("unknown argument: 0.25\n", out);
}

TEST_F(OptionsTest, NonNumbersReadAsZero) {
    passOver({"velk", "s.txt", "-epsilon", "abc"}, nullptr, true);
    EXPECT_EQ(0.0f, epsilon);
}

TEST_F(OptionsTest, WhittedOptionsReachOnlyAWhittedCamera) {
    GScene scene;
    SimpleRaytracingCamera* camera = new SimpleRaytracingCamera();
    scene.camera = camera;
    passOver({"velk", "s.txt", "-size", "64", "48", "-subsampling", "4", "30", "-gain", "2",
              "-maxDepth", "3", "-attenCutoff", "0.5"},
             &scene, false);
    EXPECT_EQ(64, camera->getWidth());
    EXPECT_EQ(48, camera->getHeight());
    EXPECT_EQ(4, camera->subsampling);
    EXPECT_EQ(30, camera->maxColorDiff);
    EXPECT_FLOAT_EQ(2.0f, camera->gain);
    EXPECT_EQ(3, camera->maxDepth);
    EXPECT_FLOAT_EQ(0.5f, camera->attenuationCutoff);
}

TEST_F(OptionsTest, SeedActsInTheFirstPassOnly) {
    passOver({"velk", "s.txt", "-seed", "1"}, nullptr, true);
    EXPECT_EQ(41, nextRandom());
    passOver({"velk", "s.txt", "-seed", "1"}, nullptr, false);
    EXPECT_EQ(18467, nextRandom());
}

TEST_F(OptionsTest, MissingValueIsFatal) {
    EXPECT_EXIT(passOver({"velk", "s.txt", "-size", "10"}, nullptr, true),
                testing::ExitedWithCode(1), "Index Out Of Bounds");
}

}  // namespace
