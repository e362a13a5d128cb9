#include "render/UberCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/yafray/YafrayParser.h"
#include "tests/render/RenderTestSupport.h"

namespace {

class UberTest : public SceneInScratchFolder {
protected:
    UberCamera* read(const std::string& xml) {
        YafrayParser parser(&scene);
        captured([&] { parser.parseText(xml); });
        EXPECT_NE(scene.camera, nullptr);
        EXPECT_EQ(scene.camera->typeId(), ClassId::UberCamera);
        return static_cast<UberCamera*>(scene.camera);
    }
    HPointImage render(ColorImage& frame) {
        GCamera* camera = scene.camera;
        camera->radianceFileName = "radiance.im";
        frame.resize(camera->width, camera->height);
        captured([&] { camera->render(frame); });
        HPointImage radiance;
        EXPECT_TRUE(radiance.read("radiance.im"));
        return radiance;
    }
};

std::string renderElement(const char* mode, int size, const char* extra, const char* focal = "0.01") {
    return "<camera name='c' resx='" + std::to_string(size) + "' resy='" + std::to_string(size) +
           "' focal='" + focal + "'><from x='0' y='0' z='0'/><to x='0' y='0' z='-1'/></camera>"
           "<render camera_name='c' raydepth='2' " + std::string(extra) + "><rendertype value='uberPathTracing'/>"
           "<rendermode value='" + std::string(mode) + "'/></render>";
}

const char* const lampFacingTheCamera =
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
    "<emissive r='0.3' g='0.5' b='0.2'/></attributes></shader>"
    "<object shader_name='lamp'><mesh><points><p x='-1' y='-1' z='-5'/><p x='1' y='-1' z='-5'/>"
    "<p x='1' y='1' z='-5'/><p x='-1' y='1' z='-5'/></points><faces><f a='0' b='1' c='2' d='3'/>"
    "</faces></mesh></object>";

TEST_F(UberTest, PathTracingModeShowsAnEmitterAndItsAverage) {
    UberCamera* camera = read(renderElement("pathTracing", 2, "mindepth='0' AA_minsamples='3'") + lampFacingTheCamera);
    EXPECT_EQ(camera->minDepth, 0);
    EXPECT_EQ(camera->samples, 3);
    ColorImage frame;
    HPointImage radiance = render(frame);
    HPointImage one(1, 1);
    one.at(0, 0) = HPoint(0.3f, 0.5f, 0.2f, 1.0f);
    ColorImage expected;
    one.toneMap(expected, 1.0f);
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(radiance.pixels[i].y, 0.5f, 1e-6f);
        EXPECT_EQ(frame.pixels[i], expected.pixels[0]);
    }
    char line[64];
    std::snprintf(line, sizeof line, "averageLuminance = %0.8f\n", radiance.meanLuminance());
    EXPECT_NE(console.find(line), std::string::npos) << console;
}

// Lambert's form factor of a differential area at the origin (normal n)
// towards a polygon: 1 / (2 pi) sum over the edges of the angle between the
// unit vectors to its ends times n . their normalised cross product.
double formFactor(const HPoint& n, const HPoint* corners, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; i++) {
        HPoint a = corners[i], b = corners[(i + 1) % count];
        a.normalize();
        b.normalize();
        HPoint c = a.cross(b);
        double length = c.length();
        double angle = std::atan2(length, (double)a.dot(b));
        sum += angle * n.dot(c) / length;
    }
    return std::fabs(sum) / (2.0 * 3.14159265358979);
}

