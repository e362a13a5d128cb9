// The native "shape" block of GBoundingBox and the mesh files it loads:
// 'n' polygons, 'c' coloured polygon groups, "POINT_CLOUD" sphere sets (PLY
// meshes are read by io/ply). Every count in a file is only a loop bound:
// objects are made from lines and records that are actually there.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/SearchPath.h"
#include "foundation/Settings.h"
#include "geometry/BlockReading.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/MeshText.h"
#include "geometry/SphereSetFile.h"
#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "image/PixelFunctions.h"
#include "io/obj/ObjReader.h"
#include "io/obj/ObjSceneBuilder.h"
#include "io/ply/PlyReader.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"

namespace {

const size_t maxFileNameLength = 4096;

bool emitsLight(const GMaterial* material) {
    HPoint emission = material->colors[GMaterial::emissive];
    return emission.x + emission.y + emission.z > 0.0f;
}

// 'n' and 'c' files: polygons of corner lines "x y z nx ny nz", fanned into
// GInverseTriangles. coloured: groups of polygons, each closed by "r g b".
void readPolygons(GBoundingBox& box, MeshText& text, GScene* scene, GMaterial* blockMaterial,
                  const GMatrix& transform, const GMatrix& normalTransform, bool coloured, bool perGroupMaterial) {
    bool emissive = emitsLight(blockMaterial);
    JVector<GVertex> corners(16, -1);
    int groups = 1;
    if (coloured) {
        char* line = text.nextLine();
        if (!line) return;
        scanInt(line, groups);
    }
    bool ended = false;
    for (int group = 0; group < groups && !ended; group++) {
        GMaterial* material = blockMaterial;
        if (coloured && group > 0 && perGroupMaterial) {
            material = new GMaterial(*blockMaterial);
            box.registerObject(scene, material);
        }
        char* line = text.nextLine();
        if (!line) break;
        int polygons;
        scanInt(line, polygons);
        for (int p = 0; p < polygons && !ended; p++) {
            line = text.nextLine();
            if (!line) {
                ended = true;
                break;
            }
            int cornerCount;
            scanInt(line, cornerCount);
            corners.clear();
            for (int j = 0; j < cornerCount; j++) {
                line = text.nextLine();
                if (!line) {
                    // A polygon cut off by the end of the file makes no triangles.
                    ended = true;
                    break;
                }
                float x, y, z, nx, ny, nz;
                scanFloat(line, x);
                scanFloat(line, y);
                scanFloat(line, z);
                scanFloat(line, nx);
                scanFloat(line, ny);
                scanFloat(line, nz);
                GVertex* vertex = new GVertex();
                vertex->material = material;
                HPoint position(x, y, z, 1.0f);
                position.transform(transform);
                vertex->position = position;
                vertex->texCoord = HPoint(x, y, z, 1.0f);
                HPoint normal(nx, ny, nz, 1.0f);
                normal.transform(normalTransform);
                normal.normalize();
                vertex->normal = normal;
                box.extend(position);
                box.registerObject(scene, vertex);
                corners.add(vertex);
            }
            if (ended) break;
            for (int j = 0; j + 2 < corners.count; j++) {
                GInverseTriangle* triangle = new GInverseTriangle();
                triangle->flags = 0;
                triangle->setVertices(corners[0], corners[j + 1], corners[j + 2], true);
                box.registerObject(scene, triangle);
                box.objects.add(triangle);
                if (emissive && scene) {
                    scene->emitters.add(triangle);
                    scene->emitterCount++;
                }
            }
        }
        if (coloured && !ended) {
            line = text.nextLine();
            if (!line) break;
            float r, g, b;
            scanFloat(line, r);
            scanFloat(line, g);
            scanFloat(line, b);
            material->setColor(GMaterial::diffuse, HPoint(r, g, b, 0.0f));
        }
    }
    box.boxMin.subtract(HPoint(epsilon, epsilon, epsilon));
    box.boxMax.add(HPoint(epsilon, epsilon, epsilon));
}

// A shape block's sphere set: the materials go to the scene, the spheres
// into the grid, which keeps them alive.
class GridSpheres : public SphereSetReceiver {
public:
    GridSpheres(GBoundingBox& grid, GScene* scene) : box(grid), target(scene) {}
    void material(GMaterial* material) override { box.registerObject(target, material); }
    void sphere(GSphere* sphere) override {
        box.adopt(sphere);
        box.addObject(sphere);
    }

private:
    GBoundingBox& box;
    GScene* target;
};

// "texture_image NAME": an image (PPM, PNG, JPEG, TGA, BMP, HDR and the
// frame-buffer formats) on the diffuse colour, wrapped both ways, looked up
// at the vertices' texture coordinates. A file that is missing or cannot be
// read leaves the colour as it is, with one line.
void attachDiffuseTexture(GBoundingBox& box, GScene* scene, GMaterial* material, const char* name) {
    std::string path = locateOnSearchPath(name);
    if (path.empty()) {
        std::printf("texture_image '%s': file not found; the mesh stays untextured\n", name);
        return;
    }
    ColorImage* image = new ColorImage();
    std::string problem;
    if (!readTextureImage(*image, path.c_str(), problem)) {
        std::printf("texture_image '%s' could not be read%s; the mesh stays untextured\n", path.c_str(),
                    problem.empty() ? "" : (" (" + problem + ")").c_str());
        delete image;
        return;
    }
    GTexture* texture = new GTexture();
    texture->wrapU = texture->wrapV = true;
    texture->setImage(image);
    texture->fileName = name;
    material->setColorTexture(GMaterial::diffuse, texture);
    box.registerObject(scene, image);
    box.registerObject(scene, texture);
}

// An OBJ file in a shape block: its triangles go into the block's grid.
class GridMeshTarget : public ObjMeshTarget {
public:
    GridMeshTarget(GBoundingBox& grid, GScene* scene) : box(grid), target(scene) {}
    void keep(GObject* object) override { box.registerObject(target, object); }
    void addTriangle(GTriangle* triangle) override {
        box.registerObject(target, triangle);
        box.addObject(triangle);
    }

private:
    GBoundingBox& box;
    GScene* target;
};

bool isObjFileName(const char* name) {
    size_t length = std::strlen(name);
    return length >= 4 && (std::strcmp(name + length - 4, ".obj") == 0 ||
                           std::strcmp(name + length - 4, ".OBJ") == 0);
}

}  // namespace

