#include "io/rib/RibReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "foundation/GMatrix.h"
#include "geometry/GScene.h"
#include "io/obj/ObjReader.h"
#include "io/obj/ObjSceneBuilder.h"
#include "io/rib/RibStatementParser.h"
#include "io/rib/RibStatementSplitter.h"
#include "shading/GMaterial.h"

// Archives nested deeper than this are refused (a cycle is caught before, as
// a file that is already being read).
static const int maxFileDepth = 64;
// Objects instancing objects: each level recurses, so a long chain must stop
// before the stack does.
static const int maxInstanceDepth = 256;
// Instances of instances multiply: a few lines can ask for billions of
// objects. Past this many statements run by instances, or objects made by
// them, the rest are skipped.
static const long long maxInstancedStatements = 1000000;
static const long long maxInstancedObjects = 2000000;
// Every file's text is kept while the reader lives; an archive read again and
// again (from instances, say) must not take all memory.
static const size_t maxTextRead = (size_t)512 << 20;

// A one-element value array holding text (which must outlive the reader's
// use of it: the defaults below are literals).
static RibData valueArrayOf(const char* text) {
    RibData array(RibData::valueArray, "");
    array.values.push_back(text);
    return array;
}

static void toForwardSlashes(std::string& path) { std::replace(path.begin(), path.end(), '\\', '/'); }

RibReader::RibReader(GScene* targetScene)
    : scene(targetScene), width(256), height(256), pixelSamples(1),
      fieldOfView(35.0 * ribPi / 180.0), aperture(0.0), focalDistance(1.0), recording(false),
      openFailed(false), fileDepth(0), textRead(0), instancedStatements(0), instancedObjects(0),
      expansionStart(0), instancesStopped(false) {
    states.push_back(RibGraphicsState());
    std::map<std::string, RibData>& settings = states.back().attributes["vq317Setting"];
    settings["renderType"] = valueArrayOf("\"rayTracing");
    settings["rayDepth"] = valueArrayOf("4");
    settings["toneMappingConstant"] = valueArrayOf("1");
}

RibReader::~RibReader() {}

// ---------------------------------------------------------------------------
// Files

bool RibReader::readFile(const char* fileName, GScene* targetScene) {
    openFailed = false;
    if (targetScene) scene = targetScene;
    if (!fileName) {
        openFailed = true;
        return false;
    }
    std::string path(fileName);
    toForwardSlashes(path);

    // Files are compared by what they are: "./a.rib" and "a.rib" are one.
    FileIdentity identity;
    if (!identifyFile(path.c_str(), identity)) {
        openFailed = true;
        return false;
    }
    if (fileDepth >= maxFileDepth ||
        std::find(openFiles.begin(), openFiles.end(), identity) != openFiles.end()) {
        std::printf("RIB Error! %s is already being read; not reading it again.\n", path.c_str());
        return false;
    }

    // Whole file into one buffer; only a regular file is read, and no more
    // than its size. Anything else (refused with a message) reads as empty.
    std::string bytes;
    if (!readInputFile(path.c_str(), bytes) && isRegularFile(path.c_str()))
        return false;
    if (bytes.size() > maxTextRead - textRead) {
        std::printf("RIB Error! More than %zu MB of files read; %s not read.\n", maxTextRead >> 20,
                    path.c_str());
        return false;
    }
    textRead += bytes.size();
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos)
        baseDirectory = path.substr(0, slash + 1);
    size_t length = bytes.size();
    std::unique_ptr<char[]> buffer(new char[length + 1]);
    if (length > 0) std::memcpy(buffer.get(), bytes.data(), length);
    bytes = std::string();
    length = normalizeLineEnds(buffer.get(), length);
    if (length == 0) {
        std::printf("RIB Error! Could not load file.\n");
        return false;
    }

    // A gzip stream would be read as pages of binary garbage.
    if (length >= 2 && (unsigned char)buffer[0] == 0x1f && (unsigned char)buffer[1] == 0x8b) {
        std::printf("RIB Error! %s is compressed; compressed RIB files are not supported.\n",
                    path.c_str());
        return false;
    }

    char* text = buffer.get();
    fileBuffers.push_back(std::move(buffer));
    openFiles.push_back(identity);
    bool ok = runBuffer(text, length);
    openFiles.pop_back();
    return ok;
}

bool RibReader::readText(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    std::unique_ptr<char[]> buffer(new char[length + 1]);
    if (length > 0) std::memcpy(buffer.get(), text, length);
    length = normalizeLineEnds(buffer.get(), length);
    char* copy = buffer.get();
    fileBuffers.push_back(std::move(buffer));
    return runBuffer(copy, length);
}

