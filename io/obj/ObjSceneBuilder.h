// Scene objects from an ObjModel: shared GVertex corners, GTriangles (each
// polygon fanned, or ear-clipped when concave), and emitters for the
// triangles whose material emits. Where the triangles go is the target's
// choice: one LBVHbox per group in the scene (OBJ scenes, RIB ReadArchive),
// or the uniform grid of a native "shape" block.
#pragma once

#include "foundation/GMatrix.h"
#include "io/obj/ObjModel.h"

class GObject;
class GScene;
class GTriangle;

class ObjMeshTarget {
public:
    virtual ~ObjMeshTarget() {}
    // Vertices, materials, textures and images, kept alive by the target.
    virtual void keep(GObject* object) = 0;
    virtual void beginGroup() {}
    virtual void addTriangle(GTriangle* triangle) = 0;
    virtual void endGroup() {}
};

// One LBVHbox per group, in the scene's objects; everything in allObjects.
class SceneMeshTarget : public ObjMeshTarget {
public:
    explicit SceneMeshTarget(GScene* scene) : scene(scene) {}
    void keep(GObject* object) override;
    void beginGroup() override;
    void addTriangle(GTriangle* triangle) override;
    void endGroup() override;

private:
    GScene* scene;
    class LBVHbox* box = nullptr;
};

struct ObjBuildCounts {
    int groups = 0, triangles = 0, emitters = 0, concavePolygons = 0;
};

// Builds the model's groups into target. The model's materials (and what it
// created) are handed to target.keep; faces without a material get fallback
// (kept by the caller). Points are transformed by transform, normals by
// normalTransform (then normalised). Emitting triangles are added to
// scene's emitters (scene may be null: none are).
ObjBuildCounts buildObjModel(const ObjModel& model, GMaterial* fallback, const GMatrix& transform,
                             const GMatrix& normalTransform, GScene* scene, ObjMeshTarget& target);

// The material of faces that name none: grey diffuse 0.8, the rest velk's defaults.
GMaterial* makeObjFallbackMaterial();

// "velk scene.obj": the file's groups as LBVHboxes in the scene, the
// fallback material in allObjects, and one summary line
// "OBJ file 'NAME': G groups, T triangles, E emitters". False when nothing
// could be read.
bool loadObjScene(const char* fileName, GScene* scene);
