#include "render/SplatSlots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "foundation/Parallel.h"
#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/yafray/YafrayParser.h"
#include "render/BidirectionalCamera.h"
#include "render/MetropolisCamera.h"
#include "render/MisBidirectionalCamera.h"
#include "render/PathMetropolisCamera.h"
#include "render/PrimarySampleMetropolisCamera.h"
#include "render/UberCamera.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// Puts back the thread settings a test found.
class ThreadSettingsKeeper {
public:
    ThreadSettingsKeeper() : saved(threadSettings()) {}
    ~ThreadSettingsKeeper() { setThreadSettings(saved); }

private:
    ThreadSettings saved;
};

// The renderers that splat or run chains, each set for a tiny closed box:
// light tracing on in the bidirectional camera, chains in the uber split mode.
struct Renderer {
    const char* name;
    const char* renderType;
    void (*configure)(GCamera* camera);
    bool sameSamplesForEveryN;  // streams per row or pixel: only the order of the sums differs
};

const Renderer renderers[] = {
    {"bidirectional", "bidirectionalPathTracing",
     [](GCamera* c) {
         BidirectionalCamera* camera = static_cast<BidirectionalCamera*>(c);
         camera->minEyeVertex = 0;
         camera->maxLightVertices = 2;
         camera->samplesPerPixel = 8;
     },
     true},
    {"metropolis", "metropolis", [](GCamera* c) { static_cast<MetropolisCamera*>(c)->mutationsPerPixel = 100; },
     false},
    {"pathMetropolis", "pathMetropolis",
     [](GCamera* c) { static_cast<PathMetropolisCamera*>(c)->mutationsPerPixel = 100; }, false},
    {"uber split", "uberPathTracing",
     [](GCamera* c) {
         UberCamera* camera = static_cast<UberCamera*>(c);
         camera->minDepth = 2;
         camera->maxDepth = 3;
         camera->samples = 4;
         camera->numSplits = 4;
         camera->chainLength = 10;
     },
     true},
    {"uber mlt", "uberPathTracing",
     [](GCamera* c) {
         UberCamera* camera = static_cast<UberCamera*>(c);
         camera->renderMode = "mlt";
         camera->maxDepth = 4;
         camera->samples = 100;
     },
     false},
    {"misBidirectional", "misBidirectional",
     [](GCamera* c) {
         MisBidirectionalCamera* camera = static_cast<MisBidirectionalCamera*>(c);
         camera->samplesPerPixel = 8;
         camera->maxDepth = 3;
     },
     true},
    // The same chains for every N, but deposits of widely varying weight: their
    // sums round differently per share, beyond the bound of the check for it.
    {"primarySampleMetropolis", "primarySampleMetropolis",
     [](GCamera* c) {
         PrimarySampleMetropolisCamera* camera = static_cast<PrimarySampleMetropolisCamera*>(c);
         camera->maxDepth = 3;
         camera->mutationsPerPixel = 100;
         camera->chains = 8;
         camera->bootstrap = 1000;
     },
     false},
};

class ParallelSplatting : public SceneInScratchFolder {
protected:
    ThreadSettingsKeeper keeper;

    // The renderer's floating-point result for the seed on the given number
    // of threads (0: no -threads at all); console keeps what it printed.
    HPointImage render(const Renderer& renderer, uint32_t seed, int threads) {
        GScene own;
        YafrayParser parser(&own);
        captured([&] { parser.parseText(closedBox(renderer.renderType, 6)); });
        EXPECT_NE(own.camera, nullptr);
        HPointImage result;
        if (!own.camera) return result;
        renderer.configure(own.camera);
        own.camera->resultImage = &result;
        ThreadSettings settings;
        settings.threads = threads > 0 ? threads : 1;
        settings.unitStreams = threads > 0;
        settings.seed = seed;
        setThreadSettings(settings);
        seedRandom(seed);
        ColorImage frame;
        frame.resize(own.camera->getWidth(), own.camera->getHeight());
        captured([&] { own.camera->render(frame); });
        for (const char* file : {"image.ppm", "temp.ppm", "radImage.im"}) std::remove(file);
        return result;
    }

