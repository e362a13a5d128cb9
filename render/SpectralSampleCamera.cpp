#include "render/SpectralSampleCamera.h"

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "image/PixelFunctions.h"
#include "render/CameraSettings.h"
#include "render/ProgressSnapshot.h"
#include "shading/GMaterial.h"
#include "shading/SpectralBsdf.h"

namespace {

const double pi = 3.141592653589793;
const double uniformChance = 0.33, lightChance = 0.33, bsdfChance = 1.0 - 0.66;
const double weightClamp = 20.0;

double dot(const HPoint& a, const HPoint& b) { return (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z; }

bool anyNonZero(const double* values) {
    for (int i = 0; i < spectrumSamples; i++)
        if (values[i] != 0.0) return true;
    return false;
}

}  // namespace

SpectralSampleCamera::SpectralSampleCamera()
    : maxDepth(1), samplesPerPixel(100), toneMappingConstant(1.0f), medium(nullptr) {
    width = height = 100;
    for (double& entry : backgroundSpectrum) entry = 0.0;
    loadSpectrum(xBar, "spectra\\xbar.spec");
    loadSpectrum(yBar, "spectra\\ybar.spec");
    loadSpectrum(zBar, "spectra\\zbar.spec");
}

SpectralSampleCamera::~SpectralSampleCamera() {}

bool SpectralSampleCamera::isKindOf(int id) const {
    return id == ClassId::SpectralSampleCamera || GCamera::isKindOf(id);
}

int SpectralSampleCamera::typeId() const { return ClassId::SpectralSampleCamera; }

const char* SpectralSampleCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "SpectralSampleCamera", this);
}


const CameraSettingTable* SpectralSampleCamera::settingTableOfClass() {
    typedef SpectralSampleCamera C;
    static const CameraSettingTable table{
        "SpectralSampleCamera",
        {
            intSetting("maxDepth", &C::maxDepth, 1, 0, 1000, "deepest vertex that scatters (RIB \"rayDepth\")"),
            intSetting("samplesPerPixel", &C::samplesPerPixel, 100, 1, 1 << 20,
                       "wavelength passes, one path per pixel each (RIB PixelSamples)"),
            realSetting("toneMappingConstant", &C::toneMappingConstant, 1.0f, 0.0, 1e30,
                        "linear scale of XYZ before the conversion to RGB"),
        }};
    return &table;
}

// ---------------------------------------------------------------- materials

void SpectralSampleCamera::prepareMaterials() {
    standIns.clear();
    auto add = [this](GMaterial* material) {
        if (standIns.count(material)) return;
        StandIn entry;
        entry.bsdf = material->bsdf;
        if (!entry.bsdf) {
            LambertianBsdf* lambertian = new LambertianBsdf();
            spectrumFromBands(lambertian->spectrum, material->colors[GMaterial::diffuse]);
            ownedBsdfs.emplace_back(lambertian);
            entry.bsdf = lambertian;
        }
        const HPoint& emissive = material->colors[GMaterial::emissive];
        entry.emits = emissive.x + emissive.y + emissive.z > 0.0f;
        entry.emission = material->emissiveSpectrum;
        // A spectral material emits its own spectrum, zero when its file was
        // missing: a lamp that shone white instead would hide the mistake.
        if (entry.emits && !material->bsdf && !anyNonZero(material->emissiveSpectrum)) {
            ownedSpectra.emplace_back(new double[spectrumSamples]);
            spectrumFromBands(ownedSpectra.back().get(), emissive);
            entry.emission = ownedSpectra.back().get();
        }
        standIns[material] = entry;
    };
    add(scene->defaultMaterial);
    for (int k = 0; k < scene->allObjects.size(); k++)
        if (scene->allObjects[k]->isKindOf(ClassId::GMaterial)) add(static_cast<GMaterial*>(scene->allObjects[k]));
    // The emitters' areas and their hierarchy, for the density of the
    // emitter strategy.
    const int count = scene->emitters.size();
    emitterAreas.assign((size_t)count, 0.0f);
    std::vector<float> bounds((size_t)count * 6);
    for (int k = 0; k < count; k++) {
        GSceneObject* emitter = scene->emitters[k];
        if (emitter->isKindOf(ClassId::GTriangle))
            emitterAreas[(size_t)k] = static_cast<GTriangle*>(emitter)->area();
        else if (emitter->isKindOf(ClassId::GSphere))
            emitterAreas[(size_t)k] = static_cast<GSphere*>(emitter)->area();
        HPoint low, high;
        emitter->getBounds(low, high);
        // Widened, so that flat lamps have thickness and the box test's
        // rounding never drops a hit the emitter's own test would find.
        const float lows[3] = {low.x, low.y, low.z}, highs[3] = {high.x, high.y, high.z};
        float size = 0.0f;
        for (int axis = 0; axis < 3; axis++)
            size = std::fmax(size, std::fmax(highs[axis] - lows[axis],
                                             std::fmax(std::fabs(lows[axis]), std::fabs(highs[axis]))));
        const float margin = 1e-3f * size + epsilon;
        for (int axis = 0; axis < 3; axis++) {
            bounds[(size_t)k * 6 + axis] = lows[axis] - margin;
            bounds[(size_t)k * 6 + 3 + axis] = highs[axis] + margin;
        }
    }
    emitterOrder.resize((size_t)count);
    for (int k = 0; k < count; k++) emitterOrder[(size_t)k] = k;
    emitterNodes.clear();
    if (count > 0) buildEmitterNodes(bounds, 0, count);
}

