#include "render/PathMetropolisCamera.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
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

GMaterial* materialAt(GScene* scene, const HitRecord& hit) {
    GMaterial* material = hit.object ? hit.object->getMaterial() : nullptr;
    return material ? material : scene->defaultMaterial;
}

HPoint unitToward(const HPoint& from, const HPoint& to) {
    HPoint d = to.difference(from);
    d.normalize();
    return d;
}

// The density of perturbDirection(a, b, centre) at a direction an angle
// theta from its centre, up to the constant 1 / (2 pi ln(b / a)): tan theta
// is log-uniform on [a, b] in the tangent plane, hence 1 / (sin^2 cos) per
// solid angle. Zero where the perturbation cannot reach.
double perturbationDensity(const HPoint& centre, const HPoint& direction, double a, double b) {
    double cx = centre.x, cy = centre.y, cz = centre.z, dx = direction.x, dy = direction.y, dz = direction.z;
    double cosine = cx * dx + cy * dy + cz * dz;
    double sx = cy * dz - cz * dy, sy = cz * dx - cx * dz, sz = cx * dy - cy * dx;
    double sine2 = sx * sx + sy * sy + sz * sz;
    if (!(cosine > 0.0) || !(sine2 > 0.0)) return 0.0;
    double tangent = std::sqrt(sine2) / cosine;
    // A little slack: the centre and direction come back through rounded points.
    if (tangent < a * 0.999 || tangent > b * 1.001) return 0.0;
    return 1.0 / (sine2 * cosine);
}

// One chain of the Metropolis layer: its two records (accepting swaps the
// pointers, so a chain is never copied), the current colour over its
// luminance and its counts.
struct alignas(cacheLineBytes) WalkChain {
    SubPath records[2];
    SubPath* current = &records[0];
    SubPath* proposal = &records[1];
    HPoint currentColor = black;
    float currentLuminance = 0.0f;
    double freshSum = 0.0;
    long long freshAttempts = 0;
    MutationStatistics statistics;

    WalkChain() = default;
    WalkChain(const WalkChain&) = delete;
    WalkChain& operator=(const WalkChain&) = delete;
};

}  // namespace

PathMetropolisCamera::PathMetropolisCamera() : minDepth(1), maxDepth(2), mutationsPerPixel(10), exposure(1.0f) {}

bool PathMetropolisCamera::isKindOf(int id) const {
    return id == ClassId::PathMetropolisCamera || GCamera::isKindOf(id);
}

int PathMetropolisCamera::typeId() const { return ClassId::PathMetropolisCamera; }

const char* PathMetropolisCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PathMetropolisCamera", this);
}

