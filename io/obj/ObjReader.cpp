#include "io/obj/ObjReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "foundation/SearchPath.h"
#include "image/ColorImage.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"

#ifdef VELK_HAVE_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif

namespace {

bool isRegularFile(const std::string& path) {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& text) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    text.clear();
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// The lines of a text as the library splits them: "\n", "\r\n" or "\r" end
// a line. Each line is cut at a zero byte, as the library's parser stops there.
template <class Visit> void forEachLine(const std::string& text, Visit visit) {
    size_t start = 0, n = text.size();
    int lineNumber = 0;
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != '\n' && text[end] != '\r') end++;
        std::string line = text.substr(start, end - start);
        size_t zero = line.find('\0');
        if (zero != std::string::npos) line.resize(zero);
        visit(line, ++lineNumber);
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') end++;
        start = end + 1;
    }
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The first word and where the rest begins (after the blanks that follow it).
std::string firstWord(const std::string& line, size_t& rest, bool& followedByBlank) {
    size_t begin = 0;
    while (begin < line.size() && isBlank(line[begin])) begin++;
    size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) end++;
    followedByBlank = end < line.size();
    rest = end;
    while (rest < line.size() && isBlank(line[rest])) rest++;
    return line.substr(begin, end - begin);
}

// One index field of a face corner: 1-based, negative counted back from the
// end of the list read so far.
enum class IndexCheck { good, notAnIndex, outside };

IndexCheck checkIndex(const std::string& field, long count) {
    if (field.empty()) return IndexCheck::notAnIndex;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(field.c_str(), &end, 10);
    if (*end != '\0' || end == field.c_str()) return IndexCheck::notAnIndex;
    if (errno != 0) return IndexCheck::outside;  // beyond any list
    if (value == 0) return IndexCheck::notAnIndex;
    long resolved = value > 0 ? value - 1 : count + value;
    return resolved >= 0 && resolved < count ? IndexCheck::good : IndexCheck::outside;
}

const char* const listNames[] = {"positions", "texture coordinates", "normals"};

}  // namespace

std::string locateObjInput(const std::string& name, const std::string& folder) {
    if (name.empty()) return std::string();
    if (!folder.empty() && name[0] != '/' && isRegularFile(folder + name)) return folder + name;
    if (isRegularFile(name)) return name;
    for (int i = searchPathCount() - 1; i >= 0; i--) {
        std::string candidate = std::string(searchPathAt(i)) + name;
        if (isRegularFile(candidate)) return candidate;
    }
    return std::string();
}

