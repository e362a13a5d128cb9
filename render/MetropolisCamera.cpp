#include "render/MetropolisCamera.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "foundation/Settings.h"
#include "foundation/Timer.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "render/MetropolisSupport.h"
#include "render/ProgressSnapshot.h"
#include "render/SplatSlots.h"
#include "render/SubPath.h"
#include "shading/GMaterial.h"

namespace {

const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

// A perturbed path that sends light out of the back of a surface carries
// none. It is still proposed (and rejected by its luminance 0) rather than
// failed, so that the random stream goes on as before where no surface is
// met from behind.
bool darkened(SubPath& path, bool ok, bool throughBack) {
    if (ok && throughBack) path.throughput[0] = black;
    return ok;
}

// The product of the chances of the events chosen along the path.
float eventChances(const SubPath& path) {
    float product = 1.0f;
    for (int i = 0; i <= path.length; i++) product *= path.eventProbability[i];
    return product;
}

// The steps of every MetropolisCamera of the process, for the choice of
// every tenth mutation; never reset.
long long processSteps = 0;

// One Markov chain of the Metropolis layer: its four records (accepting
// swaps the pointers, so a chain is never copied), the current path's
// colour over its luminance, and its counts.
struct alignas(cacheLineBytes) MetropolisChain {
    SubPath records[4];
    SubPath* current = &records[0];
    SubPath* currentLight = &records[1];
    SubPath* proposal = &records[2];
    SubPath* proposalLight = &records[3];
    HPoint currentColor = black;
    float currentLuminance = 0.0f;
    double freshSum = 0.0;
    double freshUncapped = 0.0;  // the fresh luminances without the geometry cap
    long long freshAttempts = 0;
    long long mutationCalls = 0;  // a chain on threads counts its own
    MutationStatistics statistics;

    MetropolisChain() = default;
    MetropolisChain(const MetropolisChain&) = delete;
    MetropolisChain& operator=(const MetropolisChain&) = delete;
};

}  // namespace

MetropolisCamera::MetropolisCamera()
    : minEyeVertex(1), maxEyeVertices(2), minLightVertex(0), maxLightVertices(0), mutationsPerPixel(10),
      exposure(1.0f), geometryCap(20.0f) {}

bool MetropolisCamera::isKindOf(int id) const { return id == ClassId::MetropolisCamera || GCamera::isKindOf(id); }

int MetropolisCamera::typeId() const { return ClassId::MetropolisCamera; }

const char* MetropolisCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "MetropolisCamera", this);
}

