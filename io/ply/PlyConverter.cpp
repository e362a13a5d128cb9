#include "io/ply/PlyConverter.h"

#include <cstdio>

#include "foundation/InputFile.h"
#include "geometry/MeshText.h"
#include "io/ply/PlyReader.h"

bool convertPlyToMesh(const char* inputFileName, const char* outputFileName) {
    FILE* input = openInputFile(inputFileName, "rb");
    if (!input) {
        std::printf("could not open %s or %s converting PLY to VRML\n", inputFileName, outputFileName);
        return false;
    }
    MeshText text;
    text.load(input);
    std::fclose(input);

    PlyHeader header;
    readPlyHeader(text, header);
    PlyMeshData binary;
    if (header.binary && !readBinaryPly(text, header, inputFileName, binary)) return false;
    FILE* output = std::fopen(outputFileName, "w");
    if (!output) {
        std::printf("could not open %s or %s converting PLY to VRML\n", inputFileName, outputFileName);
        return false;
    }

    std::fprintf(output, "<mesh>\n");
    std::fprintf(output, "<points>\n");
    if (header.binary) {
        for (size_t i = 0; i + 2 < binary.positions.size(); i += 3)
            std::fprintf(output, "<p x='%0.7f' y='%0.7f' z='%0.7f'/>\n", binary.positions[i],
                         binary.positions[i + 1], binary.positions[i + 2]);
    }
    for (int i = 0; i < (header.binary ? 0 : header.vertexCount); i++) {
        char* line = text.nextLine();
        if (!line) break;
        float x, y, z;
        scanFloat(line, x);
        scanFloat(line, y);
        scanFloat(line, z);
        std::fprintf(output, "<p x='%0.7f' y='%0.7f' z='%0.7f'/>\n", x, y, z);
    }
    std::fprintf(output, "</points>\n");
    std::fprintf(output, "<faces>\n");
    // One element per announced face: a line missing at the end reads as an
    // empty one (no indices), so it gives an empty element. A count far
    // beyond the file is not written out to the end: after a thousand such
    // empty elements the rest is dropped with a message.
    int skipped = header.binary ? (int)binary.facesSkipped : 0, missing = 0;
    for (size_t at = 0; at < binary.faces.size(); at += 1 + (size_t)binary.faces[at]) {
        std::fprintf(output, "<f");
        for (int j = 0; j < binary.faces[at]; j++) std::fprintf(output, " %c='%d'", 'a' + j, binary.faces[at + 1 + j]);
        std::fprintf(output, "/>\n");
    }
    const int maxMissing = 1000;
    int indices[maxPlyFaceVertices];
    char empty[1] = {0};
    for (int f = 0; f < (header.binary ? 0 : header.faceCount); f++) {
        char* line = text.nextLine();
        if (!line) {
            if (++missing > maxMissing) {
                std::printf("PLY file '%s' lacks %lld of its face lines; only %d empty faces written\n",
                            inputFileName, (long long)header.faceCount - f + maxMissing, maxMissing);
                break;
            }
            line = empty;
        }
        int n = readPlyFace(line, indices);
        if (n > maxPlyFaceVertices) {
            skipped++;
            continue;
        }
        std::fprintf(output, "<f");
        for (int j = 0; j < n; j++) std::fprintf(output, " %c='%d'", 'a' + j, indices[j]);
        std::fprintf(output, "/>\n");
    }
    std::fprintf(output, "</faces>\n");
    std::fprintf(output, "</mesh>\n");
    std::fclose(output);
    if (skipped > 0)
        std::printf("%d PLY faces with more than %d vertices skipped\n", skipped, maxPlyFaceVertices);
    return true;
}
