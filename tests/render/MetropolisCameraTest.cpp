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

namespace {

std::string quadObject(const char* shader, const float (&corners)[4][3]) {
    std::string text = std::string("<object shader_name='") + shader + "'><mesh><points>";
    for (const auto& c : corners) {
        char point[96];
        std::snprintf(point, sizeof point, "<p x='%g' y='%g' z='%g'/>", c[0], c[1], c[2]);
        text += point;
    }
    return text + "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
}

const char* const greyShader =
    "<shader type='generic' name='grey'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='bright'><attributes><color r='0' g='0' b='0'/>"
    "<emissive r='10' g='10' b='10'/></attributes></shader>";

// A chain layer: the render's radiance minus the seed layer it left.
HPointImage chainLayer(const HPointImage& result) {
    HPointImage seed, layer;
    EXPECT_TRUE(seed.read("radImage.im"));
    layer.copyFrom(result);
    for (long long i = 0; i < (long long)layer.width * layer.height; i++) layer.pixels[i].subtract(seed.pixels[i]);
    return layer;
}

double luminanceAt(const HPointImage& image, int column, int row) {
    const HPoint& p = image.at(column, row);
    return 0.299 * p.x + 0.587 * p.y + 0.114 * p.z;
}

}  // namespace

// A table top (one quad) between a lamp and the floor, the camera looking at
// the floor in its shadow: the lit top sends nothing through itself, so the
// chain finds no light and the image is the seed layer (black).
TEST_F(MetropolisTest, NoLightPassesThroughASingleSidedOccluder) {
    const float floor[4][3] = {{-4, 0, -4}, {-4, 0, 4}, {4, 0, 4}, {4, 0, -4}};
    const float top[4][3] = {{-1, 0.5f, -1}, {-1, 0.5f, 1}, {1, 0.5f, 1}, {1, 0.5f, -1}};
    const float lamp[4][3] = {{-0.2f, 1.5f, -0.2f}, {0.2f, 1.5f, -0.2f}, {0.2f, 1.5f, 0.2f}, {-0.2f, 1.5f, 0.2f}};
    read(scene, std::string("<camera name='c' resx='4' resy='4' focal='0.1'><from x='2.5' y='0.45' z='0'/>"
                            "<to x='0' y='0' z='0'/><up x='0' y='1' z='0'/></camera><render camera_name='c'>"
                            "<rendertype value='metropolis'/></render>") +
                    greyShader + quadObject("grey", floor) + quadObject("grey", top) + quadObject("bright", lamp));
    static_cast<MetropolisCamera*>(scene.camera)->mutationsPerPixel = 300;
    seedRandom(5);
    HPointImage layer = chainLayer(render(scene));
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++) EXPECT_EQ(luminanceAt(layer, column, row), 0.0) << column << row;
    EXPECT_NE(console.find("normalisation b = 0 from "), std::string::npos) << console;
}

