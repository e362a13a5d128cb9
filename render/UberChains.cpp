// The Markov chains of the uber camera: the short chains the split mode
// seeds with bright paths, the mutation schedule with its large step, lens
// and caustic perturbations and their acceptance ratios, and the "mlt" mode.
// Every step deposits the current path with weight 1 - a and the proposal
// with weight a (expected values), a being the acceptance probability.
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "foundation/Timer.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "image/ColorImage.h"
#include "render/MetropolisSupport.h"
#include "render/ProgressSnapshot.h"
#include "render/SplatSlots.h"
#include "render/SubPath.h"
#include "render/UberCamera.h"
#include "shading/GMaterial.h"

namespace {

const int stuckLimit = 1000;

float lum(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

// Steps of every "mlt" render of the process; counted, never used.
long long processMltSteps = 0;

GMaterial* materialAt(GScene* scene, const HitRecord& hit) {
    GMaterial* material = hit.object ? hit.object->getMaterial() : nullptr;
    return material ? material : scene->defaultMaterial;
}

// The probability the event of the given type has at a hit: its colour's
// luminance over the sum of the three.
float eventChance(GScene* scene, const HitRecord& hit, int type) {
    GMaterial* material = materialAt(scene, hit);
    HPoint d, s, t;
    material->getColor(GMaterial::diffuse, d, hit);
    material->getColor(GMaterial::specular, s, hit);
    material->getColor(GMaterial::transmitted, t, hit);
    float lD = lum(d), lS = lum(s), lT = lum(t), total = lD + lS + lT;
    if (!(total > 0.0f)) return 0.0f;
    return (type == 'T' ? lT : type == 'D' ? lD : lS) / total;
}

HPoint unitEdge(const UberPath& p, int i) {
    HPoint e = p.vertices[i + 1].point.difference(p.vertices[i].point);
    e.normalize();
    return e;
}

float luminanceRatio(const UberPath& proposal, const UberPath& current) {
    float now = lum(current.colour), next = lum(proposal.colour);
    if (!(next > 0.0f)) return 0.0f;
    if (!(now > 0.0f)) return 1.0f;
    return next / now;
}

float limitToOne(float a) { return a == a ? (a < 1.0f ? (a > 0.0f ? a : 0.0f) : 1.0f) : 0.0f; }

}  // namespace

// ---------------------------------------------------------------- ratios

float UberCamera::vertexRatio(const UberPath& current, const UberPath& proposal, int i) {
    const int type = current.eventType[i];
    float oldChance = eventChance(scene, current.vertices[i], type);
    float newChance = eventChance(scene, proposal.vertices[i], type);
    if (!(oldChance > 0.0f)) return 0.0f;
    float ratio = newChance / oldChance;
    if (type == 'D') {
        float cosOld = current.vertices[i].normal.dot(unitEdge(current, i));
        float cosNew = proposal.vertices[i].normal.dot(unitEdge(proposal, i));
        if (cosOld * cosNew < 0.0f || cosOld == 0.0f) return 0.0f;
        ratio *= cosNew / cosOld;
    }
    return ratio > 0.0f ? ratio : 0.0f;
}

float UberCamera::edgeRatio(UberPath& current, UberPath& proposal, int k) {
    if (k == 0) current.vertices[0].normal = proposal.vertices[0].normal = viewDirection;
    HPoint oldEdge = current.vertices[k + 1].point.difference(current.vertices[k].point);
    HPoint newEdge = proposal.vertices[k + 1].point.difference(proposal.vertices[k].point);
    float r0 = (oldEdge.dot(oldEdge) + 0.04f) / (newEdge.dot(newEdge) + 0.04f);
    oldEdge.normalize();
    newEdge.normalize();
    float h = current.vertices[k].normal.dot(oldEdge), o = proposal.vertices[k].normal.dot(newEdge);
    float t = current.vertices[k + 1].normal.dot(oldEdge), u = proposal.vertices[k + 1].normal.dot(newEdge);
    if (h * o < 0.0f || t * u < 0.0f) return 0.0f;
    float ratio = k > 0 ? r0 * o * u / (h * t) : r0 * u * h * h * h / (t * o * o * o);
    ratio = std::fabs(ratio);
    return ratio == ratio ? ratio : 0.0f;
}

// ---------------------------------------------------------------- mutations

void UberCamera::largeStep(const UberPath& current, UberPath& proposal, float& a) {
    int column = nextRandom() % imageWidth, row = nextRandom() % imageHeight;
    float dx = uniform01(), dy = uniform01();
    GRay ray;
    rasterRay(ray, rightStep, upStep, (float)column + dx, (float)row + dy, imageWidth, imageHeight);
    const int depths = maxDepth - minDepth + 1;
    int depth = nextRandom() % depths + minDepth;
    if (!generatePath(proposal, ray, depth, 1.0f / (float)depths, -1)) proposal.colour = HPoint(0, 0, 0, 1);
    float now = lum(current.colour), next = lum(proposal.colour);
    if (!(next > 0.0f))
        a = 0.0f;
    else if (!(now > 0.0f))
        a = 1.0f;
    else
        a = next / now < 1.0f ? next / now : 1.0f;
}

void UberCamera::lensPerturbation(const UberPath& current, UberPath& proposal, float& a, float size, int stepFlag) {
    UberChainTarget target = chainTarget();
    lensPerturbation(current, proposal, a, size, stepFlag, target);
}

void UberCamera::lensPerturbation(const UberPath& current, UberPath& proposal, float& a, float size, int stepFlag,
                                  UberChainTarget& target) {
    a = 0.0f;
    if (current.length < 2) return;
    // The moved raster position; outside the image rejects.
    float x = current.rasterX + (2.0f * uniform01() - 1.0f) * size;
    float y = current.rasterY + (2.0f * uniform01() - 1.0f) * size;
    if (!(x >= 0.0f && x < (float)imageWidth && y >= 0.0f && y < (float)imageHeight)) return;
    target.reject((int)x, (int)y, stepFlag);
    proposal.copyFrom(current);

    // Retrace with the recorded events up to the join.
    GRay ray;
    rasterRay(ray, rightStep, upStep, x, y, imageWidth, imageHeight);
    proposal.vertices[0].normal = ray.direction;
    UberVertex v;
    int joined = -1;  // B
    for (int i = 1; i <= current.length; i++) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return;
        v.shade(*this, ray, vertex);
        if (i == current.length) {
            // The walk reached the path's end: an emitter that must still shine.
            if (!current.endsOnEmitter || !(lum(v.emission) > 0.0f)) return;
            proposal.endEmission = v.emission;
            break;
        }
        const int type = current.eventType[i];
        float chance = type == 'T' ? v.pT : type == 'D' ? v.pD : v.pS;
        if (!(chance > 0.0f)) return;
        proposal.eventProbability[i] = chance;
        proposal.eventColour[i] = type == 'T' ? v.transmitted : type == 'D' ? v.diffuse : v.specular;
        HPoint direction;
        if (type == 'D') {
            bool lastBeforeLight = i + 1 == current.length && !current.endsOnEmitter;
            if (lastBeforeLight || (i + 1 < current.length && current.eventType[i + 1] == 'D')) {
                joined = i;
                break;
            }
            direction = current.vertices[i + 1].point.difference(vertex.point);
            direction.normalize();
            direction = perturbDirection(0.001f, 0.05f, direction);
        } else if (type == 'T') {
            if (v.totalInternalReflection) return;
            direction = v.refracted;
        } else {
            direction = HPoint::reflect(v.normal, ray.direction);
        }
        continueRay(*this, ray, vertex, direction);
    }

