// The RIB commands that set up the image and the camera, and the camera
// built from the render settings when the world block closes.
#include <cstdio>
#include <cstring>
#include <string>

#include "geometry/GScene.h"
#include "image/GImage.h"
#include "io/rib/RibReader.h"
#include "render/CameraSettings.h"
#include "render/PathTracingCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/SpectralSampleCamera.h"
#include "shading/SpectralBsdf.h"
#include "render/UberCamera.h"

// "PixelSamples" products above this are cut down: a typing error must not
// turn into a render that never ends or an overflowing product.
static const long long maxPixelSamples = 1 << 16;

bool RibReader::format(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 3) {
        std::printf("Format requires 3 arguments, %d provided.\n", arguments);
        return false;
    }
    int newWidth = s.node(1).asInt();
    int newHeight = s.node(2).asInt();
    if (!validImageSize(newWidth, newHeight)) {
        std::printf("Format %d x %d is not a usable image size; keeping %d x %d.\n", newWidth,
                    newHeight, width, height);
        return false;
    }
    width = newWidth;
    height = newHeight;
    return true;
}

bool RibReader::pixelSamplesCommand(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 2) {
        std::printf("PixelSamples requires 2 arguments, %d provided.\n", arguments);
        return false;
    }
    long long product = (long long)s.node(1).asInt() * (long long)s.node(2).asInt();
    if (product < 1) product = 1;
    if (product > maxPixelSamples) product = maxPixelSamples;
    pixelSamples = (int)product;
    return true;
}

bool RibReader::imager(const RibData& s) {
    double background[3];
    bool found = s.getFloats("background", background, 3);
    if (!scene) return found;
    if (found)
        scene->backgroundColor =
            HPoint((float)background[0], (float)background[1], (float)background[2], 1.0f);
    else
        scene->backgroundColor = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    return found;
}

bool RibReader::projection(const RibData& s) {
    if (s.hasParameter("fov")) {
        const RibData& fov = s.findOptionalArg("fov");
        if (fov.values.size() == 1) fieldOfView = fov.floatAt(0) * ribPi / 180.0;
    }
    return true;
}

bool RibReader::depthOfField(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 3) {
        std::printf("Bad number of arguments to DepthOfField.  Requires at least 3, has %d\n",
                    arguments);
        return false;
    }
    double fStop = s.node(1).asFloat();
    double focalLength = s.node(2).asFloat();
    // An f-stop of 0 would give an infinite lens; "infinity" gives 0, a pinhole.
    aperture = fStop != 0.0 ? focalLength / fStop : 0.0;
    focalDistance = s.node(3).asFloat();
    return true;
}

bool RibReader::attribute(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 3) {
        std::printf("Bad number of arguments to Attribute.  Requires at least 3, has %d\n",
                    arguments);
        return false;
    }
    const char* category = s.node(1).text;
    // RenderMan allows several name-value pairs in one statement.
    for (int i = 2; i + 1 < s.size(); i += 2) setAttribute(category, s.node(i).text, s.node(i + 1));
    return true;
}

// A band value per third of the spectrum: the first for 600 - 699 nm, the
// second for 500 - 599 nm, the third for 400 - 499 nm.
static void fillBands(double* values, const RibData* setting) {
    if (!setting) return;
    for (int i = 0; i < spectrumSamples - 1; i++) values[i] = setting->floatAt(i >= 200 ? 0 : i >= 100 ? 1 : 2);
}

SpectralBsdf* RibReader::makeMedium() {
    const RibData* type = getAttribute("spectralSetting", "mediumType");
    if (!type || !scene) return nullptr;
    std::string name = type->firstString();
    SpectralBsdf* medium = nullptr;
    if (name == "uniformScattering") {
        UniformScatteringBsdf* uniform = new UniformScatteringBsdf();
        fillBands(uniform->spectrum, getAttribute("spectralSetting", "extinctionCoefficient"));
        fillBands(uniform->albedo, getAttribute("spectralSetting", "scatterPercent"));
        medium = uniform;
    } else if (name == "rayleighScattering") {
        RayleighScatteringBsdf* rayleigh = new RayleighScatteringBsdf();
        const RibData* sigma = getAttribute("spectralSetting", "sigmaT400nm");
        rayleigh->setExtinctionAt400(sigma ? sigma->firstFloat() : 0.0);
        medium = rayleigh;
    } else {
        return nullptr;
    }
    scene->spectralBsdfs.emplace_back(medium);
    return medium;
}

