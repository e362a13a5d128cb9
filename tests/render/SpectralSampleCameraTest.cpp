#include "render/SpectralSampleCamera.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "image/ColorImage.h"
#include "io/rib/RibReader.h"
#include "tests/render/RenderTestSupport.h"

namespace {

class SpectralCameraTest : public SceneInScratchFolder {
protected:
    SpectralSampleCamera* read(const std::string& world, const char* pixelSamples = "1 1") {
        seedRandom(1);
        RibReader reader(&scene);
        std::string text = std::string("Attribute \"vq317Setting\" \"renderType\" [\"spectralSample\"]\n") +
                           "Attribute \"vq317Setting\" \"rayDepth\" [3]\nFormat 2 2 1\nPixelSamples " +
                           pixelSamples + "\nProjection \"perspective\" \"fov\" [10]\nWorldBegin\n" + world +
                           "WorldEnd\n";
        captured([&] { reader.readText(text.c_str()); });
        EXPECT_NE(scene.camera, nullptr);
        return static_cast<SpectralSampleCamera*>(scene.camera);
    }
    void render(ColorImage& frame) {
        frame.resize(scene.camera->width, scene.camera->height);
        captured([&] { scene.camera->render(frame); });
    }
    // The radiance at wavelength index i along the view's centre.
    double centre(SpectralSampleCamera* camera, int i) {
        GRay ray;
        camera->makeRay(ray, 0, camera->from, camera->viewDirection);
        HitRecord hit;
        return camera->spectralRadiance(i, ray, hit, nullptr);
    }
};

// A panel filling the view at z = 5 (the RIB camera looks along +z), facing
// the camera, or turned away from it.
std::string panel(const char* surface, bool facingTheCamera) {
    const char* points = facingTheCamera ? "\"P\" [-2 -2 5  -2 2 5  2 2 5  2 -2 5]\n"
                                         : "\"P\" [-2 -2 5  2 -2 5  2 2 5  -2 2 5]\n";
    return std::string("AttributeBegin\n") + surface + "\nPointsGeneralPolygons [1] [4] [0 1 2 3]\n" + points +
           "AttributeEnd\n";
}

TEST_F(SpectralCameraTest, AFlatEmitterLooksNeutralGrey) {
    // 301 passes: the stratified schedule takes every wavelength once.
    SpectralSampleCamera* camera =
        read(panel("Surface \"spectral\" \"emissivespectrum\" [\"white.spec\"]", true), "1 301");
    EXPECT_EQ(camera->samplesPerPixel, 301);
    EXPECT_GT(centre(camera, 150), 0.0);
    seedRandom(6);
    ColorImage frame;
    render(frame);
    for (int k = 0; k < 4; k++) {
        uint32_t pixel = frame.pixels[k];
        int r = pixel & 255, g = (pixel >> 8) & 255, b = (pixel >> 16) & 255;
        EXPECT_GT(g, 100);
        EXPECT_LE(std::abs(r - g), 1);
        EXPECT_LE(std::abs(b - g), 1);
    }
}

TEST_F(SpectralCameraTest, BackgroundBandsAndTheBackOfEmitters) {
    SpectralSampleCamera* camera = read(panel("Surface \"spectral\" \"emissivespectrum\" [\"white.spec\"]", false));
    scene.backgroundColor = HPoint(0.0f, 0.0f, 0.8f, 1.0f);
    ColorImage frame;
    render(frame);  // fills the background spectrum
    // The back of the panel gives nothing.
    EXPECT_EQ(centre(camera, 150), 0.0);
    // A ray past everything sees the blue background at 400 - 499 nm only.
    GRay away;
    camera->makeRay(away, 0, camera->from, camera->viewDirection.scaled(-1.0f));
    const int indices[4] = {0, 99, 100, 250};
    const double expected[4] = {0.8, 0.8, 0.0, 0.0};
    for (int k = 0; k < 4; k++) {
        HitRecord hit;
        EXPECT_NEAR(camera->spectralRadiance(indices[k], away, hit, nullptr), expected[k], 1e-6) << indices[k];
    }
}

TEST_F(SpectralCameraTest, MaterialsWithoutSpectraEmitAndReflectTheirBands) {
    // A red emitter written for the other renderers: red wavelengths only.
    SpectralSampleCamera* camera = read(
        "Color [0 0 0]\n" +
        panel("AreaLightSource \"arealight\" 2 \"lightcolor\" [2 0 0]\nSurface \"vq317surface\"", true));
    ColorImage frame;
    render(frame);
    EXPECT_NEAR(centre(camera, 250), 2.0, 1e-6);
    EXPECT_EQ(centre(camera, 150), 0.0);
    EXPECT_EQ(centre(camera, 50), 0.0);
}

// An emission of 9e6 at every wavelength: in the middle pass of three
// (500 - 600 nm, where xbar + ybar + zbar exceeds 0.3) every sample's XYZ
// sum passes 1e6 and is dropped with a line; the estimate itself stays
// below the 1e7 that would silence it.
TEST_F(SpectralCameraTest, ExtremeSamplesAreDroppedWithALine) {
    writeWholeFile(folder + "/spectra_bright.spec", "400 700 100\n9000000 9000000 9000000 9000000\n");
    // Found from the working folder through a name with the other separator.
    ASSERT_EQ(0, system(("mkdir -p " + folder + "/spectra && mv " + folder + "/spectra_bright.spec " + folder +
                         "/spectra/bright.spec")
                            .c_str()));
    read(panel("Surface \"spectral\" \"emissivespectrum\" [\"bright.spec\"]", true), "1 3");
    seedRandom(31);
    ColorImage frame;
    render(frame);
    int dropped = 0;
    for (size_t at = console.find(" | "); at != std::string::npos; at = console.find(" | ", at + 1)) dropped++;
    EXPECT_GE(dropped, 4) << console;  // the four pixels of the middle pass at least
}

TEST(SpectralSchedule, StratifiedShuffledAndWithinTheGrid) {
    seedRandom(19);
    std::vector<int> indices;
    SpectralSampleCamera::wavelengthSchedule(301, indices);
    std::vector<int> seen(301, 0);
    for (int i : indices) {
        ASSERT_GE(i, 0);
        ASSERT_LE(i, 300);
        seen[(size_t)i]++;
    }
    for (int count : seen) EXPECT_EQ(count, 1);
    EXPECT_NE(indices[0], 0);  // shuffled
    for (int n : {1, 2, 7, 100, 1000}) {
        SpectralSampleCamera::wavelengthSchedule(n, indices);
        for (int i : indices) EXPECT_LE(i, 300) << n;
    }
}

}  // namespace
