#include "render/UberCamera.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "image/ColorImage.h"
#include "render/CameraSettings.h"
#include "render/MetropolisSupport.h"
#include "render/ProgressSnapshot.h"
#include "render/SubPath.h"
#include "shading/GMaterial.h"

namespace {

const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);
const float farAway = 3.4028235e38f;
const double pi = 3.14159265358979323846;

float lum(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

HPoint product(const HPoint& a, const HPoint& b) { return HPoint(a.x * b.x, a.y * b.y, a.z * b.z, 1.0f); }

// Chains seeded by one path are capped: a path far brighter than an image
// whose average is nearly 0 must not ask for millions of chains. The
// weights still add up to the path's own.
const double maxChainsPerPath = 10000.0;

}  // namespace

// Bytes of n entries of T, rounded up to whole cache lines.
template <class T>
static size_t lineBytes(int n) {
    return ((size_t)n * sizeof(T) + cacheLineBytes - 1) / cacheLineBytes * cacheLineBytes;
}

UberPath::UberPath(int vertexCapacity)
    : capacity(vertexCapacity < 2 ? 2 : vertexCapacity > maxCapacity ? maxCapacity : vertexCapacity) {
    const size_t bytes = lineBytes<HitRecord>(capacity) + 2 * lineBytes<float>(capacity) +
                         lineBytes<HPoint>(capacity) + lineBytes<bool>(capacity) + lineBytes<int>(capacity);
    block = ::operator new(bytes, std::align_val_t(cacheLineBytes));
    unsigned char* next = static_cast<unsigned char*>(block);
    auto take = [&](auto* first, auto value) {
        typedef std::remove_pointer_t<decltype(first)> T;
        T* entries = reinterpret_cast<T*>(next);
        for (int i = 0; i < capacity; i++) new (entries + i) T(value);
        next += lineBytes<T>(capacity);
        return entries;
    };
    vertices = take((HitRecord*)nullptr, HitRecord());
    eventProbability = take((float*)nullptr, 1.0f);
    eventColour = take((HPoint*)nullptr, black);
    geometryFactor = take((float*)nullptr, 1.0f);
    isSpecular = take((bool*)nullptr, false);
    eventType = take((int*)nullptr, (int)'D');
    colour = endEmission = black;
}

UberPath::~UberPath() {
    // The entries are trivially destructible.
    ::operator delete(block, std::align_val_t(cacheLineBytes));
}

void UberPath::copyFrom(const UberPath& other) {
    length = other.length;
    rasterX = other.rasterX;
    rasterY = other.rasterY;
    colour = other.colour;
    endEmission = other.endEmission;
    endsOnEmitter = other.endsOnEmitter;
    lightChoiceProbability = other.lightChoiceProbability;
    depthWeight = other.depthWeight;
    lightPdf = other.lightPdf;
    lightDistance2 = other.lightDistance2;
    lightCosine = other.lightCosine;
    for (int i = 0; i <= length && i < capacity; i++) {
        vertices[i] = other.vertices[i];
        eventProbability[i] = other.eventProbability[i];
        eventColour[i] = other.eventColour[i];
        geometryFactor[i] = other.geometryFactor[i];
        isSpecular[i] = other.isSpecular[i];
        eventType[i] = other.eventType[i];
    }
}

UberCamera::UberCamera()
    : minDepth(2), maxDepth(2), samples(100), numSplits(1), exposure(1.0f), chainLength(1), useFilter(0),
      postFilter(0), minFilterChange(0.9f), maxFilterChange(1.1f) {}

bool UberCamera::isKindOf(int id) const { return id == ClassId::UberCamera || GCamera::isKindOf(id); }

int UberCamera::typeId() const { return ClassId::UberCamera; }

const char* UberCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "UberCamera", this);
}

