// Loads a scene file into a GScene, choosing the reader by the last four
// characters of the file name, compared exactly: ".xml" YafRay XML, ".rib"
// RenderMan RIB, ".obj" (or ".OBJ") Wavefront OBJ, anything else the native
// block format read here.
#pragma once

class GScene;

class GSceneParser {
public:
    explicit GSceneParser(GScene* scene);
    virtual ~GSceneParser();

    // A file that cannot be opened is reported by the file lookup and leaves
    // the scene as it was.
    void parse(const char* fileName);

    // The native loader on whatever input the scanner has been given (a file
    // or texts pushed for tests): reads blocks until the input ends.
    void parseNativeInput();

    GScene* scene;
};