const CameraSettingTable* MetropolisCamera::settingTableOfClass() {
    typedef MetropolisCamera C;
    // A joined path holds the eye vertices and the light vertices in one
    // ten-vertex record: eye and light lengths of at most 8.
    static const CameraSettingTable table{
        "MetropolisCamera",
        {
            intSetting("minEyeVertex", &C::minEyeVertex, 1, 0, 8, "shortest eye sub-path of a fresh path"),
            intSetting("maxEyeVertices", &C::maxEyeVertices, 2, 0, 8,
                       "longest eye sub-path of a fresh path; the seed path tracer's depth"),
            intSetting("minLightVertex", &C::minLightVertex, 0, 0, 8,
                       "shortest light sub-path (only for paths without eye vertices)"),
            intSetting("maxLightVertices", &C::maxLightVertices, 0, 0, 8,
                       "longest light sub-path (only for paths without eye vertices)"),
            intSetting("mutationsPerPixel", &C::mutationsPerPixel, 10, 1, 1 << 20, "chain steps per pixel"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
            realSetting("geometryCap", &C::geometryCap, 20.0f, 1e-6, 1e30,
                        "limit of a join's 1/d^2 (biased, scale-dependent); 1e30: no limit"),
        }};
    return &table;
}

void MetropolisCamera::prepareSteps(int width, int height) {
    chainSteps(*this, width, height, rightStep, upStep, toRaster);
    splatScale = lightTracingScale(fovy, width, height);
}

// ---------------------------------------------------------------- walks

void MetropolisCamera::traceSubPathLocal(SubPath& path, GRay& ray, int maxIndex, bool isLightWalk,
                                         bool stopAtDiffuse) {
    if (maxIndex > SubPath::maxIndex) maxIndex = SubPath::maxIndex;
    VertexShading v;
    for (int i = 1; i <= maxIndex; i++) {
        HitRecord& vertex = path.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return;
        v.shade(scene, ray, vertex);
        path.emission[i] = v.emission;
        if (isLightWalk && i == 1) {
            v.total -= v.lD;  // a light walk's first bounce is never diffuse
            v.lD = 0.0f;
        }
        path.length = i;
        if (!(v.total > 0.0f)) {
            recordAbsorbed(path, i);
            return;
        }
        int type = chooseEvent(v);
        recordEvent(path, i, type, v);

        HPoint direction;
        if (type == 'D') {
            if (isLightWalk || stopAtDiffuse) return;
            direction = sampleCosineHemisphere(v.normal);
        } else if (!specularDirection(type, v, ray, vertex, direction)) {
            path.length = i - 1;
            return;
        }
        continueRay(*this, ray, vertex, direction);
    }
}

void MetropolisCamera::startEyeSubPathLocal(SubPath& path, GRay& ray, int length) {
    setEndVertex(path, 0, ray.origin, ray.direction, nullptr, HPoint(1.0f, 1.0f, 1.0f, 1.0f), 'E');
    path.length = 0;
    path.isCausticPath = false;
    traceSubPathLocal(path, ray, length, false, false);
    path.eyeLength = length;
}

bool MetropolisCamera::startLightSubPathLocal(SubPath& path, GRay& ray, int length) {
    HPoint power, normal;
    GSceneObject* emitter = scene->sampleEmitter(ray, power, normal);
    if (!emitter) {
        path.length = -1;
        return false;
    }
    // Only a walk that follows the emitted ray chooses its face.
    if (length >= 1) emitFromEitherFace(*emitter, ray, power, normal);
    setEndVertex(path, 0, ray.origin, normal, emitter, HPoint(power.x, power.y, power.z, 1.0f), 'L');
    path.length = 0;
    if (length >= 1) traceSubPathLocal(path, ray, length, true, false);
    return true;
}

bool MetropolisCamera::joinSubPaths(SubPath& eye, const SubPath& light) {
    eye.eyeLength = eye.length;
    const int e = eye.eyeLength;
    if (light.length < 0 || e + light.length + 1 > SubPath::maxIndex) return false;
    for (int k = light.length; k >= 0; k--) {
        int i = e + 1 + (light.length - k);
        eye.vertices[i] = light.vertices[k];
        eye.eventProbability[i] = light.eventProbability[k];
        eye.throughput[i] = light.throughput[k];
        eye.emission[i] = light.emission[k];
        eye.isSpecular[i] = light.isSpecular[k];
        eye.eventType[i] = light.eventType[k];
    }
    eye.length = e + light.length + 1;
    // A mirror or refractor scatters into one direction only: a join there
    // has no density (the walks reach such paths through the specular
    // chain instead).
    if ((e > 0 && eye.isSpecular[e]) || eye.isSpecular[e + 1]) return false;
    HPoint g = eye.vertices[e + 1].point.difference(eye.vertices[e].point);
    float reach = g.length() - epsilon;
    g.normalize();
    if (e == 0 && viewDirection.dot(g) < 0.0f) return false;
    GRay shadow;
    makeRay(shadow, 0, eye.vertices[e].point, g);
    if (e > 0) eye.vertices[e].object->clearRayStamp(shadow.id);
    HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
    return !scene->anyHit(shadow, filter, reach);
}

bool MetropolisCamera::sampleFreshPath(SubPath& proposal, SubPath& proposalLight, int width, int height) {
    // 1. A random pixel, jittered.
    GRay ray;
    jitteredPixelRay(*this, rightStep, upStep, width, height, ray);
    // 2. The lengths.
    const int eyeChoices = maxEyeVertices - minEyeVertex + 1;
    const int lightChoices = maxLightVertices - minLightVertex + 1;
    int m = nextRandom() % eyeChoices + minEyeVertex;
    int k = m == 0 ? nextRandom() % lightChoices + minLightVertex : 0;
    // 3. Both walks must reach their lengths, and the join must be clear.
    startEyeSubPathLocal(proposal, ray, m);
    if (proposal.length != m) return false;
    GRay lightRay;
    if (!startLightSubPathLocal(proposalLight, lightRay, k) || proposalLight.length != k) return false;
    return joinSubPaths(proposal, proposalLight);
}

// ---------------------------------------------------------------- mutations

bool MetropolisCamera::causticPerturbation(const SubPath& current, SubPath& proposal) {
    // 1. The first non-specular vertex from 2 on (or the last one).
    proposal.copyFrom(current);
    int s = 2;
    while (s < proposal.length && proposal.isSpecular[s]) s++;
    if (s > proposal.length) return false;
    // 2. The direction back towards the eye, perturbed.
    HPoint d = proposal.vertices[s - 1].point.difference(proposal.vertices[s].point);
    d.normalize();
    d = nextRandom() % 100 > 49 ? perturbDirection(0.01f, 0.1f, d) : perturbDirection(0.0001f, 0.1f, d);
    // A diffuse vertex s scatters to the side of its other neighbour only;
    // the emitter point emits from both faces.
    bool throughBack =
        s < proposal.length && facingCosine(proposal.vertices[s], proposal.vertices[s + 1].point, d) < 0.0f;
    GRay ray;
    makeRay(ray, 0, proposal.vertices[s].point, d);
    // 3. Retrace the specular chain down to the diffuse vertex 1.
    VertexShading v;
    for (int i = s - 1; i >= 1; i--) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return false;
        v.shade(scene, ray, vertex);
        if (!(v.total > 0.0f)) return false;
        int type = proposal.eventType[i];
        if (type == 'T' || type == 'R') {
            recordEvent(proposal, i, type, v);
            HPoint direction;
            if (!specularDirection(type, v, ray, vertex, direction)) return false;
            continueRay(*this, ray, vertex, direction);
        } else if (type == 'D') {
            if (i != 1) return false;
            recordEvent(proposal, i, 'D', v);
            HPoint toEye = proposal.vertices[0].point.difference(vertex.point);
            if (facingCosine(vertex, ray.origin, toEye) < 0.0f) throughBack = true;
            return darkened(proposal, clearSegment(*this, vertex.point, proposal.vertices[0].point, vertex.object),
                            throughBack);
        } else {
            std::printf(".");
            return false;
        }
    }
    return false;
}