const CameraSettingTable* UberCamera::settingTableOfClass() {
    typedef UberCamera C;
    static const char* const modes[] = {"", "split", "pathTracing", "mlt", nullptr};
    // The light point of a path of maxDepth vertices is its vertex
    // maxDepth + 1 at most: depths up to 998 fit the 1000-vertex record.
    static const CameraSettingTable table{
        "UberCamera",
        {
            intSetting("minDepth", &C::minDepth, 2, 0, UberPath::maxCapacity - 2,
                       "shortest contributing path; in pathTracing the first depth whose emission counts"),
            intSetting("maxDepth", &C::maxDepth, 2, 0, UberPath::maxCapacity - 2,
                       "longest path; in pathTracing the depth below which events are chosen"),
            intSetting("samples", &C::samples, 100, 1, 1 << 20,
                       "samples per pixel (pathTracing), passes (split), mutations per pixel (mlt)"),
            intSetting("numSplits", &C::numSplits, 1, 0, 1 << 20, "0: no chains; else scales the chains per path"),
            textSetting("renderMode", &C::renderMode, "", modes,
                        "pathTracing, mlt, or the split mode (empty or anything else in scene files)"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
            intSetting("chainLength", &C::chainLength, 1, 1, 1 << 20, "mutations per chain"),
            intSetting("useFilter", &C::useFilter, 0, 0, 1, "stored only; no effect"),
            intSetting("postFilter", &C::postFilter, 0, 0, 100, "radius of the post filter; 0: off"),
            realSetting("minFilterChange", &C::minFilterChange, 0.9f, 0.0, 1e6,
                        "lower clamp of the post filter's factor"),
            realSetting("maxFilterChange", &C::maxFilterChange, 1.1f, 0.0, 1e6,
                        "upper clamp of the post filter's factor"),
        }};
    return &table;
}

void UberCamera::setUp(int width, int height) {
    imageWidth = width;
    imageHeight = height;
    const float t = std::tan(fovy * 0.5f);
    rightStep = right.scaled(2.0f * t / (float)height);
    upStep = trueUp.scaled(2.0f * t / (float)height);
    worldToRaster(toRaster, width, height);
    splatScale = 1.0f / (t * ((float)width / (float)height * t));
    result.resize(width, height);
    preview.resize(width, height);
    rejections.resize(width, height);
    for (long long i = 0; i < (long long)width * height; i++) {
        result.pixels[i] = preview.pixels[i] = black;
        rejections.pixels[i] = 0.0f;
    }
    chainSamples = stuckSamples = 0.0;
    // Records sized for this render's depths (a later render may go deeper).
    const int vertexCapacity = pathCapacity();
    for (std::unique_ptr<UberPath>* record : {&chainCurrent, &chainProposal, &path})
        if (!*record || (*record)->capacity != vertexCapacity) record->reset(new UberPath(vertexCapacity));
}

// ---------------------------------------------------------------- events

void UberCamera::eventProbabilities(GMaterial* material, const HitRecord& hit, bool totalInternalReflection,
                                    HPoint& diffuse, HPoint& specular, HPoint& transmitted, float& pD, float& pS,
                                    float& pT) {
    material->getColor(GMaterial::diffuse, diffuse, hit);
    material->getColor(GMaterial::specular, specular, hit);
    material->getColor(GMaterial::transmitted, transmitted, hit);
    diffuse.w = specular.w = transmitted.w = 1.0f;
    float lD = lum(diffuse), lS = lum(specular), lT = lum(transmitted);
    float total = lD + lS + lT;
    pD = lD;
    pS = lS;
    pT = lT;
    if (!(total > 0.0f)) return;
    if (totalInternalReflection) {
        lS += lT;
        lT = 0.0f;
        specular.add(transmitted);
        transmitted = black;
    }
    pD = lD / total;
    pS = lS / total;
    pT = lT / total;
}

void UberVertex::shade(UberCamera& camera, const GRay& ray, const HitRecord& hit) {
    material = hit.object->getMaterial();
    if (!material) material = camera.scene->defaultMaterial;
    normal = hit.normal;
    bool inside = ray.direction.dot(normal) > 0.0f;
    if (inside) normal.scale(-1.0f);
    float index = material->getScalar(GMaterial::indexOfRefraction, hit);
    float n1 = inside ? index : 1.0f, n2 = inside ? 1.0f : index;
    totalInternalReflection = !refracted.refract(normal, ray.direction, n1, n2);
    camera.eventProbabilities(material, hit, totalInternalReflection, diffuse, specular, transmitted, pD, pS, pT);
    material->getColor(GMaterial::emissive, emission, hit);
    emission.w = 1.0f;
}

void UberCamera::radiance(HPoint& sum, const HPoint& throughput, GRay& ray, int minimumDepth) {
    // The recursion of the estimator, walked as a loop with the running
    // product of the throughputs.
    HPoint weight = throughput;
    GRay current = ray;
    UberVertex v;
    for (;;) {
        HitRecord hit;
        hit.t = farAway;
        if (!scene->closestHit(current, hit)) {
            sum.add(product(scene->backgroundColor, weight));
            return;
        }
        v.shade(*this, current, hit);
        if (current.depth >= minimumDepth) sum.add(product(v.emission, weight));
        if (current.depth >= maxDepth) return;
        int type = v.choose(uniform01());
        HPoint direction, factor;
        if (type == 'D' && v.pD > 0.0f && current.depth < maxDepth - 1) {
            direction = sampleCosineHemisphere(v.normal);
            factor = v.diffuse.scaled(1.0f / v.pD);
        } else if (type == 'T' && v.pT > 0.0f) {
            direction = v.refracted;
            factor = v.transmitted.scaled(1.0f / v.pT);
        } else if (type == 'R' && v.pS > 0.0f) {
            direction = HPoint::reflect(v.normal, current.direction);
            factor = v.specular.scaled(1.0f / v.pS);
        } else {
            return;
        }
        GRay next;
        makeRay(next, current.depth + 1, hit.point, direction);
        hit.object->clearRayStamp(next.id);
        weight = product(weight, factor);
        current = next;
    }
}

double UberCamera::renderPathTraced(ColorImage& frame, int n) {
    const int w = frame.width, h = frame.height;
    HPointImage image(w, h);
    frame.fill(0);
    const HPoint one(1.0f, 1.0f, 1.0f, 1.0f);
    // Rows are the work units (with "-threads", a stream per row).
    const bool unitStreams = workUnitStreams();
    ProgressClock clock;
    auto renderRow = [&](int y, int) {
        if (!unitStreams) std::printf("\r%d / %d  ", y, h);
        beginWorkUnit((uint32_t)y, 0);
        for (int x = w - 1; x >= 0; x--) {
            HPoint sum = black;
            for (int k = 0; k < n; k++) {
                float dx = uniform01(), dy = uniform01();
                GRay ray;
                rasterRay(ray, rightStep, upStep, (float)x + dx, (float)y + dy, w, h);
                radiance(sum, one, ray, minDepth);
            }
            HPoint mean = sum.scaled(1.0f / (float)n);
            mean.w = 1.0f;
            image.at(x, y) = mean;
        }
    };
    renderUnits(h, renderRow, [&](int done) {
        if (unitStreams) std::printf("\r%d / %d%s", done, h, clock.text((double)done / h));
    });
    image.toneMap(frame, exposure);
    std::printf("| %d rays\n", (int)rayCounter);
    double average = image.meanLuminance();
    std::printf("averageLuminance = %0.8f\n", average);
    result.copyFrom(image);
    return average;
}

// ---------------------------------------------------------------- paths

void UberCamera::pathRaster(UberPath& p) {
    HPoint raster = p.vertices[1].point;
    raster.w = 1.0f;
    raster.transform(toRaster);
    p.rasterX = raster.x / raster.w;
    p.rasterY = raster.y / raster.w;
}

void UberCamera::pathColour(UberPath& p) {
    const int L = p.length;
    if (L <= 0) {
        p.colour = black;
        return;
    }
    HPoint colour = p.endEmission;
    for (int i = 1; i <= L - 1; i++) colour = product(colour, p.eventColour[i].scaled(p.geometryFactor[i]));
    // Every walked vertex chose its event, the one joined to a light point
    // too (it had to choose 'D' for the connection to be made).
    double denominator = p.depthWeight;
    for (int i = 1; i <= L - 1; i++) denominator *= p.eventProbability[i];
    if (!p.endsOnEmitter) {
        denominator *= (double)p.lightPdf * p.lightChoiceProbability * pi * p.lightDistance2;
        colour.scale(p.lightCosine);
    }
    p.colour = denominator != 0.0 ? colour.scaled((float)(1.0 / denominator)) : black;
    p.colour.w = 1.0f;
}

bool UberCamera::connectToLight(UberPath& p, int v, int emitterIndex) {
    const int count = scene->emitters.size();
    if (count == 0 || v < 1 || v + 1 >= p.capacity) return false;
    int index = emitterIndex >= 0 ? emitterIndex % count : nextRandom() % count;
    GSceneObject* emitter = scene->emitters[index];
    HPoint point, normal, emitted;
    float density;
    if (!emitter->samplePoint(point, normal, emitted, density)) return false;
    const HPoint& from = p.vertices[v].point;
    HPoint direction = point.difference(from);
    float distance2 = direction.dot(direction);
    direction.normalize();
    // The receiver scatters only to the side it was reached from; the
    // emitter shines from both faces.
    float receiverCosine = facingCosine(p.vertices[v], p.vertices[v - 1].point, direction);
    if (!(receiverCosine > 0.0f)) return false;
    if (!scene->isVisible(from, point)) return false;
    HitRecord& light = p.vertices[v + 1];
    light = HitRecord();
    light.object = emitter;
    light.point = point;
    light.normal = light.geometricNormal = normal;
    p.lightChoiceProbability = 1.0f / (float)count;
    p.lightPdf = density;
    p.endEmission = HPoint(emitted.x, emitted.y, emitted.z, 1.0f);
    p.lightDistance2 = distance2;
    p.lightCosine = std::fabs(normal.dot(direction));
    p.geometryFactor[v] = receiverCosine;
    p.length = v + 1;
    pathRaster(p);
    pathColour(p);
    return true;
}

bool UberCamera::generatePath(UberPath& p, GRay& ray, int depth, float depthWeight, int emitterIndex) {
    // 1. The eye.
    HitRecord& eye = p.vertices[0];
    eye = HitRecord();
    eye.point = ray.origin;
    eye.normal = eye.geometricNormal = ray.direction;
    p.eventProbability[0] = 1.0f;
    p.eventColour[0] = HPoint(1.0f, 1.0f, 1.0f, 1.0f);
    p.geometryFactor[0] = 1.0f;
    p.endEmission = black;
    p.colour = black;  // until the path is complete
    p.depthWeight = depthWeight;
    p.endsOnEmitter = false;
    p.length = 0;
    if (depth > p.capacity - 2) depth = p.capacity - 2;

    // 2. The walk.
    GRay current = ray;
    UberVertex v;
    for (int i = 1; i <= depth; i++) {
        HitRecord& vertex = p.vertices[i];
        if (!nextVertex(scene, current, vertex)) return true;  // unfinished: black
        v.shade(*this, current, vertex);
        if (i == depth) {
            if (!(lum(v.emission) > 0.0f)) return false;
            p.endsOnEmitter = true;
            p.endEmission = v.emission;
            p.length = depth;
            pathColour(p);
            pathRaster(p);
            return true;
        }
        if (!(v.pD + v.pS + v.pT > 0.0f)) {
            // Nothing scatters here (an emitter with black colours), but a
            // shorter path may still end on this vertex: keep it on record.
            // Marked specular, so that no light connection leaves it.
            p.length = i;
            p.isSpecular[i] = true;
            return false;
        }
        int type = v.choose(uniform01());
        p.eventType[i] = type;
        p.eventProbability[i] = type == 'T' ? v.pT : type == 'D' ? v.pD : v.pS;
        p.eventColour[i] = type == 'T' ? v.transmitted : type == 'D' ? v.diffuse : v.specular;
        p.isSpecular[i] = type != 'D';
        p.geometryFactor[i] = 1.0f;
        p.length = i;
        if (i + 1 == depth && type == 'D') break;
        HPoint direction = type == 'D'   ? sampleCosineHemisphere(v.normal)
                           : type == 'T' ? v.refracted
                                         : HPoint::reflect(v.normal, current.direction);
        continueRay(*this, current, vertex, direction);
    }

    // 3. The light connection from the last vertex.
    return connectToLight(p, p.length, emitterIndex);
}

bool UberCamera::truncatePath(UberPath& p, int h, int emitterIndex) {
    if (h < 1 || p.length < h - 1) return false;
    if (h != 1 && !p.isSpecular[h - 1]) {
        p.endsOnEmitter = false;
        p.depthWeight = 1.0f;
        return connectToLight(p, h - 1, emitterIndex);
    }
    if (p.length >= h && p.vertices[h].object) {
        GMaterial* material = p.vertices[h].object->getMaterial();
        if (!material) material = scene->defaultMaterial;
        HPoint emission;
        material->getColor(GMaterial::emissive, emission, p.vertices[h]);
        if (lum(emission) > 0.0f) {
            p.endsOnEmitter = true;
            p.endEmission = HPoint(emission.x, emission.y, emission.z, 1.0f);
            p.length = h;
            pathColour(p);
            pathRaster(p);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- split mode

void UberCamera::seedChains(const UberPath& p, float L, double u) {
    UberChainTarget target = chainTarget();
    seedChains(p, L, u, target);
    keepCounts(target);
}

void UberCamera::seedChains(const UberPath& p, float L, double u, UberChainTarget& target) {
    if (u < 1.0) {
        // Russian roulette: u may be far below the 1 / 32767 steps of uniform01.
        if (fineUniform01() < u) runChain(p, (float)(L / u), chainLength, target);
    } else {
        double chains = std::floor(u < maxChainsPerPath ? u : maxChainsPerPath);
        for (int c = 0; c < (int)chains; c++) runChain(p, (float)(L / chains), chainLength, target);
    }
}

void UberCamera::deposit(const UberPath& p, float weight) {
    float L = lum(p.colour);
    if (!(L > 0.0f) || !p.inImage(imageWidth, imageHeight)) return;
    result.at(p.pixelColumn(), p.pixelRow()).add(p.colour.scaled(weight / L));
}

void UberCamera::postFilterImage() {
    const int r = postFilter, w = imageWidth, h = imageHeight;
    const float window = (float)((2 * r + 1) * (2 * r + 1));
    for (int y = r; y < h - r; y++)
        for (int x = r; x < w - r; x++) {
            float c = rejections.at(x, y);
            if (!(c > 0.0f)) continue;
            float s = 0.0f;
            for (int dy = -r; dy <= r; dy++)
                for (int dx = -r; dx <= r; dx++) s += rejections.at(x + dx, y + dy);
            float f = s / (window * c);
            if (f > maxFilterChange) f = maxFilterChange;
            if (f < minFilterChange) f = minFilterChange;
            if (s > 0.0f) result.at(x, y).scale(f);
        }
}

bool UberCamera::settingsUsable(bool mlt) const {
    // The problem and the setting that cures it.
    const char* problem = nullptr;
    const char* cure = nullptr;
    if (samples < 1)
        problem = "samples must be at least 1", cure = "set samples to 1 or more";
    else if (maxDepth < 0 || maxDepth > UberPath::maxCapacity - 2 || minDepth < 0)
        problem = "the depths must lie in 0 .. 998", cure = "set minDepth and maxDepth within 0 .. 998";
    else if (mlt && maxDepth < 3)
        problem = "mode mlt needs maxDepth 3 or more", cure = "set maxDepth to 3 or more";
    else if (!mlt && minDepth > maxDepth)
        problem = "minDepth is above maxDepth", cure = "set minDepth to maxDepth or less";
    if (!problem) return true;
    std::printf("UberCamera: %s (minDepth %d, maxDepth %d, samples %d); nothing is rendered: %s.\n", problem,
                minDepth, maxDepth, samples, cure);
    return false;
}

bool UberCamera::settingsAccepted() const {
    return settingsUsable(strcasecmp(renderMode.c_str(), "mlt") == 0);
}

bool UberCamera::logsProgress() const {
    return strcasecmp(renderMode.c_str(), "pathTracing") != 0;
}

void UberCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;
    const bool pathTracingMode = strcasecmp(renderMode.c_str(), "pathTracing") == 0;
    const bool mltMode = strcasecmp(renderMode.c_str(), "mlt") == 0;
    frame.fill(0);
    if (!settingsUsable(mltMode)) return;
    if (scene->emitters.size() == 0 && !pathTracingMode)
        std::printf("The scene has no emitters: no light connections are made.\n");
    setUp(w, h);
    if (pathTracingMode) {
        renderPathTraced(frame, samples);
        writeRadiance(result);
        return;
    }
    if (mltMode) {
        renderMlt(frame);
        return;
    }

    // 2. The pre-pass: the image's average, which sets the number of chains.
    minDepth--;
    double average = renderPathTraced(frame, 4);
    minDepth++;
    std::printf("ave:%0.8f\n", average);
    setUp(w, h);

    // 3. The passes.
    if (threadSettings().unitStreams) {
        renderPassesOnThreads(frame, average);
        return;
    }
    UberPath& p = *path;
    UberChainTarget target = chainTarget();
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "samples");
    HPointImage logImage;
    for (int s = 0; s < samples; s++) {
        std::printf("\r%0.2f %s  ", 100.0 * s / samples, "%");
        if (snapshots.due(s == samples - 1)) {
            keepCounts(target);
            writePassSnapshot(frame, result, s, log, logImage);
        }
        for (int j = 0; j < h; j++) renderPassRow(s, j, average, p, result, target);
    }
    keepCounts(target);
    finishPasses(frame, log);
}

void UberCamera::writePassSnapshot(ColorImage& frame, const HPointImage& sums, int s, ProgressLog& log,
                                   HPointImage& logImage) {
    if (&sums != &preview) preview.copyFrom(sums);
    preview.toneMap(frame, exposure);
    frame.writePPM("image.ppm", nullptr);
    // The passes so far, each weighted 1 / samples, as their mean.
    if (s > 0) {
        if (log.wantsImage()) {
            logImage.copyFrom(sums);
            logImage.scale((float)samples / (float)s);
            if (chainSamples > 0.0) logImage.scale((float)((chainSamples + stuckSamples) / chainSamples));
        }
        log.row(s, &logImage);
    }
}

void UberCamera::renderPassRow(int s, int j, double average, UberPath& p, HPointImage& own,
                               UberChainTarget& target) {
    const int w = imageWidth, h = imageHeight;
    for (int k = 0; k < w; k++) {
        float dx = uniform01(), dy = uniform01();
        GRay ray;
        rasterRay(ray, rightStep, upStep, (float)k + dx, (float)j + dy, w, h);
        bool generated = generatePath(p, ray, maxDepth, 1.0f, maxDepth == 2 ? s : -1);
        for (int depth = maxDepth; depth >= minDepth; depth--) {
            // 1. The path, or its shorter form.
            if (depth == maxDepth) {
                if (!generated) continue;
            } else {
                int index = depth == 2 && samples >= scene->lights.size() ? s : -1;
                if (!truncatePath(p, depth, index)) continue;
            }
            // 2. - 4. To the pixel, or into chains.
            float L = lum(p.colour) / (float)samples;
            if (!(L > 0.0f)) continue;
            bool allSpecular = true;
            for (int i = 1; i < p.length; i++) allSpecular = allSpecular && p.isSpecular[i];
            if (numSplits == 0 || (p.length <= 2 && !allSpecular) || !(average > 0.0)) {
                own.at(k, j).add(p.colour.scaled(1.0f / (float)samples));
                continue;
            }
            // The chains a path asks for follow its brightness against the
            // average, not the number of passes: each pass spends about
            // numSplits chain steps per pixel, so more passes refine the
            // chains' light as they refine the rest.
            seedChains(p, L, numSplits * (double)lum(p.colour) / (chainLength * average), target);
        }
    }
}

void UberCamera::renderPassesOnThreads(ColorImage& frame, double average) {
    // Row j of pass s draws from its own stream and goes to slot j mod N.
    // A path's own share goes to its pixel in the result (the rows of a
    // pass are disjoint, so without chains the image is the same for every
    // N); the chains' deposits go to the slot's image, added in slot order
    // at the end.
    const int w = imageWidth, h = imageHeight;
    const int slots = threadSettings().threads;
    const bool chains = numSplits != 0;
    std::vector<std::unique_ptr<HPointImage>> deposits;
    std::vector<std::unique_ptr<UberPath>> records;
    std::vector<UberChainTarget> targets((size_t)slots);
    std::unique_ptr<std::atomic<int>[]> counts(new std::atomic<int>[(size_t)w * h]);
    for (long long i = 0; i < (long long)w * h; i++) counts[i].store(0, std::memory_order_relaxed);
    for (int k = 0; k < slots; k++) {
        UberChainTarget& target = targets[(size_t)k];
        if (chains) deposits.emplace_back(new HPointImage(w, h));
        target.result = chains ? deposits.back().get() : &result;
        target.rejectionCounts = counts.get();
        target.width = w;
        for (int r = 0; r < 3; r++) records.emplace_back(k == 0 ? nullptr : new UberPath(pathCapacity()));
        target.current = k == 0 ? chainCurrent.get() : records[(size_t)(3 * k)].get();
        target.proposal = k == 0 ? chainProposal.get() : records[(size_t)(3 * k + 1)].get();
    }
    auto eyePath = [&](int k) -> UberPath& { return k == 0 ? *path : *records[(size_t)(3 * k + 2)]; };
    // The counts and the image of all slots so far (summed into the preview
    // image, which needs no further image), for the snapshots.
    auto gather = [&]() {
        chainSamples = stuckSamples = 0.0;
        for (const UberChainTarget& target : targets) {
            chainSamples += target.chainSamples;
            stuckSamples += target.stuckSamples;
        }
        if (!chains) return;
        preview.copyFrom(result);
        for (const std::unique_ptr<HPointImage>& image : deposits) preview.add(*image);
    };

    ProgressSnapshot snapshots;
    ProgressLog log(*this, "samples");
    HPointImage logImage;
    ProgressClock clock;
    for (int s = 0; s < samples; s++) {
        std::printf("\r%0.2f %s  %s", 100.0 * s / samples, "%", clock.text((double)s / samples));
        if (snapshots.due(s == samples - 1)) {
            gather();
            writePassSnapshot(frame, chains ? preview : result, s, log, logImage);
        }
        renderUnits(slots, [&](int slot, int) {
            for (int j = slot; j < h; j += slots) {
                seedWorkUnit((uint32_t)j, 0x10000u + (uint32_t)s);
                renderPassRow(s, j, average, eyePath(slot), result, targets[(size_t)slot]);
            }
        });
    }
    gather();
    if (chains)
        for (const std::unique_ptr<HPointImage>& image : deposits) result.add(*image);
    deposits.clear();
    for (long long i = 0; i < (long long)w * h; i++) rejections.pixels[i] += (float)counts[i].load();
    finishPasses(frame, log);
}

void UberCamera::finishPasses(ColorImage& frame, ProgressLog& log) {
    // 4. Post filter, the steps dropped while stuck, the frame.
    if (postFilter > 0) postFilterImage();
    if (chainSamples > 0.0) result.scale((float)((chainSamples + stuckSamples) / chainSamples));
    result.toneMap(frame, exposure);
    writeRadiance(result);
    log.row(samples, &result);
    std::printf("| %d rays\n", (int)rayCounter);
}