std::string screenObjText(const std::string& text, const char* fileName, ObjScreenRecord& record) {
    std::string out;
    out.reserve(text.size());
    long counts[3] = {0, 0, 0};  // positions, texture coordinates, normals so far
    forEachLine(text, [&](const std::string& line, int lineNumber) {
        size_t rest;
        bool blankAfter;
        std::string word = firstWord(line, rest, blankAfter);
        bool keep = true;
        if (word.empty() || word[0] == '#') {
            keep = false;  // nothing the library needs
        } else if (!blankAfter) {
            // "v" or "f" alone on a line: the library passes over it too.
            keep = false;
            if (word == "f") {
                std::printf("OBJ file '%s' line %d: a face with 0 corners (at least 3 needed); skipped\n",
                            fileName, lineNumber);
                record.facesRejected++;
            }
        } else if (word == "v") {
            counts[0]++;
        } else if (word == "vt") {
            counts[1]++;
        } else if (word == "vn") {
            counts[2]++;
        } else if (word == "f") {
            // Every corner "v", "v/vt", "v//vn" or "v/vt/vn", each index naming
            // an element read before this line.
            int corners = 0;
            std::string fault;
            size_t at = rest;
            while (at < line.size() && fault.empty()) {
                size_t end = at;
                while (end < line.size() && !isBlank(line[end])) end++;
                std::string corner = line.substr(at, end - at);
                at = end;
                while (at < line.size() && isBlank(line[at])) at++;
                corners++;
                std::string fields[3];
                int fieldCount = 1;
                for (char c : corner) {
                    if (c == '/') {
                        if (++fieldCount > 3) break;
                    } else {
                        fields[fieldCount - 1] += c;
                    }
                }
                if (fieldCount > 3) {
                    fault = "corner '" + corner + "' has more than three indices";
                    break;
                }
                for (int f = 0; f < fieldCount && fault.empty(); f++) {
                    if (f > 0 && fields[f].empty()) {
                        if (f == 1 && fieldCount == 3) continue;  // "v//vn"
                        fault = "corner '" + corner + "' has an empty index";
                        break;
                    }
                    IndexCheck check = checkIndex(fields[f], counts[f]);
                    if (check == IndexCheck::notAnIndex)
                        fault = "corner '" + corner + "' has '" + fields[f] + "', which is no index";
                    else if (check == IndexCheck::outside)
                        fault = "index " + fields[f] + " is outside the " + std::to_string(counts[f]) +
                                " " + listNames[f] + " read before this line";
                }
            }
            if (fault.empty() && corners < 3)
                fault = "a face with " + std::to_string(corners) + " corners (at least 3 needed)";
            if (!fault.empty()) {
                std::printf("OBJ file '%s' line %d: %s; face skipped\n", fileName, lineNumber,
                            fault.c_str());
                record.facesRejected++;
                keep = false;
            }
        } else if (word == "mtllib") {
            // Names are split at blanks, as the library does.
            size_t at = rest;
            while (at < line.size()) {
                size_t end = at;
                while (end < line.size() && !isBlank(line[end])) end++;
                record.libraryLines.emplace(line.substr(at, end - at), lineNumber);
                at = end;
                while (at < line.size() && isBlank(line[at])) at++;
            }
        } else if (word == "usemtl") {
            size_t end = rest;
            while (end < line.size() && !isBlank(line[end])) end++;
            record.materialUses.emplace_back(line.substr(rest, end - rest), lineNumber);
        } else if (word == "g" || word == "o" || word == "s") {
            // groups and smoothing groups
        } else {
            // Lines, points, tags, free-form curves: not drawn.
            keep = false;
            record.elementsDropped++;
        }
        if (keep) out += line;
        out += '\n';
    });
    return out;
}

#ifndef VELK_HAVE_TINYOBJLOADER

bool objFilesSupported() { return false; }

bool readMtlText(const std::string&, const char* fileName, const std::string&, ObjModel&) {
    reportObjUnsupported(fileName);
    return false;
}

bool readObjText(const std::string&, const char* fileName, const std::string&, ObjModel&) {
    reportObjUnsupported(fileName);
    return false;
}

#else

bool objFilesSupported() { return true; }

