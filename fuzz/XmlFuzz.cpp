// The XML reader on a text in memory, then the YafRay parser on the same
// bytes as a file (whose "include" elements may name itself).
#include <vector>

#include "fuzz/FuzzHarness.h"
#include "geometry/GScene.h"
#include "io/xml/XmlDocument.h"
#include "io/yafray/YafrayParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runReader([&] {
        std::vector<char> text(data, data + size);
        text.push_back('\0');
        XmlDocument document;
        document.parseText(text.data());
    });
    InputFile input(data, size, "scene.xml");
    runReader([&] {
        GScene scene;
        YafrayParser parser(&scene);
        parser.parse(input.path());
    });
    return 0;
}
