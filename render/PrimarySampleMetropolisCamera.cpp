#include "render/PrimarySampleMetropolisCamera.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "render/MisBidirectionalCamera.h"
#include "render/MisPath.h"
#include "render/PrimarySampleVector.h"
#include "render/SplatSlots.h"

static const char* const strategyChoices[] = {"multiplexed", "plain", nullptr};

PrimarySampleMetropolisCamera::PrimarySampleMetropolisCamera()
    : maxDepth(5), mutationsPerPixel(100), largeStepProbability(0.3f), chains(64), bootstrap(20000),
      strategy("multiplexed"), exposure(1.0f) {}

bool PrimarySampleMetropolisCamera::isKindOf(int id) const {
    return id == ClassId::PrimarySampleMetropolisCamera || GCamera::isKindOf(id);
}

int PrimarySampleMetropolisCamera::typeId() const { return ClassId::PrimarySampleMetropolisCamera; }

const char* PrimarySampleMetropolisCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PrimarySampleMetropolisCamera", this);
}

const CameraSettingTable* PrimarySampleMetropolisCamera::settingTableOfClass() {
    typedef PrimarySampleMetropolisCamera C;
    static const CameraSettingTable table{
        "PrimarySampleMetropolisCamera",
        {
            intSetting("maxDepth", &C::maxDepth, 5, 1, MisPathContext::maxDepthLimit,
                       "most segments of a path, camera to emitter: 1 emitters seen, 2 direct light, ..."),
            intSetting("mutationsPerPixel", &C::mutationsPerPixel, 100, 1, 1 << 20,
                       "chain steps per pixel, over all chains"),
            realSetting("largeStepProbability", &C::largeStepProbability, 0.3f, 0.0, 1.0,
                        "chance that a step draws a whole new sample"),
            intSetting("chains", &C::chains, 64, 1, 1 << 20, "chains sharing the steps"),
            intSetting("bootstrap", &C::bootstrap, 20000, 1, 1 << 26,
                       "independent samples that estimate the normalisation and seed the chains"),
            textSetting("strategy", &C::strategy, "multiplexed", strategyChoices,
                        "multiplexed: one strategy (s, t) per sample; plain: all of them"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
        }};
    return &table;
}

namespace {

// The light one state gives: a deposit per strategy that contributed.
struct Deposit {
    float x, y;
    HPoint light;
};

struct SampleLight {
    static const int capacity = 256;  // strategies of the longest paths, 209 at maxDepth 19
    int count = 0;
    float target = 0.0f;              // sum of the luminances
    Deposit deposits[capacity];
};

// Evaluates one state: the bidirectional sample its numbers make.
struct Evaluator {
    const MisPathContext* context;
    int maxDepth, width, height;
    bool multiplexed;
    std::vector<int> strategyS, strategyT;  // multiplexed: (s, t) of each strategy index

    void evaluate(PathSampler& sampler, MisSubPath& eye, MisSubPath& light, SampleLight& out) const {
        out.count = 0;
        out.target = 0.0f;
        int chosen = -1;
        if (multiplexed) {
            int n = (int)strategyS.size();
            chosen = std::min((int)(sampler.next(PathSampler::connectionStream) * (float)n), n - 1);
        }
        float x = sampler.next(PathSampler::cameraStream) * (float)width;
        float y = sampler.next(PathSampler::cameraStream) * (float)height;
        if (multiplexed) {
            int s = strategyS[chosen], t = strategyT[chosen];
            context->eyePath(eye, x, y, t, sampler);
            context->lightPath(light, s, sampler);
            if (eye.count < t || light.count < s) return;
            add(light, s, eye, t, x, y, (float)strategyS.size(), out);
            return;
        }
        context->eyePath(eye, x, y, maxDepth + 1, sampler);
        context->lightPath(light, maxDepth, sampler);
        for (int t = 1; t <= eye.count; t++)
            for (int s = 0; s <= light.count; s++) {
                int segments = s + t - 1;
                if (segments < 1 || segments > maxDepth || (s == 1 && t == 1)) continue;
                add(light, s, eye, t, x, y, 1.0f, out);
            }
    }

    void add(const MisSubPath& light, int s, const MisSubPath& eye, int t, float x, float y, float factor,
             SampleLight& out) const {
        float splatX = x, splatY = y;
        HPoint c = context->connect(light, s, eye, t, splatX, splatY);
        if (!(c.x > 0.0f || c.y > 0.0f || c.z > 0.0f)) return;
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) return;
        c.scale(factor);
        float luminance = misLuminance(c);
        if (!(luminance > 0.0f) || out.count >= SampleLight::capacity) return;
        out.deposits[out.count++] = Deposit{splatX, splatY, c};
        out.target += luminance;
    }
};

void deposit(HPointImage& image, const SampleLight& light, float weight) {
    if (!(weight > 0.0f)) return;
    for (int i = 0; i < light.count; i++) {
        const Deposit& d = light.deposits[i];
        int column = std::min((int)d.x, image.width - 1), row = std::min((int)d.y, image.height - 1);
        image.at(column, row).add(d.light.scaled(weight));
    }
}

// A seed from the calling thread's stream: four draws make 60 bits.
uint64_t drawSeed() {
    uint64_t seed = 0;
    for (int i = 0; i < 4; i++) seed = seed << 15 | (uint64_t)nextRandom();
    return seed;
}

void clear(HPointImage& image, int w, int h) {
    image.resize(w, h);
    for (long long i = 0; i < (long long)w * h; i++) image.pixels[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
}

}  // namespace

void PrimarySampleMetropolisCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;
    const bool unitStreams = workUnitStreams();

    MisPathContext context;
    const bool emitters = context.prepare(*this, w, h);
    Evaluator evaluator{&context, maxDepth, w, h, strcasecmp(strategy.c_str(), "plain") != 0, {}, {}};
    for (int k = 2; k <= maxDepth + 1; k++)
        for (int s = 0; s < k; s++) {
            if (s == 1 && k == 2) continue;
            evaluator.strategyS.push_back(s);
            evaluator.strategyT.push_back(k - s);
        }
    std::printf("Primary Sample Metropolis Camera\n");
    if (!emitters) std::printf("The scene has no emitters: only emission seen from the camera is rendered.\n");

    // 1. The bootstrap: independent samples, their targets and the
    // normalisation b, their mean.
    std::vector<uint64_t> seeds(bootstrap);
    std::vector<float> targets(bootstrap);
    if (!unitStreams)
        for (uint64_t& seed : seeds) seed = drawSeed();
    const int blocks = (bootstrap + 255) / 256;
    renderUnits(blocks, [&](int block, int) {
        PrimarySampleVector sampler(largeStepProbability);
        MisSubPath eye, light;
        SampleLight sample;
        for (int i = block * 256; i < std::min(bootstrap, block * 256 + 256); i++) {
            if (unitStreams) {
                seedWorkUnit((uint32_t)i, 1);
                seeds[i] = drawSeed();
            }
            sampler.restart(seeds[i]);
            sampler.startIteration();
            evaluator.evaluate(sampler, eye, light, sample);
            targets[i] = sample.target;
        }
    });
    std::vector<double> cumulative(bootstrap);
    double total = 0.0;
    for (int i = 0; i < bootstrap; i++) cumulative[i] = total += targets[i];
    const double b = total / bootstrap;

    // 2. The chains, each starting at a bootstrap sample chosen in
    // proportion to its target. With "-threads N" chain c deposits into the
    // image of share c mod N, whose chains run whole and in order, and the
    // shares are summed in order: the image depends on the seed and N alone.
    HPointImage result, deposits;
    clear(result, w, h);
    clear(deposits, w, h);
    const int slots = unitStreams ? threadSettings().threads : 1;
    SplatSlots images(deposits, slots);
    const long long steps = (long long)mutationsPerPixel * w * h;
    auto share = [&](int chain) { return steps / chains + (chain < steps % chains ? 1 : 0); };
    std::vector<uint64_t> chainSeeds(chains);
    if (!unitStreams)
        for (uint64_t& seed : chainSeeds) seed = drawSeed();
    std::atomic<long long> done{0}, accepted{0}, largeProposed{0}, largeAccepted{0};
    auto runChain = [&](int chain, int slot) {
        beginWorkUnit((uint32_t)chain, 2);
        if (unitStreams) chainSeeds[chain] = drawSeed();
        PrimarySampleVector sampler(largeStepProbability);
        sampler.restart(chainSeeds[chain]);
        double pick = sampler.uniform() * total;
        int start = (int)(std::upper_bound(cumulative.begin(), cumulative.end(), pick) - cumulative.begin());
        if (start >= bootstrap) start = bootstrap - 1;
        MisSubPath eye, light;
        // The two states swap roles by pointer: a state's record is large.
        SampleLight states[2];
        SampleLight* current = &states[0];
        SampleLight* proposed = &states[1];
        sampler.restart(seeds[start]);
        sampler.startIteration();
        evaluator.evaluate(sampler, eye, light, *current);
        sampler.accept();
        sampler.reseed(chainSeeds[chain] ^ 0x9e3779b97f4a7c15ULL);
        HPointImage& image = images.image(slot);
        const long long mine = share(chain);
        long long myAccepted = 0, myLarge = 0, myLargeAccepted = 0;
        for (long long step = 0; step < mine; step++) {
            sampler.startIteration();
            bool large = sampler.isLargeStep();
            evaluator.evaluate(sampler, eye, light, *proposed);
            float a = current->target > 0.0f ? std::min(1.0f, proposed->target / current->target) : 1.0f;
            // Expected values: both states, weighted by the acceptance.
            if (current->target > 0.0f) deposit(image, *current, (float)((1.0f - a) * b / current->target));
            if (proposed->target > 0.0f) deposit(image, *proposed, (float)(a * b / proposed->target));
            myLarge += large;
            if (sampler.uniform() < a) {
                std::swap(current, proposed);
                sampler.accept();
                myAccepted++;
                myLargeAccepted += large;
            } else {
                sampler.reject();
            }
        }
        accepted += myAccepted;
        largeProposed += myLarge;
        largeAccepted += myLargeAccepted;
        long long finished = done += mine;
        if (!unitStreams)
            std::printf("\r%0.2f%%  %lld muts  accepted=%lld(%0.3f%%)  ", 100.0 * finished / steps, finished,
                        (long long)accepted, finished > 0 ? 100.0 * accepted / finished : 0.0);
    };
    if (b > 0.0) {
        ProgressClock clock;
        renderRowsInSlots(*this, chains, slots, runChain, [&](int chainsDone) {
            if (!unitStreams || chainsDone == 0) return;
            long long finished = done;
            std::printf("\r%0.2f%%  %lld muts  accepted=%lld(%0.3f%%)%s", 100.0 * finished / steps, finished,
                        (long long)accepted, finished > 0 ? 100.0 * accepted / finished : 0.0,
                        clock.text((double)chainsDone / chains));
            std::fflush(stdout);
        });
    }

    // 3. The deposits in share order, per mutation of a pixel.
    images.mergeIntoMain();
    result.add(deposits);
    result.scale(1.0f / (float)mutationsPerPixel);
    result.toneMap(frame, exposure);
    writeRadiance(result);
    long long smallProposed = steps - largeProposed, smallAccepted = accepted - largeAccepted;
    std::printf("%d %0.3f\n", bootstrap, b);
    std::printf("| large steps accepted %0.3f%%, small steps accepted %0.3f%%\n",
                largeProposed > 0 ? 100.0 * largeAccepted / largeProposed : 0.0,
                smallProposed > 0 ? 100.0 * smallAccepted / smallProposed : 0.0);
    std::printf("\r%0.2f %s  \n%d rays\n", steps > 0 ? 100.0 * (double)accepted / steps : 0.0, "%", (int)rayCounter);
}
