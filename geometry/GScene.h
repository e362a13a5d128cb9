// GScene: what a loader fills and a camera renders. It holds the top-level
// objects that rays are tested against, the lights, the emitting surfaces, the
// camera, the background and ambient colours, a default material and the names
// given to objects in the scene file, and answers the renderers' ray queries
// by asking its top-level objects in turn.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "foundation/GObject.h"
#include "foundation/HPoint.h"
#include "foundation/JHashtable.h"
#include "foundation/JString.h"
#include "foundation/JVector.h"

class GSceneObject;
class GCamera;
class GMaterial;
class GLight;
class SpectralBsdf;
struct GRay;
struct HitRecord;

class GScene : public GObject {
public:
    GScene();
    // Destroys the default material, the names, and every object listed in
    // allObjects, objects, lights, emitters or camera, each exactly once (an
    // object in several lists is destroyed once). So the classes of listed
    // objects must not destroy other listed objects (a sphere's material, a
    // mesh's triangles) in their own destructors.
    ~GScene() override;
    GScene(const GScene&) = delete;
    GScene& operator=(const GScene&) = delete;

    bool isKindOf(int id) const override { return id == ClassId::GScene || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GScene; }
    const char* toString() const override;

    // Nearest hit: the caller sets hit.t to the search limit first. Every
    // top-level object is asked (last to first); each accepts only hits nearer
    // than the current hit.t.
    virtual bool closestHit(GRay& ray, HitRecord& hit);
    // True at the first top-level object that blocks the ray before limit;
    // transparent blockers may instead attenuate color and let the ray pass.
    virtual bool anyHit(GRay& ray, HPoint& color, float limit);
    // True when nothing blocks the segment from..to (a new ray id is drawn).
    virtual bool isVisible(const HPoint& from, const HPoint& to);

    // Starts a light path on an emitter picked uniformly at random; power is
    // scaled by the number of emitters. Without emitters nothing is drawn,
    // ray, power and normal are left as they are and the answer is nullptr.
    GSceneObject* sampleEmitter(GRay& ray, HPoint& power, HPoint& normal);

    // With at least minObjectsInGrid top-level objects, gathers them under one
    // uniform grid (a GBoundingBox, then the first and usually only top-level
    // object; it is not entered in allObjects). Objects with unbounded extent
    // (planes) stay top-level after it.
    void prepare();

    // "\nSYMBOL TABLE:\n\n", then "name : object\n" per entry.
    void printSymbolTable();
    // The scene as a YafRay XML text. A scene without camera writes no camera block.
    void writeXML(FILE* file);
    bool writeEmittingMeshXML(FILE* file, GSceneObject* box);

    JVector<GSceneObject> objects;
    int emitterCount;
    GCamera* camera;
    GMaterial* defaultMaterial;
    HPoint backgroundColor;
    HPoint ambientColor;
    JVector<GLight> lights;
    JVector<GSceneObject> emitters;
    JVector<GObject> allObjects;
    // The spectral BSDFs and media the loaders made (they are no GObjects);
    // destroyed with the scene.
    std::vector<std::unique_ptr<SpectralBsdf>> spectralBsdfs;
    JHashtable<JString, GObject> symbolTable;
};