bool RibReader::runBuffer(char* buffer, size_t length) {
    std::vector<RibStatementSpan> spans;
    splitRibStatements(buffer, length, spans);
    std::printf("Read %d lines, parsing... \n", (int)spans.size());

    fileDepth++;
    bool ok = true;
    RibData statement;
    for (const RibStatementSpan& span : spans) {
        parseRibStatement(buffer, span.start, span.end, statement);
        if (!executeStatement(statement)) ok = false;
    }
    fileDepth--;
    std::printf("Done parsing scene\n");
    if (fileDepth == 0) closeOpenWorld();
    return ok;
}

void RibReader::closeOpenWorld() {
    // A file that ends inside its world block (truncated, or a missing
    // "WorldEnd") still gets the camera its settings ask for, so what was
    // read can be rendered.
    for (size_t i = states.size(); i-- > 1;) {
        if (states[i].blockType != ribWorldBlock) continue;
        std::printf("Block error: The file ended inside a world block; building the camera.\n");
        while (states.size() > i + 1) states.pop_back();
        buildCamera();
        states.pop_back();
        return;
    }
}

std::string RibReader::resolveName(const char* name) const {
    std::string relative(name ? name : "");
    toForwardSlashes(relative);
    if (!relative.empty() && relative[0] == '/') return relative;
    return baseDirectory + relative;
}

// ---------------------------------------------------------------------------
// Dispatch

const std::map<std::string, RibReader::Handler>& RibReader::commandTable() {
    static const std::map<std::string, Handler> table = {
        {"WorldBegin", &RibReader::worldBegin},
        {"WorldEnd", &RibReader::worldEnd},
        {"FrameBegin", &RibReader::frameBegin},
        {"FrameEnd", &RibReader::frameEnd},
        {"TransformBegin", &RibReader::transformBegin},
        {"TransformEnd", &RibReader::transformEnd},
        {"AttributeBegin", &RibReader::attributeBegin},
        {"AttributeEnd", &RibReader::attributeEnd},
        {"Transform", &RibReader::transformCommand},
        {"ConcatTransform", &RibReader::concatTransformCommand},
        {"Translate", &RibReader::translate},
        {"ReadArchive", &RibReader::readArchive},
        {"ObjectBegin", &RibReader::objectBegin},
        {"ObjectEnd", &RibReader::objectEnd},
        {"ObjectInstance", &RibReader::objectInstance},
        {"Format", &RibReader::format},
        {"PixelSamples", &RibReader::pixelSamplesCommand},
        {"Imager", &RibReader::imager},
        {"Projection", &RibReader::projection},
        {"DepthOfField", &RibReader::depthOfField},
        {"Attribute", &RibReader::attribute},
        {"Color", &RibReader::colorCommand},
        {"Opacity", &RibReader::opacityCommand},
        {"Surface", &RibReader::surface},
        {"LightSource", &RibReader::lightSource},
        {"AreaLightSource", &RibReader::areaLightSource},
        {"Sphere", &RibReader::sphere},
        {"NuPatch", &RibReader::nuPatch},
        {"PointsGeneralPolygons", &RibReader::pointsGeneralPolygons},
        {"Trimesh", &RibReader::trimesh},
        {"Display", &RibReader::ignored},
        {"Clipping", &RibReader::ignored},
        {"ReverseOrientation", &RibReader::ignored},
        {"Orientation", &RibReader::ignored},
        {"ShadingInterpolation", &RibReader::ignored},
        {"CoordinateSystem", &RibReader::ignored},
        {"ShadingRate", &RibReader::ignored},
    };
    return table;
}