// A plane-mirror caustic from paths without eye vertices (light tracing):
// a lamp 1 above a mirror floor, a diffuse ceiling at 2 seen from below
// beside the lamp, lit only by the lamp's mirror image (the chain layer
// holds no direct light). The lamp emits from both faces, so it lights the
// ceiling through the mirror whether its front faces the mirror or not.
// Closed form per image row: the image's irradiance by the midpoint rule,
// times rho / pi. Checked over K seeds with Student's t (99.9 %, 9 degrees
// of freedom): the image mean (the fresh paths' mean: the splat weight) and
// the ratio of the two halves' means nearer and farther from the lamp (the
// chain's distribution: its transition factors).
TEST_F(MetropolisTest, LightTracedCausticsAgreeWithTheirClosedForm) {
    const int K = 10, size = 4;
    const double t = 4.78, Le = 10.0, rho = 0.5, fovy = 1.2, pi = 3.14159265358979;
    const double half = 1.5 * std::tan(fovy / 2);
    auto radiance = [&](double x, double z) {
        const int n = 16;
        const double h = 0.4 / n;
        double sum = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                double dx = x - (-0.2 + (i + 0.5) * h), dy = 3.0, dz = z - (-0.2 + (j + 0.5) * h);
                double r2 = dx * dx + dy * dy + dz * dz;
                sum += dy * dy / (r2 * r2) * h * h;
            }
        return rho / pi * Le * sum;
    };
    // Rows run along x (the camera's up), from the lamp outwards.
    double rowExact[size];
    for (int row = 0; row < size; row++) {
        const int n = 8;
        double sum = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < 4 * n; j++)
                sum += radiance(2.2 - half + (row + (i + 0.5) / n) * 2 * half / size,
                                -half + (j + 0.5) * 2 * half / (4 * n));
        rowExact[row] = sum / (4 * n * n);
    }
    const double exactMean = (rowExact[0] + rowExact[1] + rowExact[2] + rowExact[3]) / 4;
    const double exactRatio = (rowExact[0] + rowExact[1]) / (rowExact[2] + rowExact[3]);

    const float mirror[4][3] = {{-6, 0, -6}, {-6, 0, 6}, {6, 0, 6}, {6, 0, -6}};
    const float ceiling[4][3] = {{-6, 2, -6}, {6, 2, -6}, {6, 2, 6}, {-6, 2, 6}};
    const float down[4][3] = {{-0.2f, 1, -0.2f}, {0.2f, 1, -0.2f}, {0.2f, 1, 0.2f}, {-0.2f, 1, 0.2f}};
    const float up[4][3] = {{-0.2f, 1, 0.2f}, {0.2f, 1, 0.2f}, {0.2f, 1, -0.2f}, {-0.2f, 1, -0.2f}};
    for (bool facesMirror : {true, false}) {
        GScene target;
        read(target, std::string("<camera name='c' resx='4' resy='4' focal='1.2'><from x='2.2' y='0.5' z='0'/>"
                                 "<to x='2.2' y='2' z='0'/><up x='1' y='0' z='0'/></camera><render camera_name='c'>"
                                 "<rendertype value='metropolis'/></render>"
                                 "<shader type='generic' name='mirror'><attributes><color r='0' g='0' b='0'/>"
                                 "<specular r='1' g='1' b='1'/></attributes></shader>") +
                         greyShader + quadObject("mirror", mirror) + quadObject("grey", ceiling) +
                         quadObject("bright", facesMirror ? down : up));
        MetropolisCamera* camera = static_cast<MetropolisCamera*>(target.camera);
        camera->minEyeVertex = camera->maxEyeVertices = 0;
        camera->minLightVertex = camera->maxLightVertices = 2;
        camera->mutationsPerPixel = 10000;
        Estimates mean, ratio;
        for (int k = 0; k < K; k++) {
            seedRandom(300 + k);
            HPointImage layer = chainLayer(render(target));
            double rows[size] = {0, 0, 0, 0};
            for (int row = 0; row < size; row++)
                for (int column = 0; column < size; column++) rows[row] += luminanceAt(layer, column, row) / size;
            mean.values.push_back((rows[0] + rows[1] + rows[2] + rows[3]) / 4);
            ratio.values.push_back((rows[0] + rows[1]) / (rows[2] + rows[3]));
        }
        EXPECT_NEAR(mean.mean(), exactMean, t * std::sqrt(mean.variance() / K)) << facesMirror;
        EXPECT_NEAR(ratio.mean(), exactRatio, t * std::sqrt(ratio.variance() / K)) << facesMirror;
        std::printf("lamp %s the mirror: mean %.5f (exact %.5f, se %.5f), ratio %.4f (exact %.4f, se %.4f)\n",
                    facesMirror ? "facing" : "turned from", mean.mean(), exactMean,
                    std::sqrt(mean.variance() / K), ratio.mean(), exactRatio, std::sqrt(ratio.variance() / K));
    }
}