    if (joined < 0) {
        // The end reached by the walk itself.
        pathRaster(proposal);
        pathColour(proposal);
        float ratio = luminanceRatio(proposal, current);
        for (int i = 1; i < current.length - 1; i++) ratio *= vertexRatio(current, proposal, i);
        a = limitToOne(ratio);
        return;
    }
    // The join of B to the old rest of the path (vertices B and B + 1; for
    // B = 1 these are the vertices 1 and 2 of the usual case).
    const int B = joined;
    if (!scene->isVisible(proposal.vertices[B].point, proposal.vertices[B + 1].point)) return;
    if (B + 1 == proposal.length) {
        HPoint edge = proposal.vertices[B + 1].point.difference(proposal.vertices[B].point);
        proposal.lightDistance2 = edge.dot(edge);
        edge.normalize();
        proposal.lightCosine = std::fabs(proposal.vertices[B + 1].normal.dot(edge));
        proposal.geometryFactor[B] = facingCosine(proposal.vertices[B], proposal.vertices[B - 1].point, edge);
        if (!(proposal.geometryFactor[B] > 0.0f)) return;  // the light is behind the receiver
    }
    pathRaster(proposal);
    pathColour(proposal);
    float ratio = luminanceRatio(proposal, current);
    for (int i = 1; i <= B - 2; i++) ratio *= vertexRatio(current, proposal, i);
    if (B + 1 < proposal.length) {
        UberPath& old = const_cast<UberPath&>(current);
        ratio *= edgeRatio(old, proposal, B);
    }
    a = limitToOne(ratio);
}

