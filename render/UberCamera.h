// UberCamera: path splitting, short Markov chains and an adaptive post
// filter. Three modes by renderMode (case ignored):
//  - "pathTracing": a plain recursive path tracer, `samples` per pixel;
//  - "mlt": one chain over whole paths with expected-value deposits;
//  - anything else (the default): split path tracing: every eye path,
//    truncated to each length from minDepth to maxDepth and closed by a light
//    connection, goes to its pixel or, with numSplits > 0, seeds short
//    chains in proportion to its brightness against the image average.
// The chains and the "mlt" mode live in UberChains.cpp.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "foundation/GMatrix.h"
#include "foundation/Parallel.h"
#include "image/HPointImage.h"
#include "image/RealImage.h"
#include "render/GCamera.h"
#include "render/UberPath.h"

class GMaterial;
class ProgressClock;
class ProgressLog;
class UberCamera;
struct HitRecord;
struct UberMltChain;

// Where the chains of one thread put what they find: their deposits, the
// rejection counts, the steps taken and the steps dropped while stuck, and
// their two path records. The camera's own (chainTarget()) serve a render on
// one thread; on threads each slot has its deposits and records, and the
// rejection counts are shared whole numbers (they add up the same in any
// order).
struct alignas(cacheLineBytes) UberChainTarget {
    HPointImage* result = nullptr;
    RealImage* rejections = nullptr;              // counted into one at a time, or
    std::atomic<int>* rejectionCounts = nullptr;  // shared, width x height
    int width = 0;
    UberPath* current = nullptr;
    UberPath* proposal = nullptr;
    double chainSamples = 0.0, stuckSamples = 0.0;

    void reject(int x, int y, int amount) {
        if (rejectionCounts)
            rejectionCounts[x + (long long)y * width].fetch_add(amount, std::memory_order_relaxed);
        else
            rejections->at(x, y) += (float)amount;
    }
};

// What a walk needs at one hit: the material (the scene's default when the
// object has none), the normal facing the ray, the refracted direction
// (and whether it is a total internal reflection) and the events.
struct UberVertex {
    GMaterial* material;
    HPoint normal, refracted;
    bool totalInternalReflection;
    HPoint diffuse, specular, transmitted, emission;
    float pD, pS, pT;

    void shade(UberCamera& camera, const GRay& ray, const HitRecord& hit);
    // The event a uniform draw chooses: 'R' on [0, pS], 'D', then 'T'.
    int choose(float xi) const { return xi > pD + pS ? 'T' : xi > pS ? 'D' : 'R'; }
};

class UberCamera : public GCamera {
public:
    int minDepth;           // shortest contributing path (index of its last vertex)
    int maxDepth;           // longest path
    int samples;            // samples per pixel, passes (split mode), mutations per pixel (mlt)
    int numSplits;          // 0: no chains
    std::string renderMode;
    float exposure;         // tone-mapping key
    int chainLength;        // mutations per chain
    int useFilter;          // stored only
    int postFilter;         // radius of the post filter, 0: off
    float minFilterChange;  // clamps of the post filter's factor
    float maxFilterChange;

    UberCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    // "-log": every mode but the path-traced one refines the whole image.
    bool logsProgress() const override;
    bool settingsAccepted() const override;
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
    // Mode "pathTracing" with n samples per pixel; answers the result's mean luminance.
    double renderPathTraced(ColorImage& frame, int n);

    // The event colours and probabilities at a hit (total internal
    // reflection folds the transmitted part into the specular one).
    void eventProbabilities(GMaterial* material, const HitRecord& hit, bool totalInternalReflection,
                            HPoint& diffuse, HPoint& specular, HPoint& transmitted, float& pD, float& pS,
                            float& pT);
    // Adds throughput x the radiance along ray to result (mode "pathTracing").
    void radiance(HPoint& result, const HPoint& throughput, GRay& ray, int minimumDepth);
    // Vertices of this render's path records: its deepest path and the light point.
    int pathCapacity() const { return UberPath::capacityForDepth(maxDepth > minDepth ? maxDepth : minDepth); }
    bool generatePath(UberPath& path, GRay& ray, int depth, float depthWeight, int emitterIndex);
    bool truncatePath(UberPath& path, int length, int emitterIndex);
    void pathColour(UberPath& path);
    void pathRaster(UberPath& path);
    void postFilterImage();

