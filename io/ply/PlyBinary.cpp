#include "io/ply/PlyBinary.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "io/ply/PlyReader.h"

PlyType plyTypeNamed(const char *name) {
    struct Entry {
        const char *name;
        PlyType type;
    };
    static const Entry names[] = {
        {"char", PlyType::int8},       {"int8", PlyType::int8},       {"uchar", PlyType::uint8},
        {"uint8", PlyType::uint8},     {"short", PlyType::int16},     {"int16", PlyType::int16},
        {"ushort", PlyType::uint16},   {"uint16", PlyType::uint16},   {"int", PlyType::int32},
        {"int32", PlyType::int32},     {"uint", PlyType::uint32},     {"uint32", PlyType::uint32},
        {"float", PlyType::float32},   {"float32", PlyType::float32}, {"double", PlyType::float64},
        {"float64", PlyType::float64},
    };
    for (const Entry &entry : names)
        if (std::strcmp(name, entry.name) == 0)
            return entry.type;
    return PlyType::none;
}

int plyTypeBytes(PlyType type) {
    switch (type) {
    case PlyType::int8:
    case PlyType::uint8:
        return 1;
    case PlyType::int16:
    case PlyType::uint16:
        return 2;
    case PlyType::int32:
    case PlyType::uint32:
    case PlyType::float32:
        return 4;
    case PlyType::float64:
        return 8;
    case PlyType::none:
        break;
    }
    return 0;
}

namespace {

// Reads values of the body one at a time; every read checks the bytes left.
class BodyCursor {
public:
    BodyCursor(const unsigned char *bytes, size_t size, bool bigEndian)
        : at(bytes), end(bytes + size), big(bigEndian) {}

    size_t left() const { return (size_t)(end - at); }

    bool skip(long long n) {
        if (n < 0 || (unsigned long long)n > left())
            return false;
        at += n;
        return true;
    }

    bool read(PlyType type, double &value) {
        int n = plyTypeBytes(type);
        if (n == 0 || (size_t)n > left())
            return false;
        uint64_t bits = 0;
        for (int i = 0; i < n; i++) {
            int shift = 8 * (big ? n - 1 - i : i);
            bits |= (uint64_t)at[i] << shift;
        }
        at += n;
        switch (type) {
        case PlyType::int8:
            value = (int8_t)bits;
            break;
        case PlyType::uint8:
            value = (uint8_t)bits;
            break;
        case PlyType::int16:
            value = (int16_t)bits;
            break;
        case PlyType::uint16:
            value = (uint16_t)bits;
            break;
        case PlyType::int32:
            value = (int32_t)bits;
            break;
        case PlyType::uint32:
            value = (uint32_t)bits;
            break;
        case PlyType::float32: {
            uint32_t word = (uint32_t)bits;
            float f;
            std::memcpy(&f, &word, 4);
            value = f;
            break;
        }
        case PlyType::float64:
            std::memcpy(&value, &bits, 8);
            break;
        case PlyType::none:
            return false;
        }
        return true;
    }

private:
    const unsigned char *at;
    const unsigned char *end;
    bool big;
};

// The smallest record of an element: its scalars and its lists' counts.
long long minimumRecordBytes(const PlyElement &element) {
    long long bytes = 0;
    for (int p = 0; p < element.propertyCount; p++) {
        const PlyProperty &property = element.properties[p];
        bytes +=
            plyTypeBytes(property.countType == PlyType::none ? property.type : property.countType);
    }
    return bytes;
}

int propertyNamed(const PlyElement &element, const char *name, bool list) {
    for (int p = 0; p < element.propertyCount; p++)
        if ((element.properties[p].countType != PlyType::none) == list &&
            std::strcmp(element.properties[p].name, name) == 0)
            return p;
    return -1;
}

// An index as the builders take it: beyond the int range it is -1, outside
// every vertex list.
int toIndex(double value) {
    if (!(value >= 0.0) || value > 2147483647.0)
        return -1;
    return (int)value;
}

} // namespace