const CameraSettingTable* PathMetropolisCamera::settingTableOfClass() {
    typedef PathMetropolisCamera C;
    // The walk and its light vertex share one ten-vertex record: depth <= 8.
    static const CameraSettingTable table{
        "PathMetropolisCamera",
        {
            intSetting("minDepth", &C::minDepth, 1, 1, 8, "shortest eye walk of a fresh path"),
            intSetting("maxDepth", &C::maxDepth, 2, 1, 8,
                       "longest eye walk of a fresh path; the seed path tracer's depth"),
            intSetting("mutationsPerPixel", &C::mutationsPerPixel, 10, 1, 1 << 20, "chain steps per pixel"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
        }};
    return &table;
}

void PathMetropolisCamera::prepareSteps(int width, int height) {
    chainSteps(*this, width, height, rightStep, upStep, toRaster);
}

// ---------------------------------------------------------------- walks

bool PathMetropolisCamera::tracePathWalk(SubPath& path, GRay& ray, int depth) {
    setEndVertex(path, 0, ray.origin, ray.direction, nullptr, HPoint(1.0f, 1.0f, 1.0f, 1.0f), 'E');
    path.length = 0;
    path.isCausticPath = false;
    path.eyeLength = -1;
    if (depth > SubPath::maxIndex) depth = SubPath::maxIndex;
    int diffuseEvents = 0;
    VertexShading v;
    for (int q = 1; q <= depth; q++) {
        // 1. - 2. The vertex; an emitter reached right after a specular
        // vertex, with at most one diffuse bounce before, ends a caustic path.
        HitRecord& vertex = path.vertices[q];
        if (!nextVertex(scene, ray, vertex)) return false;
        v.shade(scene, ray, vertex);
        path.emission[q] = v.emission;
        if (pathLuminance(v.emission) > 0.0f && q == depth && (q == 1 || path.isSpecular[q - 1]) &&
            diffuseEvents <= 1)
            path.isCausticPath = true;
        // 3.
        path.length = q;
        if (!(v.total > 0.0f)) {
            recordAbsorbed(path, q);
            if (!path.isCausticPath) return false;
            path.throughput[q] = path.emission[q];
            return true;
        }
        // 4. The event.
        int type = chooseEvent(v);
        if (type == 'R' && !(v.lS > 0.0f)) return false;
        recordEvent(path, q, type, v);
        if (type == 'D') diffuseEvents++;
        // 5. A caustic path ends on the emitter with its emission.
        if (path.isCausticPath) {
            path.eventProbability[q] = 1.0f;
            path.throughput[q] = path.emission[q];
            return true;
        }
        // 6. On, unless the last vertex is specular.
        if (q == depth) return !path.isSpecular[q];
        HPoint direction;
        if (type == 'D') {
            direction = sampleCosineHemisphere(v.normal);
        } else if (!specularDirection(type, v, ray, vertex, direction)) {
            path.length = q - 1;
            return false;
        }
        continueRay(*this, ray, vertex, direction);
    }
    return true;
}

bool PathMetropolisCamera::sampleFreshPathWalk(SubPath& path, int width, int height) {
    GRay ray;
    jitteredPixelRay(*this, rightStep, upStep, width, height, ray);
    int depth = nextRandom() % (maxDepth - minDepth + 1) + minDepth;
    if (!tracePathWalk(path, ray, depth)) return false;
    if (path.isCausticPath) return true;
    // The light connection from the walk's last vertex.
    const int g = path.length + 1;
    if (g > SubPath::maxIndex || path.isSpecular[g - 1]) return false;
    GRay lightRay;
    HPoint power, normal;
    GSceneObject* emitter = scene->sampleEmitter(lightRay, power, normal);
    if (!emitter) return false;
    setEndVertex(path, g, lightRay.origin, normal, emitter, HPoint(power.x, power.y, power.z, 1.0f), 'L');
    path.length = g;
    return clearSegment(*this, path.vertices[g - 1].point, lightRay.origin, emitter);
}

// ---------------------------------------------------------------- mutations

bool PathMetropolisCamera::causticPerturbationWalk(const SubPath& current, SubPath& proposal) {
    proposal.copyFrom(current);
    int s = 2;
    while (s < proposal.length && proposal.isSpecular[s]) s++;
    if (s > proposal.length) return false;
    HPoint d = proposal.vertices[s - 1].point.difference(proposal.vertices[s].point);
    d.normalize();
    d = perturbDirection(0.0001f, 0.1f, d);
    // Surfaces are single-sided: an inner vertex s sends the chain to the
    // side from which its light arrives.
    if (s < proposal.length && !(facingCosine(proposal.vertices[s], proposal.vertices[s + 1].point, d) > 0.0f))
        return false;
    GRay ray;
    makeRay(ray, 0, proposal.vertices[s].point, d);
    if (proposal.vertices[s].object) proposal.vertices[s].object->clearRayStamp(ray.id);
    VertexShading v;
    for (int i = s - 1; i >= 1; i--) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return false;
        v.shade(scene, ray, vertex);
        proposal.emission[i] = v.emission;
        if (!(v.total > 0.0f)) return false;
        int type = proposal.eventType[i];
        if (type == 'T' || type == 'R') {
            if (!((type == 'T' ? v.lT : v.lS) > 0.0f)) return false;
            recordEvent(proposal, i, type, v);
            HPoint direction;
            if (!specularDirection(type, v, ray, vertex, direction)) return false;
            continueRay(*this, ray, vertex, direction);
        } else if (type == 'D') {
            if (i != 1) return false;
            // The new vertex's own colour and probability; the eye must lie
            // on the side the chain arrives from.
            recordEvent(proposal, 1, 'D', v);
            if (!(v.normal.dot(unitToward(vertex.point, proposal.vertices[0].point)) > 0.0f)) return false;
            return clearSegment(*this, vertex.point, proposal.vertices[0].point, vertex.object);
        } else {
            std::printf(".");
            return false;
        }
    }
    return false;
}