    // The chains (UberChains.cpp). Without a target they use the camera's
    // own images, counts and records.
    void runChain(const UberPath& start, float weight, int steps);
    void runChain(const UberPath& start, float weight, int steps, UberChainTarget& target);
    // The chains of a split-mode path whose share of its pixel has luminance
    // L and that asks for u chains: floor(u) of them, or one with probability u.
    void seedChains(const UberPath& path, float L, double u);
    void seedChains(const UberPath& path, float L, double u, UberChainTarget& target);
    void mutate(const UberPath& current, UberPath& proposal, float& a, int stepFlag);
    void mutate(const UberPath& current, UberPath& proposal, float& a, int stepFlag, UberChainTarget& target);
    void largeStep(const UberPath& current, UberPath& proposal, float& a);
    void lensPerturbation(const UberPath& current, UberPath& proposal, float& a, float size, int stepFlag);
    void lensPerturbation(const UberPath& current, UberPath& proposal, float& a, float size, int stepFlag,
                          UberChainTarget& target);
    void causticPerturbation(const UberPath& current, UberPath& proposal, float& a, int stepFlag);
    void causticPerturbation(const UberPath& current, UberPath& proposal, float& a, int stepFlag,
                             UberChainTarget& target);
    // The camera's own target (its result, rejections and chain records);
    // its step counts start at chainSamples and stuckSamples.
    UberChainTarget chainTarget();
    // What a run through chainTarget() counted goes back to the camera.
    void keepCounts(const UberChainTarget& target);
    float vertexRatio(const UberPath& current, const UberPath& proposal, int i);
    float edgeRatio(UberPath& current, UberPath& proposal, int k);
    void renderMlt(ColorImage& frame);
    // The split mode's passes and the "mlt" mode on threads.
    void renderPassesOnThreads(ColorImage& frame, double average);
    void renderMltOnThreads(ColorImage& frame);

    // Working state of a render (public for the tests that call its steps):
    // setUp sizes and clears it for a W x H image and makes the records.
    void setUp(int width, int height);
    int imageWidth = 0, imageHeight = 0;
    HPoint rightStep, upStep;
    GMatrix toRaster;
    float splatScale = 0.0f;
    HPointImage result, preview;
    RealImage rejections;
    double chainSamples = 0.0, stuckSamples = 0.0;
    std::unique_ptr<UberPath> chainCurrent, chainProposal;

private:
    std::unique_ptr<UberPath> path;  // the split mode's eye path
    bool connectToLight(UberPath& path, int vertex, int emitterIndex);
    bool settingsUsable(bool mlt) const;
    void deposit(const UberPath& path, float weight);
    // The split mode: pass s of row j (own takes the paths that go to their
    // pixel, target the chains'), the progress snapshot before pass s of
    // the image sums, and the end (post filter, normalisation, frame).
    void renderPassRow(int s, int j, double average, UberPath& p, HPointImage& own, UberChainTarget& target);
    void writePassSnapshot(ColorImage& frame, const HPointImage& sums, int s, ProgressLog& log,
                           HPointImage& logImage);
    void finishPasses(ColorImage& frame, ProgressLog& log);
    // One step of an "mlt" chain, its progress line (and, when snapshot is
    // set, the preview of the image sums) and the end of the mode.
    void mltStep(UberMltChain& chain);
    void mltProgress(ColorImage& frame, const HPointImage& sums, double steps, double total, long long accepted,
                     long long largeSteps, double luminanceSum, const ProgressClock& clock, bool snapshot,
                     ProgressLog& log, HPointImage& logImage);
    void finishMlt(ColorImage& frame, double steps, double total, long long accepted, double luminanceSum,
                   long long largeSteps, ProgressLog& log);
};