GCamera* RibReader::makeRayTracingCamera(int rayDepth) {
    SimpleRaytracingCamera* camera = new SimpleRaytracingCamera();
    camera->samplesPerPixel = pixelSamples;
    camera->maxDepth = rayDepth;
    camera->focalDistance = (float)focalDistance;
    camera->aperture = (float)aperture;
    return camera;
}

void RibReader::buildCamera() {
    if (!scene) return;

    // 1. The view from the camera transformation (world to camera).
    RibMatrix toWorld;
    if (!cameraTransform.inverse(toWorld)) {
        std::printf("Transform matrix wasn't invertible.  Expect weird behavior\n");
        toWorld = RibMatrix();
    }
    HPoint eye = toWorld.transformPoint(0.0, 0.0, 0.0);
    HPoint lookAt = toWorld.transformPoint(0.0, 0.0, 1.0);
    HPoint up = toWorld.transformPoint(0.0, 1.0, 0.0).difference(eye);

    // 2. The settings.
    std::string renderType;
    if (const RibData* value = getAttribute("vq317Setting", "renderType"))
        renderType = value->firstString();
    int rayDepth = 4;
    if (const RibData* value = getAttribute("vq317Setting", "rayDepth")) rayDepth = value->firstInt();
    double toneMappingConstant = 1.0;
    if (const RibData* value = getAttribute("vq317Setting", "toneMappingConstant"))
        toneMappingConstant = value->firstFloat();

    // 3. The camera of the chosen type.
    GCamera* camera = nullptr;
    if (renderType == "rayTracing") {
        camera = makeRayTracingCamera(rayDepth);
    } else if (renderType == "pathTracing") {
        PathTracingCamera* pathTracer = new PathTracingCamera();
        pathTracer->samplesPerPixel = pixelSamples;
        pathTracer->maxRayDepth = rayDepth;
        pathTracer->toneMappingConstant = (float)toneMappingConstant;
        camera = pathTracer;
    } else if (renderType == "uberPathTracing") {
        UberCamera* uber = new UberCamera();
        uber->samples = pixelSamples;
        uber->maxDepth = rayDepth;
        uber->exposure = (float)toneMappingConstant;
        // "uberSetting" values not given keep the camera's own defaults.
        if (const RibData* value = getAttribute("uberSetting", "numSplits")) uber->numSplits = value->firstInt();
        if (const RibData* value = getAttribute("uberSetting", "chainLength")) uber->chainLength = value->firstInt();
        if (const RibData* value = getAttribute("uberSetting", "renderMode")) uber->renderMode = value->firstString();
        if (const RibData* value = getAttribute("uberSetting", "minDepth")) uber->minDepth = value->firstInt();
        if (const RibData* value = getAttribute("uberSetting", "useFilter")) uber->useFilter = value->firstInt();
        if (const RibData* value = getAttribute("uberSetting", "postFilter")) uber->postFilter = value->firstInt();
        if (const RibData* value = getAttribute("uberSetting", "maxFilterChange"))
            uber->maxFilterChange = (float)value->firstFloat();
        if (const RibData* value = getAttribute("uberSetting", "minFilterChange"))
            uber->minFilterChange = (float)value->firstFloat();
        camera = uber;
    } else if (renderType == "spectralSample") {
        std::printf("SPECTRAL_SAMPLE\n");
        SpectralSampleCamera* spectral = new SpectralSampleCamera();
        spectral->samplesPerPixel = pixelSamples;
        spectral->maxDepth = rayDepth;
        spectral->toneMappingConstant = (float)toneMappingConstant;
        spectral->medium = makeMedium();
        camera = spectral;
    } else {
        std::printf("No renderType attribute specified: Assuming ray tracing\n");
        camera = makeRayTracingCamera(rayDepth);
    }

    // 4. Beyond the reader's own keys, any setting of the camera by its name.
    applySceneSettings(camera, camera->settingTable(), "vq317Setting", [this](const char* name) {
        const RibData* value = getAttribute("vq317Setting", name);
        return value ? value->firstString() : nullptr;
    });

    // 5. View, size and scene. A second world block replaces the camera; the
    // first stays in allObjects.
    camera->setView(eye, lookAt, up, (float)fieldOfView);
    camera->setResolution(width, height);
    camera->setScene(scene);
    scene->allObjects.add(camera);
    scene->camera = camera;
}
