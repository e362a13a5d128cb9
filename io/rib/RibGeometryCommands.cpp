// The RIB commands that create geometry: spheres, polygon meshes and binary
// triangle-mesh files. Meshes arrive in one LBVHbox each.
#include <cstdio>
#include <string>

#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"
#include "io/rib/RibReader.h"
#include "io/rib/RibTrimesh.h"
#include "shading/GMaterial.h"

static bool emits(const GMaterial* material) {
    const HPoint& emissive = material->colors[GMaterial::emissive];
    return emissive.x + emissive.y + emissive.z > 0.0f;
}

bool RibReader::sphere(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Bad number of arguments to Sphere.  Requires at least 1, has %d\n", arguments);
        return false;
    }
    if (!scene) return false;
    GMaterial* material = currentSurface();
    GSphere* sphere = new GSphere();
    sphere->center = top().transform.transformPoint(0.0, 0.0, 0.0);
    sphere->setRadius((float)s.node(1).asFloat());
    sphere->setMaterial(material);
    scene->allObjects.add(sphere);
    scene->objects.add(sphere);
    if (emits(material)) {
        scene->emitters.add(sphere);
        scene->emitterCount++;
    }
    return true;
}

bool RibReader::nuPatch(const RibData& s) {
    (void)s;
    // Any patch stands in as a unit sphere at the current origin.
    RibData unitSphere(RibData::nodeArray, "");
    const char* words[] = {"Sphere", "1.0", "-1.0", "1.0", "360.0"};
    for (const char* word : words) unitSphere.nodes.push_back(RibData(RibData::plainToken, word));
    return sphere(unitSphere);
}

bool RibReader::pointsGeneralPolygons(const RibData& s) {
    // 1. Arguments: loop counts, vertex counts and vertex indices, then parameters.
    int arguments = s.size() - 1;
    if (arguments < 5) {
        std::printf("Not enough arguments to PointsGeneralPolygons, needs at least 6, got %d\n",
                    arguments);
        return false;
    }
    const RibData& loops = s.node(1);
    const RibData& vertexCounts = s.node(2);
    const RibData& indices = s.node(3);
    if (loops.kind != RibData::valueArray || vertexCounts.kind != RibData::valueArray ||
        indices.kind != RibData::valueArray) {
        std::printf(
            "Bad PointsGeneralPolygons syntax: loop counts, vertex counts and vertex indices must "
            "be arrays\n");
        return false;
    }

    // 2. Points: "P" or homogeneous "Pw".
    const RibData* points = nullptr;
    int stride = 3;
    if (s.hasParameter("P")) {
        points = &s.findOptionalArg("P");
    } else if (s.hasParameter("Pw")) {
        points = &s.findOptionalArg("Pw");
        stride = 4;
    } else {
        std::printf("Doesn't have points or homogeneous points - skipping\n");
        return false;
    }

    // 3. One loop per polygon.
    int polygonCount = (int)loops.values.size();
    for (int i = 0; i < polygonCount; i++) {
        if (loops.intAt(i) != 1) {
            std::printf("I only handle polys with a single loop.\n");
            return false;
        }
    }
    if (!scene) return false;

    // 4, 5. One vertex per point; a partial last record is ignored.
    int pointCount = (int)(points->values.size() / (size_t)stride);
    const RibData* normals = s.hasParameter("N") ? &s.findOptionalArg("N") : nullptr;
    const RibData* textureCoordinates = s.hasParameter("st") ? &s.findOptionalArg("st") : nullptr;
    int normalCount = normals ? (int)(normals->values.size() / 3) : 0;
    int textureCount = textureCoordinates ? (int)(textureCoordinates->values.size() / 2) : 0;
    GMaterial* material = currentSurface();
    const RibMatrix& transform = top().transform;
    std::vector<GVertex*> vertices((size_t)pointCount);
    for (int p = 0; p < pointCount; p++) {
        const int first = stride * p;
        double w = stride == 4 ? points->floatAt(first + 3) : 1.0;
        GVertex* vertex = new GVertex();
        vertex->position = transform.transformPoint(points->floatAt(first), points->floatAt(first + 1),
                                                    points->floatAt(first + 2), w);
        if (p < normalCount)
            vertex->normal = HPoint((float)normals->floatAt(3 * p), (float)normals->floatAt(3 * p + 1),
                                    (float)normals->floatAt(3 * p + 2), 1.0f);
        if (p < textureCount)
            vertex->texCoord = HPoint((float)textureCoordinates->floatAt(2 * p),
                                      (float)textureCoordinates->floatAt(2 * p + 1), 0.0f, 1.0f);
        vertex->material = material;
        scene->allObjects.add(vertex);
        vertices[(size_t)p] = vertex;
    }

    // 6. Each polygon as a fan of triangles around its first vertex.
    bool flat = normalCount < pointCount;
    bool emitting = emits(material);
    bool ok = true;
    LBVHbox* box = new LBVHbox();
    int indexCount = (int)indices.values.size();
    int cursor = 0;
    int skipped = 0;
    for (int polygon = 0; polygon < polygonCount; polygon++) {
        int corners = polygon < (int)vertexCounts.values.size() ? vertexCounts.intAt(polygon) : -1;
        if (corners < 0 || corners > indexCount - cursor) {
            std::printf(
                "PointsGeneralPolygons: the vertex lists end inside polygon %d of %d; the rest is "
                "skipped\n",
                polygon, polygonCount);
            ok = false;
            break;
        }
        int first = indices.intAt(cursor);
        for (int m = 1; m + 1 < corners; m++) {
            int second = indices.intAt(cursor + m);
            int third = indices.intAt(cursor + m + 1);
            if (first < 0 || first >= pointCount || second < 0 || second >= pointCount ||
                third < 0 || third >= pointCount) {
                skipped++;
                continue;
            }
            GTriangle* triangle = new GTriangle();
            triangle->setVertices(vertices[(size_t)first], vertices[(size_t)second],
                                  vertices[(size_t)third]);
            if (flat) triangle->flags |= GTriangle::flat;
            scene->allObjects.add(triangle);
            box->addObject(triangle);
            if (emitting) {
                scene->emitters.add(triangle);
                scene->emitterCount++;
            }
        }
        cursor += corners;
    }
    if (skipped > 0) {
        std::printf(
            "PointsGeneralPolygons: skipped %d triangles with indices outside the %d points\n",
            skipped, pointCount);
        ok = false;
    }

    // 7. The hierarchy; a mesh with no triangle adds nothing to the scene.
    if (box->objects.size() == 0) {
        delete box;
        return ok;
    }
    box->build();
    scene->allObjects.add(box);
    scene->objects.add(box);
    return ok;
}

bool RibReader::trimesh(const RibData& s) {
    int arguments = s.size() - 1;
    if (arguments < 1) {
        std::printf("Trimesh needs 1 argument, only has %d\n", arguments);
        return false;
    }
    if (!scene) return false;
    std::string path = resolveName(s.node(1).firstString());
    TrimeshBox* mesh = readTrimeshFile(path.c_str(), currentSurface(), top().transform);
    if (!mesh) return false;
    if (mesh->triangleCount == 0) {
        delete mesh;
        return true;
    }
    scene->allObjects.add(mesh);
    scene->objects.add(mesh);
    return true;
}
