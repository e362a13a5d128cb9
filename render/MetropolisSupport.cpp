#include "render/MetropolisSupport.h"

#include <cmath>
#include <cstdio>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "geometry/HitRecord.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/GCamera.h"
#include "render/PathTracingCamera.h"
#include "render/SubPath.h"
#include "shading/GMaterial.h"

float pathLuminance(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

HPoint componentProduct(const HPoint& a, const HPoint& b) {
    return HPoint(a.x * b.x, a.y * b.y, a.z * b.z, 1.0f);
}

bool insideRaster(const HPoint& raster, int width, int height) {
    return raster.x >= 0.0f && raster.x < (float)width && raster.y >= 0.0f && raster.y < (float)height;
}

void recordEvent(SubPath& path, int i, int type, const VertexShading& v) {
    path.eventType[i] = type;
    if (type == 'T') {
        path.eventProbability[i] = v.lT / v.total;
        path.throughput[i] = v.transmitted;
        path.isSpecular[i] = true;
    } else if (type == 'R') {
        path.eventProbability[i] = v.lS / v.total;
        path.throughput[i] = v.specular;
        path.isSpecular[i] = true;
    } else {
        path.eventProbability[i] = v.lD / v.total;
        path.throughput[i] = v.diffuse;
        path.isSpecular[i] = false;
    }
}

void recordAbsorbed(SubPath& path, int i) {
    path.eventProbability[i] = 1.0f;
    path.throughput[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    path.isSpecular[i] = false;
    path.eventType[i] = 'D';
}

int chooseEvent(const VertexShading& v) {
    float u = uniform01() * v.total;
    return u > v.lD + v.lS ? 'T' : u > v.lS ? 'D' : 'R';
}

void jitteredPixelRay(GCamera& camera, const HPoint& rightStep, const HPoint& upStep, int width,
                      int height, GRay& ray) {
    int column = nextRandom() % width, row = nextRandom() % height;
    float dy = uniform01(), dx = uniform01();
    camera.rasterRay(ray, rightStep, upStep, (float)column + dx, (float)row + dy, width, height);
}

bool specularDirection(int type, const VertexShading& v, const GRay& ray, const HitRecord& hit,
                       HPoint& direction) {
    if (type == 'R') {
        direction = HPoint::reflect(v.normal, ray.direction);
        return true;
    }
    float index = v.material->getScalar(GMaterial::indexOfRefraction, hit);
    float n1 = v.inside ? index : 1.0f, n2 = v.inside ? 1.0f : index;
    return direction.refract(v.normal, ray.direction, n1, n2);
}

bool chainPathColour(SubPath& path, const GMatrix& toRaster, int width, int height, float scale,
                     HPoint& color, int& nonSpecular) {
    nonSpecular = 0;
    for (int i = 1; i < path.length; i++)
        if (!path.isSpecular[i]) nonSpecular++;
    if (nonSpecular == 0 || path.length < 1) return false;
    HPoint raster = path.vertices[1].point;
    raster.w = 1.0f;
    raster.transform(toRaster);
    raster = HPoint(raster.x / raster.w, raster.y / raster.w, 0.0f, 1.0f);
    if (!insideRaster(raster, width, height)) return false;
    path.pixelColumn = (int)raster.x;
    path.pixelRow = (int)raster.y;
    float probability = 1.0f;
    color = HPoint(1.0f, 1.0f, 1.0f, 1.0f);
    for (int i = 0; i <= path.length; i++) {
        probability *= path.eventProbability[i];
        color = componentProduct(color, path.throughput[i]);
    }
    if (!(probability > 0.0f)) return false;
    color.scale(scale / probability);
    return true;
}

bool nextVertex(GScene* scene, GRay& ray, HitRecord& vertex) {
    vertex = HitRecord();
    vertex.t = 3.4028235e38f;
    return scene->closestHit(ray, vertex);
}

void continueRay(GCamera& camera, GRay& ray, const HitRecord& vertex, const HPoint& direction) {
    GRay next;
    camera.makeRay(next, ray.depth + 1, vertex.point, direction);
    if (vertex.object) vertex.object->clearRayStamp(next.id);
    ray = next;
}

bool clearSegment(GCamera& camera, const HPoint& from, const HPoint& to, GSceneObject* marked) {
    // The far end is a surface point too: a reach of the full length would
    // let that surface block its own connection whenever rounding puts its
    // hit at or before the end, so the reach stops epsilon short of it.
    HPoint direction = to.difference(from);
    float reach = direction.length() - epsilon;
    direction.normalize();
    GRay shadow;
    camera.makeRay(shadow, 0, from, direction);
    if (marked) marked->clearRayStamp(shadow.id);
    HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
    return !camera.scene->anyHit(shadow, filter, reach);
}

void chainSteps(GCamera& camera, int width, int height, HPoint& rightStep, HPoint& upStep,
                GMatrix& toRaster) {
    const float t = std::tan(camera.fovy * 0.5f);
    rightStep = camera.right.scaled(2.0f * t / (float)height);
    upStep = camera.trueUp.scaled(2.0f * t / (float)height);
    camera.worldToRaster(toRaster, width, height);
}

void VertexShading::shade(GScene* scene, const GRay& ray, const HitRecord& hit) {
    material = hit.object->getMaterial();
    if (!material) material = scene->defaultMaterial;
    normal = hit.normal;
    inside = ray.direction.dot(normal) > 0.0f;
    if (inside) normal.scale(-1.0f);
    material->getColor(GMaterial::diffuse, diffuse, hit);
    material->getColor(GMaterial::specular, specular, hit);
    material->getColor(GMaterial::transmitted, transmitted, hit);
    material->getColor(GMaterial::emissive, emission, hit);
    diffuse.w = specular.w = transmitted.w = emission.w = 1.0f;
    lD = pathLuminance(diffuse);
    lS = pathLuminance(specular);
    lT = pathLuminance(transmitted);
    total = lD + lS + lT;
}

void renderSeedLayer(GCamera& camera, int maxDepth, int mutationsPerPixel, float exposure,
                     ColorImage& frame, HPointImage& seed) {
    PathTracingCamera seeder;
    seeder.setView(camera.from, camera.to, camera.up, camera.fovy);
    seeder.setResolution(frame.width, frame.height);
    seeder.setScene(camera.scene);
    seeder.maxRayDepth = maxDepth;
    seeder.samplesPerPixel = (int)std::floor(std::sqrt((double)mutationsPerPixel * 3.14159)) + 1;
    seeder.toneMappingConstant = exposure;
    seeder.noDiffuseBounces = true;
    HPoint sum(0.0f, 0.0f, 0.0f, 1.0f);
    seeder.renderPaths(frame, sum, 0, &seed);
}

float acceptanceProbability(float luminance, float currentLuminance, float currentTransition,
                            float proposalTransition) {
    if (!(luminance > 0.0f)) return 0.0f;
    if (!(currentLuminance > 0.0f)) return 1.0f;
    float a = luminance * currentTransition / (currentLuminance * proposalTransition);
    return a == a ? a : 0.0f;  // 0 / 0 and inf / inf reject
}

void MutationStatistics::add(const MutationStatistics& other) {
    for (int type = 0; type < 3; type++) {
        proposed[type] += other.proposed[type];
        succeeded[type] += other.succeeded[type];
        accepted[type] += other.accepted[type];
    }
}

void MutationStatistics::print(double b, long long freshPaths) const {
    static const char* const names[3] = {"fresh", "caustic", "lens"};
    for (int type = 0; type < 3; type++) {
        double rate = proposed[type] > 0 ? 100.0 * (double)accepted[type] / (double)proposed[type] : 0.0;
        std::printf("mutation %s: %lld proposed, %lld succeeded, %lld accepted (%0.2f%% of proposals)\n",
                    names[type], proposed[type], succeeded[type], accepted[type], rate);
    }
    std::printf("normalisation b = %g from %lld fresh paths\n", b, freshPaths);
}

void normalisedChainImage(const HPointImage& chain, const HPointImage* seed, double b, double steps,
                          HPointImage& out) {
    out.copyFrom(chain);
    const double pixels = (double)chain.width * chain.height;
    out.scale(steps > 0.0 ? (float)(b * pixels / steps) : 0.0f);
    if (seed)
        out.add(*seed);
}
