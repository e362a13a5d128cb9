#include "render/InstantRadiosityCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/HPointImage.h"
#include "tests/TestSupport.h"

namespace {

// A floor seen low from the side under a square lamp 0.4 wide; the lamp
// follows (its height and the order of its corners, which sets its face).
const char* const floorScene =
    "<camera name='c' resx='4' resy='4' focal='0.05'><from x='1.5' y='0.2' z='0'/><to x='0' y='0' z='0'/><up x='0' y='1' z='0'/></camera>"
    "<render camera_name='c'><rendertype value='instantRadiosity'/></render>"
    "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/><emissive r='1' g='1' b='1'/></attributes></shader>"
    "<object shader_name='floor'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/><p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";

std::string lamp(float height, bool facingDown) {
    char text[512];
    const char* corners = facingDown ? "-0.2 %g -0.2  0.2 %g -0.2  0.2 %g 0.2  -0.2 %g 0.2"
                                     : "-0.2 %g -0.2  -0.2 %g 0.2  0.2 %g 0.2  0.2 %g -0.2";
    char points[160];
    std::snprintf(points, sizeof points, corners, height, height, height, height);
    float v[12];
    std::sscanf(points, "%f %f %f %f %f %f %f %f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                &v[7], &v[8], &v[9], &v[10], &v[11]);
    std::snprintf(text, sizeof text,
                  "<object shader_name='lamp'><mesh><points><p x='%g' y='%g' z='%g'/><p x='%g' y='%g' z='%g'/>"
                  "<p x='%g' y='%g' z='%g'/><p x='%g' y='%g' z='%g'/></points><faces><f a='0' b='1' c='2' d='3'/>"
                  "</faces></mesh></object>",
                  v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
    return text;
}

class InstantRadiosityRun : public ::testing::Test {
protected:
    std::string folder = makeScratchDir();

    double imageMean(const std::string& arguments, std::string* out = nullptr) {
        CommandResult run = runVelk(folder, "scene.xml " + arguments + " -radiance m.im -o m.ppm");
        EXPECT_EQ(run.status, 0) << run.err;
        if (out) *out = run.out;
        HPointImage image;
        EXPECT_TRUE(image.read((folder + "/m.im").c_str()));
        double sum = 0.0;
        for (int i = 0; i < image.width * image.height; i++)
            sum += 0.299 * image.pixels[i].x + 0.587 * image.pixels[i].y + 0.114 * image.pixels[i].z;
        return sum / (image.width * image.height);
    }
};

// Emitters light from both faces, as the connections of the bidirectional
// and Metropolis cameras assume: a lamp facing away from the floor lights
// it as much as one facing it. The means of K runs per face agree within
// t sqrt(s1^2 / K + s2^2 / K), t = 6.87 the two-sided 99.9 % quantile of
// Student's t for 5 degrees of freedom.
TEST_F(InstantRadiosityRun, LampsLightFromBothFaces) {
    const int K = 6;
    std::vector<double> means[2];
    for (int face = 0; face < 2; face++) {
        writeWholeFile(folder + "/scene.xml", std::string(floorScene) + lamp(0.5f, face == 0));
        for (int k = 0; k < K; k++)
            means[face].push_back(imageMean("-seed " + std::to_string(40 + k) + " -set lightPaths 1000"));
    }
    double mean[2], variance[2];
    for (int face = 0; face < 2; face++) {
        mean[face] = variance[face] = 0.0;
        for (double v : means[face]) mean[face] += v / K;
        for (double v : means[face]) variance[face] += (v - mean[face]) * (v - mean[face]) / (K - 1);
    }
    ASSERT_GT(mean[0], 0.05);
    EXPECT_NEAR(mean[1], mean[0], 6.87 * std::sqrt(variance[0] / K + variance[1] / K));
}

// The constant term of the attenuation takes light away near the virtual
// lights; the render says how much. With the same seed the virtual lights
// are the same, so the share removed is 1 - (image with the term) / (image
// with a negligible one), up to the two digits printed.
TEST_F(InstantRadiosityRun, TheLightThatDistanceClampRemovesIsReported) {
    writeWholeFile(folder + "/scene.xml", std::string(floorScene) + lamp(0.1f, true));
    std::string out;
    double clamped = imageMean("-seed 8 -set lightPaths 200", &out);
    double unclamped = imageMean("-seed 8 -set lightPaths 200 -set distanceClamp 1e-9");
    size_t at = out.find("| distanceClamp 0.01 removed ");
    ASSERT_NE(at, std::string::npos) << out;
    double removed = std::atof(out.c_str() + at + 29);
    EXPECT_NE(out.find("% of the virtual lights' light\n| ", at), std::string::npos) << out;
    EXPECT_NEAR(removed, 100.0 * (1.0 - clamped / unclamped), 0.5) << out;
    EXPECT_GT(removed, 10.0);
}

}  // namespace
