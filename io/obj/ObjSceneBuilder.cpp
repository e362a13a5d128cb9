#include "io/obj/ObjSceneBuilder.h"

#include <array>
#include <cstdio>
#include <map>

#include "geometry/GScene.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"
#include "io/obj/ObjReader.h"
#include "io/obj/PolygonTriangulation.h"
#include "shading/GMaterial.h"

void SceneMeshTarget::keep(GObject* object) { scene->allObjects.add(object); }

void SceneMeshTarget::beginGroup() { box = new LBVHbox(); }

void SceneMeshTarget::addTriangle(GTriangle* triangle) {
    scene->allObjects.add(triangle);
    box->addObject(triangle);
}

void SceneMeshTarget::endGroup() {
    if (box->objects.size() == 0) {
        delete box;
    } else {
        box->build();
        scene->allObjects.add(box);
        scene->objects.add(box);
    }
    box = nullptr;
}

GMaterial* makeObjFallbackMaterial() {
    GMaterial* material = new GMaterial();
    material->setColor(GMaterial::diffuse, HPoint(0.8f, 0.8f, 0.8f, 0.0f));
    return material;
}

namespace {

bool emits(const GMaterial* material) {
    const HPoint& emissive = material->colors[GMaterial::emissive];
    return emissive.x + emissive.y + emissive.z > 0.0f;
}

}  // namespace

ObjBuildCounts buildObjModel(const ObjModel& model, GMaterial* fallback, const GMatrix& transform,
                             const GMatrix& normalTransform, GScene* scene, ObjMeshTarget& target) {
    ObjBuildCounts counts;
    for (GMaterial* material : model.materials) target.keep(material);
    for (GObject* object : model.created) target.keep(object);

    std::vector<int> triangles;
    std::vector<HPoint> facePoints;
    std::vector<GVertex*> faceVertices;
    std::vector<bool> faceHasNormal;
    for (const ObjGroup& group : model.groups) {
        GMaterial* material = group.material >= 0 && group.material < (int)model.materials.size()
                                  ? model.materials[(size_t)group.material]
                                  : fallback;
        const bool emitting = emits(material);
        // Corners shared within the group: one vertex per (position, texture
        // coordinate, normal).
        std::map<std::array<int, 3>, GVertex*> shared;
        target.beginGroup();
        counts.groups++;
        for (int face = 0; face < group.faceCount(); face++) {
            const int first = group.faceStarts[(size_t)face];
            const int cornerCount = group.faceStarts[(size_t)face + 1] - first;
            facePoints.clear();
            faceVertices.clear();
            faceHasNormal.clear();
            for (int k = 0; k < cornerCount; k++) {
                const ObjCorner& corner = group.corners[(size_t)(first + k)];
                std::array<int, 3> key = {corner.position, corner.texCoord, corner.normal};
                GVertex*& vertex = shared[key];
                if (!vertex) {
                    vertex = new GVertex();
                    HPoint position = model.positions[(size_t)corner.position];
                    position.transform(transform);
                    vertex->position = position;
                    if (corner.texCoord >= 0) vertex->texCoord = model.texCoords[(size_t)corner.texCoord];
                    if (corner.normal >= 0) {
                        HPoint normal = model.normals[(size_t)corner.normal];
                        normal.transform(normalTransform);
                        normal.w = 1.0f;
                        if (normal.length() > 0.0f) normal.normalize();
                        vertex->normal = normal;
                    }
                    vertex->material = material;
                    target.keep(vertex);
                }
                facePoints.push_back(vertex->position);
                faceVertices.push_back(vertex);
                faceHasNormal.push_back(corner.normal >= 0 && vertex->normal.length() > 0.0f);
            }
            triangles.clear();
            if (!triangulatePolygon(facePoints.data(), cornerCount, triangles)) counts.concavePolygons++;
            for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
                const int a = triangles[t], b = triangles[t + 1], c = triangles[t + 2];
                GTriangle* triangle = new GTriangle();
                triangle->setVertices(faceVertices[(size_t)a], faceVertices[(size_t)b],
                                      faceVertices[(size_t)c]);
                // Without a normal at every corner the face is shaded flat.
                if (!faceHasNormal[(size_t)a] || !faceHasNormal[(size_t)b] || !faceHasNormal[(size_t)c])
                    triangle->flags |= GTriangle::flat;
                target.addTriangle(triangle);
                counts.triangles++;
                if (emitting && scene) {
                    scene->emitters.add(triangle);
                    scene->emitterCount++;
                    counts.emitters++;
                }
            }
        }
        target.endGroup();
    }
    return counts;
}

bool loadObjScene(const char* fileName, GScene* scene) {
    ObjModel model;
    if (!scene || !readObjFile(fileName, model)) return false;
    GMaterial* fallback = makeObjFallbackMaterial();
    scene->allObjects.add(fallback);
    SceneMeshTarget target(scene);
    ObjBuildCounts counts = buildObjModel(model, fallback, GMatrix(), GMatrix(), scene, target);
    std::printf("OBJ file '%s': %d groups, %d triangles, %d emitters\n", fileName, counts.groups,
                counts.triangles, counts.emitters);
    return true;
}
