#include "render/SpectralSampleCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "image/ColorImage.h"
#include "io/rib/RibReader.h"
#include "shading/SpectralBsdf.h"
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
    // Emitters are two-sided: the back of the panel shines as its front.
    EXPECT_EQ(centre(camera, 150), 1.0);
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

// A spectral lamp whose spectrum file is missing has the zero spectrum the
// console names, not a white one.
TEST_F(SpectralCameraTest, ALampWithoutItsSpectrumFileIsDark) {
    SpectralSampleCamera* camera = read(panel("Surface \"spectral\" \"emissivespectrum\" [\"absent.spec\"]", true));
    EXPECT_NE(console.find("bad file name spectra\\absent.spec"), std::string::npos) << console;
    ColorImage frame;
    render(frame);
    for (int i : {50, 150, 250}) EXPECT_EQ(centre(camera, i), 0.0) << i;
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

// An emitter triangle that counts the tests made of it.
struct CountingTriangle : GTriangle {
    static long long tests;
    bool intersect(GRay& ray, HitRecord& hit) override {
        tests++;
        return GTriangle::intersect(ray, hit);
    }
};
long long CountingTriangle::tests = 0;

class EmitterDensityTest : public SceneInScratchFolder {
protected:
    SpectralSampleCamera* camera = nullptr;
    GMaterial* lamp = nullptr;
    void SetUp() override {
        SceneInScratchFolder::SetUp();
        lamp = keep(new GMaterial());
        lamp->setColor(GMaterial::emissive, HPoint(1.0f, 1.0f, 1.0f, 0.0f));
        captured([&] { camera = new SpectralSampleCamera(); });
        scene.camera = camera;
        camera->setScene(&scene);
    }
    // A corner + (i, j) / n of the two edges grid of n x n squares, two triangles each.
    void addPanel(const HPoint& corner, const HPoint& edge1, const HPoint& edge2, int n) {
        auto at = [&](int i, int j) {
            return corner.sum(edge1.scaled((float)i / n)).sum(edge2.scaled((float)j / n));
        };
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                addTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                addTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
    }
    void addTriangle(const HPoint& a, const HPoint& b, const HPoint& c) {
        const HPoint corners[3] = {a, b, c};
        GVertex* vertices[3];
        for (int k = 0; k < 3; k++) {
            vertices[k] = keep(new GVertex());
            vertices[k]->position = corners[k];
            vertices[k]->position.w = 1.0f;
            vertices[k]->material = lamp;
        }
        CountingTriangle* triangle = keep(new CountingTriangle());
        triangle->setVertices(vertices[0], vertices[1], vertices[2]);
        triangle->flags |= GTriangle::flat;
        scene.emitters.add(triangle);
    }
};

// Whatever the emitters, the emitter strategy's density integrates to 1 over
// the sphere of directions: 4 pi times its mean over uniform directions is 1
// within a few standard errors. Each line may meet several emitters (a
// closed lamp, a panel behind another), and each one's own sampling counts.
// The densities found through the emitters' hierarchy are those of testing
// every emitter, to the last bit, for a fraction of the tests.
TEST_F(EmitterDensityTest, IntegratesToOneOverTheSphere) {
    const HPoint point(0.0f, 0.0f, 0.0f, 1.0f);
    const int cases = 4;
    for (int scenery = 0; scenery < cases; scenery++) {
        scene.emitters.clear();
        if (scenery == 0) {
            addSphere(HPoint(0.0f, 1.0f, 0.0f, 1.0f), 0.5f, lamp);  // disc sampling, seen from distance 2 r
            scene.emitters.add(scene.objects[scene.objects.size() - 1]);
        } else if (scenery == 1) {
            // A closed box lamp of 6 x 18 triangles: every line through it meets two.
            const float s = 0.6f;
            const HPoint o(-0.3f, -0.3f, 0.9f, 1.0f), x(s, 0, 0, 0), y(0, s, 0, 0), z(0, 0, s, 0);
            addPanel(o, x, y, 3);
            addPanel(o, y, z, 3);
            addPanel(o, z, x, 3);
            const HPoint far = o.sum(x).sum(y).sum(z);
            addPanel(far, x.scaled(-1.0f), y.scaled(-1.0f), 3);
            addPanel(far, y.scaled(-1.0f), z.scaled(-1.0f), 3);
            addPanel(far, z.scaled(-1.0f), x.scaled(-1.0f), 3);
        } else if (scenery == 2) {
            // A panel hidden behind another, facing away from the point.
            addPanel(HPoint(-0.5f, -0.5f, 1.0f, 1.0f), HPoint(0, 1, 0, 0), HPoint(1, 0, 0, 0), 1);
            addPanel(HPoint(-0.4f, -0.4f, 1.5f, 1.0f), HPoint(0.8f, 0, 0, 0), HPoint(0, 0.8f, 0, 0), 1);
        }  // 3: no emitters, a uniform direction instead
        camera->prepareMaterials();
        seedRandom(40 + scenery);
        const int n = 20000;
        double sum = 0.0, squares = 0.0;
        long long walkedTests = 0, everyTests = 0;
        for (int k = 0; k < n; k++) {
            HPoint direction = uniformSphereDirection();
            CountingTriangle::tests = 0;
            camera->testEveryEmitter = false;
            double density = 4.0 * 3.141592653589793 * camera->lightDensity(point, direction);
            walkedTests += CountingTriangle::tests;
            CountingTriangle::tests = 0;
            camera->testEveryEmitter = true;
            double every = 4.0 * 3.141592653589793 * camera->lightDensity(point, direction);
            everyTests += CountingTriangle::tests;
            ASSERT_EQ(density, every) << scenery;
            sum += density;
            squares += density * density;
        }
        double mean = sum / n, error = std::sqrt((squares / n - mean * mean) / (n - 1));
        EXPECT_NEAR(mean, 1.0, 5.0 * error + 1e-9) << scenery;
        if (scenery == 1) {
            EXPECT_LT(walkedTests * 10, everyTests);
        }
    }
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