void GBoundingBox::registerObject(GScene* scene, GObject* object) {
    if (scene) {
        scene->allObjects.add(object);
    } else {
        adopt(object);
    }
}

bool GBoundingBox::parse(GScene* scene) {
    GMaterial* material = new GMaterial();
    registerObject(scene, material);
    if (!isToken(nextToken(), "{")) return false;

    GMatrix transform, normalTransform;
    char fileName[maxFileNameLength] = "";
    char textureName[maxFileNameLength] = "";
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) {
            if (textureName[0] != '\0') attachDiffuseTexture(*this, scene, material, textureName);
            loadMesh(fileName, scene, material, transform, normalTransform, true);
            return true;
        }
        if (std::strcmp(token, "{") == 0) {
            skipBlock(1, "{", "}");
        } else if (std::strcmp(token, "emissive_color") == 0) {
            material->setColor(GMaterial::emissive, readColor());
        } else if (readMaterialKeyword(token, *material)) {
            // read into the material
        } else if (std::strcmp(token, "file") == 0) {
            readName(fileName, (int)sizeof fileName);
        } else if (std::strcmp(token, "texture_image") == 0) {
            readName(textureName, (int)sizeof textureName);
        } else if (std::strcmp(token, "rotation") == 0) {
            float angle[3];
            readFloat3(angle[0], angle[1], angle[2]);
            // About x, then y, then z: with row vectors each factor applies after the last.
            float s = std::sin(angle[0]), c = std::cos(angle[0]);
            transform.rotateX(s, c);
            normalTransform.rotateX(s, c);
            s = std::sin(angle[1]), c = std::cos(angle[1]);
            transform.rotateY(s, c);
            normalTransform.rotateY(s, c);
            s = std::sin(angle[2]), c = std::cos(angle[2]);
            transform.rotateZ(s, c);
            normalTransform.rotateZ(s, c);
        } else if (std::strcmp(token, "scale") == 0) {
            float x, y, z;
            readFloat3(x, y, z);
            transform.multiply(GMatrix::scaling(x, y, z));
        } else if (std::strcmp(token, "translation") == 0) {
            float x, y, z;
            readFloat3(x, y, z);
            transform.multiply(GMatrix::translation(x, y, z));
        }
        // Any other token is skipped.
    }
    return false;  // the input ended inside the block
}

void GBoundingBox::loadMesh(const char* fileName, GScene* scene, GMaterial* material, const GMatrix& transform,
                            const GMatrix& normalTransform, bool perGroupMaterial) {
    if (isObjFileName(fileName)) {
        // The file's MTL materials where its faces name one, the block's elsewhere.
        ObjModel model;
        if (readObjFile(fileName, model)) {
            GridMeshTarget target(*this, scene);
            buildObjModel(model, material, transform, normalTransform, scene, target);
        }
        build();
        return;
    }
    FILE* file = openOnSearchPath(fileName, "rb");
    if (file) {
        MeshText text;
        if (!text.load(file)) std::printf("could not read all of mesh file '%s'\n", fileName);
        std::fclose(file);
        // The first line decides the format; anything else loads nothing.
        char* first = text.nextLine();
        if (first) {
            if (std::strncmp(first, "POINT_CLOUD", 11) == 0) {
                GridSpheres receiver(*this, scene);
                readSphereSet(text.rest(), text.remaining(), fileName, material, false, receiver);
            } else if (std::strncmp(first, "ply", 3) == 0) {
                loadPly(*this, scene, material, text, transform, fileName);
            } else if (first[0] == 'n') {
                readPolygons(*this, text, scene, material, transform, normalTransform, false, perGroupMaterial);
            } else if (first[0] == 'c') {
                readPolygons(*this, text, scene, material, transform, normalTransform, true, perGroupMaterial);
            }
        }
    }
    build();
}