void UberCamera::causticPerturbation(const UberPath& current, UberPath& proposal, float& a, int stepFlag) {
    UberChainTarget target = chainTarget();
    causticPerturbation(current, proposal, a, stepFlag, target);
}

void UberCamera::causticPerturbation(const UberPath& current, UberPath& proposal, float& a, int stepFlag,
                                     UberChainTarget& target) {
    a = 0.0f;
    int s = 2;
    while (s < current.length && current.eventType[s] != 'D') s++;
    if (s > current.length || current.length < 2) return;
    proposal.copyFrom(current);
    // Backwards from x(s) along the perturbed direction towards x(s - 1).
    HPoint direction = current.vertices[s - 1].point.difference(current.vertices[s].point);
    direction.normalize();
    direction = perturbDirection(0.0001f, 0.5f, direction);
    GRay ray;
    makeRay(ray, 0, current.vertices[s].point, direction);
    if (current.vertices[s].object) current.vertices[s].object->clearRayStamp(ray.id);
    UberVertex v;
    for (int i = s - 1; i >= 1; i--) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return;
        v.shade(*this, ray, vertex);
        const int type = current.eventType[i];
        float chance = type == 'T' ? v.pT : type == 'D' ? v.pD : v.pS;
        if (!(chance > 0.0f)) return;
        proposal.eventProbability[i] = chance;
        proposal.eventColour[i] = type == 'T' ? v.transmitted : type == 'D' ? v.diffuse : v.specular;
        if (i == 1) break;
        HPoint next;
        if (type == 'D') {
            next = current.vertices[i - 1].point.difference(vertex.point);
            next.normalize();
            next = perturbDirection(0.0001f, 0.1f, next);
        } else if (type == 'T') {
            if (v.totalInternalReflection) return;
            next = v.refracted;
        } else {
            next = HPoint::reflect(v.normal, ray.direction);
        }
        continueRay(*this, ray, vertex, next);
    }
    // Vertex 1 must lie in the image and see the eye.
    pathRaster(proposal);
    if (!proposal.inImage(imageWidth, imageHeight)) return;
    target.reject(proposal.pixelColumn(), proposal.pixelRow(), stepFlag);
    if (!scene->isVisible(proposal.vertices[1].point, from)) return;
    pathColour(proposal);
    float ratio = luminanceRatio(proposal, current);
    UberPath& old = const_cast<UberPath&>(current);
    ratio *= edgeRatio(old, proposal, 0);
    for (int i = 2; i <= s - 1; i++) ratio *= vertexRatio(current, proposal, i);
    a = limitToOne(ratio);
}

void UberCamera::mutate(const UberPath& current, UberPath& proposal, float& a, int stepFlag) {
    UberChainTarget target = chainTarget();
    mutate(current, proposal, a, stepFlag, target);
}