namespace {

// The keywords the mapping onto GMaterial reads.
const std::set<std::string>& usedMtlKeywords() {
    static const std::set<std::string> words = {"newmtl", "Ka", "Kd", "Ks", "Ke", "Ns", "Ni",
                                                "illum", "d",  "Tr", "Tf", "map_Kd"};
    return words;
}

// What the library reads and velk has no use for.
const std::set<std::string>& ignoredMtlKeywords() {
    static const std::set<std::string> words = {
        "map_Ka", "map_Ks", "map_Ns", "map_d", "map_Tr", "map_Ke", "map_bump", "map_Bump", "bump",
        "disp", "decal", "refl", "norm", "Pr", "Pm", "Ps", "Pc", "Pcr", "aniso", "anisor",
        "map_Pr", "map_Pm", "map_Ps", "sharpness", "Kt"};
    return words;
}

HPoint colorOf(const float* rgb) { return HPoint(rgb[0], rgb[1], rgb[2], 0.0f); }

// One MTL material as a GMaterial (the table in velkManual.txt).
GMaterial* makeMaterial(const tinyobj::material_t& source, const std::set<std::string>& given) {
    GMaterial* material = new GMaterial();
    auto has = [&](const char* word) { return given.count(word) > 0; };
    material->setColor(GMaterial::ambient, colorOf(source.ambient));
    material->setColor(GMaterial::diffuse, colorOf(source.diffuse));
    material->setColor(GMaterial::specular, colorOf(source.specular));
    material->setColor(GMaterial::emissive, colorOf(source.emission));
    if (has("Ns")) material->setScalar(GMaterial::phongExponent, source.shininess);
    if (has("Ni")) material->setScalar(GMaterial::indexOfRefraction, source.ior);
    const int illum = source.illum;
    // Ray-traced reflection: the mirrors (3, 5) and the glasses that reflect (4, 6, 7).
    if (illum >= 3 && illum <= 7) material->setColor(GMaterial::reflected, colorOf(source.specular));
    if (illum == 4 || illum == 6 || illum == 7 || illum == 9) {
        HPoint transmitted = has("Tf") ? colorOf(source.transmittance)
                                       : HPoint(1.0f - source.dissolve, 1.0f - source.dissolve,
                                                1.0f - source.dissolve, 0.0f);
        material->setColor(GMaterial::transmitted, transmitted);
    }
    return material;
}

// Keyword scan of an MTL text: which keywords each material gives, and one
// line per keyword velk does not read.
void scanMtlKeywords(const std::string& text, const char* fileName,
                     std::vector<std::set<std::string>>& givenPerMaterial,
                     std::map<int, int>& textureLines) {
    std::map<std::string, std::pair<int, int>> unused;  // word -> first line, count
    std::map<std::string, bool> unknown;
    int current = -1;
    forEachLine(text, [&](const std::string& line, int lineNumber) {
        size_t rest;
        bool blankAfter;
        std::string word = firstWord(line, rest, blankAfter);
        if (word.empty() || word[0] == '#') return;
        if (word == "newmtl") {
            givenPerMaterial.emplace_back();
            current = (int)givenPerMaterial.size() - 1;
        }
        if (usedMtlKeywords().count(word)) {
            if (current >= 0) givenPerMaterial[(size_t)current].insert(word);
            if (word == "map_Kd" && current >= 0) textureLines.emplace(current, lineNumber);
            return;
        }
        auto known = unused.find(word);
        if (known != unused.end()) {
            known->second.second++;
            return;
        }
        unused[word] = std::make_pair(lineNumber, 1);
        unknown[word] = ignoredMtlKeywords().count(word) == 0;
    });
    for (const auto& entry : unused) {
        const int first = entry.second.first, count = entry.second.second;
        std::printf("MTL file '%s' line %d: %s keyword '%s' ignored%s\n", fileName, first,
                    unknown[entry.first] ? "unknown" : "unused", entry.first.c_str(),
                    count > 1 ? (" (" + std::to_string(count) + " lines)").c_str() : "");
    }
}

// map_Kd: the image on the diffuse colour, Kd (when given) as its tint.
void attachTexture(GMaterial* material, const tinyobj::material_t& source, bool kdGiven,
                   const char* fileName, int line, const std::string& folder, ObjModel& model) {
    const std::string& name = source.diffuse_texname;
    std::string path = locateObjInput(name, folder);
    ColorImage* image = path.empty() ? nullptr : new ColorImage();
    if (!image || !image->readImage(path.c_str())) {
        std::printf("MTL file '%s' line %d: texture '%s' %s; the diffuse colour stays untextured\n",
                    fileName, line, name.c_str(), image ? "could not be read" : "not found");
        delete image;
        return;
    }
    GTexture* texture = new GTexture();
    texture->wrapU = texture->wrapV = true;
    texture->setImage(image);
    texture->fileName = name;
    texture->tint = kdGiven ? colorOf(source.diffuse) : HPoint(1.0f, 1.0f, 1.0f, 0.0f);
    material->setColorTexture(GMaterial::diffuse, texture);
    model.created.push_back(image);
    model.created.push_back(texture);
}

// Library lines: each "\n"-ended piece printed with the file's name before it.
void printLibraryLines(const std::string& text, const char* kind, const char* fileName) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) std::printf("%s file '%s': %s\n", kind, fileName, line.c_str());
}