bool MetropolisCamera::lensPerturbation(const SubPath& current, SubPath& proposal, int width, int height) {
    // 1. - 3. The pixel of vertex 1, moved; leaving the image costs no ray.
    if (current.length < 1) return false;
    HPoint raster = current.vertices[1].point;
    raster.w = 1.0f;
    raster.transform(toRaster);
    raster = HPoint(raster.x / raster.w, raster.y / raster.w, 0.0f, 1.0f);
    raster = nextRandom() % 100 < 50 ? perturbPoint2D(0.4f, 10.0f, raster) : perturbPoint2D(1.0f, 100.0f, raster);
    if (!insideRaster(raster, width, height)) return false;
    proposal.copyFrom(current);

    // 4. The new primary ray; the emission is gathered anew.
    GRay ray;
    rasterRay(ray, rightStep, upStep, raster.x, raster.y, width, height);
    for (int i = 0; i <= proposal.length; i++) proposal.emission[i] = black;

    // 5. Retrace with the recorded events up to the first connection.
    VertexShading v;
    bool throughBack = false;
    for (int i = 1; i < proposal.length; i++) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return false;
        v.shade(scene, ray, vertex);
        proposal.emission[i] = v.emission;
        if (!(v.total > 0.0f)) return false;
        int type = proposal.eventType[i];
        HPoint direction;
        if (type == 'T' || type == 'R') {
            recordEvent(proposal, i, type, v);
            if (!specularDirection(type, v, ray, vertex, direction)) return false;
        } else if (type == 'D') {
            const HitRecord& nextVertex = proposal.vertices[i + 1];
            if (vertex.object == nextVertex.object) return false;
            recordEvent(proposal, i, 'D', v);
            HPoint toNext = nextVertex.point.difference(vertex.point);
            toNext.normalize();
            if (!proposal.isSpecular[i + 1]) {
                // Single-sided surfaces: the new vertex sends light back to
                // the side it was reached from, and vertex i + 1 receives it
                // on the side of its other neighbour (the emitter point on
                // either face).
                if (facingCosine(vertex, ray.origin, toNext) < 0.0f) throughBack = true;
                if (i + 1 < proposal.length &&
                    facingCosine(nextVertex, proposal.vertices[i + 2].point, toNext.scaled(-1.0f)) < 0.0f)
                    throughBack = true;
                return darkened(proposal, clearSegment(*this, vertex.point, nextVertex.point, vertex.object),
                                throughBack);
            }
            direction = perturbDirection(0.0001f, 0.1f * fovy, toNext);
            if (facingCosine(vertex, ray.origin, direction) < 0.0f) throughBack = true;
        } else {
            return false;
        }
        continueRay(*this, ray, vertex, direction);
    }
    return false;
}