// numSplits 0: the split mode is a path tracer with light connections. A
// floor point of diffuse albedo A under an emitting polygon gets A x E x F,
// F the point-to-polygon form factor, plus the mirror colour x E when its
// mirror direction meets the lamp. One pass gives the mirror part / pS or a
// connection, E A cos cos area / (pi d^2 pD) at a uniform point of the lamp:
// its spread is at most half the largest of these (found on a fine grid),
// and the tolerance is four of those over sqrt(passes).
TEST_F(UberTest, SplitModeWithoutChainsConvergesToTheFormFactor) {
    const HPoint triangle[3] = {HPoint(-0.3f, 1.0f, -0.2f, 1), HPoint(0.4f, 1.2f, -0.1f, 1), HPoint(0.0f, 0.9f, 0.5f, 1)};
    // Upright, where the mirror direction of the view meets it (at y 0.25).
    const HPoint upright[4] = {HPoint(-1, 0.05f, -0.5f, 1), HPoint(-1, 1, -0.5f, 1), HPoint(-1, 1, 0.5f, 1),
                               HPoint(-1, 0.05f, 0.5f, 1)};
    // Under the floor: it lights only the underside, which the camera never sees.
    const HPoint below[3] = {HPoint(-0.3f, -1.0f, -0.2f, 1), HPoint(0.4f, -1.2f, -0.1f, 1), HPoint(0.0f, -0.9f, 0.5f, 1)};
    struct Case {
        float diffuse, mirror;
        const HPoint* lamp;
        int corners, maxDepth;
    } cases[] = {
        {0.5f, 0.0f, triangle, 3, 2},
        // The connection's vertex chose 'D' among two events.
        {0.4f, 0.4f, triangle, 3, 2},
        // The lamp (black colours: it scatters nothing) seen in the mirror
        // by a path shorter than maxDepth.
        {0.4f, 0.4f, upright, 4, 3},
        {0.5f, 0.0f, below, 3, 2},
    };
    const int passes = 20000;
    const float E = 2.0f;
    for (const Case& c : cases) {
        GScene own;
        YafrayParser parser(&own);
        std::string lamp = "<object shader_name='lamp'><mesh><points>";
        for (int i = 0; i < c.corners; i++)
            lamp += "<p x='" + std::to_string(c.lamp[i].x) + "' y='" + std::to_string(c.lamp[i].y) + "' z='" +
                    std::to_string(c.lamp[i].z) + "'/>";
        lamp += c.corners == 3 ? "</points><faces><f a='0' b='1' c='2'/>" : "</points><faces><f a='0' b='1' c='2' d='3'/>";
        lamp += "</faces></mesh></object>";
        char floor[256];
        std::snprintf(floor, sizeof floor,
                      "<shader type='generic' name='floor'><attributes><color r='%g' g='%g' b='%g'/>"
                      "<specular r='%g' g='%g' b='%g'/></attributes></shader>",
                      c.diffuse, c.diffuse, c.diffuse, c.mirror, c.mirror, c.mirror);
        captured([&] {
            parser.parseText(
                "<camera name='c' resx='1' resy='1' focal='0.002'><from x='2' y='0.5' z='0'/><to x='0' y='0' z='0'/>"
                "</camera><render camera_name='c' raydepth='" + std::to_string(c.maxDepth) +
                "' numSplits='0' AA_minsamples='" + std::to_string(passes) +
                "'><rendertype value='uberPathTracing'/></render>" + std::string(floor) +
                "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
                "<emissive r='2' g='2' b='2'/></attributes></shader>"
                "<object shader_name='floor'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/>"
                "<p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces>"
                "</mesh></object>" + lamp);
        });
        GCamera* camera = own.camera;
        camera->radianceFileName = "radiance.im";
        ColorImage frame;
        frame.resize(1, 1);
        seedRandom(8);
        captured([&] { camera->render(frame); });
        HPointImage radiance;
        ASSERT_TRUE(radiance.read("radiance.im"));

        const HPoint up(0, 1, 0, 1);
        const bool mirrorSeesLamp = c.lamp == upright;
        const float pD = c.diffuse / (c.diffuse + c.mirror);
        const double expected = c.lamp == below ? 0.0 : c.diffuse * E * formFactor(up, c.lamp, c.corners) + (mirrorSeesLamp ? c.mirror * E : 0.0);
        // The largest pass over the lamp: s, t on a grid of its triangle or parallelogram.
        HPoint e1 = c.lamp[1].difference(c.lamp[0]), e2 = c.lamp[c.corners - 1].difference(c.lamp[0]);
        HPoint lampNormal = e1.cross(e2);
        double area = (c.corners == 3 ? 0.5 : 1.0) * lampNormal.length();
        lampNormal.normalize();
        double high = mirrorSeesLamp ? c.mirror * E / (1.0f - pD) : 0.0;
        for (int i = 0; i <= 100; i++)
            for (int j = 0; j <= 100 && (c.corners == 4 || i + j <= 100); j++) {
                HPoint p = c.lamp[0].sum(e1.scaled(i / 100.0f)).sum(e2.scaled(j / 100.0f));
                double d2 = p.dot(p);
                HPoint toLamp = p;
                toLamp.normalize();
                double value = c.diffuse * E * area * toLamp.y * std::fabs(lampNormal.dot(toLamp)) /
                               (3.14159265358979 * d2 * pD);
                high = std::fmax(high, std::fabs(value));
            }
        const double tolerance = 4.0 * high / 2.0 / std::sqrt((double)passes);
        EXPECT_NEAR(radiance.at(0, 0).x, expected, tolerance) << c.diffuse << " " << c.maxDepth;
        EXPECT_NEAR(radiance.at(0, 0).z, expected, tolerance) << c.diffuse << " " << c.maxDepth;
        std::remove("radiance.im");
    }
}