bool PathMetropolisCamera::lensPerturbationWalk(const SubPath& current, SubPath& proposal) {
    if (current.length < 2) return false;
    proposal.copyFrom(current);
    HPoint direction = current.vertices[1].point.difference(from);
    direction.normalize();
    direction = perturbDirection(0.001f, 0.1f, direction);
    GRay ray;
    makeRay(ray, 0, from, direction);
    for (int i = 0; i <= proposal.length; i++) proposal.emission[i] = black;
    VertexShading v;
    for (int i = 1; i < proposal.length; i++) {
        HitRecord& vertex = proposal.vertices[i];
        if (!nextVertex(scene, ray, vertex)) return false;
        v.shade(scene, ray, vertex);
        proposal.emission[i] = v.emission;
        int type = proposal.eventType[i];
        HPoint next;
        if (type == 'T' || type == 'R') {
            if (!((type == 'T' ? v.lT : v.lS) > 0.0f)) return false;
            recordEvent(proposal, i, type, v);
            if (!specularDirection(type, v, ray, vertex, next)) return false;
        } else if (type == 'D') {
            if (!(v.lD > 0.0f)) return false;
            if (v.material != materialAt(scene, current.vertices[i])) return false;
            recordEvent(proposal, i, 'D', v);
            const HitRecord& following = proposal.vertices[i + 1];
            if (!proposal.isSpecular[i + 1]) {
                // Single-sided surfaces: the connection leaves the new vertex
                // on the side it was reached from, and meets an inner vertex
                // i + 1 on the side its path goes on from.
                HPoint toFollowing = unitToward(vertex.point, following.point);
                if (!(v.normal.dot(toFollowing) > 0.0f)) return false;
                if (i + 1 < proposal.length &&
                    !(facingCosine(following, proposal.vertices[i + 2].point, toFollowing.scaled(-1.0f)) > 0.0f))
                    return false;
                return clearSegment(*this, vertex.point, following.point, vertex.object);
            }
            next = following.point.difference(vertex.point);
            next.normalize();
            next = perturbDirection(0.0001f, 0.1f * fovy, next);
            if (!(v.normal.dot(next) > 0.0f)) return false;
        } else {
            return false;
        }
        continueRay(*this, ray, vertex, next);
    }
    return false;
}

int PathMetropolisCamera::chooseMutationWalk(const SubPath& current) {
    int r = nextRandom() % 100;
    if (r >= 66) return 0;
    if (r >= 33) return 2;
    if (current.length >= 3 && !current.isSpecular[1] && current.isSpecular[2]) return 1;
    return 2;
}

HPoint PathMetropolisCamera::pathContributionWalk(SubPath& path, int width, int height, int depthChoices) {
    // 1. - 3. A non-specular inner vertex, the pixel, colours over probabilities.
    HPoint color;
    int nonSpecular;
    if (!chainPathColour(path, toRaster, width, height, (float)depthChoices, color, nonSpecular)) return black;
    // 4.
    if (path.isCausticPath) return color;
    if (nonSpecular < 2) return black;
    const HitRecord& last = path.vertices[path.length];
    const HitRecord& before = path.vertices[path.length - 1];
    HPoint g = last.point.difference(before.point);
    float geometry = 1.0f / g.dot(g);
    if (geometry > 20.0f) geometry = 20.0f;
    g.normalize();
    // The emitter lights both faces; the receiving vertex only the side it
    // was reached from.
    float receiving = facingCosine(before, path.vertices[path.length - 2].point, g);
    if (!(receiving > 0.0f)) return black;
    color.scale(std::fabs(last.normal.dot(g)) * receiving * geometry);
    return color;
}

// ---------------------------------------------------------------- transitions