void UberCamera::mutate(const UberPath& current, UberPath& proposal, float& a, int stepFlag,
                        UberChainTarget& target) {
    a = 0.0f;
    // The caustic perturbation needs eye - diffuse - specular ... - emitter.
    const bool causticPath = current.endsOnEmitter && current.length >= 3 && current.eventType[1] == 'D' &&
                             current.eventType[2] != 'D';
    int r = nextRandom() % 100;
    if (r < 33) {
        int q = nextRandom() % 100;
        int v = nextRandom() % 100;
        if (q < 45 && v < 55) largeStep(current, proposal, a);
        if (q < 66) lensPerturbation(current, proposal, a, (float)q * 9.9f / 65.0f + 1.0f, stepFlag, target);
        if (q < 33) {
            largeStep(current, proposal, a);
            if (causticPath) causticPerturbation(current, proposal, a, stepFlag, target);
        }
    } else {
        if (nextRandom() % 100 < 66) lensPerturbation(current, proposal, a, 6.5f, stepFlag, target);
        if (nextRandom() % 100 < 33) {
            largeStep(current, proposal, a);
            if (causticPath && nextRandom() % 100 < 33) causticPerturbation(current, proposal, a, stepFlag, target);
        }
    }
}

// ---------------------------------------------------------------- chains

UberChainTarget UberCamera::chainTarget() {
    UberChainTarget target;
    target.result = &result;
    target.rejections = &rejections;
    target.width = rejections.width;
    target.current = chainCurrent.get();
    target.proposal = chainProposal.get();
    target.chainSamples = chainSamples;
    target.stuckSamples = stuckSamples;
    return target;
}

void UberCamera::keepCounts(const UberChainTarget& target) {
    chainSamples = target.chainSamples;
    stuckSamples = target.stuckSamples;
}

void UberCamera::runChain(const UberPath& start, float weight, int steps) {
    UberChainTarget target = chainTarget();
    runChain(start, weight, steps, target);
    keepCounts(target);
}

void UberCamera::runChain(const UberPath& start, float weight, int steps, UberChainTarget& target) {
    UberPath* current = target.current;
    UberPath* proposal = target.proposal;
    current->copyFrom(start);
    // Large steps weigh their paths by the chance 1 / (number of depths) of
    // their depth; a seed, drawn at every depth, is weighed the same way so
    // that luminance ratios between the two compare like with like.
    const int depths = maxDepth - minDepth + 1;
    if (depths > 1) {
        current->depthWeight = 1.0f / (float)depths;
        pathColour(*current);
    }
    bool allSpecular = true;
    for (int i = 1; i < current->length; i++) allSpecular = allSpecular && current->isSpecular[i];
    const float stepWeight = weight / (float)steps;
    int stuck = 0, stepFlag = 1;
    for (int step = 0; step < steps; step++) {
        // 1. - 2. The proposal, and both paths' expected shares.
        float a = 0.0f;
        mutate(*current, *proposal, a, stepFlag, target);
        if (stuck < stuckLimit || allSpecular) {
            target.chainSamples += 1.0;
            float now = lum(current->colour);
            if (now > 0.0f && current->inImage(imageWidth, imageHeight))
                target.result->at(current->pixelColumn(), current->pixelRow())
                    .add(current->colour.scaled((1.0f - a) * stepWeight / now));
            float next = lum(proposal->colour);
            if (a > 0.0f && next > 0.0f && proposal->inImage(imageWidth, imageHeight))
                target.result->at(proposal->pixelColumn(), proposal->pixelRow()).add(proposal->colour.scaled(a * stepWeight / next));
        } else {
            target.stuckSamples += 1.0;
        }
        // 3. Accept or reject (a may be far below the 1 / 32767 steps of uniform01).
        if (fineUniform01() < a) {
            bool moved = proposal->pixelColumn() != current->pixelColumn() || proposal->pixelRow() != current->pixelRow();
            std::swap(current, proposal);
            stepFlag = 1;
            if (moved) stuck = 0;
        } else {
            stuck++;
            if (step == 0 && current->inImage(imageWidth, imageHeight))
                target.reject(current->pixelColumn(), current->pixelRow(), 1);
            if (stuck == stuckLimit) stepFlag = 0;
        }
    }
}

