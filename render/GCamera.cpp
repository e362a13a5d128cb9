#include "render/GCamera.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/Parallel.h"

#include "foundation/GMatrix.h"
#include "geometry/GRay.h"
#include "image/RadianceFiles.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "image/PixelFunctions.h"
#include "geometry/GScene.h"
#include "io/native/Scanner.h"
#include "render/CameraSettings.h"

GCamera::GCamera()
    : rayCounter(0), scene(nullptr), width(256), height(256),
      // A scene without a field of view gets 45 degrees rather than garbage.
      fovy(0.785398163f) {}

bool GCamera::isKindOf(int id) const { return id == ClassId::GCamera || IParseable::isKindOf(id); }

int GCamera::typeId() const { return ClassId::GCamera; }

const char* GCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GCamera", this);
}

void GCamera::setResolution(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
}

void GCamera::setView(const HPoint& newFrom, const HPoint& newTo, const HPoint& newUp,
                      float newFovy) {
    from = newFrom;
    to = newTo;
    up = newUp;
    fovy = newFovy;
    viewDirection = to.difference(from);
    viewDirection.normalize();
    right = viewDirection.cross(up);
    right.normalize();
    trueUp = right.cross(viewDirection);
    trueUp.normalize();
}

void GCamera::worldToRaster(GMatrix& out, int imageWidth, int imageHeight) {
    double t = std::tan(fovy * 0.5);
    double f = imageHeight / (2.0 * t);
    double halfWidth = imageWidth * 0.5, halfHeight = imageHeight * 0.5;
    // Column-vector form first: rows of S, R and T as the projection reads them.
    double tr[4][4] = {{1, 0, 0, -from.x}, {0, 1, 0, -from.y}, {0, 0, 1, -from.z}, {0, 0, 0, 1}};
    double ro[4][4] = {{right.x, right.y, right.z, 0},
                       {trueUp.x, trueUp.y, trueUp.z, 0},
                       {-viewDirection.x, -viewDirection.y, -viewDirection.z, 0},
                       {0, 0, 0, 1}};
    double sc[4][4] = {{f, 0, -halfWidth, 0}, {0, f, -halfHeight, 0}, {0, 0, 1, 0}, {0, 0, -1, 0}};
    double rt[4][4], p[4][4];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            rt[r][c] = 0;
            for (int k = 0; k < 4; k++) rt[r][c] += ro[r][k] * tr[k][c];
        }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            p[r][c] = 0;
            for (int k = 0; k < 4; k++) p[r][c] += sc[r][k] * rt[k][c];
        }
    // Transposed into the row-vector layout: element (r, c) of P goes to m[4c + r].
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) out.m[4 * c + r] = (float)p[r][c];
}

bool GCamera::parseSimple() {
    std::printf("parseSimple not implemented for %s\n", toString());
    return false;
}

int GCamera::getWidth() { return width; }

int GCamera::getHeight() { return height; }

void GCamera::render(ColorImage& frame) { (void)frame; }

namespace {

// The value of the first of these settings the table has, as an attribute
// value, or fallback.
std::string firstSettingText(const GCamera* camera, const char* const* names, const char* fallback) {
    const CameraSettingTable* table = camera->settingTable();
    for (const char* const* name = names; table && *name; name++)
        if (const CameraSetting* row = table->find(*name)) return row->valueText(camera);
    return fallback;
}

}  // namespace

void GCamera::writeXML(FILE* file) {
    if (!file) return;
    // Enough digits that every float reads back as itself.
    std::fprintf(file,
                 "<camera name='camera1' resx='%d' resy='%d' focal='%.9g' aperature='0.0'>\n",
                 width, height, fovy);
    std::fprintf(file, "  <from x='%.9g' y='%.9g' z='%.9g'/>\n", from.x, from.y, from.z);
    std::fprintf(file, "  <to x='%.9g' y='%.9g' z='%.9g'/>\n", to.x, to.y, to.z);
    std::fprintf(file, "  <up x='%.9g' y='%.9g' z='%.9g'/>\n", up.x, up.y, up.z);
    std::fprintf(file, "</camera>\n\n");

    // The render element's own keys carry the nearest setting; every setting
    // of the renderer follows by its name, which the reader applies after
    // those keys, so the renderer reads back as it is.
    const CameraKind* kind = cameraKindOf(this);
    const char* renderType = kind ? kind->renderType : nullptr;
    if (!renderType) {
        std::printf("XML export: %s is no renderer; the file renders with ray tracing.\n", toString());
        renderType = "rayTracing";
    } else if (std::strcmp(renderType, "spectralSample") == 0) {
        std::printf("XML export: the XML format has no spectral materials or media; the file renders "
                    "with the spectral renderer over the RGB materials alone.\n");
    }
    static const char* const sampleNames[] = {"samplesPerPixel", "samples", "mutationsPerPixel", nullptr};
    static const char* const depthNames[] = {"maxRayDepth", "maxDepth", "maxBounces", nullptr};
    static const char* const exposureNames[] = {"toneMappingConstant", "exposure", nullptr};
    std::fprintf(file, "<render camera_name='camera1' AA_minsamples='%s' raydepth='%s' exposure='%s'",
                 firstSettingText(this, sampleNames, "1").c_str(), firstSettingText(this, depthNames, "4").c_str(),
                 firstSettingText(this, exposureNames, "1.0").c_str());
    if (const CameraSettingTable* table = settingTable()) {
        for (const CameraSetting& row : table->rows) {
            std::string value = row.valueText(this);
            if (row.kind == CameraSetting::text && value.empty()) continue;  // the default: nothing to say
            // The head already says it; an attribute given twice is no XML.
            if (strcasecmp(row.name, "exposure") == 0) continue;
            if (row.kind == CameraSetting::real) {
                char number[32];
                std::snprintf(number, sizeof number, "%.9g", this->*row.floatField);
                value = number;
            }
            std::fprintf(file, "\n        %s='%s'", row.name, value.c_str());
        }
    }
    std::fprintf(file, ">\n");
    std::fprintf(file, "  <rendertype value='%s' />\n", renderType);
    std::fprintf(file, "  <outfile value='image.ppm' />\n");
    std::fprintf(file, "</render>\n");
}