int MetropolisCamera::chooseMutation(const SubPath& current) { return chooseMutation(current, processSteps); }

int MetropolisCamera::chooseMutation(const SubPath& current, long long& steps) {
    steps++;
    if (steps % 10 == 0) return 0;
    int r = nextRandom() % 100;
    if (r >= 50) return 2;
    if (current.length <= 1 || current.isSpecular[1]) return 2;
    return 1;
}

void MetropolisCamera::transitionFactor(const SubPath& current, const SubPath& proposal, int type,
                                        float& currentFactor, float& proposalFactor) {
    currentFactor = proposalFactor = 1.0f;
    if (type == 1) {
        // The first non-specular vertex s >= 2 of the current path.
        int s = -1;
        for (int i = 2; i < current.length; i++)
            if (!current.isSpecular[i]) {
                s = i;
                break;
            }
        const SubPath* paths[2] = {&current, &proposal};
        float* factors[2] = {&currentFactor, &proposalFactor};
        if (current.eyeLength == 0) {
            // Without eye vertices vertex 1 was not aimed at from the camera
            // but reached along the emitted ray: the perturbed direction
            // leaves the emitter point, whose cosine is the Jacobian.
            for (int k = 0; k < 2; k++) {
                const SubPath& p = *paths[k];
                HPoint r = p.vertices[p.length - 1].point.difference(p.vertices[p.length].point);
                r.normalize();
                *factors[k] = 1.0f / std::fabs(p.vertices[p.length].normal.dot(r));
            }
        }
        for (int k = 0; k < 2 && current.eyeLength != 0; k++) {
            const SubPath& p = *paths[k];
            HPoint r = p.vertices[1].point.difference(p.vertices[0].point);
            float d2 = r.dot(r);
            r.normalize();
            float c0 = viewDirection.dot(r), c1 = p.vertices[1].normal.dot(r);
            float cs = 1.0f;
            if (s > 0) {
                HPoint toS = p.vertices[s].point.difference(p.vertices[s - 1].point);
                toS.normalize();
                cs = p.vertices[s].normal.dot(toS);
            }
            *factors[k] = std::fabs(c0 * c0 * c0 * d2 / (cs * c1));
        }
    } else if (type == 2) {
        const SubPath* paths[2] = {&current, &proposal};
        float* factors[2] = {&currentFactor, &proposalFactor};
        for (int k = 0; k < 2; k++) {
            const SubPath& p = *paths[k];
            float d2 = 1.0f, c1 = 1.0f, c2 = 1.0f;
            for (int s = 1; s < p.length; s++) {
                if (p.isSpecular[s]) continue;
                HPoint r = p.vertices[s + 1].point.difference(p.vertices[s].point);
                d2 = r.dot(r);
                r.normalize();
                c1 = p.vertices[s].normal.dot(r);
                c2 = p.vertices[s + 1].normal.dot(r);
                break;
            }
            *factors[k] = std::fabs(d2 / (c1 * c2));
        }
    }
    // The re-traced vertices' chances of their events: exactly 1 when the
    // perturbation met materials with the same chances.
    if (type == 1 || type == 2) {
        float currentChances = eventChances(current), proposalChances = eventChances(proposal);
        if (currentChances > 0.0f && proposalChances > 0.0f) currentFactor *= proposalChances / currentChances;
    }
}

HPoint MetropolisCamera::pathContribution(SubPath& path, int width, int height, int strategies) {
    return pathContribution(path, width, height, strategies, lastCapRatio);
}