TEST_F(UberTest, PathColourOfAHandBuiltPath) {
    UberCamera camera;
    UberPath path;
    // Eye - mirror - diffuse - light point: both events count.
    path.length = 3;
    path.eventColour[1] = HPoint(0.5f, 0.4f, 0.3f, 1);
    path.eventColour[2] = HPoint(0.9f, 0.9f, 0.8f, 1);
    path.eventProbability[1] = 0.6f;
    path.eventProbability[2] = 0.3f;
    path.geometryFactor[1] = 1.0f;
    path.geometryFactor[2] = 0.7f;
    path.endEmission = HPoint(2, 3, 4, 1);
    path.depthWeight = 0.5f;
    path.lightPdf = 4.0f;
    path.lightChoiceProbability = 0.25f;
    path.lightDistance2 = 2.0f;
    path.lightCosine = 0.8f;
    path.endsOnEmitter = false;
    camera.pathColour(path);
    const double pi = 3.14159265358979;
    double denominator = 0.5 * 0.6 * 0.3 * 4.0 * 0.25 * pi * 2.0;
    EXPECT_NEAR(path.colour.x, 2 * 0.5 * 0.9 * 0.7 * 0.8 / denominator, 1e-6);
    EXPECT_NEAR(path.colour.z, 4 * 0.3 * 0.8 * 0.7 * 0.8 / denominator, 1e-6);
    // Ending on an emitter hit by the walk: no light sampling, no light
    // cosine.
    path.endsOnEmitter = true;
    camera.pathColour(path);
    EXPECT_NEAR(path.colour.y, 3 * 0.4 * 0.9 * 0.7 / (0.5 * 0.6 * 0.3), 1e-5);
    path.length = 0;
    camera.pathColour(path);
    EXPECT_EQ(path.colour.x, 0.0f);
}

// Every thread of a parallel render has its own records, so a render sizes
// them for its depths: the eye, maxDepth bounces and the light point. Each
// starts on a cache line of its own (threads write theirs on every step) and
// its entries start as a fresh path's.
TEST_F(UberTest, PathRecordsAreSizedForTheRenderDepth) {
    const struct {
        int minDepth, maxDepth, capacity;
    } cases[] = {{0, 0, 2}, {2, 2, 4}, {2, 5, 7}, {7, 3, 9}, {2, 998, 1000}};
    for (const auto& c : cases) {
        UberCamera camera;
        camera.minDepth = c.minDepth;
        camera.maxDepth = c.maxDepth;
        camera.setUp(4, 4);
        for (const UberPath* record : {camera.chainCurrent.get(), camera.chainProposal.get()}) {
            ASSERT_EQ(record->capacity, c.capacity) << c.maxDepth;
            EXPECT_EQ((uintptr_t)record % cacheLineBytes, 0u) << c.maxDepth;
            EXPECT_EQ((uintptr_t)record->vertices % cacheLineBytes, 0u) << c.maxDepth;
            EXPECT_EQ((uintptr_t)record->eventType % cacheLineBytes, 0u) << c.maxDepth;
            const int last = record->capacity - 1;
            EXPECT_EQ(record->eventProbability[last], 1.0f) << c.maxDepth;
            EXPECT_EQ(record->geometryFactor[last], 1.0f) << c.maxDepth;
            EXPECT_EQ(record->eventType[last], 'D') << c.maxDepth;
            EXPECT_FALSE(record->isSpecular[last]) << c.maxDepth;
            EXPECT_EQ(record->vertices[last].object, nullptr) << c.maxDepth;
        }
    }
    // A later render that goes deeper gets larger records.
    UberCamera camera;
    camera.maxDepth = 3;
    camera.setUp(4, 4);
    camera.maxDepth = 12;
    camera.setUp(4, 4);
    EXPECT_EQ(camera.chainCurrent->capacity, 14);
}

// An empty scene rejects every proposal (every mutation misses).
class UberChainTest : public SceneInScratchFolder {
protected:
    UberCamera* camera = nullptr;
    UberPath start;
    void SetUp() override {
        SceneInScratchFolder::SetUp();
        camera = keep(new UberCamera());
        camera->setView(HPoint(0, 0, 0, 1), HPoint(0, 0, -1, 1), HPoint(0, 1, 0, 1), 0.8f);
        camera->setScene(&scene);
        scene.camera = camera;
        camera->setUp(16, 16);
        start.colour = HPoint(0.2f, 0.4f, 0.6f, 1.0f);
        start.rasterX = 5.5f;
        start.rasterY = 7.25f;
        start.vertices[1].point = HPoint(0.1f, 0.1f, -2.0f, 1);
        start.vertices[2].point = HPoint(0.1f, 1.0f, -2.0f, 1);
        seedRandom(12);
    }
    double resultSum() const {
        double sum = 0.0;
        for (int i = 0; i < 16 * 16; i++) sum += camera->result.pixels[i].x;
        return sum;
    }
};

