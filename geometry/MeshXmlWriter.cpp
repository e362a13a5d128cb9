#include "geometry/MeshXmlWriter.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>

#include "geometry/GPlane.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

void writeTriangleMeshXML(FILE* file, const void* owner, const JVector<GSceneObject>& objects) {
    int triangles = 0;
    for (int i = 0; i < objects.count; i++)
        if (objects[i]->isKindOf(ClassId::GTriangle)) triangles++;
    if (triangles == 0) return;
    GMaterial* material = objects[0]->getMaterial();
    for (int i = 1; i < objects.count; i++)
        if (objects[i]->isKindOf(ClassId::GTriangle) && objects[i]->getMaterial() != material) {
            std::printf("XML export: the triangles of one mesh take the material of its first\n");
            break;
        }
    if (material) material->writeXML(file);
    // Texture coordinates matter only to a textured material.
    bool textured = material && (material->colorTextureMask || material->scalarTextureMask);
    std::fprintf(file, "<object name='ply%" PRIxPTR "' shader_name='s%" PRIxPTR "'> <attributes />\n",
                 (uintptr_t)owner, (uintptr_t)material);
    // A mesh of flat triangles only is written without normals (and without
    // autosmooth), so that it reads back flat, shaded by the face normals
    // exactly as before.
    bool allFlat = true;
    for (int i = 0; i < objects.count && allFlat; i++)
        if (objects[i]->isKindOf(ClassId::GTriangle))
            allFlat = (static_cast<GTriangle*>(objects[i])->flags & GTriangle::flat) != 0;
    std::fprintf(file, allFlat ? "<mesh>\n" : "<mesh autosmooth='35'>\n");
    std::fprintf(file, "<points>\n");
    for (int i = 0; i < objects.count; i++) {
        if (!objects[i]->isKindOf(ClassId::GTriangle)) continue;
        GTriangle* triangle = static_cast<GTriangle*>(objects[i]);
        // A flat triangle's vertex normals are not what it shows (often they
        // are zero): its corners carry the face normal so that it reads back
        // shaded the same.
        bool flat = (triangle->flags & GTriangle::flat) != 0;
        HPoint faceNormal = triangle->geometricNormal();
        for (const GVertex* vertex : triangle->vertices) {
            const HPoint& p = vertex->position;
            const HPoint& n = flat ? faceNormal : vertex->normal;
            std::fprintf(file, "  <p x='%.9g' y='%.9g' z='%.9g'", p.x, p.y, p.z);
            if (!allFlat) std::fprintf(file, " nx='%.9g' ny='%.9g' nz='%.9g'", n.x, n.y, n.z);
            if (textured) std::fprintf(file, " u='%.9g' v='%.9g'", vertex->texCoord.x, vertex->texCoord.y);
            std::fprintf(file, "/>\n");
        }
    }
    std::fprintf(file, "</points>\n");
    std::fprintf(file, "<faces>\n");
    for (int k = 0; k < triangles; k++) std::fprintf(file, "  <f a='%d' b='%d' c='%d'/>\n", 3 * k, 3 * k + 1, 3 * k + 2);
    std::fprintf(file, "</faces>\n");
    std::fprintf(file, "</mesh>\n");
    std::fprintf(file, "</object>\n");
}

void writePlaneXML(FILE* file, const GPlane& plane, const HPoint& viewPoint) {
    HPoint n(plane.normal.x, plane.normal.y, plane.normal.z, 1.0f);
    float height = std::fabs(viewPoint.dot(n) + plane.normal.w);
    if (!(n.dot(n) > 0.0f) || !std::isfinite(height)) {
        std::printf("XML export: %s has no usable normal and is not written\n", plane.toString());
        return;
    }
    HPoint centre = viewPoint.difference(n.scaled(viewPoint.dot(n) + plane.normal.w));
    centre.w = 1.0f;
    // Axes a, b in the plane with a x b = n, so the faces are seen
    // counter-clockwise from the normal's side.
    HPoint helper = std::fabs(n.x) < 0.6f ? HPoint(1.0f, 0.0f, 0.0f, 1.0f) : HPoint(0.0f, 1.0f, 0.0f, 1.0f);
    HPoint a = helper.difference(n.scaled(helper.dot(n)));
    a.normalize();
    HPoint b = n.cross(a);
    b.normalize();
    float reach = 1e4f * (height > 1.0f ? height : 1.0f);
    const float corners[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    if (plane.material) plane.material->writeXML(file);
    std::fprintf(file, "<object name='plane%" PRIxPTR "' shader_name='s%" PRIxPTR "'> <attributes />\n",
                 (uintptr_t)&plane, (uintptr_t)plane.material);
    std::fprintf(file, "<mesh>\n<points>\n");
    auto point = [&](const HPoint& p) {
        std::fprintf(file, "  <p x='%.9g' y='%.9g' z='%.9g' nx='%.9g' ny='%.9g' nz='%.9g'/>\n", p.x, p.y, p.z,
                     n.x, n.y, n.z);
    };
    point(centre);
    for (const auto& c : corners) point(centre.sum(a.scaled(c[0] * reach)).sum(b.scaled(c[1] * reach)));
    std::fprintf(file, "</points>\n<faces>\n");
    for (int k = 0; k < 4; k++) std::fprintf(file, "  <f a='0' b='%d' c='%d'/>\n", 1 + k, 1 + (k + 1) % 4);
    std::fprintf(file, "</faces>\n</mesh>\n</object>\n");
}
