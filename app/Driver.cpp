#include "app/Driver.h"
#include "app/ViewOptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <new>
#include <string>
#include <strings.h>

#include "foundation/Parallel.h"
#include "foundation/Random.h"
#include "foundation/SearchPath.h"
#include "foundation/Settings.h"
#include "foundation/Timer.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "image/HPointImage.h"
#include "image/HeightImage.h"
#include "image/ImageError.h"
#include "image/RadianceFiles.h"
#include "io/native/GSceneParser.h"
#include "io/ply/PlyConverter.h"
#include "render/CameraSettings.h"
#include "render/GCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/ViewFraming.h"

void printManual() {
    FILE* manual = openOnSearchPath("velkManual.txt", "r");
    if (!manual) return;
    char piece[256];
    while (std::fgets(piece, 255, manual)) std::printf("%s", piece);
    std::fclose(manual);
}

static void writeSceneXML(GScene& scene, const char* fileName) {
    FILE* file = std::fopen(fileName, "w");
    if (!file) {
        std::fprintf(stderr, "ERROR! could not write file '%s'\n", fileName);
        return;
    }
    scene.writeXML(file);
    std::fclose(file);
}

static bool optionIs(const char* argument, const char* option) {
    return strcasecmp(argument, option) == 0;
}

// ---------------------------------------------------------------- experiment controls

// Where each setting of the scene's camera got its value, by setting name,
// for "-settings": "default", "scene file", "carried over ..." or "-set".
static std::map<std::string, std::string> settingOrigins;

// After loading: a value other than the default is the scene file's.
static void noteSceneSettings(const GCamera* camera) {
    settingOrigins.clear();
    const CameraSettingTable* table = camera ? camera->settingTable() : nullptr;
    if (!table) return;
    for (const CameraSetting& row : table->rows)
        settingOrigins[row.name] =
            row.valueText(camera) == row.defaultValueText() ? "default" : "scene file";
}

// Settings that mean the same under another renderer's name: a new camera
// takes the old one's value of the same name first, else of its group.
static int settingGroup(const char* name) {
    static const char* const groups[][4] = {
        {"samplesPerPixel", "samples", "mutationsPerPixel", nullptr},
        {"maxDepth", "maxRayDepth", "maxEyeVertices", nullptr},
        {"toneMappingConstant", "exposure", nullptr, nullptr},
    };
    for (int g = 0; g < (int)(sizeof groups / sizeof groups[0]); g++)
        for (const char* const* member = groups[g]; *member; member++)
            if (strcasecmp(*member, name) == 0) return g;
    return -1;
}

static const CameraSetting* equivalentSetting(const CameraSettingTable* table, const char* name) {
    if (!table) return nullptr;
    if (const CameraSetting* same = table->find(name)) return same;
    int group = settingGroup(name);
    if (group < 0) return nullptr;
    for (const CameraSetting& row : table->rows)
        if (settingGroup(row.name) == group) return &row;
    return nullptr;
}

// The new camera takes every value the old one did not have by default.
static void carrySettings(const GCamera* old, GCamera* camera, const char* renderType) {
    std::map<std::string, std::string> oldOrigins;
    oldOrigins.swap(settingOrigins);
    const CameraSettingTable* table = camera->settingTable();
    if (!table) return;
    for (const CameraSetting& row : table->rows) {
        settingOrigins[row.name] = "default";
        const CameraSetting* source = equivalentSetting(old->settingTable(), row.name);
        if (!source) continue;
        auto origin = oldOrigins.find(source->name);
        if (origin == oldOrigins.end() || origin->second == "default") continue;
        std::string value = source->valueText(old), error;
        if (row.set(camera, value.c_str(), error))
            settingOrigins[row.name] = strcasecmp(source->name, row.name) == 0
                                           ? std::string("carried over")
                                           : std::string("carried over from ") + source->name;
        else
            std::printf("-renderer %s: %s stays %s, the scene's %s %s\n", renderType, row.name,
                        row.valueText(camera).c_str(), source->name, error.c_str());
    }
}

