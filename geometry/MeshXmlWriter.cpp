#include "geometry/MeshXmlWriter.h"

#include <cinttypes>
#include <cstdint>

#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

void writeTriangleMeshXML(FILE* file, const void* owner, const JVector<GSceneObject>& objects) {
    int triangles = 0;
    for (int i = 0; i < objects.count; i++)
        if (objects[i]->isKindOf(ClassId::GTriangle)) triangles++;
    if (triangles == 0) return;
    GMaterial* material = objects[0]->getMaterial();
    if (material) material->writeXML(file);
    std::fprintf(file, "<object name='ply%" PRIxPTR "' shader_name='s%" PRIxPTR "'> <attributes />\n",
                 (uintptr_t)owner, (uintptr_t)material);
    std::fprintf(file, "<mesh autosmooth='35'>\n");
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
            std::fprintf(file, "  <p x='%0.6f' y='%0.6f' z='%0.6f' nx='%0.3f' ny='%0.3f' nz='%0.3f'/>\n", p.x,
                         p.y, p.z, n.x, n.y, n.z);
        }
    }
    std::fprintf(file, "</points>\n");
    std::fprintf(file, "<faces>\n");
    for (int k = 0; k < triangles; k++) std::fprintf(file, "  <f a='%d' b='%d' c='%d'/>\n", 3 * k, 3 * k + 1, 3 * k + 2);
    std::fprintf(file, "</faces>\n");
    std::fprintf(file, "</mesh>\n");
    std::fprintf(file, "</object>\n");
}