    static std::string bytes(const HPointImage& image) {
        return std::string((const char*)image.pixels, sizeof(HPoint) * (size_t)image.width * image.height);
    }

    static double meanLuminance(const HPointImage& image) {
        double sum = 0.0;
        long long count = (long long)image.width * image.height;
        for (long long i = 0; i < count; i++)
            sum += 0.299 * image.pixels[i].x + 0.587 * image.pixels[i].y + 0.114 * image.pixels[i].z;
        return count > 0 ? sum / (double)count : 0.0;
    }

    // The number in the last "| %d rays" or "%d rays" line.
    static long long rays(const std::string& console) {
        size_t at = console.rfind(" rays\n");
        if (at == std::string::npos) return -1;
        size_t start = console.find_last_not_of("0123456789", at - 1) + 1;
        return std::atoll(console.c_str() + start);
    }
};

TEST_F(ParallelSplatting, TheSameSeedAndThreadsGiveTheSameImage) {
    for (const Renderer& renderer : renderers) {
        HPointImage first = render(renderer, 11, 3);
        HPointImage second = render(renderer, 11, 3);
        ASSERT_EQ(first.width, 6) << renderer.name;
        EXPECT_GT(meanLuminance(first), 0.0) << renderer.name;
        EXPECT_TRUE(bytes(first) == bytes(second)) << renderer.name;
    }
}

// The image mean of K seeds on one thread against K seeds on three: the
// means differ by at most t sqrt(s1^2 / K + s3^2 / K), t = 4.14 being the
// two-sided 99.9 % quantile of Student's t for 2K - 2 = 14 degrees of
// freedom. Per seed the mean has a relative error of a few per cent, so a
// slot left out of the sum, or chains that take the whole budget each (a
// third or three times the light), is far outside. The renderers whose rows
// or pixels draw from their own streams trace the same paths for
// every N: the same rays, and means equal to rounding.
TEST_F(ParallelSplatting, ImageMeansAgreeAcrossThreadCounts) {
    const int K = 8;
    const double t = 4.14;
    for (const Renderer& renderer : renderers) {
        Estimates one, three;
        for (int k = 0; k < K; k++) {
            one.values.push_back(meanLuminance(render(renderer, 100 + k, 1)));
            long long raysOnOne = rays(console);
            three.values.push_back(meanLuminance(render(renderer, 200 + k, 3)));
            if (renderer.sameSamplesForEveryN) {
                double again = meanLuminance(render(renderer, 100 + k, 3));
                EXPECT_NEAR(again, one.values.back(), 1e-5 * one.values.back()) << renderer.name;
                EXPECT_EQ(rays(console), raysOnOne) << renderer.name;
            }
        }
        double tolerance = t * std::sqrt(one.variance() / K + three.variance() / K);
        EXPECT_NEAR(three.mean(), one.mean(), tolerance) << renderer.name;
        EXPECT_GT(one.mean(), 0.0) << renderer.name;
    }
}

}  // namespace

// The snapshots of a parallel render tone-map the slots' sum pixel by pixel
// instead of through a scratch image: the frame must be the one the scratch
// image gave, for every slot count, with sums whose rounding depends on the
// order they are added in.
TEST(SplatSlotsSnapshot, ToneMappedSumIsTheFrameOfTheSummedImage) {
    for (int count = 1; count <= 3; count++) {
        HPointImage main(5, 3);
        SplatSlots slots(main, count);
        std::mt19937 draws(17u + (uint32_t)count);  // its own stream: the run's stays as it was
        auto draw = [&]() { return (float)(draws() >> 8) * (1.0f / 16777216.0f); };
        for (int k = 0; k < count; k++)
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < 5; x++)
                    slots.image(k).at(x, y) = HPoint(draw() * 3.0f, 1e-7f + draw(), draw() * 0.3f, 1.0f);
        HPointImage scratch;
        ColorImage expected, frame;
        slots.summed(scratch).toneMap(expected, 1.7f);
        slots.toneMapSum(frame, 1.7f);
        ASSERT_EQ(frame.width, 5) << count;
        ASSERT_EQ(frame.height, 3) << count;
        EXPECT_EQ(0, std::memcmp(frame.pixels, expected.pixels, sizeof(frame.pixels[0]) * 15)) << count;
    }
}
