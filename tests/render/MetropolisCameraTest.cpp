#include "render/MetropolisCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/yafray/YafrayParser.h"
#include "render/MetropolisSupport.h"
#include "render/PathMetropolisCamera.h"
#include "render/SubPath.h"
#include "tests/render/RenderTestSupport.h"

namespace {


class MetropolisTest : public SceneInScratchFolder {
protected:
    void read(GScene& target, const std::string& xml) {
        YafrayParser parser(&target);
        captured([&] { parser.parseText(xml); });
        ASSERT_NE(target.camera, nullptr);
    }
    HPointImage render(GScene& target) {
        GCamera* camera = target.camera;
        camera->radianceFileName = "radiance.im";
        ColorImage frame;
        frame.resize(camera->width, camera->height);
        captured([&] { camera->render(frame); });
        HPointImage radiance;
        EXPECT_TRUE(radiance.read("radiance.im"));
        return radiance;
    }
};

// Without a diffuse-diffuse path in view the chain adds nothing: the result
// is the seed layer (which the seed path tracer leaves in radImage.im).
TEST_F(MetropolisTest, EmittersAndMirrorsComeFromTheSeedLayerAlone) {
    for (const char* renderType : {"metropolis", "pathMetropolis"}) {
        for (bool mirror : {false, true}) {
            GScene scene;
            seedRandom(3);
            read(scene, emitterScene(mirror, renderType, 2));
            HPointImage result = render(scene);
            HPointImage seed;
            ASSERT_TRUE(seed.read("radImage.im"));
            ASSERT_EQ(result.width, 2);
            for (int i = 0; i < 4; i++) {
                EXPECT_EQ(result.pixels[i].x, seed.pixels[i].x) << renderType << mirror << i;
                EXPECT_EQ(result.pixels[i].y, seed.pixels[i].y) << renderType << mirror << i;
                // Seen directly or through the mirror: the emission itself.
                EXPECT_NEAR(result.pixels[i].x, 0.3f, 1e-6f) << renderType << mirror << i;
                EXPECT_NEAR(result.pixels[i].y, 0.5f, 1e-6f) << renderType << mirror << i;
            }
            EXPECT_NE(console.find("normalisation b = 0 from "), std::string::npos) << console;
        }
    }
}

TEST(MetropolisRules, Acceptance) {
    struct Case {
        float L, current, tCurrent, tProposal, expected;
    } cases[] = {
        {0.5f, 0.0f, 1.0f, 1.0f, 1.0f},  // an empty chain takes the first bright path
        {0.5f, 0.0f, 0.0f, 0.0f, 1.0f},  // even when the transition factors are undefined
        {0.0f, 0.0f, 1.0f, 1.0f, 0.0f},  // a dark proposal never
        {2.0f, 1.0f, 1.0f, 1.0f, 2.0f},  // brighter: always (a >= 1)
        {0.5f, 1.0f, 1.0f, 1.0f, 0.5f},
        {0.5f, 1.0f, 3.0f, 1.5f, 1.0f},  // with the transition factors
        {0.5f, 1.0f, 0.0f, 0.0f, 0.0f},  // 0 / 0 rejects
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(acceptanceProbability(c.L, c.current, c.tCurrent, c.tProposal), c.expected)
            << c.L << " " << c.current << " " << c.tCurrent << " " << c.tProposal;
}

TEST_F(MetropolisTest, LensPerturbationsLeavingTheImageTraceNoRay) {
    read(scene, emitterScene(false, "metropolis", 2));
    MetropolisCamera* camera = static_cast<MetropolisCamera*>(scene.camera);
    camera->prepareSteps(2, 2);
    SubPath current, proposal;
    current.length = 2;
    current.eventType[1] = 'D';
    // Vertex 1 far to the side: hundreds of pixels off a 2 x 2 image.
    current.vertices[1].point = HPoint(-3.0f, 0.0f, -5.0f, 1.0f);
    seedRandom(4);
    unsigned before = camera->rayCounter;
    for (int i = 0; i < 200; i++) EXPECT_FALSE(camera->lensPerturbation(current, proposal, 2, 2));
    EXPECT_EQ(camera->rayCounter, before);
    // In the middle of the image some perturbations stay inside and trace.
    current.vertices[1].point = HPoint(0.0f, 0.0f, -5.0f, 1.0f);
    for (int i = 0; i < 200; i++) camera->lensPerturbation(current, proposal, 2, 2);
    EXPECT_GT(camera->rayCounter, before);
}

// A closed box of diffuse walls lit by one small emitting patch.
std::string closedBox(const char* renderType, int size) {
    std::string text =
        "<camera name='c' resx='" + std::to_string(size) + "' resy='" + std::to_string(size) +
        "' focal='1.2'><from x='0' y='0' z='0.9'/><to x='0' y='0' z='0'/></camera>"
        "<render camera_name='c' raydepth='2'><rendertype value='" + std::string(renderType) + "'/></render>"
        "<shader type='generic' name='wall'><attributes><color r='0.6' g='0.5' b='0.4'/></attributes></shader>"
        "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
        "<emissive r='8' g='8' b='8'/></attributes></shader>";
    // The six walls of the cube [-1, 1]^3 as quads (a, b, c, d).
    const char* walls[6] = {
        "-1 -1 -1  1 -1 -1  1 -1 1  -1 -1 1",  "-1 1 -1  -1 1 1  1 1 1  1 1 -1",
        "-1 -1 -1  -1 1 -1  1 1 -1  1 -1 -1",  "-1 -1 1  1 -1 1  1 1 1  -1 1 1",
        "-1 -1 -1  -1 -1 1  -1 1 1  -1 1 -1",  "1 -1 -1  1 1 -1  1 1 1  1 -1 1",
    };
    for (const char* wall : walls) {
        float v[12];
        std::sscanf(wall, "%f %f %f %f %f %f %f %f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &v[6], &v[7], &v[8], &v[9], &v[10], &v[11]);
        text += "<object shader_name='wall'><mesh><points>";
        for (int k = 0; k < 4; k++) {
            char point[96];
            std::snprintf(point, sizeof point, "<p x='%g' y='%g' z='%g'/>", v[3 * k], v[3 * k + 1], v[3 * k + 2]);
            text += point;
        }
        text += "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
    }
    // The lamp, facing down, half-way up to the ceiling: every surface it
    // lights is at least 0.5 away, so no connection reaches the cap of 20
    // on 1 / d^2 (which the path tracer's emitter sampling does not have).
    text += "<object shader_name='lamp'><mesh><points><p x='-0.2' y='0.5' z='-0.2'/>"
            "<p x='0.2' y='0.5' z='-0.2'/><p x='0.2' y='0.5' z='0.2'/><p x='-0.2' y='0.5' z='0.2'/>"
            "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
    return text;
}

double meanLuminance(const HPointImage& image, const HPointImage* minus) {
    double sum = 0.0;
    long long count = (long long)image.width * image.height;
    for (long long i = 0; i < count; i++) {
        HPoint p = image.pixels[i];
        if (minus) p.subtract(minus->pixels[i]);
        sum += 0.299 * p.x + 0.587 * p.y + 0.114 * p.z;
    }
    return sum / (double)count;
}

struct Estimates {
    std::vector<double> values;
    double mean() const {
        double sum = 0;
        for (double v : values) sum += v;
        return sum / values.size();
    }
    double variance() const {
        double m = mean(), sum = 0;
        for (double v : values) sum += (v - m) * (v - m);
        return sum / (values.size() - 1);
    }
};

// The chain layer of both Metropolis cameras holds the one-bounce indirect
// light (eye, diffuse, diffuse, emitter), which is also exactly what the
// path tracer's render shows at maxRayDepth 2. The image means of K runs
// with different seeds are compared: the difference of the two means lies
// within t sqrt(s1^2 / K + s2^2 / K), t = 4.78 being the two-sided 99.9 %
// quantile of Student's t for K - 1 = 9 degrees of freedom.
TEST_F(MetropolisTest, ChainLayerAgreesWithThePathTracersIndirectLight) {
    const int K = 10, size = 10;
    const double t = 4.78;
    for (const char* type : {"metropolis", "pathMetropolis", "pathTracing"})
        writeWholeFile(folder + "/" + type + ".xml", closedBox(type, size));
    Estimates pathTracer;
    for (int k = 0; k < K; k++) {
        CommandResult run = runVelk(folder, "pathTracing.xml -seed " + std::to_string(100 + k) +
                                                " -set samplesPerPixel 100 -radiance pt.im -o pt.ppm");
        ASSERT_EQ(run.status, 0) << run.err;
        HPointImage image;
        ASSERT_TRUE(image.read((folder + "/pt.im").c_str()));
        pathTracer.values.push_back(meanLuminance(image, nullptr));
    }
    for (const char* type : {"metropolis", "pathMetropolis"}) {
        Estimates chain;
        for (int k = 0; k < K; k++) {
            CommandResult run = runVelk(folder, std::string(type) + ".xml -seed " + std::to_string(200 + k) +
                                                    " -set mutationsPerPixel 300 -radiance m.im -o m.ppm");
            ASSERT_EQ(run.status, 0) << run.err;
            HPointImage result, seed;
            ASSERT_TRUE(result.read((folder + "/m.im").c_str()));
            ASSERT_TRUE(seed.read((folder + "/radImage.im").c_str()));
            chain.values.push_back(meanLuminance(result, &seed));
        }
        double tolerance = t * std::sqrt(chain.variance() / K + pathTracer.variance() / K);
        EXPECT_NEAR(chain.mean(), pathTracer.mean(), tolerance) << type;
        std::printf("%s chain layer %.5f, path tracer %.5f, difference %+.5f (tolerance %.5f)\n", type,
                    chain.mean(), pathTracer.mean(), chain.mean() - pathTracer.mean(), tolerance);
    }
}

// The share of fresh paths is the schedule's (every tenth step of the
// process), whatever the chain's history: on a one-pixel image the chain
// never leaves its pixel, so a rule drawing fresh paths for a chain that
// lingers would show at once.
TEST_F(MetropolisTest, FreshPathsAreEveryTenthStepWhereverTheChainStays) {
    writeWholeFile(folder + "/box.xml", closedBox("metropolis", 1));
    CommandResult run = runVelk(folder, "box.xml -seed 3 -set mutationsPerPixel 2000 -o m.ppm");
    ASSERT_EQ(run.status, 0) << run.err;
    size_t at = run.out.find("mutation fresh: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(std::atoll(run.out.c_str() + at + 16), 200) << run.out.substr(at, 80);
}

TEST_F(MetropolisTest, TheSameSeedGivesTheSameImage) {
    writeWholeFile(folder + "/box.xml", closedBox("metropolis", 6));
    writeWholeFile(folder + "/walk.xml", closedBox("pathMetropolis", 6));
    for (const char* file : {"box.xml", "walk.xml"}) {
        std::string base = std::string(file) + " -set mutationsPerPixel 50 -radiance ";
        ASSERT_EQ(runVelk(folder, base + "a.im -seed 5 -o a.ppm").status, 0);
        ASSERT_EQ(runVelk(folder, base + "b.im -seed 5 -o b.ppm").status, 0);
        ASSERT_EQ(runVelk(folder, base + "c.im -seed 6 -o c.ppm").status, 0);
        std::string a = readWholeFile(folder + "/a.im"), b = readWholeFile(folder + "/b.im"),
                    c = readWholeFile(folder + "/c.im");
        EXPECT_EQ(a, b) << file;
        EXPECT_NE(a, c) << file;
    }
}

TEST_F(MetropolisTest, ScenesWithoutEmittersAreTheSeedLayer) {
    for (const char* type : {"metropolis", "pathMetropolis"}) {
        GScene scene;
        read(scene, "<camera name='c' resx='3' resy='2'/><render camera_name='c'><rendertype value='" +
                        std::string(type) + "'/></render><object><sphere radius='0.5'/></object>");
        render(scene);
        EXPECT_NE(console.find("The scene has no emitters: the image is the seed layer alone.\n"),
                  std::string::npos)
            << type;
    }
}

}  // namespace