HPoint MetropolisCamera::pathContribution(SubPath& path, int width, int height, int strategies,
                                          float& capRatio) {
    // 1. - 3. A non-specular inner vertex, the pixel, colours over probabilities.
    HPoint color;
    int nonSpecular;
    if (!chainPathColour(path, toRaster, width, height, (float)strategies, color, nonSpecular)) return black;
    // 4. Indirect light only, and a join inside the path.
    const int e = path.eyeLength;
    if (nonSpecular < 2 && e != 0) return black;
    if (e >= path.length || e < 0) return black;
    // 5. The joining edge. Each end receives on the side it was reached
    // from: an eye vertex from vertex e - 1, a light vertex from vertex e + 2;
    // the emitter point (the last vertex) emits from either face.
    const HitRecord& eyeEnd = path.vertices[e];
    const HitRecord& lightEnd = path.vertices[e + 1];
    HPoint g = lightEnd.point.difference(eyeEnd.point);
    float geometry = 1.0f / g.dot(g);
    capRatio = 1.0f;
    if (geometry > geometryCap) {
        capRatio = geometry / geometryCap;
        geometry = geometryCap;
    }
    g.normalize();
    float cL = e + 1 == path.length ? std::fabs(lightEnd.normal.dot(g))
                                    : facingCosine(lightEnd, path.vertices[e + 2].point, g.scaled(-1.0f));
    if (!(cL > 0.0f)) return black;
    float factor;
    if (e >= 1) {
        float cE = facingCosine(eyeEnd, path.vertices[e - 1].point, g);
        if (!(cE > 0.0f)) return black;
        factor = std::fabs(cL * cE * geometry);
    } else {
        float c = viewDirection.dot(g);
        if (c < 0.0f) return black;
        factor = std::fabs(splatScale * lightTracingCorrection * cL * geometry / (c * c * c));
    }
    color.scale(factor);
    return color;
}

// ---------------------------------------------------------------- render

void MetropolisCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;

    // 1.
    std::printf("Metropolis Camera\n");
    const long double started = currentSeconds();
    prepareSteps(w, h);
    const int eyeChoices = maxEyeVertices - minEyeVertex + 1;
    const int lightChoices = maxLightVertices - minLightVertex + 1;
    const int strategyCount = eyeChoices * lightChoices;
    const int M = mutationsPerPixel;
    const double total = (double)M * w * h;

    // 2. The seed layer.
    HPointImage chain(w, h), seed;
    for (long long i = 0; i < (long long)w * h; i++) chain.pixels[i] = black;
    renderSeedLayer(*this, maxEyeVertices, M, exposure, frame, seed);
    seed.toneMap(frame, exposure);
    frame.writePPM("image.ppm", nullptr);
    const bool runChain = scene->emitters.size() > 0 && eyeChoices >= 1 && lightChoices >= 1;
    if (scene->emitters.size() == 0)
        std::printf("The scene has no emitters: the image is the seed layer alone.\n");
    else if (!runChain)
        std::printf("No eye or light sub-path lengths to choose from: the image is the seed layer alone.\n");

    // 3. The chain: one step of chain c into image, the count of its
    // mutation choices kept in mutationCalls.
    auto chainStep = [&](MetropolisChain& c, HPointImage& image, long long& mutationCalls) {
        // 2. - 3. A proposal.
        int type = chooseMutation(*c.current, mutationCalls);
        bool proposed;
        if (type == 1) {
            proposed = causticPerturbation(*c.current, *c.proposal);
        } else if (type == 2) {
            proposed = lensPerturbation(*c.current, *c.proposal, w, h);
        } else {
            proposed = sampleFreshPath(*c.proposal, *c.proposalLight, w, h);
            c.freshAttempts++;
        }
        c.statistics.proposed[type]++;
        // 4. Metropolis-Hastings on luminance.
        if (proposed) {
            c.statistics.succeeded[type]++;
            int strategies = c.proposal->eyeLength != 0 ? eyeChoices : strategyCount;
            float capRatio = 1.0f;
            HPoint color = pathContribution(*c.proposal, w, h, strategies, capRatio);
            float L = pathLuminance(color);
            float currentFactor, proposalFactor;
            transitionFactor(*c.current, *c.proposal, type, currentFactor, proposalFactor);
            if (type == 0 && L > 0.0f) {
                c.freshSum += L;
                c.freshUncapped += (double)L * capRatio;
            }
            float a = acceptanceProbability(L, c.currentLuminance, currentFactor, proposalFactor);
            if (L > 0.0f) color.scale(1.0f / L);
            if (uniform01() < a) {
                std::swap(c.current, c.proposal);
                std::swap(c.currentLight, c.proposalLight);
                c.currentLuminance = L;
                c.currentColor = color;
                c.statistics.accepted[type]++;
            }
        }
        // 5. - 6. The current path is recorded again, accepted or not.
        const int column = c.current->pixelColumn, row = c.current->pixelRow;
        if (column >= 0 && column < w && row >= 0 && row < h) image.at(column, row).add(c.currentColor);
    };
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "steps");
    HPointImage logImage;
    double steps = 0.0;
    MetropolisChain whole;  // the counts of all chains
    if (!threadSettings().unitStreams) {
        MetropolisChain& c = whole;
        const long long lastSnapshot = lastProgressStep(total, 50000);
        while (runChain && steps < total) {
            // 1. Progress.
            long long step = (long long)steps;
            if (step % 50000 == 1) {
                std::printf("\r%0.2f%%  %lld muts  PixBrightnessSamples=%lld  %0.3fs ", 100.0 * steps / total, step,
                            c.freshAttempts, (double)(currentSeconds() - started));
                if (snapshots.due(step == lastSnapshot)) {
                    chain.toneMap(frame, exposure);
                    frame.writePPM("image.ppm", nullptr);
                    if (log.wantsImage())
                        normalisedChainImage(chain, &seed,
                                             c.freshAttempts > 0 ? c.freshSum / (double)c.freshAttempts : 0.0,
                                             steps, logImage);
                    log.row(steps, &logImage);
                }
            }
            chainStep(c, chain, processSteps);
            steps += 1.0;
        }
    } else if (runChain) {
        // On threads: independent chains, one per slot, each with its share
        // of the steps and its own schedule of fresh paths.
        const int slots = threadSettings().threads;
        SplatSlots images(chain, slots);
        std::vector<MetropolisChain> chains((size_t)slots);
        HPointImage merged;
        ProgressClock clock;
        auto gather = [&]() {
            whole.freshSum = whole.freshUncapped = 0.0;
            whole.freshAttempts = 0;
            whole.statistics = MutationStatistics();
            for (const MetropolisChain& c : chains) {
                whole.freshSum += c.freshSum;
                whole.freshUncapped += c.freshUncapped;
                whole.freshAttempts += c.freshAttempts;
                whole.statistics.add(c.statistics);
            }
        };
        runChainsInRounds(
            *this, slots, (long long)total, 50000, 1,
            [&](int k, long long count) {
                MetropolisChain& c = chains[(size_t)k];
                for (long long i = 0; i < count; i++) chainStep(c, images.image(k), c.mutationCalls);
            },
            [&](long long done) {
                if (done == 0 || (double)done >= total) return;
                gather();
                steps = (double)done;
                std::printf("\r%0.2f%%  %lld muts  PixBrightnessSamples=%lld  %0.3fs %s", 100.0 * steps / total, done,
                            whole.freshAttempts, (double)(currentSeconds() - started), clock.text(steps / total));
                if (!snapshots.due(false)) return;
                // The sum as an image only for the log's error figures.
                images.toneMapSum(frame, exposure);
                frame.writePPM("image.ppm", nullptr);
                if (log.wantsImage())
                    normalisedChainImage(images.summed(merged), &seed,
                                         whole.freshAttempts > 0 ? whole.freshSum / (double)whole.freshAttempts : 0.0,
                                         steps, logImage);
                log.row(steps, &logImage);
            });
        images.mergeIntoMain();
        gather();
        steps = total;
    }
    const double freshSum = whole.freshSum, freshUncapped = whole.freshUncapped;
    const long long freshAttempts = whole.freshAttempts;
    const MutationStatistics& statistics = whole.statistics;

    // 4. The combination.
    double b = freshAttempts > 0 ? freshSum / (double)freshAttempts : 0.0;
    chain.scale((float)(b / M));
    chain.add(seed);
    std::printf("%d %0.3f\n", M, b);
    chain.toneMap(frame, exposure);
    writeRadiance(chain);
    log.row(steps, &chain);
    // The chain layer's light is b per pixel: what the cap took from the
    // fresh paths' mean is what it took from the layer.
    if (freshUncapped > freshSum)
        std::printf("| geometryCap %g removed %.3g%% of the Metropolis layer's light\n", geometryCap,
                    100.0 * (1.0 - freshSum / freshUncapped));
    std::printf("\r%0.2f %s  \n%d rays\n", total > 0.0 ? 100.0 * steps / total : 0.0, "%", (int)rayCounter);
    statistics.print(b, freshAttempts);
}