// A perturbation keeps the event types, so the chances of choosing them at
// the re-traced vertices (part of every path's L) cancel in the acceptance:
// with the geometry unchanged, Tcur / Tprop is the proposal's chances over
// the current path's, for the caustic (1) and the lens (2) perturbation.
TEST(MetropolisRules, TransitionFactorsCarryTheEventChances) {
    MetropolisCamera camera;
    camera.viewDirection = HPoint(0.0f, 0.0f, -1.0f, 0.0f);
    SubPath current, proposal;
    // Eye, a diffuse floor, a diffuse wall, the emitter point.
    const HPoint points[4] = {HPoint(0, 0.5f, 0, 1), HPoint(0, 0, -1, 1), HPoint(-1, 0.5f, -1, 1),
                              HPoint(0, 1, -1, 1)};
    const HPoint normals[4] = {HPoint(0, 0, -1, 0), HPoint(0, 1, 0, 0), HPoint(1, 0, 0, 0), HPoint(0, -1, 0, 0)};
    const int types[4] = {'E', 'D', 'D', 'L'};
    for (int i = 0; i < 4; i++)
        setEndVertex(current, i, points[i], normals[i], nullptr, HPoint(1, 1, 1, 1), types[i]);
    current.length = 3;
    current.eyeLength = 2;
    proposal.copyFrom(current);
    current.eventProbability[1] = 0.5f;  // a glossy floor where the chain is
    proposal.eventProbability[1] = 1.0f;  // a diffuse one where it goes
    for (int type : {1, 2}) {
        float currentFactor, proposalFactor;
        camera.transitionFactor(current, proposal, type, currentFactor, proposalFactor);
        EXPECT_FLOAT_EQ(currentFactor / proposalFactor, 2.0f) << type;
    }
}

// The joined paths of this camera never join at a mirror or refractor: such
// a vertex scatters into one direction only, so a join there has no density.
TEST_F(MetropolisTest, JoinsAtSpecularVerticesFail) {
    read(scene, emitterScene(false, "metropolis", 2));
    MetropolisCamera* camera = static_cast<MetropolisCamera*>(scene.camera);
    GSphere* marked = keep(new GSphere());  // an object for the eye end; not in the scene
    struct Case {
        bool eyeEndSpecular, lightEndSpecular, joins;
    } cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
    for (const Case& c : cases) {
        SubPath eye, light;
        setEndVertex(eye, 0, HPoint(0, 0, 0, 1), HPoint(0, 0, -1, 0), nullptr, HPoint(1, 1, 1, 1), 'E');
        setEndVertex(eye, 1, HPoint(0, 0, -1, 1), HPoint(0, 0, -1, 0), marked, HPoint(1, 1, 1, 1), 'D');
        eye.isSpecular[1] = c.eyeEndSpecular;
        eye.length = 1;
        setEndVertex(light, 0, HPoint(0, 0, -3, 1), HPoint(0, 0, 1, 0), nullptr, HPoint(1, 1, 1, 1), 'L');
        setEndVertex(light, 1, HPoint(0, 0, -2, 1), HPoint(0, 0, 1, 0), nullptr, HPoint(1, 1, 1, 1), 'D');
        light.isSpecular[1] = c.lightEndSpecular;
        light.length = 1;
        EXPECT_EQ(camera->joinSubPaths(eye, light), c.joins) << c.eyeEndSpecular << c.lightEndSpecular;
    }
}