TEST_F(UberChainTest, StuckChainsStopDepositing) {
    // Eye - diffuse - light point: not all specular, so it can get stuck.
    start.length = 2;
    start.eventType[1] = 'D';
    start.isSpecular[1] = false;
    camera->runChain(start, 3.0f, 3000);
    EXPECT_EQ(camera->chainSamples, 1000.0);
    EXPECT_EQ(camera->stuckSamples, 2000.0);
    // 1000 deposits of colour / luminance x 3 / 3000, all on its pixel.
    const float luminance = 0.299f * 0.2f + 0.587f * 0.4f + 0.114f * 0.6f;
    EXPECT_NEAR(camera->result.at(5, 7).x, 1000 * 0.2f / luminance * 3.0f / 3000.0f, 1e-3f);
    EXPECT_NEAR(resultSum(), camera->result.at(5, 7).x, 1e-6);
}

TEST_F(UberChainTest, FirstStepRejectionsAreCounted) {
    // A path that no lens or caustic perturbation can move (eye - emitter)
    // leaves the rejection count of its pixel alone but for the first step.
    start.length = 1;
    start.endsOnEmitter = true;
    camera->runChain(start, 1.0f, 5);
    double total = 0.0;
    for (int i = 0; i < 16 * 16; i++) total += camera->rejections.pixels[i];
    EXPECT_EQ(camera->rejections.at(5, 7), 1.0f);
    EXPECT_EQ(total, 1.0);
    // All of its vertices between the ends are specular (there are none):
    // it never counts as stuck.
    EXPECT_EQ(camera->stuckSamples, 0.0);
}

// With three depths a large step's path carries 1 / 3 in its denominator
// (the chance of its depth); the seed must too, or large steps look three
// times brighter than they are against it and are accepted too often.
TEST_F(UberChainTest, SeedsAreWeighedLikeLargeSteps) {
    start.length = 2;
    start.eventType[1] = 'D';
    start.eventColour[1] = HPoint(0.5f, 0.5f, 0.5f, 1);
    start.endEmission = HPoint(1, 1, 1, 1);
    camera->pathColour(start);
    camera->minDepth = 2;
    camera->maxDepth = 4;
    camera->runChain(start, 1.0f, 3);  // every proposal misses: the seed stays
    EXPECT_NEAR(camera->chainCurrent->colour.x, 3.0f * start.colour.x, 1e-6f);
    EXPECT_EQ(camera->chainCurrent->depthWeight, 1.0f / 3.0f);
}

// A path asking for u = 1e-6 chains starts one in a million times: a
// roulette drawn with 15 bits would start one in every 32768 at least. Each
// chain here is one step; over 2e6 paths the count is Poisson with mean 2.
TEST_F(UberChainTest, RouletteStartsChainsAsRarelyAsAsked) {
    start.length = 2;
    camera->chainLength = 1;
    const int paths = 2000000;
    for (int i = 0; i < paths; i++) camera->seedChains(start, 1.0f, 1e-6);
    const double mean = paths * 1e-6;
    EXPECT_LE(camera->chainSamples + camera->stuckSamples, mean + 5.0 * std::sqrt(mean));
}

TEST_F(UberChainTest, PostFilterClampsItsFactor) {
    camera->postFilter = 1;
    for (int i = 0; i < 16 * 16; i++) camera->result.pixels[i] = HPoint(1, 1, 1, 1);
    // A pixel rejected once among neighbours rejected four times: factor
    // 33 / 9 clamped to 1.1; one rejected 20 times among none: 20 / 180
    // clamped to 0.9; a border pixel is never filtered.
    camera->rejections.at(4, 4) = 1.0f;
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            if (dx || dy) camera->rejections.at(4 + dx, 4 + dy) = 4.0f;
    camera->rejections.at(10, 10) = 20.0f;
    camera->rejections.at(0, 8) = 5.0f;
    camera->postFilterImage();
    EXPECT_FLOAT_EQ(camera->result.at(4, 4).x, 1.1f);
    EXPECT_FLOAT_EQ(camera->result.at(10, 10).x, 0.9f);
    EXPECT_FLOAT_EQ(camera->result.at(0, 8).x, 1.0f);
    EXPECT_FLOAT_EQ(camera->result.at(12, 12).x, 1.0f);  // no rejections
}

