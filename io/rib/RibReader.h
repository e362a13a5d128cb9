// RibReader: loads a scene written in a subset of the RenderMan Interface
// Bytestream. It splits each file into statements (RibStatementSplitter),
// turns each into a parse tree (RibStatementParser) and executes it against
// a stack of graphics states; the command table creates materials, lights,
// spheres, triangle meshes in LBVHboxes, and at the end of the world block
// the camera that the render settings ask for.
//
// Names inside a file ("ReadArchive", "Trimesh", "texturefile") are relative
// to that file's folder; "\" and "/" both separate folders, so files written
// on either kind of system find their companions.
//
// Console messages go to standard output. A failed statement prints its
// message and makes readFile answer false; the load always goes on.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/InputFile.h"
#include "io/rib/RibData.h"
#include "io/rib/RibMatrix.h"

class GScene;
class GMaterial;
class GCamera;
class SpectralBsdf;

const double ribPi = 3.14159265358979323846;

// Block types of the graphics-state stack.
enum RibBlockType : int {
    ribFileBlock = 0,
    ribWorldBlock = 1,
    ribFrameBlock = 2,
    ribTransformBlock = 3,
    ribAttributeBlock = 4,
};

// One entry of the block stack. A pushed state copies everything but the
// attributes, which lookups search for from the top of the stack down.
struct RibGraphicsState {
    // category -> (name -> value as written, normally a value array)
    std::map<std::string, std::map<std::string, RibData>> attributes;
    int blockType = ribFileBlock;
    RibMatrix transform;                    // object to world (to camera before WorldBegin)
    double color[3] = {0.5, 0.5, 0.5};
    double opacity[3] = {1.0, 1.0, 1.0};
    double emission[3] = {0.0, 0.0, 0.0};   // area-light colour given to new surfaces
    GMaterial* surface = nullptr;           // not owned (the scene's allObjects holds it)
};

class RibReader {
public:
    // The reader starts with the file block on its stack, holding the
    // default render settings ("vq317Setting": "renderType" "rayTracing",
    // "rayDepth" 4, "toneMappingConstant" 1).
    explicit RibReader(GScene* scene = nullptr);
    ~RibReader();
    RibReader(const RibReader&) = delete;
    RibReader& operator=(const RibReader&) = delete;

    // The whole load of a file (and its archives) into targetScene: true when
    // every statement succeeded. A file that cannot be opened answers false
    // without a message (openFailed tells the caller); an empty file prints
    // "RIB Error! Could not load file.".
    bool readFile(const char* fileName, GScene* targetScene);
    // Reads text as if it were the contents of a file in baseDirectory.
    bool readText(const char* text);
    // Runs one parsed statement through the command table (or records it
    // between "ObjectBegin" and "ObjectEnd").
    bool executeStatement(const RibData& statement);

    // Attributes: lookups search the stack from the top down; a new value
    // goes to the top state, or when that is a transform block to the
    // nearest state below it that is not one.
    bool hasAttribute(const char* category, const char* name) const;
    const RibData* getAttribute(const char* category, const char* name) const;
    void setAttribute(const char* category, const char* name, const RibData& value);

    // Transformation of the top state. concatTransform applies m before the
    // current transformation, as RenderMan does: transform = transform x m.
    void setTransform(const RibMatrix& m);
    void concatTransform(const RibMatrix& m);
    void pushBlock(int type);
    // Pops a state (see the block rules); false on a mismatched or surplus
    // closing command.
    bool popBlock(int type);

    RibGraphicsState& top() { return states.back(); }
    void setColor(double r, double g, double b);
    void setOpacity(double r, double g, double b);
    void setEmission(double r, double g, double b);
    // Stores the material in the top state and, while the state it went to
    // is a transform block, in the state below as well.
    void setSurface(GMaterial* material);
    // The top state's surface; a default GMaterial (entered in the scene's
    // allObjects) when there is none yet.
    GMaterial* currentSurface();