// Both perturbations propose a path y from x with a density that is
// symmetric in the perturbed direction, while the fresh paths that L = f / p
// is measured against have density p. Metropolis-Hastings on f then accepts
// with L(y) p(y) T(y -> x) / (L(x) p(x) T(x -> y)); each path's factor below
// is the inverse of its share of p T^-1, the parts the move leaves alone
// cancelling: c0^3 for the pinhole (p is uniform on the image plane, the
// perturbation uniform in angle), the event probabilities of the retraced
// vertices, and the cosines and 1 / d^2 of the edges the move rebuilds
// whose fresh density is not cancelled by the move's own.
void PathMetropolisCamera::transitionFactorWalk(const SubPath& current, const SubPath& proposal, int type,
                                                float& currentTransition, float& proposalTransition) const {
    currentTransition = proposalTransition = 1.0f;
    if (type == 0) return;
    const SubPath* paths[2] = {&current, &proposal};
    double factors[2];
    if (type == 1) {
        // Caustic: vertex 1 seen from the eye instead of sampled from it,
        // the chain 1 .. s - 1 retraced from the fixed vertex s.
        int s = 2;
        while (s < current.length && current.isSpecular[s]) s++;
        for (int k = 0; k < 2; k++) {
            const SubPath& p = *paths[k];
            const HPoint& eye = p.vertices[0].point;
            const HitRecord& first = p.vertices[1];
            HPoint toEye = unitToward(first.point, eye);
            HPoint r = first.point.difference(eye);
            double c0 = -viewDirection.dot(toEye);
            double c1 = facingCosine(first, p.vertices[2].point, toEye);
            HPoint back = unitToward(p.vertices[s].point, p.vertices[s - 1].point);
            double cs = s < p.length ? facingCosine(p.vertices[s], p.vertices[s + 1].point, back)
                                     : p.vertices[s].normal.dot(back);
            double probability = 1.0;
            for (int i = 1; i < s; i++) probability *= p.eventProbability[i];
            factors[k] = std::fabs(c0 * c0 * c0 * r.dot(r) / (c1 * cs * probability));
        }
    } else {
        // Lens: vertices 1 .. c retraced from the eye, c being the first
        // diffuse vertex whose follower is not specular and connects to it;
        // diffuse vertices before c went on in a perturbed direction.
        int c = 1;
        while (c < current.length - 1 && !(current.eventType[c] == 'D' && !current.isSpecular[c + 1])) c++;
        for (int k = 0; k < 2; k++) {
            const SubPath& p = *paths[k];
            double c0 = viewDirection.dot(unitToward(p.vertices[0].point, p.vertices[1].point));
            double factor = c0 * c0 * c0;
            for (int i = 1; i <= c; i++) {
                factor /= p.eventProbability[i];
                if (i < c && p.eventType[i] == 'D')
                    factor /= facingCosine(p.vertices[i], p.vertices[i - 1].point,
                                           unitToward(p.vertices[i].point, p.vertices[i + 1].point));
            }
            // A light vertex is sampled on the emitter: its density stays.
            if (p.eventType[c + 1] != 'L') {
                HPoint r = p.vertices[c + 1].point.difference(p.vertices[c].point);
                HPoint g = r;
                g.normalize();
                factor *= r.dot(r) / (p.vertices[c].normal.dot(g) * p.vertices[c + 1].normal.dot(g));
            }
            factors[k] = std::fabs(factor);
        }
        // The perturbed continuations: forward around the direction to the
        // current follower, backward around the direction to the proposal's.
        const double a = 0.0001, b = 0.1 * fovy;
        double forward = 1.0, backward = 1.0;
        for (int i = 1; i < c; i++) {
            if (current.eventType[i] != 'D') continue;
            const HPoint& x = current.vertices[i].point;
            const HPoint& y = proposal.vertices[i].point;
            forward *= perturbationDensity(unitToward(y, current.vertices[i + 1].point),
                                           unitToward(y, proposal.vertices[i + 1].point), a, b);
            backward *= perturbationDensity(unitToward(x, proposal.vertices[i + 1].point),
                                            unitToward(x, current.vertices[i + 1].point), a, b);
        }
        factors[0] *= backward;
        factors[1] *= forward;
    }
    currentTransition = (float)factors[0];
    proposalTransition = (float)factors[1];
}

// ---------------------------------------------------------------- render

void PathMetropolisCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;
    std::printf("Path Metropolis Camera\n");

    // 1. - 3.
    prepareSteps(w, h);
    const int depthChoices = maxDepth - minDepth + 1;
    const int M = mutationsPerPixel;
    const double total = (double)M * w * h;
    HPointImage seed, chain(w, h), preview(w, h);
    for (long long i = 0; i < (long long)w * h; i++) chain.pixels[i] = black;
    renderSeedLayer(*this, maxDepth, M, exposure, frame, seed);
    frame.writePPM("temp.ppm", nullptr);
    const bool runChain = scene->emitters.size() > 0 && depthChoices >= 1;
    if (scene->emitters.size() == 0)
        std::printf("The scene has no emitters: the image is the seed layer alone.\n");
    else if (!runChain)
        std::printf("No walk depths to choose from: the image is the seed layer alone.\n");

    // 4. The chain: one step of chain c into image.
    auto chainStep = [&](WalkChain& c, HPointImage& image) {
        // 2.
        int type = chooseMutationWalk(*c.current);
        bool proposed;
        if (type == 1) {
            proposed = causticPerturbationWalk(*c.current, *c.proposal);
        } else if (type == 2) {
            proposed = lensPerturbationWalk(*c.current, *c.proposal);
        } else {
            proposed = sampleFreshPathWalk(*c.proposal, w, h);
            c.freshAttempts++;
        }
        c.statistics.proposed[type]++;
        if (proposed) {
            // 3. The luminance ratio decides.
            c.statistics.succeeded[type]++;
            HPoint color = pathContributionWalk(*c.proposal, w, h, depthChoices);
            float L = pathLuminance(color);
            if (type == 0 && L > 0.0f) c.freshSum += L;
            float currentTransition, proposalTransition;
            transitionFactorWalk(*c.current, *c.proposal, type, currentTransition, proposalTransition);
            float a = acceptanceProbability(L, c.currentLuminance, currentTransition, proposalTransition);
            if (L > 0.0f) color.scale(1.0f / L);
            if (uniform01() < a) {
                std::swap(c.current, c.proposal);
                c.currentLuminance = L;
                c.currentColor = color;
                c.statistics.accepted[type]++;
            }
        }
        // 4. A failed proposal is a rejection: the chain stays where it is.
        // (Blacking the chain out after a run of failures, and taking the
        // next proposal whatever its luminance, would favour the paths whose
        // mutations rarely fail.)
        // 5.
        if (c.currentLuminance > 0.0f) image.at(c.current->pixelColumn, c.current->pixelRow).add(c.currentColor);
    };
    // Step 1's preview from the chain image after `steps` steps.
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "steps");
    HPointImage logImage;
    // image may be preview itself (a parallel render sums its chains there):
    // the log reads it before it is scaled.
    auto writePreview = [&](const HPointImage& image, double b, double steps) {
        if (log.wantsImage()) normalisedChainImage(image, &seed, b, steps, logImage);
        if (&image != &preview) preview.copyFrom(image);
        preview.scale((float)(b / std::ceil(steps / ((double)w * h) + 1.0)));
        preview.add(seed);
        preview.toneMap(frame, exposure);
        frame.writePPM("image.ppm", nullptr);
        log.row(steps, &logImage);
    };
    double steps = 0.0;
    WalkChain whole;  // the counts of all chains
    if (!threadSettings().unitStreams) {
        WalkChain& c = whole;
        const long long lastSnapshot = lastProgressStep(total, 50000);
        while (runChain && steps < total) {
            // 1. Progress and the preview.
            long long step = (long long)steps;
            if (step % 50000 == 1) {
                std::printf("\r%0.2f %s    ", 100.0 * steps / total, "%");
                if (snapshots.due(step == lastSnapshot))
                    writePreview(chain, c.freshAttempts > 0 ? c.freshSum / (double)c.freshAttempts : 0.0, steps);
            }
            chainStep(c, chain);
            steps += 1.0;
        }
    } else if (runChain) {
        // On threads: independent chains, one per slot, each with its share
        // of the steps.
        const int slots = threadSettings().threads;
        SplatSlots images(chain, slots);
        std::vector<WalkChain> chains((size_t)slots);
        ProgressClock clock;
        auto gather = [&]() {
            whole.freshSum = 0.0;
            whole.freshAttempts = 0;
            whole.statistics = MutationStatistics();
            for (const WalkChain& c : chains) {
                whole.freshSum += c.freshSum;
                whole.freshAttempts += c.freshAttempts;
                whole.statistics.add(c.statistics);
            }
        };
        runChainsInRounds(
            *this, slots, (long long)total, 50000, 1,
            [&](int k, long long count) {
                for (long long i = 0; i < count; i++) chainStep(chains[(size_t)k], images.image(k));
            },
            [&](long long done) {
                if (done == 0 || (double)done >= total) return;
                gather();
                steps = (double)done;
                std::printf("\r%0.2f %s    %s", 100.0 * steps / total, "%", clock.text(steps / total));
                if (!snapshots.due(false)) return;
                images.sum(preview);
                writePreview(preview, whole.freshAttempts > 0 ? whole.freshSum / (double)whole.freshAttempts : 0.0,
                             steps);
            });
        images.mergeIntoMain();
        gather();
        steps = total;
    }
    const double freshSum = whole.freshSum;
    const long long freshAttempts = whole.freshAttempts;

    // 5. The combination.
    double b = freshAttempts > 0 ? freshSum / (double)freshAttempts : 0.0;
    chain.scale((float)(b / M));
    chain.add(seed);
    chain.toneMap(frame, exposure);
    writeRadiance(chain);
    log.row(steps, &chain);
    std::printf("\r%0.2f %s  \n%d rays\n", total > 0.0 ? 100.0 * steps / total : 0.0, "%", (int)rayCounter);
    whole.statistics.print(b, freshAttempts);
}