// ---------------------------------------------------------------- mlt

static void printElapsed(double seconds) {
    if (seconds < 60.0) return;
    long whole = (long)seconds;
    long hours = whole / 3600, minutes = (whole % 3600) / 60, rest = whole % 60;
    std::printf("(");
    if (hours > 0) std::printf("%ldh", hours);
    if (minutes > 0) {
        if (hours > 0) std::printf(":");
        std::printf("%ldmin:", minutes);
    }
    std::printf("%lds)", rest);
}

// One chain of the "mlt" mode: its two records (accepting swaps the
// pointers), where it deposits, and its counts.
struct alignas(cacheLineBytes) UberMltChain {
    UberPath* current = nullptr;
    UberPath* proposal = nullptr;
    UberChainTarget target;
    long long accepted = 0, largeSteps = 0;
    double luminanceSum = 0.0;
};

void UberCamera::mltStep(UberMltChain& chain) {
    const int w = imageWidth, h = imageHeight;
    UberPath*& current = chain.current;
    UberPath*& proposal = chain.proposal;
    float a = 0.0f;
    if (nextRandom() % 100 >= 50) {
        mutate(*current, *proposal, a, 1, chain.target);
    } else {
        largeStep(*current, *proposal, a);
        chain.largeSteps++;
        float L = lum(proposal->colour);
        if (L > 0.0f) chain.luminanceSum += L;
    }
    float now = lum(current->colour), next = lum(proposal->colour);
    HPointImage& image = *chain.target.result;
    if (a >= 0.0f && a < 1.0f && now > 0.0f && current->inImage(w, h))
        image.at(current->pixelColumn(), current->pixelRow()).add(current->colour.scaled((1.0f - a) / now));
    if (a > 0.0f && next > 0.0f && proposal->inImage(w, h))
        image.at(proposal->pixelColumn(), proposal->pixelRow()).add(proposal->colour.scaled(a / next));
    if (fineUniform01() < a) {
        std::swap(current, proposal);
        chain.accepted++;
    }
}

void UberCamera::renderMlt(ColorImage& frame) {
    if (threadSettings().unitStreams) {
        renderMltOnThreads(frame);
        return;
    }
    // 1.
    const ProgressClock clock;
    const int w = imageWidth, h = imageHeight;
    minDepth = 3;
    const double total = (double)samples * w * h;
    UberMltChain chain;
    chain.current = chainCurrent.get();
    chain.proposal = chainProposal.get();
    chain.target = chainTarget();
    chain.current->length = 0;
    chain.current->colour = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    double steps = 0.0;
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "steps");
    HPointImage logImage;
    const long long lastSnapshot = lastProgressStep(total, 70000);

    // 2.
    while (steps < total) {
        long long step = (long long)steps;
        if (step % 70000 == 1) {
            mltProgress(frame, result, steps, total, chain.accepted, chain.largeSteps, chain.luminanceSum, clock,
                        snapshots.due(step == lastSnapshot), log, logImage);
        }
        mltStep(chain);
        steps += 1.0;
        processMltSteps++;
    }
    keepCounts(chain.target);
    finishMlt(frame, steps, total, chain.accepted, chain.luminanceSum, chain.largeSteps, log);
}