// The chain layer holds the paths eye - diffuse - diffuse - emitter, and the
// specular part of a glossy sphere (diffuse plus mirror colours) takes no
// part in them: its chain layer is the path tracer's one-bounce indirect
// light of the same box with the sphere's diffuse colour alone. Compared on
// the pixels wholly on the sphere and on the others, as the agreement test
// above does.
TEST_F(MetropolisTest, GlossySpheresChainLayerIsItsDiffuseParts) {
    const int K = 10, size = 8;
    const double t = 4.78, fovy = 1.2;
    const char* centre = "<center x='0' y='-0.5' z='-0.3'/>";
    auto withSphere = [&](const char* renderType, bool glossy) {
        return closedBox(renderType, size) +
               "<shader type='generic' name='ball'><attributes><color r='0.5' g='0.5' b='0.5'/>" +
               (glossy ? "<specular r='0.8' g='0.8' b='0.8'/>" : "") +
               "</attributes></shader><object shader_name='ball'><sphere radius='0.5'>" + centre +
               "</sphere></object>";
    };
    writeWholeFile(folder + "/glossy.xml", withSphere("metropolis", true));
    writeWholeFile(folder + "/diffuse.xml", withSphere("pathTracing", false));
    // Pixels whose four corners see the sphere (the camera of closedBox: at
    // z = 0.9 looking down -z, rows from the bottom).
    std::vector<bool> onSphere(size * size);
    const double step = 2 * std::tan(fovy / 2) / size;
    for (int row = 0; row < size; row++)
        for (int column = 0; column < size; column++) {
            int corners = 0;
            for (int i = 0; i < 4; i++) {
                double dx = (column + i % 2 - size / 2.0) * step, dy = (row + i / 2 - size / 2.0) * step, dz = -1;
                double ox = 0, oy = 0.5, oz = 1.2;  // the eye minus the centre
                double a = dx * dx + dy * dy + dz * dz, b = ox * dx + oy * dy + oz * dz;
                if (b * b - a * (ox * ox + oy * oy + oz * oz - 0.25) > 0) corners++;
            }
            onSphere[row * size + column] = corners == 4;
        }
    auto regionMeans = [&](const HPointImage& image, const HPointImage* minus, double& sphere, double& rest) {
        double sums[2] = {0, 0};
        int counts[2] = {0, 0};
        for (int i = 0; i < size * size; i++) {
            HPoint p = image.pixels[i];
            if (minus) p.subtract(minus->pixels[i]);
            sums[onSphere[i]] += 0.299 * p.x + 0.587 * p.y + 0.114 * p.z;
            counts[onSphere[i]]++;
        }
        ASSERT_GT(counts[1], 4);
        rest = sums[0] / counts[0];
        sphere = sums[1] / counts[1];
    };
    Estimates chain[2], pathTracer[2];
    for (int k = 0; k < K; k++) {
        CommandResult run = runVelk(folder, "diffuse.xml -seed " + std::to_string(100 + k) +
                                                " -set samplesPerPixel 200 -radiance pt.im -o pt.ppm");
        ASSERT_EQ(run.status, 0) << run.err;
        HPointImage image;
        ASSERT_TRUE(image.read((folder + "/pt.im").c_str()));
        double sphere, rest;
        regionMeans(image, nullptr, sphere, rest);
        pathTracer[0].values.push_back(sphere);
        pathTracer[1].values.push_back(rest);
        run = runVelk(folder, "glossy.xml -seed " + std::to_string(200 + k) +
                                  " -set mutationsPerPixel 1000 -radiance m.im -o m.ppm");
        ASSERT_EQ(run.status, 0) << run.err;
        HPointImage result, seed;
        ASSERT_TRUE(result.read((folder + "/m.im").c_str()));
        ASSERT_TRUE(seed.read((folder + "/radImage.im").c_str()));
        regionMeans(result, &seed, sphere, rest);
        chain[0].values.push_back(sphere);
        chain[1].values.push_back(rest);
    }
    for (int r = 0; r < 2; r++) {
        double tolerance = t * std::sqrt(chain[r].variance() / K + pathTracer[r].variance() / K);
        EXPECT_NEAR(chain[r].mean(), pathTracer[r].mean(), tolerance) << (r ? "rest" : "sphere");
        std::printf("%s: chain layer %.5f, path tracer %.5f (tolerance %.5f)\n", r ? "rest" : "sphere",
                    chain[r].mean(), pathTracer[r].mean(), tolerance);
    }
}