TEST_F(UberTest, InvalidSettingsAreRefusedBeforeRendering) {
    struct Case {
        const char* mode;
        int minDepth, maxDepth;
        const char* message;
    } cases[] = {
        {"mlt", 2, 2, "UberCamera: mode mlt needs maxDepth 3 or more (minDepth 2, maxDepth 2, samples 1); nothing is rendered: set maxDepth to 3 or more.\n"},
        {"", 3, 2, "UberCamera: minDepth is above maxDepth (minDepth 3, maxDepth 2, samples 1); nothing is rendered: set minDepth to maxDepth or less.\n"},
        {"", 2, 5000, "UberCamera: the depths must lie in 0 .. 998 (minDepth 2, maxDepth 5000, samples 1); nothing is rendered: set minDepth and maxDepth within 0 .. 998.\n"},
    };
    for (const Case& c : cases) {
        GScene own;
        YafrayParser parser(&own);
        captured([&] { parser.parseText(renderElement(c.mode, 2, "AA_minsamples='1'") + lampFacingTheCamera); });
        UberCamera* camera = static_cast<UberCamera*>(own.camera);
        camera->minDepth = c.minDepth;
        camera->maxDepth = c.maxDepth;
        ColorImage frame;
        frame.resize(2, 2);
        captured([&] { camera->render(frame); });
        EXPECT_EQ(console, c.message);
        EXPECT_EQ(camera->rayCounter, 0u);
    }
}

// A sphere beside the lamp on a floor: lit directly and by bounces.
std::string floorAndSphere(const char* settings) {
    return renderElement("", 8, settings, "0.8") +
           "<shader type='generic' name='grey'><attributes><color r='0.7' g='0.7' b='0.7'/>"
           "</attributes></shader>" + lampFacingTheCamera +
           "<object shader_name='grey'><sphere radius='0.5'><center x='1.2' y='0' z='-4'/></sphere>"
           "<mesh><points><p x='-5' y='-1' z='-8'/><p x='-5' y='-1' z='0'/><p x='5' y='-1' z='0'/>"
           "<p x='5' y='-1' z='-8'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
}

// Paths of depth 3 all seed chains. A path asks for chains by its
// brightness against the average, whatever the passes: 64 passes run about
// 16 times the chain steps of 4 (a budget fixed per render gives about the
// same for both). The counts hang on the few bright paths that ask for many
// chains, so the test asks for the geometric middle, 4 times: a factor 4
// from either answer.
TEST_F(UberTest, ChainStepsGrowWithThePasses) {
    double steps[2];
    const int passes[2] = {4, 64};
    for (int i = 0; i < 2; i++) {
        GScene own;
        YafrayParser parser(&own);
        captured([&] { parser.parseText(floorAndSphere("mindepth='3' raydepth='3'")); });
        UberCamera* camera = static_cast<UberCamera*>(own.camera);
        camera->minDepth = camera->maxDepth = 3;
        camera->samples = passes[i];
        camera->numSplits = 4;
        ColorImage frame;
        frame.resize(8, 8);
        seedRandom(5);
        captured([&] { camera->render(frame); });
        steps[i] = camera->chainSamples + camera->stuckSamples;
        std::remove("image.ppm");
    }
    ASSERT_GT(steps[0], 30.0);
    EXPECT_GT(steps[1], 4.0 * steps[0]) << steps[0] << " " << steps[1];
}

TEST_F(UberTest, TheSameSeedGivesTheSameImage) {
    std::string box = floorAndSphere("AA_minsamples='3' numSplits='4' chainLength='20'");
    writeWholeFile(folder + "/split.xml", box);
    for (const char* mode : {"split", "mlt"}) {
        std::string options = std::string("split.xml -set renderMode ") + mode + " -set maxDepth 4 -radiance ";
        ASSERT_EQ(runVelk(folder, options + "a.im -seed 3 -o a.ppm").status, 0);
        ASSERT_EQ(runVelk(folder, options + "b.im -seed 3 -o b.ppm").status, 0);
        ASSERT_EQ(runVelk(folder, options + "c.im -seed 4 -o c.ppm").status, 0);
        std::string a = readWholeFile(folder + "/a.im");
        EXPECT_TRUE(a == readWholeFile(folder + "/b.im")) << mode;
        EXPECT_TRUE(a != readWholeFile(folder + "/c.im")) << mode;
    }
}

}  // namespace