// A command name as it may be shown on a console: binary input (a compressed
// or binary-encoded file) must not send control bytes or pages of garbage.
static std::string printableName(const char* name) {
    const size_t shownLength = 64;
    std::string shown;
    size_t i = 0;
    for (; name[i] && i < shownLength; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c >= 0x20 && c < 0x7f) {
            shown += (char)c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    if (name[i]) shown += "...";
    return shown;
}

bool RibReader::executeStatement(const RibData& statement) {
    if (statement.nodes.empty()) return true;  // nothing but separators
    const char* name = statement.node(0).text;
    if (recording && std::strcmp(name, "ObjectEnd") != 0) {
        objectDefinitions[recordingObject].push_back(statement);
        return true;
    }
    const std::map<std::string, Handler>& table = commandTable();
    auto entry = table.find(name);
    if (entry == table.end()) {
        std::printf("Warning: Unhandled RIB data: %s\n", printableName(name).c_str());
        return true;
    }
    return (this->*(entry->second))(statement);
}

bool RibReader::ignored(const RibData& s) {
    (void)s;
    return true;
}

// ---------------------------------------------------------------------------
// Graphics state

bool RibReader::hasAttribute(const char* category, const char* name) const {
    return getAttribute(category, name) != nullptr;
}

const RibData* RibReader::getAttribute(const char* category, const char* name) const {
    for (size_t i = states.size(); i-- > 0;) {
        auto group = states[i].attributes.find(category);
        if (group == states[i].attributes.end()) continue;
        auto value = group->second.find(name);
        if (value != group->second.end()) return &value->second;
    }
    return nullptr;
}

void RibReader::setAttribute(const char* category, const char* name, const RibData& value) {
    // "TransformEnd" must not undo an attribute: it goes below transform blocks.
    size_t i = states.size() - 1;
    while (i > 0 && states[i].blockType == ribTransformBlock) i--;
    states[i].attributes[category][name] = value;
}

void RibReader::setTransform(const RibMatrix& m) { top().transform = m; }

void RibReader::concatTransform(const RibMatrix& m) {
    top().transform = RibMatrix::product(top().transform, m);
}

void RibReader::pushBlock(int type) {
    RibGraphicsState pushed;
    const RibGraphicsState& current = states.back();
    pushed.blockType = type;
    pushed.transform = current.transform;
    for (int i = 0; i < 3; i++) {
        pushed.color[i] = current.color[i];
        pushed.opacity[i] = current.opacity[i];
        pushed.emission[i] = current.emission[i];
    }
    pushed.surface = current.surface;
    if (type == ribWorldBlock) {
        cameraTransform = current.transform;
        pushed.transform = RibMatrix();
    }
    states.push_back(std::move(pushed));
}

bool RibReader::popBlock(int type) {
    bool ok = true;
    int topType = states.back().blockType;
    if (topType != type) {
        std::printf("Block error: Mismatched block types: %d terminated by %d\n", topType, type);
        ok = false;
    }
    if (topType == ribWorldBlock) buildCamera();
    if (states.size() == 1) {
        std::printf(
            "Block error: Too many closing blocks, removing the file block from the stack is "
            "invalid.\n");
        return false;
    }
    states.pop_back();
    return ok;
}

void RibReader::setColor(double r, double g, double b) {
    double* color = top().color;
    color[0] = r, color[1] = g, color[2] = b;
}

void RibReader::setOpacity(double r, double g, double b) {
    double* opacity = top().opacity;
    opacity[0] = r, opacity[1] = g, opacity[2] = b;
}

void RibReader::setEmission(double r, double g, double b) {
    double* emission = top().emission;
    emission[0] = r, emission[1] = g, emission[2] = b;
}

void RibReader::setSurface(GMaterial* material) {
    size_t i = states.size() - 1;
    states[i].surface = material;
    while (states[i].blockType == ribTransformBlock && i > 0) {
        i--;
        states[i].surface = material;
    }
}

GMaterial* RibReader::currentSurface() {
    if (top().surface) return top().surface;
    GMaterial* material = new GMaterial();
    if (scene) scene->allObjects.add(material);
    setSurface(material);
    return material;
}

// ---------------------------------------------------------------------------
// Blocks

bool RibReader::worldBegin(const RibData& s) {
    (void)s;
    pushBlock(ribWorldBlock);
    return true;
}
bool RibReader::worldEnd(const RibData& s) {
    (void)s;
    return popBlock(ribWorldBlock);
}
bool RibReader::frameBegin(const RibData& s) {
    (void)s;
    pushBlock(ribFrameBlock);
    return true;
}
bool RibReader::frameEnd(const RibData& s) {
    (void)s;
    return popBlock(ribFrameBlock);
}
bool RibReader::transformBegin(const RibData& s) {
    (void)s;
    pushBlock(ribTransformBlock);
    return true;
}
bool RibReader::transformEnd(const RibData& s) {
    (void)s;
    return popBlock(ribTransformBlock);
}
bool RibReader::attributeBegin(const RibData& s) {
    (void)s;
    pushBlock(ribAttributeBlock);
    return true;
}
bool RibReader::attributeEnd(const RibData& s) {
    (void)s;
    return popBlock(ribAttributeBlock);
}

// ---------------------------------------------------------------------------
// Transformations

// The 16 numbers of a "Transform" or "ConcatTransform", transposed from
// RenderMan's row-vector layout.
static bool readMatrixArgument(const RibData& s, RibMatrix& out) {
    const RibData& array = s.node(1);
    if (array.kind != RibData::valueArray) {
        std::printf("Bad Transform Syntax\n");
        return false;
    }
    if (array.values.size() != 16) {
        std::printf("Array is not of size 16\n");
        return false;
    }
    double values[16];
    for (int i = 0; i < 16; i++) values[i] = array.floatAt(i);
    out = RibMatrix(values).transposed();
    return true;
}

bool RibReader::transformCommand(const RibData& s) {
    RibMatrix m;
    if (!readMatrixArgument(s, m)) return false;
    setTransform(m);
    return true;
}

bool RibReader::concatTransformCommand(const RibData& s) {
    RibMatrix m;
    if (!readMatrixArgument(s, m)) return false;
    concatTransform(m);
    return true;
}

bool RibReader::translate(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 3) {
        std::printf("Bad translate syntax.  Expected dx dy dz, only have %d arguments\n", arguments);
        return false;
    }
    concatTransform(RibMatrix::translation(s.node(1).asFloat(), s.node(2).asFloat(),
                                           s.node(3).asFloat()));
    return true;
}

