#include "io/rib/RibTrimesh.h"

#include <cstdio>
#include <cstring>

#include "foundation/InputFile.h"
#include "io/rib/RibMatrix.h"

TrimeshBox::TrimeshBox(size_t vertexTotal, size_t triangleCapacity)
    : vertices(new GVertex[vertexTotal > 0 ? vertexTotal : 1]),
      vertexCount(vertexTotal),
      triangles(new GTriangle[triangleCapacity > 0 ? triangleCapacity : 1]),
      triangleCount(0) {}

static uint32_t readUint32(const unsigned char* bytes) {
    return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16) |
           ((uint32_t)bytes[3] << 24);
}

static uint32_t readUint24(const unsigned char* bytes) {
    return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16);
}

static float readFloat32(const unsigned char* bytes) {
    uint32_t word = readUint32(bytes);
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

static void putUint32(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; i++) out.push_back((unsigned char)(value >> (8 * i)));
}

TrimeshBox* readTrimeshFile(const char* path, GMaterial* material, const RibMatrix& transform) {
    std::printf("Reading Binary Trimesh %s\n", path);
    std::printf("HELLO THERE\n\n");
    FILE* file = openInputFile(path, "rb");
    if (!file) {
        std::printf("Unable to read %s\n", path);
        return nullptr;
    }

    // 1. The file must hold what the counts need before anything is
    // allocated from them; bytes after that are ignored (and said so).
    long fileSize = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) fileSize = std::ftell(file);
    std::rewind(file);
    unsigned char header[8];
    if (fileSize < 8 || std::fread(header, 1, 8, file) != 8) {
        std::printf("Trimesh file %s is too short to hold its counts; not read\n", path);
        std::fclose(file);
        return nullptr;
    }
    uint32_t vertexTotal = readUint32(header);
    uint32_t triangleTotal = readUint32(header + 4);
    unsigned long long needed =
        8ULL + 12ULL * (unsigned long long)vertexTotal + 9ULL * (unsigned long long)triangleTotal;
    if (needed > (unsigned long long)fileSize) {
        std::printf(
            "Trimesh file %s holds %ld bytes, but %u vertices and %u triangles need %llu; not "
            "read\n",
            path, fileSize, vertexTotal, triangleTotal, needed);
        std::fclose(file);
        return nullptr;
    }
    if (needed < (unsigned long long)fileSize)
        std::printf("Trimesh file %s: the %llu bytes after its %u vertices and %u triangles are ignored\n", path,
                    (unsigned long long)fileSize - needed, vertexTotal, triangleTotal);
    std::vector<unsigned char> body((size_t)(needed - 8));
    size_t got = body.empty() ? 0 : std::fread(body.data(), 1, body.size(), file);
    std::fclose(file);
    if (got != body.size()) {
        std::printf("Unable to read %s\n", path);
        return nullptr;
    }
    std::printf("I see %u vertices and %u triangles \n", vertexTotal, triangleTotal);

    // 2. Vertices, then their transformation.
    TrimeshBox* mesh = new TrimeshBox(vertexTotal, triangleTotal);
    const unsigned char* positions = body.data();
    for (uint32_t i = 0; i < vertexTotal; i++) {
        const unsigned char* record = positions + 12 * (size_t)i;
        GVertex& vertex = mesh->vertices[i];
        vertex.position =
            HPoint(readFloat32(record), readFloat32(record + 4), readFloat32(record + 8), 1.0f);
        vertex.material = material;
    }
    std::printf("done reading points\n");
    for (uint32_t i = 0; i < vertexTotal; i++) {
        HPoint& p = mesh->vertices[i].position;
        p = transform.transformPoint(p.x, p.y, p.z, 1.0);
    }
    std::printf("done transforming points \n");

    // 3. Triangles; one with an index past the vertices is skipped.
    const unsigned char* records = positions + 12 * (size_t)vertexTotal;
    bool skippedAny = false;
    for (uint32_t i = 0; i < triangleTotal; i++) {
        const unsigned char* record = records + 9 * (size_t)i;
        uint32_t a = readUint24(record), b = readUint24(record + 3), c = readUint24(record + 6);
        if (a >= vertexTotal || b >= vertexTotal || c >= vertexTotal) {
            std::printf("%d ", (int)i);
            skippedAny = true;
            continue;
        }
        GTriangle& triangle = mesh->triangles[mesh->triangleCount++];
        triangle.setVertices(&mesh->vertices[a], &mesh->vertices[b], &mesh->vertices[c]);
        triangle.flags |= GTriangle::flat;
        mesh->addObject(&triangle);
    }
    if (skippedAny) std::printf("\n");
    std::printf("done reading \n");
    mesh->build();
    return mesh;
}

bool writeTrimeshFile(const char* path, const std::vector<float>& positions,
                      const std::vector<uint32_t>& indices) {
    std::vector<unsigned char> bytes;
    uint32_t vertexTotal = (uint32_t)(positions.size() / 3);
    uint32_t triangleTotal = (uint32_t)(indices.size() / 3);
    bytes.reserve(8 + 12 * (size_t)vertexTotal + 9 * (size_t)triangleTotal);
    putUint32(bytes, vertexTotal);
    putUint32(bytes, triangleTotal);
    for (size_t i = 0; i < 3 * (size_t)vertexTotal; i++) {
        uint32_t word;
        std::memcpy(&word, &positions[i], sizeof word);
        putUint32(bytes, word);
    }
    for (size_t i = 0; i < 3 * (size_t)triangleTotal; i++) {
        for (int k = 0; k < 3; k++) bytes.push_back((unsigned char)(indices[i] >> (8 * k)));
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0) ok = false;
    return ok;
}
