// The native scanner and loader on one scene file (shape and point-cloud
// blocks may name further files, which are read as the program would).
#include "fuzz/FuzzHarness.h"
#include "geometry/GScene.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "scene.txt");
    runReader([&] {
        GScene scene;
        GSceneParser parser(&scene);
        parser.parse(input.path());
    });
    resetScanner();
    return 0;
}