// ---------------------------------------------------------------------------
// Object definitions

// The key of an object handle: a number as its integer value, a quoted
// name with a leading quote so that "3" and 3 stay apart.
static std::string objectKey(const RibData& handle) {
    if (handle.kind == RibData::quotedString) return std::string("\"") + handle.text;
    return std::to_string(handle.firstInt());
}

// The handle as written, for messages.
static const char* handleText(const std::string& key) {
    return key.c_str() + (key[0] == '"' ? 1 : 0);
}

bool RibReader::objectBegin(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Error in RIB: ObjectBegin requires 1 argument, has %d\n", arguments);
        return false;
    }
    recording = true;
    recordingObject = objectKey(s.node(1));
    objectDefinitions[recordingObject];  // an empty definition still exists
    return true;
}

bool RibReader::objectEnd(const RibData& s) {
    (void)s;
    recording = false;
    return true;
}

bool RibReader::objectInstance(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Error in RIB: ObjectInstance requires 1 argument, has %d\n", arguments);
        return false;
    }
    std::string key = objectKey(s.node(1));
    auto definition = objectDefinitions.find(key);
    if (definition == objectDefinitions.end()) {
        std::printf("Warning: ObjectInstance of undefined object %s\n", handleText(key));
        return true;
    }
    if (std::find(instancing.begin(), instancing.end(), key) != instancing.end()) {
        std::printf("Error in RIB: object %s instances itself; skipped\n", handleText(key));
        return false;
    }
    if ((int)instancing.size() >= maxInstanceDepth) {
        std::printf("Error in RIB: objects nested more than %d deep at object %s; skipped\n",
                    maxInstanceDepth, handleText(key));
        return false;
    }
    if (instancing.empty())
        expansionStart = sceneObjectCount();
    // By index, re-finding the list each time: a recorded "ObjectBegin" may
    // append to this very list while it runs.
    instancing.push_back(key);
    bool ok = true;
    size_t count = definition->second.size();
    for (size_t i = 0; i < count; i++) {
        long long made = instancedObjects + (sceneObjectCount() - expansionStart);
        if (instancedStatements >= maxInstancedStatements || made >= maxInstancedObjects) {
            if (!instancesStopped)
                std::printf("Error in RIB: instances ran %lld statements and made %lld objects; "
                            "object %s and the instances after it skipped\n",
                            instancedStatements, made, handleText(key));
            instancesStopped = true;
            ok = false;
            break;
        }
        instancedStatements++;
        RibData statement = objectDefinitions[key][i];
        if (!executeStatement(statement)) ok = false;
    }
    instancing.pop_back();
    if (instancing.empty())
        instancedObjects += sceneObjectCount() - expansionStart;
    return ok;
}

int RibReader::sceneObjectCount() const {
    return scene ? scene->allObjects.size() : 0;
}

// ---------------------------------------------------------------------------
// Archives

bool RibReader::readArchive(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("ReadArchive needs 1 argument, only has %d\n", arguments);
        return false;
    }
    std::string path = resolveName(s.node(1).firstString());
    if (path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".obj") == 0)
        return readObjArchive(path);
    std::string savedBase = baseDirectory;
    bool ok = readFile(path.c_str(), nullptr);
    if (openFailed) std::fprintf(stderr, "ERROR! could not open file '%s'\n", path.c_str());
    openFailed = false;
    baseDirectory = savedBase;
    return ok;
}

// An OBJ archive: its groups as meshes under the current transform, one
// LBVHbox each; faces without an MTL material take the current surface.
bool RibReader::readObjArchive(const std::string& path) {
    if (!scene) return false;
    ObjModel model;
    if (!readObjFile(path.c_str(), model)) return false;
    // GMatrix takes row vectors: the transpose of ours; normals go by the
    // inverse transpose, which for row vectors is the inverse itself.
    const RibMatrix& transform = top().transform;
    RibMatrix inverse;
    if (!transform.inverse(inverse)) inverse = RibMatrix();
    float pointValues[16], normalValues[16];
    const RibMatrix pointRows = transform.transposed();
    for (int i = 0; i < 16; i++) {
        pointValues[i] = (float)pointRows.m[i];
        normalValues[i] = (float)inverse.m[i];
    }
    for (int i = 12; i < 15; i++) normalValues[i] = 0.0f;
    SceneMeshTarget target(scene);
    buildObjModel(model, currentSurface(), GMatrix(pointValues), GMatrix(normalValues), scene, target);
    return true;
}