// "-renderer": a new camera of that kind with the scene camera's view, size
// and settings; the scene's own kind keeps its camera as it is.
static void chooseRenderer(GScene* scene, const char* name) {
    const CameraKind* kind = findCameraKind(name);
    GCamera* old = scene ? scene->camera : nullptr;
    if (!kind) {
        std::string names;
        for (const CameraKind& k : cameraKinds()) names += std::string(names.empty() ? "" : ", ") + k.renderType;
        std::printf("-renderer: there is no renderer '%s' (renderers: %s); the scene's own camera renders.\n",
                    name, names.c_str());
        return;
    }
    if (!old) {
        std::printf("-renderer %s: the scene has no camera whose view it could take; nothing is rendered.\n",
                    kind->renderType);
        return;
    }
    if (cameraKindOf(old) == kind) return;
    GCamera* camera = kind->create();
    camera->setView(old->from, old->to, old->up, old->fovy);
    camera->setResolution(old->width, old->height);
    camera->setScene(scene);
    carrySettings(old, camera, kind->renderType);
    // The scene frees what allObjects holds (each object once), the old camera too.
    scene->allObjects.add(old);
    scene->allObjects.add(camera);
    scene->camera = camera;
}

// "-set": one setting, checked against the camera's table. False when refused.
static bool setCameraSetting(GCamera* camera, const char* name, const char* value) {
    if (!camera) {
        std::printf("-set %s: the scene has no camera\n", name);
        return false;
    }
    const CameraSettingTable* table = camera->settingTable();
    const CameraSetting* row = table ? table->find(name) : nullptr;
    if (!row) {
        std::printf("-set: %s has no setting '%s'; its settings are: %s\n",
                    table ? table->className : camera->toString(), name,
                    table ? table->names().c_str() : "none");
        return false;
    }
    std::string error;
    if (row->set(camera, value, error)) {
        settingOrigins[row->name] = "-set";
        return true;
    }
    std::printf("-set %s: %s; it stays %s\n", row->name, error.c_str(), row->valueText(camera).c_str());
    return false;
}

// The seed of the random stream and what gave it, for "-settings".
static unsigned long runSeed = 0;
static const char* runSeedOrigin = "clock";
// "-threads": the threads asked for (0 for every hardware thread), or -1
// for a run without the option (one thread, the one random stream).
static int requestedThreads = -1;
const int mostThreads = 1024;

// Reads the value of "-threads"; a value that is no count leaves the run
// single-threaded with a line that says so.
static void readThreadCount(const char* value) {
    char* end = nullptr;
    long count = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || count < 0) {
        std::printf("-threads %s: not a number of threads (0 for all, or 1 or more); rendering on one "
                    "thread\n",
                    value);
        requestedThreads = -1;
        return;
    }
    if (count > mostThreads) {
        std::printf("-threads %s: at most %d threads; using %d\n", value, mostThreads, mostThreads);
        count = mostThreads;
    }
    requestedThreads = (int)count;
}

// The shortest text that reads back as the same float.
static std::string exactText(float value) {
    char buffer[32];
    for (int digits = 6; digits <= 9; digits++) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, (double)value);
        if (std::strtof(buffer, nullptr) == value) break;
    }
    return buffer;
}

static std::string pointText(const HPoint& p) {
    return exactText(p.x) + " " + exactText(p.y) + " " + exactText(p.z);
}