    // name relative to baseDirectory, with "\" turned into "/"; an absolute
    // name stays as it is.
    std::string resolveName(const char* name) const;

    // The camera of the render settings, built when a world block closes;
    // it becomes the scene's camera.
    void buildCamera();

    GScene* scene;          // not owned
    int width, height;      // image size, 256 x 256 by default
    int pixelSamples;       // product of the two "PixelSamples" numbers, 1 by default
    double fieldOfView;     // radians, 35 degrees by default
    RibMatrix cameraTransform;  // the transformation current at "WorldBegin"
    double aperture, focalDistance;
    std::vector<RibGraphicsState> states;  // never empty
    // Recorded statements per object handle: a number ("ObjectBegin 3" is
    // "3") or a quoted name ("ObjectBegin \"a\"" is "\"a").
    std::map<std::string, std::vector<RibData>> objectDefinitions;
    bool recording;
    std::string recordingObject;
    // Folder of the file being read, with "/" separators and a trailing
    // "/"; empty for the working folder.
    std::string baseDirectory;
    // Every text read; the parse trees point into them.
    std::vector<std::unique_ptr<char[]>> fileBuffers;
    // Set by readFile when its file could not be opened.
    bool openFailed;

private:
    typedef bool (RibReader::*Handler)(const RibData& statement);
    static const std::map<std::string, Handler>& commandTable();

    bool runBuffer(char* buffer, size_t length);
    void closeOpenWorld();

    // Blocks, transforms, objects and archives.
    bool worldBegin(const RibData& s);
    bool worldEnd(const RibData& s);
    bool frameBegin(const RibData& s);
    bool frameEnd(const RibData& s);
    bool transformBegin(const RibData& s);
    bool transformEnd(const RibData& s);
    bool attributeBegin(const RibData& s);
    bool attributeEnd(const RibData& s);
    bool transformCommand(const RibData& s);
    bool concatTransformCommand(const RibData& s);
    bool translate(const RibData& s);
    bool objectBegin(const RibData& s);
    bool objectEnd(const RibData& s);
    bool objectInstance(const RibData& s);
    bool readArchive(const RibData& s);
    bool readObjArchive(const std::string& path);
    bool ignored(const RibData& s);

    // Render settings (RibRenderSettings.cpp).
    bool format(const RibData& s);
    bool pixelSamplesCommand(const RibData& s);
    bool imager(const RibData& s);
    bool projection(const RibData& s);
    bool depthOfField(const RibData& s);
    bool attribute(const RibData& s);

    // Shading (RibShadingCommands.cpp).
    bool colorCommand(const RibData& s);
    bool opacityCommand(const RibData& s);
    bool surface(const RibData& s);
    bool lightSource(const RibData& s);
    bool areaLightSource(const RibData& s);

    // Geometry (RibGeometryCommands.cpp).
    bool sphere(const RibData& s);
    bool nuPatch(const RibData& s);
    bool pointsGeneralPolygons(const RibData& s);
    bool trimesh(const RibData& s);

    // Camera classes not built yet fall back to this one.
    GCamera* makeRayTracingCamera(int rayDepth);
    // The spectral camera's medium from "spectralSetting" (kept by the scene), or none.
    SpectralBsdf* makeMedium();
    void loadTexture(GMaterial* material, const std::string& name);
    void attachSpectralBsdf(GMaterial* material, const RibData& s);

    int fileDepth;                       // files being read (archives nest)
    std::vector<FileIdentity> openFiles; // what they are, to refuse an archive that includes itself
    size_t textRead;                     // bytes of every file read so far (all are kept)
    std::vector<std::string> instancing; // objects being instanced, to refuse self-instancing
    long long instancedStatements;       // statements run by instances so far
    long long instancedObjects;          // scene objects they made, up to the running expansion
    int expansionStart;                  // the scene's object count when it began
    bool instancesStopped;               // a bound on them was reached (said once)
    int sceneObjectCount() const;
};
