#include "io/native/GSceneParser.h"

#include <cstdio>
#include <cstring>

#include "foundation/JString.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "io/native/Scanner.h"
#include "io/native/VelkObjectFactory.h"
#include "io/obj/ObjSceneBuilder.h"
#include "io/rib/RibReader.h"
#include "io/yafray/YafrayParser.h"
#include "render/GCamera.h"
#include "shading/GLight.h"

GSceneParser::GSceneParser(GScene* targetScene) : scene(targetScene) {}

GSceneParser::~GSceneParser() {}

void GSceneParser::parse(const char* fileName) {
    if (!fileName) return;
    // The last four characters, compared exactly: ".XML" is a native file.
    size_t length = std::strlen(fileName);
    const char* extension = length >= 4 ? fileName + length - 4 : "";
    if (std::strcmp(extension, ".xml") == 0) {
        YafrayParser reader(scene);
        reader.parse(fileName);
        return;
    }
    if (std::strcmp(extension, ".obj") == 0 || std::strcmp(extension, ".OBJ") == 0) {
        loadObjScene(fileName, scene);
        return;
    }
    if (std::strcmp(extension, ".rib") == 0) {
        RibReader reader(scene);
        reader.readFile(fileName, scene);
        if (reader.openFailed) std::fprintf(stderr, "ERROR! could not open file '%s'\n", fileName);
        return;
    }
    // One scene file at a time: nothing left over from an earlier read may
    // follow it.
    resetScanner();
    if (!pushInput(fileName)) return;
    parseNativeInput();
}

// The name after an object: "(" name ")". The name is cut to 255 characters;
// the token after it is taken as the closing parenthesis, whatever it is.
static void readObjectName(GScene* scene, GObject* object) {
    char name[256];
    if (!readName(name, (int)sizeof name)) return;
    nextToken();
    scene->symbolTable.put(new JString(name), object);
}

void GSceneParser::parseNativeInput() {
    if (!scene) return;
    VelkObjectFactory factory;
    GObject* lastObject = nullptr;
    while (const char* token = nextToken()) {
        if (std::strcmp(token, "(") == 0) {
            if (lastObject) readObjectName(scene, lastObject);
            continue;
        }
        lastObject = nullptr;
        if (std::strcmp(token, "{") == 0) {
            // A stray block between objects is skipped whole.
            skipBlock(1, "{", "}");
            continue;
        }
        int classId = nativeKeywordId(token);
        if (classId < 0) continue;  // unknown words and numbers between blocks

        GObject* object = factory.create((unsigned)classId);
        if (!object) {
            // A block whose class this build lacks: skip it whole.
            std::fprintf(stderr, "Cannot create an object for '%s' blocks; block skipped\n", token);
            const char* open = nextToken();
            if (open && std::strcmp(open, "{") == 0) skipBlock(1, "{", "}");
            continue;
        }
        lastObject = object;
        scene->allObjects.add(object);

        if (object->isKindOf(ClassId::GCamera)) static_cast<GCamera*>(object)->setScene(scene);
        if (object->isKindOf(ClassId::IParseable)) {
            if (!static_cast<IParseable*>(object)->parse(scene))
                std::printf("PARSE ERROR parsing %s.\n", object->toString());
        }

        if (object->isKindOf(ClassId::GCamera)) {
            // A later camera replaces an earlier one, which stays in allObjects.
            scene->camera = static_cast<GCamera*>(object);
        } else if (object->isKindOf(ClassId::GSceneObject)) {
            scene->objects.add(static_cast<GSceneObject*>(object));
        } else if (object->isKindOf(ClassId::GLight)) {
            scene->lights.add(static_cast<GLight*>(object));
        }
    }
}