// "-settings": every setting of the camera, where its value came from, the
// view and the global settings, so that a log says how its image was made.
static void printCameraSettings(GCamera* camera) {
    if (!camera) {
        std::printf("-settings: the scene has no camera\n");
        return;
    }
    const CameraSettingTable* table = camera->settingTable();
    const CameraKind* kind = cameraKindOf(camera);
    std::printf("\nRENDERER SETTINGS: %s %s\n", kind ? kind->renderType : "", camera->toString());
    std::printf("width = %d\nheight = %d\n", camera->width, camera->height);
    std::printf("from = %s\nto = %s\nup = %s\nfovy = %s (radians)\n", pointText(camera->from).c_str(),
                pointText(camera->to).c_str(), pointText(camera->up).c_str(),
                exactText(camera->fovy).c_str());
    if (table)
        for (const CameraSetting& row : table->rows) {
            auto origin = settingOrigins.find(row.name);
            std::printf("%s = %s (%s)\n", row.name, row.valueText(camera).c_str(),
                        origin == settingOrigins.end() ? "default" : origin->second.c_str());
        }
    std::printf("seed = %lu (%s)\nepsilon = %s\ntransparentShadows = %d\nfakeCaustics = %d\n"
                "rayMarching = %s %s %d\nminObjectsInGrid = %d\n",
                runSeed, runSeedOrigin, exactText(epsilon).c_str(), transparentShadows ? 1 : 0,
                fakeCaustics ? 1 : 0, exactText(rayMarchOffsetFactor).c_str(),
                exactText(rayMarchStepFactor).c_str(), rayMarchRefinements, minObjectsInGrid);
    if (threadSettings().unitStreams) std::printf("threads = %d (-threads)\n", threadSettings().threads);
}

// ---------------------------------------------------------------- comparisons

// "-reference": the file named, read into the driver's image before the render.
static std::string referenceFileName;

// The four figures of an error line after its title.
static std::string errorFigures(const ImageErrorRecord& error) {
    return "MSE (over pixels and channels) " + errorFigureText(error.mse) +
           ", relMSE (mean of (x-r)^2/(r^2+0.01)) " + errorFigureText(error.relativeMse) +
           ", mean " + errorFigureText(error.mean) + ", reference mean " +
           errorFigureText(error.referenceMean);
}

// "-imgdiff A B [OUT]": the error figures of A against B, and OUT the false
// colours of the per-pixel relative error. 1 when an image cannot be used.
static int imageDifference(const char* resultName, const char* referenceName, const char* out) {
    HPointImage result, reference;
    for (auto [image, name] :
         {std::pair<HPointImage*, const char*>(&result, resultName), {&reference, referenceName}})
        if (std::string problem; !readRadianceFile(*image, name, problem)) {
            if (radianceFormatOf(name) == RadianceFormat::pnmHPoint)
                std::printf("-imgdiff: '%s' is no PNM-HPOINT image that could be read\n", name);
            else
                std::printf("-imgdiff: '%s' could not be read: %s\n", name, problem.c_str());
            return 1;
        }
    ImageErrorRecord error;
    if (!compareImages(result, reference, error)) {
        std::printf("-imgdiff: the images are not the same size (%d x %d and %d x %d)\n",
                    result.width, result.height, reference.width, reference.height);
        return 1;
    }
    std::printf("imgdiff %s against %s: %s\n", resultName, referenceName,
                errorFigures(error).c_str());
    if (out && !writeRelativeErrorImage(result, reference, out)) {
        std::printf("-imgdiff: could not write '%s'\n", out);
        return 1;
    }
    return 0;
}

// "-imgconvert IN OUT": a floating-point image from one of its formats into
// another, each by its extension. 1 when IN cannot be read or OUT written.
static int convertRadianceImage(const char* in, const char* out) {
    HPointImage image;
    std::string problem;
    if (!readRadianceFile(image, in, problem)) {
        std::printf("-imgconvert: '%s' could not be read: %s\n", in, problem.c_str());
        return 1;
    }
    if (!writeRadianceFile(image, out, problem)) {
        std::printf("-imgconvert: '%s' could not be written: %s\n", out, problem.c_str());
        return 1;
    }
    return 0;
}

// Before the render: the reference for "-reference" and the image that
// keeps the camera's result. False, saying why, when there is nothing to
// compare with.
static bool prepareComparison(GCamera* camera, HPointImage& reference, HPointImage& result) {
    if (referenceFileName.empty() || !camera)
        return false;
    const char* name = referenceFileName.c_str();
    if (std::string problem; !readRadianceFile(reference, name, problem)) {
        if (radianceFormatOf(name) == RadianceFormat::pnmHPoint)
            std::printf("-reference %s: no PNM-HPOINT image (.im) that could be read; nothing is "
                        "compared.\n", name);
        else
            std::printf("-reference %s: %s; nothing is compared.\n", name, problem.c_str());
        return false;
    }
    if (reference.width != camera->getWidth() || reference.height != camera->getHeight()) {
        std::printf(
            "-reference %s: the reference is %d x %d, the render %d x %d; nothing is compared.\n",
            name, reference.width, reference.height, camera->getWidth(), camera->getHeight());
        return false;
    }
    camera->referenceImage = &reference;
    camera->resultImage = &result;
    return true;
}

