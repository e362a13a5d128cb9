#include "io/ply/PlyReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// "element NAME COUNT" and "property TYPE NAME" / "property list CTYPE TYPE
// NAME": the record layout of a binary body.
void readLayoutLine(const char* line, PlyHeader& header) {
    char word[4][plyNameCapacity];
    int words = 0;
    while (words < 4 && lineWord(line, words, word[words], sizeof word[words])) words++;
    if (words == 3 && std::strcmp(word[0], "element") == 0) {
        if (header.elementCount == maxPlyElements) {
            std::snprintf(header.unsupported, sizeof header.unsupported, "more than %d elements", maxPlyElements);
            return;
        }
        PlyElement& element = header.elements[header.elementCount++];
        std::snprintf(element.name, sizeof element.name, "%s", word[1]);
        char* end = nullptr;
        element.count = std::strtoll(word[2], &end, 10);
        if (end == word[2] || element.count < 0) element.count = 0;
        return;
    }
    if (words < 3 || std::strcmp(word[0], "property") != 0) return;
    if (header.elementCount == 0) return;
    PlyElement& element = header.elements[header.elementCount - 1];
    if (element.propertyCount == maxPlyProperties) {
        std::snprintf(header.unsupported, sizeof header.unsupported, "more than %d properties in element %s",
                      maxPlyProperties, element.name);
        return;
    }
    PlyProperty& property = element.properties[element.propertyCount++];
    const bool list = std::strcmp(word[1], "list") == 0;
    if (list && words < 4) {
        std::snprintf(header.unsupported, sizeof header.unsupported, "a list property without its types");
        return;
    }
    property.countType = list ? plyTypeNamed(word[2]) : PlyType::none;
    property.type = plyTypeNamed(word[list ? 3 : 1]);
    if (list) lineWord(line, 4, property.name, sizeof property.name);
    else std::snprintf(property.name, sizeof property.name, "%s", word[2]);
    bool badCount = list && (property.countType == PlyType::none || property.countType == PlyType::float32 ||
                             property.countType == PlyType::float64);
    if ((property.type == PlyType::none || badCount) && header.unsupported[0] == '\0')
        std::snprintf(header.unsupported, sizeof header.unsupported, "property type '%s'",
                      word[property.type == PlyType::none ? (list ? 3 : 1) : 2]);
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
            header.bigEndian = std::strcmp(header.format, "binary_big_endian") == 0;
        }
        readLayoutLine(line, header);
    }
}

int readPlyFace(char* line, int indices[maxPlyFaceVertices]) {
    char* cursor = line;
    int n;
    scanInt(cursor, n);
    for (int i = 0; i < maxPlyFaceVertices; i++) scanInt(cursor, indices[i]);
    return n;
}

bool readBinaryPly(MeshText& text, const PlyHeader& header, const char* fileName, PlyMeshData& mesh) {
    if (std::strcmp(header.format, "binary_little_endian") != 0 &&
        std::strcmp(header.format, "binary_big_endian") != 0) {
        std::printf("PLY file '%s' is %s, which velk does not read; nothing loaded\n", fileName, header.format);
        return false;
    }
    std::string problem;
    if (!readBinaryPlyBody(text.rest(), text.remaining(), header, mesh, problem)) {
        if (mesh.vertexCount == 0 && mesh.faceCount == 0) {
            std::printf("PLY file '%s': %s; nothing loaded\n", fileName, problem.c_str());
            return false;
        }
        std::printf("PLY file '%s': %s; the rest is left out\n", fileName, problem.c_str());
    }
    return true;
}

void loadPly(GBoundingBox& box, GScene* scene, GMaterial* material, MeshText& text, const GMatrix& transform,
             const char* fileName) {
    PlyHeader header;
    readPlyHeader(text, header);
    PlyMeshData binary;
    if (header.binary && !readBinaryPly(text, header, fileName, binary)) return;

    // Vertices: one per line (or binary record) while they last. The
    // reservation is bounded by the bytes left, so a wild count allocates
    // nothing the file cannot fill.
    int vertexCount = header.vertexCount > 0 ? header.vertexCount : 0;
    if (header.binary) vertexCount = (int)(binary.vertexCount < 0x7FFFFFFF ? binary.vertexCount : 0x7FFFFFFF);
    size_t backed = text.remaining() / 6 + 1;  // "0 0 0\n" is the shortest useful line
    JVector<GVertex> vertices((int)((size_t)vertexCount < backed ? (size_t)vertexCount : backed) + 1, -1);
    for (int i = 0; i < vertexCount; i++) {
        float x, y, z;
        if (header.binary) {
            x = binary.positions[3 * (size_t)i];
            y = binary.positions[3 * (size_t)i + 1];
            z = binary.positions[3 * (size_t)i + 2];
        } else {
            char* line = text.nextLine();
            if (!line) break;
            // Numbers after the third (normals, colours) are ignored; missing ones read as 0.
            scanFloat(line, x);
            scanFloat(line, y);
            scanFloat(line, z);
        }
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
    int skipped = header.binary ? (int)binary.facesSkipped : 0;
    int faceLines = header.binary ? 0 : header.faceCount;
    size_t nextFace = 0;
    int ownIndices[maxPlyFaceVertices];
    for (int f = 0; f < faceLines || (header.binary && nextFace < binary.faces.size()); f++) {
        int n;
        const int* indices = ownIndices;
        if (header.binary) {
            n = binary.faces[nextFace];
            indices = &binary.faces[nextFace + 1];
            nextFace += 1 + (size_t)n;
        } else {
            char* line = text.nextLine();
            if (!line) break;  // a missing line would read as n = 0: nothing more to make
            n = readPlyFace(line, ownIndices);
            if (n > maxPlyFaceVertices) {
                skipped++;
                continue;
            }
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
