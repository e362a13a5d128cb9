#include "app/Driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <strings.h>

#include "foundation/Random.h"
#include "foundation/SearchPath.h"
#include "foundation/Settings.h"
#include "foundation/Timer.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HeightImage.h"
#include "io/native/GSceneParser.h"
#include "io/ply/PlyConverter.h"
#include "render/CameraSettings.h"
#include "render/GCamera.h"
#include "render/SimpleRaytracingCamera.h"

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

// "-renderer": a new camera of that kind with the scene camera's view and size.
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
    if (!kind->create) {
        std::printf("-renderer: the %s renderer is not available yet; the scene's own camera renders.\n",
                    kind->renderType);
        return;
    }
    if (!old) {
        std::printf("-renderer %s: the scene has no camera whose view it could take; nothing is rendered.\n",
                    kind->renderType);
        return;
    }
    GCamera* camera = kind->create();
    camera->setView(old->from, old->to, old->up, old->fovy);
    camera->setResolution(old->width, old->height);
    camera->setScene(scene);
    // The scene frees what allObjects holds (each object once), the old camera too.
    scene->allObjects.add(old);
    scene->allObjects.add(camera);
    scene->camera = camera;
}

// "-set": one setting, checked against the camera's table.
static void setCameraSetting(GCamera* camera, const char* name, const char* value) {
    if (!camera) {
        std::printf("-set %s: the scene has no camera\n", name);
        return;
    }
    const CameraSettingTable* table = camera->settingTable();
    const CameraSetting* row = table ? table->find(name) : nullptr;
    if (!row) {
        std::printf("-set: %s has no setting '%s'; its settings are: %s\n",
                    table ? table->className : camera->toString(), name,
                    table ? table->names().c_str() : "none");
        return;
    }
    std::string error;
    if (!row->set(camera, value, error))
        std::printf("-set %s: %s; it stays %s\n", row->name, error.c_str(), row->valueText(camera).c_str());
}

// "-settings": every setting of the camera, so that a log says how its image was made.
static void printCameraSettings(GCamera* camera) {
    if (!camera) {
        std::printf("-settings: the scene has no camera\n");
        return;
    }
    const CameraSettingTable* table = camera->settingTable();
    const char* renderType = "";
    for (const CameraKind& kind : cameraKinds())
        if (kind.table && kind.table() == table) renderType = kind.renderType;
    std::printf("\nRENDERER SETTINGS: %s %s\n", renderType, camera->toString());
    std::printf("width = %d\nheight = %d\n", camera->width, camera->height);
    if (!table) return;
    for (const CameraSetting& row : table->rows)
        std::printf("%s = %s\n", row.name, row.valueText(camera).c_str());
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
        } else if (optionIs(argument, "-o")) {
            outputFileName = next();
        } else if (optionIs(argument, "-renderer")) {
            const char* name = next();
            if (pass == OptionPass::renderer) chooseRenderer(scene, name);
        } else if (optionIs(argument, "-set")) {
            const char* name = next();
            const char* value = next();
            if (pass == OptionPass::afterLoading) setCameraSetting(camera, name, value);
        } else if (optionIs(argument, "-settings")) {
            printSettings = pass == OptionPass::afterLoading;
        } else if (optionIs(argument, "-radiance")) {
            const char* name = next();
            if (camera) camera->radianceFileName = name;
        } else if (optionIs(argument, "-listSettings")) {
            if (firstPass) {
                std::printf("%s", settingsManualText().c_str());
                return 0;
            }
        } else if (optionIs(argument, "-seed")) {
            // Beyond the classic table: reproducible runs. Acts once, before loading.
            unsigned long seed = std::strtoul(next(), nullptr, 10);
            if (firstPass) seedRandom((uint32_t)seed);
        } else if (i > 1 && pass != OptionPass::renderer) {
            std::printf("unknown argument: %s\n", argument);
        }
    }
    if (printSettings) printCameraSettings(camera);
    return -1;
}

int parseOptions(JVector<char>& arguments, GScene* scene, bool firstPass) {
    if (firstPass) return applyOptions(arguments, scene, OptionPass::beforeLoading);
    applyOptions(arguments, scene, OptionPass::renderer);
    return applyOptions(arguments, scene, OptionPass::afterLoading);
}

static bool lastCharIs(const char* text, char c) {
    size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == c;
}

int velkMain(int argc, char** argv) {
    long double startTime = currentSeconds();
    seedRandom((uint32_t)std::time(nullptr));

    GScene scene;
    GSceneParser parser(&scene);
    ColorImage frame;

    outputFileName = "image.ppm";
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
    parseOptions(arguments, &scene, false);
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

    if (scene.camera) {
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
        frame.writePPM(outputFileName.c_str(), nullptr);
    }
    std::fflush(stdout);
    return 0;
}