// After the render: the line of "-reference".
static void printComparison(const HPointImage& reference, const HPointImage& result,
                            double seconds) {
    ImageErrorRecord error;
    if (!compareImages(result, reference, error)) {
        std::printf(
            "-reference: the renderer gave no floating-point result of the reference's size; "
            "nothing is compared.\n");
        return;
    }
    std::printf("reference %s: %s, render time %s sec., efficiency 1/(MSE*time) %s\n",
                referenceFileName.c_str(), errorFigures(error).c_str(),
                errorFigureText(seconds).c_str(),
                errorFigureText(efficiency(error.mse, seconds)).c_str());
}

// ---------------------------------------------------------------- views

// "-lookAt" and "-fov", read in the first pass.
static ViewOptions viewOptions;
// Whether the scene's camera was made here (and so is framed on the scene
// unless -lookAt places it).
static bool cameraMadeForScene = false;

// As the scene parser chooses the OBJ reader.
static bool isObjFile(const char* name) {
    size_t length = std::strlen(name);
    return length >= 4 && (std::strcmp(name + length - 4, ".obj") == 0 ||
                           std::strcmp(name + length - 4, ".OBJ") == 0);
}

// A scene without a camera gets one when it is an OBJ file (OBJ carries no
// camera) or when the command line sets a view: the renderer that shows
// emitters seen directly for OBJ, the ray tracer otherwise, framed on the
// scene from +z. -renderer may replace it afterwards, as any camera.
static void provideCamera(JVector<char>& arguments, GScene* scene) {
    cameraMadeForScene = false;
    if (!scene || scene->camera || arguments.size() < 2) return;
    const bool obj = isObjFile(arguments.elementAt(1));
    if (!obj && !viewOptions.lookAtGiven && !viewOptions.fovGiven) return;
    HPoint min, max;
    if (!sceneBounds(*scene, min, max)) return;
    const char* renderType = obj ? "bidirectionalPathTracing" : "rayTracing";
    const CameraKind* kind = findCameraKind(renderType);
    if (!kind) return;
    GCamera* camera = kind->create();
    camera->setScene(scene);
    frameBox(*camera, min, max, radiansOf(defaultFramingFovDegrees));
    scene->camera = camera;
    cameraMadeForScene = true;
    bool rendererGiven = false;
    for (int i = 2; i < arguments.size(); i++)
        rendererGiven = rendererGiven || optionIs(arguments.elementAt(i), "-renderer");
    if (!rendererGiven)
        std::printf("The scene has no camera: %s renders it (-renderer chooses another)\n",
                    kind->renderType);
}

// After the camera options: -lookAt and -fov, or the framing of a camera made
// here at its final size.
static void applyView(GCamera* camera, GScene* scene) {
    if (!camera) return;
    const float fovy = viewOptions.fovGiven ? radiansOf(viewOptions.fovDegrees) : camera->fovy;
    if (viewOptions.lookAtGiven) {
        camera->setView(viewOptions.eye, viewOptions.target, viewOptions.up, fovy);
        return;
    }
    HPoint min, max;
    if (cameraMadeForScene && scene && sceneBounds(*scene, min, max))
        frameBox(*camera, min, max, viewOptions.fovGiven ? fovy : radiansOf(defaultFramingFovDegrees));
    else if (viewOptions.fovGiven)
        camera->setView(camera->from, camera->to, camera->up, fovy);
}

// The options are read in passes: the first before loading (global settings
// and one-shot tools), then, after loading, one that only chooses the
// renderer and one that applies everything else to the chosen camera.
enum class OptionPass { beforeLoading, renderer, afterLoading };