void SpectralSampleCamera::buildEmitterNodes(const std::vector<float>& bounds, int begin, int end) {
    EmitterNode node;
    for (int axis = 0; axis < 3; axis++) {
        node.low[axis] = FLT_MAX;
        node.high[axis] = -FLT_MAX;
    }
    for (int n = begin; n < end; n++) {
        const float* box = &bounds[(size_t)emitterOrder[(size_t)n] * 6];
        for (int axis = 0; axis < 3; axis++) {
            node.low[axis] = std::fmin(node.low[axis], box[axis]);
            node.high[axis] = std::fmax(node.high[axis], box[3 + axis]);
        }
    }
    const int at = (int)emitterNodes.size();
    const int leafSize = 4;
    const bool leaf = end - begin <= leafSize;
    node.first = begin;
    node.count = leaf ? end - begin : 0;
    node.skip = at + 1;
    emitterNodes.push_back(node);
    if (leaf) return;
    // Halves at the median centre along the box's longest axis.
    int axis = 0;
    for (int a = 1; a < 3; a++)
        if (node.high[a] - node.low[a] > node.high[axis] - node.low[axis]) axis = a;
    const int middle = (begin + end) / 2;
    auto centre = [&](int k) { return bounds[(size_t)k * 6 + axis] + bounds[(size_t)k * 6 + 3 + axis]; };
    std::nth_element(emitterOrder.begin() + begin, emitterOrder.begin() + middle, emitterOrder.begin() + end,
                     [&](int a, int b) { return centre(a) < centre(b) || (centre(a) == centre(b) && a < b); });
    buildEmitterNodes(bounds, begin, middle);
    buildEmitterNodes(bounds, middle, end);
    emitterNodes[(size_t)at].skip = (int)emitterNodes.size();
}

const SpectralSampleCamera::StandIn& SpectralSampleCamera::standInFor(const GMaterial* material) {
    auto found = standIns.find(material);
    if (found != standIns.end()) return found->second;
    if (standIns.empty()) {  // asked before any render: make them now
        prepareMaterials();
        found = standIns.find(material);
        if (found != standIns.end()) return found->second;
    }
    return standIns.find(scene->defaultMaterial)->second;  // a material the scene does not list
}

// ---------------------------------------------------------------- directions

HPoint SpectralSampleCamera::sampleUniformDirection(const HPoint& normal, bool hemisphereOnly) {
    HPoint d = uniformSphereDirection();
    if (hemisphereOnly && dot(d, normal) < 0.0) d.scale(-1.0f);
    return d;
}

