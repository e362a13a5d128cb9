#include "app/Driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

int parseOptions(JVector<char>& arguments, GScene* scene, bool firstPass) {
    GCamera* camera = scene ? scene->camera : nullptr;
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
        } else if (optionIs(argument, "-seed")) {
            // Beyond the classic table: reproducible runs. Acts once, before loading.
            unsigned long seed = std::strtoul(next(), nullptr, 10);
            if (firstPass) seedRandom((uint32_t)seed);
        } else if (i > 1) {
            std::printf("unknown argument: %s\n", argument);
        }
    }
    return -1;
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
        frame.resize(camera->getWidth(), camera->getHeight());
        frame.fill(0);
        camera->render(frame);
        long double renderedTime = currentSeconds();
        std::printf("render time: %0.3f sec.\n", (double)(renderedTime - loadedTime));
        frame.writePPM(outputFileName.c_str(), nullptr);
    }
    std::fflush(stdout);
    return 0;
}