void UberCamera::mltProgress(ColorImage& frame, const HPointImage& sums, double steps, double total,
                             long long accepted, long long largeSteps, double luminanceSum,
                             const ProgressClock& clock, bool snapshot, ProgressLog& log, HPointImage& logImage) {
    const int w = imageWidth, h = imageHeight;
    double elapsed = clock.elapsed();
    std::printf("\r%0.2f%%  %lld muts  accepted=%lld(%0.3f%%) PixBrightnessSamples=%lld(%0.3f%%) %0.3fs",
                100.0 * steps / total, (long long)steps, accepted, 100.0 * accepted / steps, largeSteps,
                100.0 * largeSteps / steps, elapsed);
    printElapsed(elapsed);
    std::printf("%s", clock.text(steps / total));
    if (!snapshot) return;
    double b = largeSteps > 0 ? luminanceSum / (double)largeSteps : 0.0;
    // sums may be the preview itself: the log reads it before it is scaled.
    if (log.wantsImage()) normalisedChainImage(sums, nullptr, b, steps, logImage);
    if (&sums != &preview) preview.copyFrom(sums);
    preview.scale((float)(b / std::ceil(steps / ((double)w * h) + 1.0)));
    preview.toneMap(frame, exposure);
    frame.writePPM("image.ppm", nullptr);
    log.row(steps, &logImage);
}

void UberCamera::finishMlt(ColorImage& frame, double steps, double total, long long accepted, double luminanceSum,
                           long long largeSteps, ProgressLog& log) {
    // 3.
    double b = largeSteps > 0 ? luminanceSum / (double)largeSteps : 0.0;
    result.scale((float)(b / samples));
    std::printf("%d %0.3f\n", samples, b);
    result.toneMap(frame, exposure);
    writeRadiance(result);
    log.row(steps, &result);
    std::printf("\r%0.2f %s  \n%d rays\n", total > 0.0 ? 100.0 * (double)accepted / total : 0.0, "%",
                (int)rayCounter);
}

void UberCamera::renderMltOnThreads(ColorImage& frame) {
    // Independent chains, one per slot, each with its share of the steps
    // and its own image (slot 0's is the result); the rejection counts are
    // shared whole numbers.
    const ProgressClock clock;
    const int w = imageWidth, h = imageHeight;
    minDepth = 3;
    const double total = (double)samples * w * h;
    const int slots = threadSettings().threads;
    SplatSlots images(result, slots);
    std::unique_ptr<std::atomic<int>[]> counts(new std::atomic<int>[(size_t)w * h]);
    for (long long i = 0; i < (long long)w * h; i++) counts[i].store(0, std::memory_order_relaxed);
    std::vector<UberMltChain> chains((size_t)slots);
    std::vector<std::unique_ptr<UberPath>> records;
    for (int k = 0; k < slots; k++) {
        UberMltChain& chain = chains[(size_t)k];
        if (k == 0) {
            chain.current = chainCurrent.get();
            chain.proposal = chainProposal.get();
        } else {
            records.emplace_back(new UberPath(pathCapacity()));
            chain.current = records.back().get();
            records.emplace_back(new UberPath(pathCapacity()));
            chain.proposal = records.back().get();
        }
        chain.current->length = 0;
        chain.current->colour = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
        chain.target.result = &images.image(k);
        chain.target.rejectionCounts = counts.get();
        chain.target.width = w;
        chain.target.current = chain.current;
        chain.target.proposal = chain.proposal;
    }
    long long accepted = 0, largeSteps = 0;
    double luminanceSum = 0.0;
    auto gather = [&]() {
        accepted = largeSteps = 0;
        luminanceSum = 0.0;
        for (const UberMltChain& chain : chains) {
            accepted += chain.accepted;
            largeSteps += chain.largeSteps;
            luminanceSum += chain.luminanceSum;
        }
    };
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "steps");
    HPointImage logImage;
    runChainsInRounds(
        *this, slots, (long long)total, 70000, 2,
        [&](int k, long long count) {
            for (long long i = 0; i < count; i++) mltStep(chains[(size_t)k]);
        },
        [&](long long done) {
            if (done == 0 || (double)done >= total) return;
            gather();
            bool snapshot = snapshots.due(false);
            if (snapshot) images.sum(preview);
            mltProgress(frame, preview, (double)done, total, accepted, largeSteps, luminanceSum, clock, snapshot,
                        log, logImage);
        });
    images.mergeIntoMain();
    gather();
    for (long long i = 0; i < (long long)w * h; i++) rejections.pixels[i] += (float)counts[i].load();
    processMltSteps += (long long)total;
    finishMlt(frame, total, total, accepted, luminanceSum, largeSteps, log);
}