bool SpectralSampleCamera::sampleTowardEmitter(HPoint& direction, const HPoint& point, double u1, double u2) {
    (void)u1;
    (void)u2;
    const int count = scene->emitters.size();
    if (count == 0) {
        direction = uniformSphereDirection();  // over the sphere, as no normal is known here
        return true;
    }
    int k = (nextRandom() >> 4) % count;
    HitRecord receiver;
    receiver.point = point;
    HPoint color;
    float distance;
    scene->emitters[k]->sampleLight(direction, color, distance, receiver);
    return true;
}

// The density of the sphere's sampling (a uniform point on the disc through
// its centre that faces the point) for the direction from point.
static double sphereDiscDensity(const GSphere& sphere, const HPoint& point, const HPoint& direction) {
    const double cx = (double)sphere.center.x - point.x, cy = (double)sphere.center.y - point.y,
                 cz = (double)sphere.center.z - point.z;
    const double distance = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (!(distance > 0.0)) return 0.0;
    // The cosine between the direction and the disc's normal (towards the centre).
    const double cosine = (cx * direction.x + cy * direction.y + cz * direction.z) / distance;
    if (!(cosine > 0.0)) return 0.0;
    const double toDisc = distance / cosine;  // along the direction to the disc's plane
    const double ox = toDisc * direction.x - cx, oy = toDisc * direction.y - cy, oz = toDisc * direction.z - cz;
    const double r = sphere.radius;
    if (ox * ox + oy * oy + oz * oz > r * r) return 0.0;
    return toDisc * toDisc / (pi * r * r * cosine);
}

double SpectralSampleCamera::emitterDensity(int k, GRay& ray) {
    const int count = scene->emitters.size();
    GSceneObject* emitter = scene->emitters[k];
    float area = emitterAreas[(size_t)k];
    if (!(area > 0.0f)) return 0.0;
    double d;
    if (emitter->isKindOf(ClassId::GSphere)) {
        d = sphereDiscDensity(*static_cast<GSphere*>(emitter), ray.origin, ray.direction) / count;
    } else {
        HitRecord hit;
        hit.t = FLT_MAX;
        if (!emitter->intersect(ray, hit)) return 0.0;
        d = (double)hit.t * hit.t / (area * std::fabs(dot(hit.normal, ray.direction)) * count);
    }
    return d > 0.0 && std::isfinite(d) ? d : 0.0;
}

// Whether the ray's half-line crosses the box (whose margins absorb the
// rounding of this test).
static bool rayCrossesBox(const GRay& ray, const float* low, const float* high) {
    float near, far;
    return raySpanInBox(ray, low, high, FLT_MAX, near, far);
}

double SpectralSampleCamera::lightDensity(const HPoint& point, const HPoint& direction) {
    const int count = scene->emitters.size();
    // Without emitters sampleTowardEmitter draws uniformly over the sphere.
    if (count == 0) return 1.0 / (4.0 * pi);
    if (emitterAreas.size() != (size_t)count) prepareMaterials();
    GRay ray;
    makeRay(ray, 0, point, direction);
    double density = 0.0;
    if (testEveryEmitter) {
        for (int k = 0; k < count; k++) density += emitterDensity(k, ray);
        return density;
    }
    // The emitters in the boxes the line crosses. Their densities are added
    // in the order of the emitter list, as when every emitter is tested, so
    // the sums agree to the last bit; a line that meets more emitters than
    // are kept here is summed over every emitter.
    const int capacity = 16;
    int met[capacity];
    double densities[capacity];
    int found = 0;
    for (int n = 0; n < (int)emitterNodes.size();) {
        const EmitterNode& node = emitterNodes[(size_t)n];
        if (!rayCrossesBox(ray, node.low, node.high)) {
            n = node.skip;
            continue;
        }
        for (int m = node.first; m < node.first + node.count; m++) {
            const int k = emitterOrder[(size_t)m];
            const double d = emitterDensity(k, ray);
            if (!(d > 0.0)) continue;
            if (found == capacity) {
                for (int j = 0; j < count; j++) density += emitterDensity(j, ray);
                return density;
            }
            int at = found++;
            for (; at > 0 && met[at - 1] > k; at--) {
                met[at] = met[at - 1];
                densities[at] = densities[at - 1];
            }
            met[at] = k;
            densities[at] = d;
        }
        n++;
    }
    for (int j = 0; j < found; j++) density += densities[j];
    return density;
}