// The library's loader of "mtllib" files: ours, so that libraries are found
// beside the OBJ file or on the search path, and a missing one names its line.
class VelkMaterialReader : public tinyobj::MaterialReader {
public:
    VelkMaterialReader(const char* objName, const std::string& objFolder,
                       const ObjScreenRecord& screen, ObjModel& target)
        : fileName(objName), folder(objFolder), record(screen), model(target) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* names, std::string*, std::string*) override {
        std::string path = locateObjInput(name, folder);
        std::string text;
        if (path.empty() || !readWholeFile(path, text)) {
            auto line = record.libraryLines.find(name);
            std::printf("OBJ file '%s' line %d: material library '%s' %s; its materials are grey\n",
                        fileName, line == record.libraryLines.end() ? 0 : line->second,
                        name.c_str(), path.empty() ? "not found" : "could not be read");
            return false;
        }
        size_t before = model.materials.size();
        if (!readMtlText(text, name.c_str(), folderOf(path), model)) return false;
        // The library needs the names to resolve "usemtl"; index i of its list
        // is model.materials[i] (the materials of every library, in order).
        for (size_t i = before; i < model.materials.size(); i++) {
            names->emplace(model.materialNames[i], (int)i);
            materials->emplace_back();
        }
        return true;
    }

private:
    const char* fileName;
    std::string folder;
    const ObjScreenRecord& record;
    ObjModel& model;
};

}  // namespace

bool readMtlText(const std::string& text, const char* fileName, const std::string& folder,
                 ObjModel& model) {
    std::vector<tinyobj::material_t> materials;
    std::map<std::string, int> names;
    std::string warning, error;
    std::istringstream stream(text);
    tinyobj::LoadMtl(&names, &materials, &stream, &warning, &error);
    printLibraryLines(warning, "MTL", fileName);
    printLibraryLines(error, "MTL", fileName);

    std::vector<std::set<std::string>> given;
    std::map<int, int> textureLines;
    scanMtlKeywords(text, fileName, given, textureLines);
    for (size_t i = 0; i < materials.size(); i++) {
        static const std::set<std::string> none;
        const std::set<std::string>& keywords = i < given.size() ? given[i] : none;
        GMaterial* material = makeMaterial(materials[i], keywords);
        if (!materials[i].diffuse_texname.empty()) {
            auto line = textureLines.find((int)i);
            attachTexture(material, materials[i], keywords.count("Kd") > 0, fileName,
                          line == textureLines.end() ? 0 : line->second, folder, model);
        }
        model.materials.push_back(material);
        model.materialNames.push_back(materials[i].name);
    }
    return true;
}

