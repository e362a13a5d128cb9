#include "io/ply/PlyReader.h"

#include <cstdio>
#include <cstring>

#include "foundation/JVector.h"
#include "foundation/Settings.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

// "%s%s%d": the number after the first two words; the count is left as it
// was when there is none.
void readCount(char* line, int& count) {
    char* cursor = line;
    for (int word = 0; word < 2; word++) {
        while (*cursor == ' ' || *cursor == '\t' || *cursor == '\r' || *cursor == '\v' || *cursor == '\f') cursor++;
        while (*cursor != '\0' && *cursor != ' ' && *cursor != '\t' && *cursor != '\r' && *cursor != '\v' &&
               *cursor != '\f')
            cursor++;
    }
    int value;
    if (scanInt(cursor, value)) count = value;
}

}  // namespace

void readPlyHeader(MeshText& text, PlyHeader& header) {
    while (char* line = text.nextLine()) {
        if (std::strncmp(line, "end_header", 10) == 0) {
            header.ended = true;
            return;
        }
        if (std::strncmp(line, "element vertex", 14) == 0) {
            readCount(line, header.vertexCount);
        } else if (std::strncmp(line, "element face", 12) == 0) {
            readCount(line, header.faceCount);
        } else if (std::strncmp(line, "format", 6) == 0) {
            lineWord(line, 1, header.format, sizeof header.format);
            if (std::strncmp(header.format, "binary", 6) == 0) header.binary = true;
        }
    }
}

int readPlyFace(char* line, int indices[maxPlyFaceVertices]) {
    char* cursor = line;
    int n;
    scanInt(cursor, n);
    for (int i = 0; i < maxPlyFaceVertices; i++) scanInt(cursor, indices[i]);
    return n;
}

void loadPly(GBoundingBox& box, GScene* scene, GMaterial* material, MeshText& text, const GMatrix& transform,
             const char* fileName) {
    PlyHeader header;
    readPlyHeader(text, header);
    if (header.binary) {
        std::fprintf(stderr, "PLY file '%s' is %s: only ASCII PLY is read, nothing loaded\n", fileName,
                     header.format);
        return;
    }

    // Vertices: one per line while lines last. The reservation is bounded by
    // the bytes left, so a wild count allocates nothing the file cannot fill.
    int vertexCount = header.vertexCount > 0 ? header.vertexCount : 0;
    size_t backed = text.remaining() / 6 + 1;  // "0 0 0\n" is the shortest useful line
    JVector<GVertex> vertices((int)((size_t)vertexCount < backed ? (size_t)vertexCount : backed) + 1, -1);
    for (int i = 0; i < vertexCount; i++) {
        char* line = text.nextLine();
        if (!line) break;
        float x, y, z;
        // Numbers after the third (normals, colours) are ignored; missing ones read as 0.
        scanFloat(line, x);
        scanFloat(line, y);
        scanFloat(line, z);
        GVertex* vertex = new GVertex();
        vertex->material = material;
        vertex->texCoord = HPoint(x, y, z, 1.0f);
        HPoint position(x, y, z, 1.0f);
        position.transform(transform);
        vertex->position = position;
        box.extend(position);
        box.registerObject(scene, vertex);
        vertices.add(vertex);
    }

    // Faces: a fan of flat triangles per polygon.
    HPoint emission(0.0f, 0.0f, 0.0f, 0.0f);
    if (material) material->getRawColor(GMaterial::emissive, emission);
    bool emissive = emission.x + emission.y + emission.z > 0.0f;
    int skipped = 0;
    int indices[maxPlyFaceVertices];
    for (int f = 0; f < header.faceCount; f++) {
        char* line = text.nextLine();
        if (!line) break;  // a missing line would read as n = 0: nothing more to make
        int n = readPlyFace(line, indices);
        if (n > maxPlyFaceVertices) {
            skipped++;
            continue;
        }
        // k + 2 < n, not k < n - 2: a corner count near INT_MIN must not overflow.
        for (int k = 0; k + 2 < n; k++) {
            GVertex* a = vertices.elementAt(indices[0]);
            GVertex* b = vertices.elementAt(indices[k + 1]);
            GVertex* c = vertices.elementAt(indices[k + 2]);
            GInverseTriangle* triangle = new GInverseTriangle();
            triangle->flags = 0;
            triangle->flags |= GInverseTriangle::flat;
            triangle->setVertices(a, b, c, true);
            box.registerObject(scene, triangle);
            box.objects.add(triangle);
            if (emissive && scene) {
                scene->emitters.add(triangle);
                scene->emitterCount++;
            }
        }
    }
    if (skipped > 0)
        std::printf("%d PLY faces with more than %d vertices skipped\n", skipped, maxPlyFaceVertices);
    std::printf("total triangles = %d\n", box.objects.count);
    box.boxMin.subtract(HPoint(epsilon, epsilon, epsilon));
    box.boxMax.add(HPoint(epsilon, epsilon, epsilon));
}