// The linear RGB of the sums of XYZ times scale, before the gamma.
static void meanLinearRgb(const HPointImage& sums, double scale, HPointImage& rgb) {
    rgb.resize(sums.width, sums.height);
    for (long long k = 0; k < (long long)sums.width * sums.height; k++) {
        double xyz[3] = {sums.pixels[k].x * scale, sums.pixels[k].y * scale,
                         sums.pixels[k].z * scale};
        rgb.pixels[k] = xyzToLinearRgb(xyz);
    }
}

// ---------------------------------------------------------------- radiance

double SpectralSampleCamera::spectralRadiance(int i, GRay& ray, HitRecord& hit, SpectralBsdf* currentMedium) {
    // The recursion L = w L(child) as a loop with the product of the weights.
    double weight = 1.0;
    GRay current = ray;
    HitRecord later;
    HitRecord* vertex = &hit;
    SpectralBsdf* inMedium = currentMedium;
    for (;;) {
        // 1. - 3. The surface or volume event.
        vertex->t = FLT_MAX;
        bool found = scene->closestHit(current, *vertex);
        const GMaterial* material = nullptr;
        SpectralBsdf* bsdf = nullptr;
        const StandIn* standIn = nullptr;
        if (found) {
            material = vertex->object->getMaterial();
            if (!material) material = scene->defaultMaterial;
            standIn = &standInFor(material);
            bsdf = standIn->bsdf;
        }
        bool volume = false;
        if (inMedium) {
            int event = inMedium->freeFlight(current, *vertex, i);
            if (event == 2) return 0.0;
            if (event == 1) {
                // Scattered inside the volume: no surface and no object
                // here, so the next ray must not ignore the one beyond.
                bsdf = inMedium;
                material = nullptr;
                standIn = nullptr;
                vertex->object = nullptr;
                volume = true;
            }
        }
        if (!found && !volume) return weight * backgroundSpectrum[i];

        // 4. - 6.
        HPoint normal = vertex->normal;
        bool inside = dot(current.direction, normal) > 0.0;
        if (inside) normal.scale(-1.0f);
        if (standIn && standIn->emits) return weight * standIn->emission[i];  // from either face
        if (current.depth >= maxDepth) return 0.0;

        // 7. - 8. One of three strategies and the mixture's density.
        HPoint outgoing;
        double pb = 0.0, f = 0.0, pl = 0.0;
        const double pu = bsdf->isMedium ? 1.0 / (4.0 * pi) : 1.0 / (2.0 * pi);
        const double xi = uniform01();
        if (!bsdf->isSpecular && xi <= uniformChance) {
            outgoing = sampleUniformDirection(normal, !bsdf->isMedium);
            pl = lightDensity(vertex->point, outgoing);
            bsdf->evaluate(current.direction, outgoing, normal, i, pb, f);
        } else if (!bsdf->isSpecular && xi <= uniformChance + lightChance) {
            double u2 = uniform01(), u1 = uniform01();
            if (!sampleTowardEmitter(outgoing, vertex->point, u2, u1)) return 0.0;
            pl = lightDensity(vertex->point, outgoing);
            bsdf->evaluate(current.direction, outgoing, normal, i, pb, f);
        } else {
            double u1 = uniform01(), u2 = uniform01();
            if (!bsdf->sample(current.direction, outgoing, normal, i, pb, f, u1, u2, inside)) return 0.0;
            if (!bsdf->isSpecular) pl = lightDensity(vertex->point, outgoing);
        }
        double p = bsdf->isSpecular ? pb : bsdfChance * pb + uniformChance * pu + lightChance * pl;
        if (!(p > 0.0) || !(pb > 0.0)) return 0.0;

        // 9. On, with the clamped weight.
        GRay child;
        makeRay(child, current.depth + 1, vertex->point, outgoing);
        if (vertex->object) vertex->object->clearRayStamp(child.id);
        double w;
        if (!volume) {
            double c = dot(outgoing, normal);
            bool intoObject = (!inside && c < 0.0) || (inside && c > 0.0);
            inMedium = intoObject ? medium : nullptr;
            w = f / p * std::fabs(c);
        } else {
            w = f / p;
        }
        if (w > weightClamp) w = weightClamp;
        weight *= w;
        current = child;
        later = HitRecord();
        vertex = &later;
    }
}