static int applyOptions(JVector<char>& arguments, GScene* scene, OptionPass pass) {
    const bool firstPass = pass == OptionPass::beforeLoading;
    // Camera options wait for the camera the renderer pass chose.
    GCamera* camera = scene && pass == OptionPass::afterLoading ? scene->camera : nullptr;
    bool printSettings = false;
    bool settingRefused = false;
    bool viewRefused = false;
    SimpleRaytracingCamera* whitted =
        (camera && camera->isKindOf(ClassId::SimpleRaytracingCamera))
            ? static_cast<SimpleRaytracingCamera*>(camera)
            : nullptr;
    // Values are fetched with the bounds-checked accessor: a missing value is fatal.
    int i = 1;
    auto next = [&]() -> const char* { return arguments.elementAt(++i); };
    for (; i < arguments.size(); i++) {
        const char* argument = arguments.elementAt(i);
        if (optionIs(argument, "-size")) {
            int width = std::atoi(next());
            int height = std::atoi(next());
            if (camera) camera->setResolution(width, height);
        } else if (optionIs(argument, "-subsampling")) {
            int subsampling = std::atoi(next());
            int maxColorDiff = std::atoi(next());
            if (whitted) {
                whitted->subsampling = subsampling;
                whitted->maxColorDiff = maxColorDiff;
            }
        } else if (optionIs(argument, "-gain")) {
            float gain = (float)std::atof(next());
            if (whitted) whitted->gain = gain;
        } else if (optionIs(argument, "-maxDepth")) {
            int maxDepth = std::atoi(next());
            if (whitted) whitted->maxDepth = maxDepth;
        } else if (optionIs(argument, "-attenCutoff")) {
            float cutoff = (float)std::atof(next());
            if (whitted) whitted->attenuationCutoff = cutoff;
        } else if (optionIs(argument, "-transparentShadows")) {
            transparentShadows = std::atoi(next()) != 0;
        } else if (optionIs(argument, "-fakeCaustics")) {
            if (std::atoi(next()) != 0) {
                fakeCaustics = true;
                transparentShadows = true;
            } else {
                fakeCaustics = false;
            }
        } else if (optionIs(argument, "-epsilon")) {
            epsilon = (float)std::atof(next());
        } else if (optionIs(argument, "-minObjectsInGrid")) {
            minObjectsInGrid = std::atoi(next());
        } else if (optionIs(argument, "-maxGridVoxels")) {
            maxGridVoxels = std::atoi(next());
        } else if (optionIs(argument, "-rayMarching")) {
            rayMarchOffsetFactor = (float)std::atof(next());
            rayMarchStepFactor = (float)std::atof(next());
            rayMarchRefinements = std::atoi(next());
        } else if (optionIs(argument, "-PPMdiff")) {
            const char* first = next();
            const char* second = next();
            float scale = (float)std::atof(next());
            const char* out = next();
            if (firstPass) {
                ColorImage a, b, difference;
                a.readImage(first);
                b.readImage(second);
                difference.differenceOf(a, b, scale);
                difference.writePPM(out, nullptr);
                return 0;
            }
        } else if (optionIs(argument, "-ply2vrml")) {
            const char* in = next();
            const char* out = next();
            if (firstPass) {
                convertPlyToMesh(in, out);
                return 0;
            }
        } else if (optionIs(argument, "-toVRML")) {
            const char* in = next();
            const char* out = next();
            if (firstPass) {
                GScene exported;
                GSceneParser parser(&exported);
                parser.parse(in);
                writeSceneXML(exported, out);
                return 0;
            }
        } else if (optionIs(argument, "-lookAt")) {
            const char* values[9];
            for (const char*& value : values) value = next();
            if (firstPass && !viewOptions.readLookAt(values)) viewRefused = true;
        } else if (optionIs(argument, "-fov")) {
            const char* value = next();
            if (firstPass && !viewOptions.readFov(value)) viewRefused = true;
        } else if (optionIs(argument, "-o")) {
            outputFileName = next();
        } else if (optionIs(argument, "-renderer")) {
            const char* name = next();
            if (pass == OptionPass::renderer) chooseRenderer(scene, name);
        } else if (optionIs(argument, "-set")) {
            const char* name = next();
            const char* value = next();
            if (pass == OptionPass::afterLoading && !setCameraSetting(camera, name, value))
                settingRefused = true;
        } else if (optionIs(argument, "-settings")) {
            printSettings = pass == OptionPass::afterLoading;
        } else if (optionIs(argument, "-radiance")) {
            const char* name = next();
            if (camera) camera->radianceFileName = name;
        } else if (optionIs(argument, "-reference")) {
            const char* name = next();
            if (firstPass)
                referenceFileName = name;
        } else if (optionIs(argument, "-log")) {
            const char* name = next();
            if (camera) {
                camera->logFileName = name;
                if (!camera->logsProgress())
                    std::printf(
                        "-log: this renderer does not refine the whole image as it goes; no log is "
                        "written.\n");
            }
        } else if (optionIs(argument, "-imgdiff")) {
            const char* first = next();
            const char* second = next();
            // The picture is optional: a following word that is no option names it.
            const char* out = nullptr;
            if (i + 1 < arguments.size() && arguments.elementAt(i + 1)[0] != '-')
                out = next();
            if (firstPass)
                return imageDifference(first, second, out);
        } else if (optionIs(argument, "-imgconvert")) {
            const char* in = next();
            const char* out = next();
            if (firstPass)
                return convertRadianceImage(in, out);
        } else if (optionIs(argument, "-listSettings")) {
            if (firstPass) {
                std::printf("%s", settingsManualText().c_str());
                return 0;
            }
        } else if (optionIs(argument, "-seed")) {
            // Beyond the classic table: reproducible runs. Acts once, before loading.
            unsigned long seed = std::strtoul(next(), nullptr, 10);
            if (firstPass) {
                seedRandom((uint32_t)seed);
                runSeed = (uint32_t)seed;
                runSeedOrigin = "-seed";
            }
        } else if (optionIs(argument, "-threads")) {
            const char* value = next();
            if (firstPass) readThreadCount(value);
        } else if (i > 1 && pass != OptionPass::renderer) {
            std::printf("unknown argument: %s\n", argument);
        }
    }
    // After the whole line, so that "-seed" may come before or after "-threads".
    if (firstPass && requestedThreads >= 0) {
        ThreadSettings settings;
        settings.threads = requestedThreads == 0 ? hardwareThreads() : requestedThreads;
        settings.unitStreams = true;
        settings.seed = (uint32_t)runSeed;
        setThreadSettings(settings);
    }
    if (viewRefused) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR! a view option was refused; nothing rendered\n");
        return nothingRenderedStatus;
    }
    if (pass == OptionPass::afterLoading) applyView(camera, scene);
    if (printSettings) printCameraSettings(camera);
    return settingRefused ? nothingRenderedStatus : -1;
}