void GCamera::writeRadiance(const HPointImage& image, bool floatingPoint) const {
    if (floatingPoint && resultImage)
        resultImage->copyFrom(image);
    if (radianceFileName.empty()) return;
    // The format follows the name: ".exr", ".pfm", else PNM-HPOINT.
    std::string problem;
    if (!writeRadianceFile(image, radianceFileName.c_str(), problem)) {
        if (radianceFormatOf(radianceFileName.c_str()) == RadianceFormat::pnmHPoint)
            std::printf("could not write the radiance image '%s'\n", radianceFileName.c_str());
        else
            std::printf("could not write the radiance image '%s': %s\n", radianceFileName.c_str(),
                        problem.c_str());
    }
}

void GCamera::pixelSteps(int imageHeight, HPoint& rightStep, HPoint& upStep) const {
    // Square pixels: both steps come from the vertical field of view.
    float side = imageHeight > 0 ? 2.0f * std::tan(fovy * 0.5f) / (float)imageHeight : 0.0f;
    rightStep = right.scaled(side);
    upStep = trueUp.scaled(side);
}

// Where the calling thread counts its camera rays inside renderUnits; null
// outside, where rays count in the camera's rayCounter.
static thread_local unsigned* rayTallyOfThread = nullptr;

void GCamera::makeRay(GRay& ray, int depth, const HPoint& origin, const HPoint& direction) {
    if (rayTallyOfThread)
        ++*rayTallyOfThread;
    else
        rayCounter++;
    ray.id = nextRayId();
    ray.depth = depth;
    ray.origin = origin;
    ray.setDirection(direction);
}

void GCamera::renderUnits(int count, const std::function<void(int unit, int thread)>& body,
                          const std::function<void(int done)>& progress) {
    // Per-thread tallies, summed once the threads are done.
    std::vector<unsigned> raysOfThread((size_t)threadSettings().threads, 0u);
    parallelFor(
        count,
        [&](int unit, int thread) {
            unsigned tally = 0;
            unsigned* outer = rayTallyOfThread;
            rayTallyOfThread = &tally;
            body(unit, thread);
            rayTallyOfThread = outer;
            raysOfThread[(size_t)thread] += tally;
        },
        progress);
    for (unsigned rays : raysOfThread) rayCounter += rays;
}

ColorImage& trajectoryImage() {
    static ColorImage* image = nullptr;
    if (!image) {
        image = new ColorImage(512, 512);
        image->fill(0);
    }
    return *image;
}

bool GCamera::parseKeyword(const char*) { return false; }

bool GCamera::parseViewBlock(GScene* newScene) {
    scene = newScene;
    const char* token = nextToken();
    if (!token || std::strcmp(token, "{") != 0) return false;
    while ((token = nextToken()) != nullptr) {
        float a, b, c;
        if (std::strcmp(token, "}") == 0) {
            setView(from, to, up, fovy);
            return true;
        } else if (std::strcmp(token, "view_from_pt") == 0) {
            readFloat3(a, b, c);
            from = HPoint(a, b, c, 1.0f);
        } else if (std::strcmp(token, "view_to_pt") == 0) {
            readFloat3(a, b, c);
            to = HPoint(a, b, c, 1.0f);
        } else if (std::strcmp(token, "view_up_vec") == 0) {
            readFloat3(a, b, c);
            up = HPoint(a, b, c, 1.0f);
        } else if (std::strcmp(token, "background_color") == 0) {
            readFloat3(a, b, c);
            if (scene) scene->backgroundColor = HPoint(a, b, c, 1.0f);
        } else if (std::strcmp(token, "fovy") == 0) {
            fovy = readFloat();
        } else if (std::strcmp(token, "image_size") == 0) {
            readFloat2(a, b);
            width = truncateToInt(a);
            height = truncateToInt(b);
        } else if (std::strcmp(token, "ambient_color") == 0) {
            readFloat3(a, b, c);
            if (scene) scene->ambientColor = HPoint(a, b, c, 1.0f);
        } else {
            parseKeyword(token);
        }
    }
    return false;
}