// ---------------------------------------------------------------- render

void SpectralSampleCamera::wavelengthSchedule(int n, std::vector<int>& indices) {
    indices.resize((size_t)n);
    for (int j = 0; j < n; j++) {
        int index = (int)((j + uniform01()) / n * spectrumSamples);
        indices[(size_t)j] = index < spectrumSamples - 1 ? index : spectrumSamples - 1;
    }
    for (int j = 0; j < n; j++) std::swap(indices[(size_t)j], indices[(size_t)(nextRandom() % n)]);
}

void SpectralSampleCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;
    std::printf("hello\n");

    // 1. - 3.
    const HPoint& background = scene->backgroundColor;
    for (int i = 0; i < spectrumSamples; i++)
        backgroundSpectrum[i] = i < 100 ? background.z : i < 200 ? background.y : i < 300 ? background.x : 0.0;
    frame.fill(0);
    prepareMaterials();
    HPointImage sums(w, h);
    for (long long k = 0; k < (long long)w * h; k++) sums.pixels[k] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    HPoint rightStep, upStep;
    pixelSteps(h, rightStep, upStep);
    const int n = samplesPerPixel;
    std::vector<int> schedule;
    wavelengthSchedule(n, schedule);

    // 4. - 5. The passes.
    ProgressSnapshot snapshots;
    ProgressLog log(*this, "samples");
    HPointImage logImage;
    // Within a pass the rows are the work units (with "-threads", a stream
    // per row and pass); a pass ends before the frame is made from the sums.
    const bool unitStreams = workUnitStreams();
    ProgressClock clock;
    for (int j = 0; j < n; j++) {
        if (unitStreams)
            std::printf("\r%d / %d%s", j, n, clock.text((double)j / n));
        else
            std::printf("\r%d / %d  ", j, n);
        const int i = schedule[(size_t)j];
        renderUnits(h, [&](int y, int) {
            beginWorkUnit((uint32_t)y, (uint32_t)j);
            for (int x = 0; x < w; x++) {
                float dy = uniform01(), dx = uniform01();
                GRay ray;
                rasterRay(ray, rightStep, upStep, (float)x + dx, (float)y + dy, w, h);
                HitRecord hit;
                double I = spectralRadiance(i, ray, hit, nullptr);
                double xyz[3] = {0.0, 0.0, 0.0};
                if (I > 0.0 && I < 10000000.0) addWavelength(xyz, xBar, yBar, zBar, i, I);
                if (xyz[0] + xyz[1] + xyz[2] < 1000000.0) {
                    HPoint& sum = sums.at(x, y);
                    sum.x += (float)xyz[0];
                    sum.y += (float)xyz[1];
                    sum.z += (float)xyz[2];
                } else {
                    std::printf("%0.3f %0.3f %0.3f | ", xyz[0], xyz[1], xyz[2]);
                }
            }
        });
        // Every 20th pass, and the last one, so that no pass is lost from
        // the frame the driver writes.
        const bool last = j == n - 1;
        if (j % 20 == 0 || last) {
            const double scale = (double)toneMappingConstant / (j + 1);
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const HPoint& sum = sums.at(x, y);
                    double xyz[3] = {sum.x * scale, sum.y * scale, sum.z * scale};
                    frame.pixels[x + (long long)y * w] = colorToPixel(xyzToRgb(xyz));
                }
            if (snapshots.due(last)) {
                frame.writePPM("image.ppm", nullptr);
                if (log.wantsImage())
                    meanLinearRgb(sums, scale, logImage);
                log.row(j + 1, &logImage);
            }
        }
    }

    // The linear RGB of the mean, before the gamma.
    if (!radianceFileName.empty() || resultImage) {
        HPointImage rgb;
        meanLinearRgb(sums, n > 0 ? (double)toneMappingConstant / n : 0.0, rgb);
        writeRadiance(rgb);
    }
    std::printf("| %d rays\n", (int)rayCounter++);
}