bool readObjText(const std::string& text, const char* fileName, const std::string& folder,
                 ObjModel& model) {
    // 1. The screened text: the library sees only faces whose indices hold.
    ObjScreenRecord record;
    std::string screened = screenObjText(text, fileName, record);

    // 2. The library: polygons kept whole, materials through our reader.
    tinyobj::attrib_t attributes;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> libraryMaterials;
    std::string warning, error;
    std::istringstream stream(screened);
    VelkMaterialReader materialReader(fileName, folder, record, model);
    bool loaded = tinyobj::LoadObj(&attributes, &shapes, &libraryMaterials, &warning, &error,
                                   &stream, &materialReader, false, false);
    // What the screen and our readers already said is not said twice.
    std::istringstream warnings(warning + error);
    for (std::string line; std::getline(warnings, line);)
        if (!line.empty() && line.find("not found in .mtl") == std::string::npos &&
            line.find("Failed to load material file") == std::string::npos)
            std::printf("OBJ file '%s': %s\n", fileName, line.c_str());
    if (!loaded) {
        std::printf("OBJ file '%s': could not be read; nothing loaded\n", fileName);
        return false;
    }
    std::set<std::string> known(model.materialNames.begin(), model.materialNames.end());
    for (const auto& use : record.materialUses)
        if (!known.count(use.first))
            std::printf("OBJ file '%s' line %d: usemtl '%s' names no material read; its faces are grey\n",
                        fileName, use.second, use.first.c_str());

    // 3. The lists, then each shape as a group.
    for (size_t i = 0; i + 2 < attributes.vertices.size(); i += 3)
        model.positions.push_back(HPoint(attributes.vertices[i], attributes.vertices[i + 1],
                                         attributes.vertices[i + 2], 1.0f));
    for (size_t i = 0; i + 2 < attributes.normals.size(); i += 3)
        model.normals.push_back(HPoint(attributes.normals[i], attributes.normals[i + 1],
                                       attributes.normals[i + 2], 1.0f));
    for (size_t i = 0; i + 1 < attributes.texcoords.size(); i += 2)
        model.texCoords.push_back(
            HPoint(attributes.texcoords[i], attributes.texcoords[i + 1], 0.0f, 1.0f));
    const int positionCount = (int)model.positions.size();
    const int normalCount = (int)model.normals.size();
    const int texCoordCount = (int)model.texCoords.size();
    const int materialCount = (int)model.materials.size();
    for (const tinyobj::shape_t& shape : shapes) {
        const tinyobj::mesh_t& mesh = shape.mesh;
        size_t cursor = 0;
        ObjGroup* group = nullptr;
        for (size_t face = 0; face < mesh.num_face_vertices.size(); face++) {
            const size_t corners = mesh.num_face_vertices[face];
            if (cursor + corners > mesh.indices.size()) break;
            int material = face < mesh.material_ids.size() ? mesh.material_ids[face] : -1;
            if (material < 0 || material >= materialCount) material = -1;
            // A new group wherever the material changes within a shape.
            if (!group || group->material != material) {
                model.groups.emplace_back();
                group = &model.groups.back();
                group->name = shape.name;
                group->material = material;
                group->faceStarts.push_back(0);
            }
            // The screen let only good indices through; checked again all the same.
            bool good = corners >= 3;
            for (size_t k = 0; k < corners && good; k++) {
                const tinyobj::index_t& index = mesh.indices[cursor + k];
                good = index.vertex_index >= 0 && index.vertex_index < positionCount &&
                       index.normal_index < normalCount && index.texcoord_index < texCoordCount;
            }
            if (good) {
                for (size_t k = 0; k < corners; k++) {
                    const tinyobj::index_t& index = mesh.indices[cursor + k];
                    ObjCorner corner;
                    corner.position = index.vertex_index;
                    corner.normal = index.normal_index < 0 ? -1 : index.normal_index;
                    corner.texCoord = index.texcoord_index < 0 ? -1 : index.texcoord_index;
                    group->corners.push_back(corner);
                }
                group->faceStarts.push_back((int)group->corners.size());
            }
            cursor += corners;
        }
    }
    // Groups whose faces were all left out.
    for (size_t i = model.groups.size(); i-- > 0;)
        if (model.groups[i].faceCount() == 0) model.groups.erase(model.groups.begin() + (long)i);
    if (record.elementsDropped > 0)
        std::printf("OBJ file '%s': %d lines of elements velk does not draw (lines, points, tags, "
                    "curves) ignored\n",
                    fileName, record.elementsDropped);
    return true;
}

#endif

void reportObjUnsupported(const char* fileName) {
    std::printf("OBJ file '%s' refused: this velk was built without tinyobjloader "
                "(libtinyobjloader-dev)\n",
                fileName);
}

bool readObjFile(const char* fileName, ObjModel& model) {
    if (!objFilesSupported()) {
        reportObjUnsupported(fileName);
        return false;
    }
    std::string path = locateObjInput(fileName, std::string());
    std::string text;
    if (path.empty() || !readWholeFile(path, text)) {
        std::fprintf(stderr, "ERROR! could not open file '%s'\n", fileName);
        return false;
    }
    return readObjText(text, fileName, folderOf(path), model);
}