bool readBinaryPlyBody(const unsigned char *bytes, size_t size, const PlyHeader &header,
                       PlyMeshData &mesh, std::string &problem) {
    problem.clear();
    if (header.unsupported[0] != '\0') {
        problem =
            std::string("its header has ") + header.unsupported + ", which velk does not read";
        return false;
    }
    BodyCursor cursor(bytes, size, header.bigEndian);
    long long announcedVertices = 0, announcedFaces = 0;
    for (int e = 0; e < header.elementCount; e++) {
        if (std::strcmp(header.elements[e].name, "vertex") == 0)
            announcedVertices += header.elements[e].count;
        if (std::strcmp(header.elements[e].name, "face") == 0)
            announcedFaces += header.elements[e].count;
    }
    bool complete = true;
    for (int e = 0; e < header.elementCount && complete; e++) {
        const PlyElement &element = header.elements[e];
        const bool isVertex = std::strcmp(element.name, "vertex") == 0;
        const bool isFace = std::strcmp(element.name, "face") == 0;
        long long recordBytes = minimumRecordBytes(element);
        // Records of no bytes hold nothing: there is nothing to step over.
        if (recordBytes == 0)
            continue;
        long long backed = (long long)(cursor.left() / (size_t)recordBytes);
        long long reserve = element.count < backed ? element.count : backed;

        // Which properties are kept: x, y, z by name, else the first three
        // scalars (as the ASCII reader takes the first three numbers); the
        // face's "vertex_indices" (or "vertex_index", else its first list).
        int coordinate[3] = {-1, -1, -1};
        int indexList = -1;
        if (isVertex) {
            const char *names[3] = {"x", "y", "z"};
            for (int c = 0; c < 3; c++)
                coordinate[c] = propertyNamed(element, names[c], false);
            if (coordinate[0] < 0 || coordinate[1] < 0 || coordinate[2] < 0)
                for (int p = 0, c = 0; p < element.propertyCount && c < 3; p++)
                    if (element.properties[p].countType == PlyType::none)
                        coordinate[c++] = p;
            mesh.positions.reserve(mesh.positions.size() + (size_t)reserve * 3);
        } else if (isFace) {
            indexList = propertyNamed(element, "vertex_indices", true);
            if (indexList < 0)
                indexList = propertyNamed(element, "vertex_index", true);
            for (int p = 0; p < element.propertyCount && indexList < 0; p++)
                if (element.properties[p].countType != PlyType::none)
                    indexList = p;
        }

        for (long long r = 0; r < element.count && complete; r++) {
            float position[3] = {0.0f, 0.0f, 0.0f};
            int corners[maxPlyFaceVertices];
            long long cornerCount = -1;
            for (int p = 0; p < element.propertyCount && complete; p++) {
                const PlyProperty &property = element.properties[p];
                double value;
                if (property.countType == PlyType::none) {
                    complete = cursor.read(property.type, value);
                    for (int c = 0; c < 3; c++)
                        if (complete && coordinate[c] == p)
                            position[c] = (float)value;
                    continue;
                }
                // A list: its count, checked against the bytes left before its items.
                complete = cursor.read(property.countType, value);
                if (!complete)
                    break;
                long long count = value > 0.0 ? (long long)value : 0;
                long long itemBytes = (long long)plyTypeBytes(property.type);
                if (count > (long long)cursor.left() / itemBytes) {
                    complete = false;
                    break;
                }
                if (p != indexList || count > maxPlyFaceVertices) {
                    if (p == indexList)
                        cornerCount = count;
                    cursor.skip(count * itemBytes);
                    continue;
                }
                cornerCount = count;
                for (long long i = 0; i < count; i++) {
                    cursor.read(property.type, value);
                    corners[i] = toIndex(value);
                }
            }
            if (!complete)
                break;
            if (isVertex) {
                mesh.positions.insert(mesh.positions.end(), position, position + 3);
                mesh.vertexCount++;
            } else if (isFace) {
                mesh.faceCount++;
                if (cornerCount > maxPlyFaceVertices) {
                    mesh.facesSkipped++;
                } else if (cornerCount >= 0) {
                    mesh.faces.push_back((int)cornerCount);
                    mesh.faces.insert(mesh.faces.end(), corners, corners + cornerCount);
                } else {
                    mesh.faces.push_back(0);
                }
            }
        }
    }
    if (!complete) {
        char text[200];
        std::snprintf(
            text, sizeof text,
            "its binary body is shorter than its header says: %lld of %lld vertices and %lld of "
            "%lld faces read",
            mesh.vertexCount, announcedVertices, mesh.faceCount, announcedFaces);
        problem = text;
        return false;
    }
    return true;
}