int parseOptions(JVector<char>& arguments, GScene* scene, bool firstPass) {
    if (firstPass) return applyOptions(arguments, scene, OptionPass::beforeLoading);
    provideCamera(arguments, scene);
    noteSceneSettings(scene ? scene->camera : nullptr);
    applyOptions(arguments, scene, OptionPass::renderer);
    return applyOptions(arguments, scene, OptionPass::afterLoading);
}

static bool lastCharIs(const char* text, char c) {
    size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == c;
}

// A run without "-threads" is single-threaded whatever came before it in the
// process; the settings found are given back when the run ends.
struct RunThreadSettings {
    ThreadSettings found = threadSettings();
    RunThreadSettings() {
        setThreadSettings(ThreadSettings());
        requestedThreads = -1;
    }
    ~RunThreadSettings() { setThreadSettings(found); }
};

int velkMain(int argc, char** argv) {
    long double startTime = currentSeconds();
    RunThreadSettings threadsOfRun;
    runSeed = (uint32_t)std::time(nullptr);
    runSeedOrigin = "clock";
    seedRandom((uint32_t)runSeed);

    GScene scene;
    GSceneParser parser(&scene);
    ColorImage frame;

    outputFileName = "image.ppm";
    referenceFileName.clear();
    viewOptions = ViewOptions();
    readSearchPaths("path.txt");
    // Start-up conversion of the displacement image, written even when it is absent.
    convertDisplacementMap("velk_disp.pgm", "velk_disp.hg");

    if (argc < 2 || (argc == 2 && std::strncmp(argv[1], "-h", 2) == 0)) {
        printManual();
        return 0;
    }

    JVector<char> arguments(8, -1);
    for (int i = 0; i < argc; i++) arguments.add(argv[i]);

    int status = parseOptions(arguments, &scene, true);
    if (status >= 0) return status;

    const char* sceneFile = arguments.elementAt(1);
    if (lastCharIs(sceneFile, 'y')) {
        convertPlyToMesh(sceneFile, outputFileName.c_str());
        return 0;
    }

    parser.parse(sceneFile);
    // A mistyped setting must not cost a render with the wrong one.
    if (parseOptions(arguments, &scene, false) >= 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR! a -set was refused; nothing rendered\n");
        return nothingRenderedStatus;
    }
    scene.printSymbolTable();

    if (lastCharIs(outputFileName.c_str(), 'l')) {
        writeSceneXML(scene, outputFileName.c_str());
        return 0;
    }

    scene.prepare();
    long double loadedTime = currentSeconds();
    std::printf("\nscene load time: %0.3f sec.\n", (double)(loadedTime - startTime));
    std::printf("scene objects: %d.\n", scene.objects.size());
    std::printf("lights: %d.\n", scene.emitterCount);

    if (!scene.camera) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR! the scene has no camera; nothing rendered\n");
        return nothingRenderedStatus;
    }
    GCamera* camera = scene.camera;
    long long width = camera->getWidth(), height = camera->getHeight();
    if (width > 0 && height > 0 && width * height > maxFramePixels) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "ERROR! a frame of %lld x %lld pixels is more than the %lld pixels velk "
                     "renders; nothing rendered\n",
                     width, height, maxFramePixels);
        return frameRefusedStatus;
    }
    // Output formats this build lacks are refused before the render, not after it.
    std::string missing, why;
    if (isPngName(outputFileName.c_str()) && !encodedImagesAvailable())
        missing = "-o " + outputFileName +
                  ": velk was built without stb (libstb-dev), so it writes no PNG frames";
    else if (!camera->radianceFileName.empty() &&
             !radianceFormatAvailable(radianceFormatOf(camera->radianceFileName.c_str()), why))
        missing = "-radiance " + camera->radianceFileName + ": " + why;
    if (!missing.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR! %s; nothing rendered\n", missing.c_str());
        return nothingRenderedStatus;
    }
    if (!camera->settingsAccepted()) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR! the renderer refused its settings; nothing rendered\n");
        return nothingRenderedStatus;
    }
    HPointImage reference, result;
    const bool comparing = prepareComparison(camera, reference, result);
    const long double renderStarted = currentSeconds();
    camera->renderStarted = renderStarted;
    // The renderers' own images are made inside render.
    try {
        frame.resize(camera->getWidth(), camera->getHeight());
        frame.fill(0);
        camera->render(frame);
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "ERROR! not enough memory to render a frame of %lld x %lld "
                     "pixels; nothing written\n",
                     width, height);
        return frameRefusedStatus;
    }
    long double renderedTime = currentSeconds();
    std::printf("render time: %0.3f sec.\n", (double)(renderedTime - loadedTime));
    if (comparing) {
        printComparison(reference, result, (double)(renderedTime - renderStarted));
        camera->referenceImage = nullptr;
        camera->resultImage = nullptr;
    }
    // The frame's format follows the name: ".png" (any case), else binary PPM.
    if (isPngName(outputFileName.c_str())) {
        std::string problem;
        if (!writePNG(frame, outputFileName.c_str(), problem))
            std::printf("could not write the frame '%s': %s\n", outputFileName.c_str(), problem.c_str());
    } else {
        frame.writePPM(outputFileName.c_str(), nullptr);
    }
    std::fflush(stdout);
    return 0;
}
