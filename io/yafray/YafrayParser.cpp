#include "io/yafray/YafrayParser.h"

#include <strings.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/JVector.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"
#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "image/GImage.h"
#include "render/BidirectionalCamera.h"
#include "render/CameraSettings.h"
#include "render/GCamera.h"
#include "render/InstantRadiosityCamera.h"
#include "render/MetropolisCamera.h"
#include "render/PathMetropolisCamera.h"
#include "render/PathTracingCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/SpectralSampleCamera.h"
#include "render/UberCamera.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"
#include "shading/PointLight.h"
#include "shading/SpotLight.h"

// ---------------------------------------------------------------- attribute readers

namespace {

const double pi = 3.14159265358979323846;

const char* textAttribute(const XmlNode* element, const char* name) {
    const char* value = element->value(name);
    return value ? value : "";
}

// atoi's reading, saturated to the int range instead of undefined beyond it.
int toInt(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

int intAttribute(const XmlNode* element, const char* name, int fallback) {
    const char* value = element->value(name);
    return value ? toInt(value) : fallback;
}

// Read straight as float: a value beyond the float range becomes infinity
// rather than an undefined narrowing of a double.
float floatAttribute(const XmlNode* element, const char* name, float fallback) {
    const char* value = element->value(name);
    return value ? std::strtof(value, nullptr) : fallback;
}

// The first element of that name inside element, its three attributes read
// into point (x, y, z; w kept). Unchanged when there is no such element.
void readTriple(const XmlNode* element, const char* childName, const char* a, const char* b,
                const char* c, HPoint& point) {
    const XmlNode* child = element->findDescendant(childName);
    if (!child) return;
    point.x = floatAttribute(child, a, 0.0f);
    point.y = floatAttribute(child, b, 0.0f);
    point.z = floatAttribute(child, c, 0.0f);
}

void pointChild(const XmlNode* element, const char* childName, HPoint& point) {
    readTriple(element, childName, "x", "y", "z", point);
}

void colorChild(const XmlNode* element, const char* childName, HPoint& color) {
    readTriple(element, childName, "r", "g", "b", color);
}

float valueChild(const XmlNode* element, const char* childName, float fallback) {
    const XmlNode* child = element->findDescendant(childName);
    return child ? floatAttribute(child, "value", 0.0f) : fallback;
}

const char* valueChildText(const XmlNode* element, const char* childName) {
    const XmlNode* child = element->findDescendant(childName);
    return child ? textAttribute(child, "value") : "";
}

// Row-major 4 x 4; points are column vectors (translation in m03, m13, m23).
struct Matrix4 {
    double m[4][4];
    static Matrix4 identity() {
        Matrix4 result;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) result.m[r][c] = r == c ? 1.0 : 0.0;
        return result;
    }
    Matrix4 times(const Matrix4& b) const {
        Matrix4 result;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                double sum = 0.0;
                for (int k = 0; k < 4; k++) sum += m[r][k] * b.m[k][c];
                result.m[r][c] = sum;
            }
        return result;
    }
    HPoint transformPoint(const HPoint& p) const {
        return HPoint((float)(m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3]),
                      (float)(m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3]),
                      (float)(m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]), 1.0f);
    }
    // Normals follow the inverse transpose of the upper 3 x 3 (its cofactor
    // matrix, which differs only by a factor the normalisation removes).
    // False when that part is singular.
    bool normalTransform(double out[3][3]) const {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++) {
                int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                out[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
            }
        double determinant = m[0][0] * out[0][0] + m[0][1] * out[0][1] + m[0][2] * out[0][2];
        if (determinant == 0.0 || !std::isfinite(determinant)) return false;
        if (determinant < 0.0)
            for (int r = 0; r < 3; r++)
                for (int c = 0; c < 3; c++) out[r][c] = -out[r][c];
        return true;
    }
};

Matrix4 matrixAttributes(const XmlNode* element) {
    Matrix4 result;
    char name[4] = "m00";
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            name[1] = (char)('0' + r);
            name[2] = (char)('0' + c);
            result.m[r][c] = floatAttribute(element, name, 0.0f);
        }
    return result;
}

// Enclosing "transform" elements compose as written: the innermost applies
// first, then each one around it.
Matrix4 objectTransform(const XmlNode* object) {
    Matrix4 result = Matrix4::identity();
    for (const XmlNode* n = object->parent; n; n = n->parent)
        if (std::strcmp(n->name, "transform") == 0) result = matrixAttributes(n).times(result);
    return result;
}

bool emits(const GMaterial* material) {
    if (!material) return false;
    const HPoint& e = material->colors[GMaterial::emissive];
    return e.x + e.y + e.z > 0.0f;
}

bool hasDirection(const HPoint& v) {
    float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    return squared > 0.0f && std::isfinite(squared);
}

const int maxSplitCopies = 8;

// Vertex normals from the faces for a mesh without them: a corner joins the
// normal of its point when the point has none yet or when the angle between
// them is below the autosmooth angle; otherwise it joins or makes one of up
// to eight split copies of the point. The sums stay unnormalised.
void autosmoothNormals(float angleDegrees, std::vector<HPoint>& positions,
                       std::vector<HPoint>& normals, std::vector<HPoint>& texCoords,
                       std::vector<int>& corners) {
    const float limit = (float)std::cos(angleDegrees * pi / 180.0);
    const size_t originalPoints = positions.size();
    normals.resize(originalPoints, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
    texCoords.resize(originalPoints, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
    std::vector<int> splits(originalPoints * maxSplitCopies, -1);
    auto joins = [&](int point, const HPoint& faceNormal) {
        HPoint n = normals[(size_t)point];
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) return true;
        n.normalize();
        return n.dot(faceNormal) > limit;
    };
    for (size_t t = 0; t + 2 < corners.size(); t += 3) {
        const HPoint& p0 = positions[(size_t)corners[t]];
        HPoint faceNormal =
            positions[(size_t)corners[t + 1]].difference(p0).cross(positions[(size_t)corners[t + 2]].difference(p0));
        faceNormal.normalize();
        for (size_t k = t; k < t + 3; k++) {
            int point = corners[k];
            if (joins(point, faceNormal)) {
                normals[(size_t)point].add(faceNormal);
                continue;
            }
            int* slots = &splits[(size_t)point * maxSplitCopies];
            for (int s = 0; s < maxSplitCopies; s++) {
                if (slots[s] < 0) {
                    slots[s] = (int)positions.size();
                    positions.push_back(positions[(size_t)point]);
                    texCoords.push_back(texCoords[(size_t)point]);
                    normals.push_back(HPoint(faceNormal.x, faceNormal.y, faceNormal.z, 1.0f));
                    corners[k] = slots[s];
                    break;
                }
                if (joins(slots[s], faceNormal)) {
                    normals[(size_t)slots[s]].add(faceNormal);
                    corners[k] = slots[s];
                    break;
                }
            }
            // All eight copies taken and none agreeing: the corner keeps its point.
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- parser

YafrayParser::YafrayParser(GScene* targetScene)
    : scene(targetScene), namedObjects(true, false, 4, 1.0f) {}

YafrayParser::~YafrayParser() {}

void YafrayParser::parse(const char* fileName) {
    if (!fileName) return;
    std::printf("XML PARSE...");
    std::fflush(stdout);
    document.load(fileName);
    std::printf("DONE\n");
    readTree();
    document.reset();
}

void YafrayParser::parseText(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back(0);
    document.parseText(buffer.data());
    readTree();
    document.reset();
}

void YafrayParser::readTree() {
    if (!scene) return;
    for (const XmlNode* element = document.getRoot(); element; element = element->next()) {
        const char* name = element->name;
        if (std::strcmp(name, "camera") == 0) {
            readCamera(element);
        } else if (std::strcmp(name, "render") == 0) {
            readRender(element);
        } else if (std::strcmp(name, "object") == 0) {
            readObject(element);
        } else if (std::strcmp(name, "light") == 0) {
            readLight(element);
        } else if (std::strcmp(name, "shader") == 0) {
            readShader(element);
        } else if (std::strcmp(name, "filter") == 0) {
            std::printf("%s\n", XmlDocument::describe(element).c_str());
        } else if (std::strcmp(name, "background") == 0) {
            readBackground(element);
        }
    }
}

GObject* YafrayParser::named(const char* name, int classId) const {
    GObject* object = namedObjects.get(std::string(name));
    // Views and shaders share one table: a shader name that names a camera
    // (or the reverse) finds nothing.
    return object && object->isKindOf(classId) ? object : nullptr;
}

void YafrayParser::readCamera(const XmlNode* element) {
    const char* name = textAttribute(element, "name");
    int width = intAttribute(element, "resx", 256);
    int height = intAttribute(element, "resy", 256);
    float focal = floatAttribute(element, "focal", 0.5f);
    HPoint from(0.0f, 0.0f, 1.0f, 1.0f), to(0.0f, 0.0f, 0.0f, 1.0f), up(0.0f, 1.0f, 0.0f, 1.0f);
    pointChild(element, "from", from);
    pointChild(element, "to", to);
    pointChild(element, "up", up);
    if (!validImageSize(width, height)) {
        std::printf("camera '%s': %d x %d is not a usable image size; using 256 x 256.\n", name,
                    width, height);
        width = height = 256;
    }
    GCamera* view = new GCamera();
    view->setView(from, to, up, focal);
    view->setResolution(width, height);
    scene->allObjects.add(view);
    namedObjects.put(new std::string(name), view);
}

const char* YafrayParser::rendererName(const char* renderType) {
    const CameraKind* kind = findCameraKind(renderType);
    return kind ? kind->renderType : "";
}

void YafrayParser::readRender(const XmlNode* element) {
    // 1. The render element's settings and the view it names.
    const char* cameraName = textAttribute(element, "camera_name");
    int samples = intAttribute(element, "AA_minsamples", 1);
    int rayDepth = intAttribute(element, "raydepth", 1);
    float exposure = floatAttribute(element, "exposure", 1.0f);
    GCamera* view = static_cast<GCamera*>(named(cameraName, ClassId::GCamera));

    // 2. The renderer. An unknown name falls back to ray tracing with the
    // element's settings, so the file still renders.
    const char* renderType = valueChildText(element, "rendertype");
    const char* renderer = rendererName(renderType);
    GCamera* camera = nullptr;
    if (std::strcmp(renderer, "pathTracing") == 0) {
        PathTracingCamera* pathTracer = new PathTracingCamera();
        pathTracer->samplesPerPixel = samples;
        pathTracer->maxRayDepth = rayDepth;
        pathTracer->toneMappingConstant = exposure;
        camera = pathTracer;
    } else if (std::strcmp(renderer, "bidirectionalPathTracing") == 0) {
        camera = new BidirectionalCamera();
    } else if (std::strcmp(renderer, "instantRadiosity") == 0) {
        camera = new InstantRadiosityCamera();
    } else if (std::strcmp(renderer, "uberPathTracing") == 0) {
        UberCamera* uber = new UberCamera();
        uber->samples = samples;
        uber->maxDepth = rayDepth;
        uber->exposure = exposure;
        uber->numSplits = intAttribute(element, "numSplits", 1);
        uber->chainLength = intAttribute(element, "chainLength", 1);
        uber->renderMode = valueChildText(element, "rendermode");
        uber->minDepth = intAttribute(element, "mindepth", 2);
        uber->useFilter = intAttribute(element, "useFilter", 0);
        uber->postFilter = intAttribute(element, "postFilter", 0);
        uber->maxFilterChange = floatAttribute(element, "maxFilterChange", 1.1f);
        uber->minFilterChange = floatAttribute(element, "minFilterChange", 0.9f);
        camera = uber;
    } else if (std::strcmp(renderer, "metropolis") == 0) {
        camera = new MetropolisCamera();
    } else if (std::strcmp(renderer, "pathMetropolis") == 0) {
        camera = new PathMetropolisCamera();
    } else if (std::strcmp(renderer, "spectralSample") == 0) {
        SpectralSampleCamera* spectral = new SpectralSampleCamera();
        spectral->samplesPerPixel = samples;
        spectral->maxDepth = rayDepth;
        spectral->toneMappingConstant = exposure;
        camera = spectral;
    } else if (renderer[0] && std::strcmp(renderer, "rayTracing") != 0) {
        // Renderers without keys of their own here take theirs from the
        // attributes named like their settings.
        camera = findCameraKind(renderer)->create();
    } else {
        if (!renderer[0] && renderType[0]) {
            std::string names;
            for (const CameraKind& kind : cameraKinds())
                names += std::string(names.empty() ? "" : ", ") + kind.renderType;
            std::printf("render: no renderer '%s' (renderers: %s); rendering with ray tracing.\n",
                        renderType, names.c_str());
        }
        SimpleRaytracingCamera* rayTracer = new SimpleRaytracingCamera();
        rayTracer->samplesPerPixel = samples;
        rayTracer->maxDepth = rayDepth;
        camera = rayTracer;
    }

    // Beyond the element's own keys, any setting of the camera by its name.
    applySceneSettings(camera, camera->settingTable(), "render:",
                       [element](const char* name) { return element->value(name); });

    // 3. - 5.
    std::printf("%s\n", camera->toString());
    if (view) {
        camera->setView(view->from, view->to, view->up, view->fovy);
        camera->setResolution(view->width, view->height);
    } else {
        // No view to copy: the renderer keeps its own size and field of view
        // and looks from a bare camera element's position.
        std::printf("render: no camera named '%s'; keeping the renderer's own view and size.\n",
                    cameraName);
        camera->setView(HPoint(0.0f, 0.0f, 1.0f, 1.0f), HPoint(0.0f, 0.0f, 0.0f, 1.0f),
                        HPoint(0.0f, 1.0f, 0.0f, 1.0f), camera->fovy);
    }
    camera->setScene(scene);
    scene->allObjects.add(camera);
    scene->camera = camera;
}

void YafrayParser::readObject(const XmlNode* element) {
    GMaterial* material =
        static_cast<GMaterial*>(named(textAttribute(element, "shader_name"), ClassId::GMaterial));
    for (const XmlNode* child = element->firstChild; child; child = child->nextSibling) {
        if (std::strcmp(child->name, "sphere") == 0)
            readSphere(child, material);
        else if (std::strcmp(child->name, "mesh") == 0)
            readMesh(element, child, material);
    }
}

void YafrayParser::readSphere(const XmlNode* element, GMaterial* material) {
    HPoint center(0.0f, 0.0f, 0.0f, 1.0f);
    pointChild(element, "center", center);
    GSphere* sphere = new GSphere();
    sphere->center = center;
    sphere->setRadius(floatAttribute(element, "radius", 0.0f));
    sphere->setMaterial(material);
    scene->allObjects.add(sphere);
    scene->objects.add(sphere);
    if (emits(material)) {
        scene->emitters.add(sphere);
        scene->emitterCount++;
    }
}

void YafrayParser::readMesh(const XmlNode* object, const XmlNode* mesh, GMaterial* material) {
    // 1. Points, with normals and texture coordinates when the first has them.
    std::vector<HPoint> positions, normals, texCoords;
    if (const XmlNode* points = mesh->findDescendant("points")) {
        const XmlNode* first = nullptr;
        int count = 0;
        for (const XmlNode* p = points->firstChild; p; p = p->nextSibling)
            if (std::strcmp(p->name, "p") == 0) {
                if (!first) first = p;
                count++;
            }
        bool withNormals = first && first->attribute("nx");
        bool withTexCoords = first && first->attribute("u");
        positions.reserve((size_t)count);
        if (withNormals) normals.reserve((size_t)count);
        if (withTexCoords) texCoords.reserve((size_t)count);
        for (const XmlNode* p = first; p; p = p->nextSibling) {
            if (std::strcmp(p->name, "p") != 0) continue;
            positions.push_back(HPoint(floatAttribute(p, "x", 0.0f), floatAttribute(p, "y", 0.0f),
                                       floatAttribute(p, "z", 0.0f), 1.0f));
            if (withNormals) {
                HPoint n(floatAttribute(p, "nx", 0.0f), floatAttribute(p, "ny", 0.0f),
                         floatAttribute(p, "nz", 0.0f), 0.0f);
                n.normalize();
                normals.push_back(n);
            }
            if (withTexCoords)
                texCoords.push_back(
                    HPoint(floatAttribute(p, "u", 0.0f), floatAttribute(p, "v", 0.0f), 0.0f, 1.0f));
        }
    }

    // 2. The enclosing transforms move the points and turn the normals.
    Matrix4 transform = objectTransform(object);
    for (HPoint& position : positions) position = transform.transformPoint(position);
    double normalMatrix[3][3];
    if (!normals.empty() && transform.normalTransform(normalMatrix)) {
        for (HPoint& n : normals) {
            HPoint turned((float)(normalMatrix[0][0] * n.x + normalMatrix[0][1] * n.y + normalMatrix[0][2] * n.z),
                          (float)(normalMatrix[1][0] * n.x + normalMatrix[1][1] * n.y + normalMatrix[1][2] * n.z),
                          (float)(normalMatrix[2][0] * n.x + normalMatrix[2][1] * n.y + normalMatrix[2][2] * n.z),
                          n.w);
            turned.normalize();
            n = turned;
        }
    }

    // 3. Faces fanned into triangles. Every index is checked before anything
    // reads a point through it.
    const int pointCount = (int)positions.size();
    std::vector<int> corners;
    if (const XmlNode* faces = mesh->findDescendant("faces")) {
        int faceCount = 0;
        for (const XmlNode* f = faces->firstChild; f; f = f->nextSibling) faceCount++;
        corners.reserve((size_t)faceCount * 3);
        char letter[2] = "a";
        int indices[26];
        for (const XmlNode* f = faces->firstChild; f; f = f->nextSibling) {
            if (std::strcmp(f->name, "f") != 0) continue;
            int n = 0;
            for (; n < 26; n++) {
                letter[0] = (char)('a' + n);
                const char* value = f->value(letter);
                if (!value) break;
                indices[n] = toInt(value);
                if (indices[n] < 0 || indices[n] >= pointCount) indexOutOfBounds();
            }
            for (int k = 2; k < n; k++) {
                corners.push_back(indices[0]);
                corners.push_back(indices[k - 1]);
                corners.push_back(indices[k]);
            }
        }
    }

    // 4. Normals from the faces when the file has none.
    float autosmooth = floatAttribute(mesh, "autosmooth", 0.0f);
    if (normals.size() < positions.size() && autosmooth > 0.0f)
        autosmoothNormals(autosmooth, positions, normals, texCoords, corners);

    // 5. - 7. Vertices and triangles; flat shading for a mesh without normals.
    bool flat = normals.size() < positions.size();
    bool emitting = emits(material);
    std::vector<GVertex*> vertices(positions.size());
    scene->allObjects.ensureCapacity(scene->allObjects.size() + (int)positions.size() +
                                     (int)(corners.size() / 3) + 1);
    for (size_t i = 0; i < positions.size(); i++) {
        GVertex* vertex = new GVertex();
        vertex->material = material;
        vertex->position = positions[i];
        if (i < normals.size()) vertex->normal = normals[i];
        if (i < texCoords.size()) vertex->texCoord = texCoords[i];
        scene->allObjects.add(vertex);
        vertices[i] = vertex;
    }
    if (corners.empty()) return;  // a mesh without faces adds nothing to render
    LBVHbox* box = new LBVHbox();
    box->objects.ensureCapacity((int)(corners.size() / 3));
    if (emitting) scene->emitters.ensureCapacity(scene->emitters.size() + (int)(corners.size() / 3));
    for (size_t t = 0; t + 2 < corners.size(); t += 3) {
        GTriangle* triangle = new GTriangle();
        GVertex* v0 = vertices[(size_t)corners[t]];
        GVertex* v1 = vertices[(size_t)corners[t + 1]];
        GVertex* v2 = vertices[(size_t)corners[t + 2]];
        triangle->setVertices(v0, v1, v2);
        // A corner without a usable normal would shade black: such a
        // triangle shows its face normal instead.
        if (flat || !hasDirection(v0->normal) || !hasDirection(v1->normal) || !hasDirection(v2->normal))
            triangle->flags |= GTriangle::flat;
        scene->allObjects.add(triangle);
        box->addObject(triangle);
        if (emitting) {
            scene->emitters.add(triangle);
            scene->emitterCount++;
        }
    }

    // 8. The hierarchy.
    box->build();
    scene->allObjects.add(box);
    scene->objects.add(box);
}

void YafrayParser::readLight(const XmlNode* element) {
    const char* type = textAttribute(element, "type");
    if (std::strcmp(type, "ambientlight") == 0) {
        HPoint color(0.0f, 0.0f, 0.0f, 1.0f);
        colorChild(element, "color", color);
        scene->ambientColor = HPoint(color.x, color.y, color.z, 1.0f);
    } else if (std::strcmp(type, "sunlight") == 0) {
        HPoint color(1.0f, 1.0f, 1.0f, 1.0f), from(1.0f, 1.0f, 1.0f, 1.0f);
        colorChild(element, "color", color);
        pointChild(element, "from", from);
        from.normalize();
        DirectionalLight* light = new DirectionalLight();
        light->direction = HPoint(-from.x, -from.y, -from.z, 1.0f);
        light->emissiveColor = HPoint(color.x, color.y, color.z, 1.0f);
        light->size = valueChild(element, "radius", 0.0f);
        scene->allObjects.add(light);
        scene->lights.add(light);
    } else if (std::strcmp(type, "pointlight") == 0) {
        HPoint color(1.0f, 1.0f, 1.0f, 1.0f), from(1.0f, 1.0f, 1.0f, 1.0f);
        colorChild(element, "color", color);
        pointChild(element, "from", from);
        PointLight* light = new PointLight();
        light->location = HPoint(from.x, from.y, from.z, 1.0f);
        light->emissiveColor = HPoint(color.x, color.y, color.z, 1.0f);
        light->size = valueChild(element, "radius", 0.0f);
        readTriple(element, "attenuation", "a", "b", "c", light->attenuation);
        scene->allObjects.add(light);
        scene->lights.add(light);
    } else if (std::strcmp(type, "spotlight") == 0) {
        // The cone as this program writes it: "direction", "exponent" and
        // "cutoff_cosine"; without a direction the element says too little.
        HPoint color(1.0f, 1.0f, 1.0f, 1.0f), from(0.0f, 0.0f, 0.0f, 1.0f), direction(0.0f, 0.0f, 0.0f, 1.0f);
        colorChild(element, "color", color);
        pointChild(element, "from", from);
        pointChild(element, "direction", direction);
        if (!hasDirection(direction)) {
            std::printf("%s\n", XmlDocument::describe(element).c_str());
            return;
        }
        SpotLight* light = new SpotLight();
        light->location = HPoint(from.x, from.y, from.z, 1.0f);
        light->emissiveColor = HPoint(color.x, color.y, color.z, 1.0f);
        // A unit direction is kept as written: normalising it again could move its last bit.
        light->direction = HPoint(direction.x, direction.y, direction.z, 1.0f);
        if (std::fabs(direction.dot(direction) - 1.0f) > 1e-6f) light->setDirection(direction);
        light->exponent = valueChild(element, "exponent", 1.0f);
        light->cutoffCosine = valueChild(element, "cutoff_cosine", 0.0f);
        readTriple(element, "attenuation", "a", "b", "c", light->attenuation);
        scene->allObjects.add(light);
        scene->lights.add(light);
    }
}

void YafrayParser::readShader(const XmlNode* element) {
    if (std::strcmp(textAttribute(element, "type"), "generic") != 0) return;
    // 1. A fresh material under the shader's name.
    // Kept by the scene even without attributes, so that it is freed with it.
    GMaterial* material = new GMaterial();
    namedObjects.put(new std::string(textAttribute(element, "name")), material);
    scene->allObjects.add(material);
    const XmlNode* attributes = element->findDescendant("attributes");
    if (!attributes) return;

    // 2. - 4. Colours and scalars.
    struct ColorEntry {
        const char* name;
        int index;
        HPoint fallback;
    };
    const ColorEntry colors[] = {
        {"color", GMaterial::diffuse, HPoint(1.0f, 1.0f, 1.0f, 1.0f)},
        {"specular", GMaterial::specular, HPoint(0.0f, 0.0f, 0.0f, 1.0f)},
        {"reflected", GMaterial::reflected, HPoint(0.0f, 0.0f, 0.0f, 1.0f)},
        {"transmitted", GMaterial::transmitted, HPoint(0.0f, 0.0f, 0.0f, 1.0f)},
        {"ambient", GMaterial::ambient, HPoint(0.0f, 0.0f, 0.0f, 1.0f)},
        {"emissive", GMaterial::emissive, HPoint(0.0f, 0.0f, 0.0f, 1.0f)},
    };
    for (const ColorEntry& entry : colors) {
        HPoint color = entry.fallback;
        colorChild(attributes, entry.name, color);
        material->setColor(entry.index, HPoint(color.x, color.y, color.z, 1.0f));
    }
    material->setScalar(GMaterial::indexOfRefraction, valueChild(attributes, "IOR", 1.0f));
    material->setScalar(GMaterial::phongExponent, valueChild(attributes, "phong", 10.0f));
    material->setScalar(GMaterial::glossiness, valueChild(attributes, "glossiness", 0.0f));
    material->setScalar(GMaterial::translucency, valueChild(attributes, "translucency", 1.0f));

    // 5. An image texture on the diffuse colour, found like an XML file.
    const XmlNode* colorElement = attributes->findDescendant("color");
    if (const char* imageName = colorElement ? colorElement->value("texture_image") : nullptr) {
        std::string path = document.locate(imageName);
        ColorImage* image = path.empty() ? nullptr : new ColorImage();
        std::string problem;
        if (!image) {
            std::printf("XML Error! File '%s' not found.\n", imageName);
        } else if (!readTextureImage(*image, path.c_str(), problem)) {
            // Found but not an image we read: the colour stays as given.
            std::printf("XML Error! Could not read image '%s'%s; the colour stays untextured.\n",
                        imageName, problem.empty() ? "" : (" (" + problem + ")").c_str());
            delete image;
        } else {
            GTexture* texture = new GTexture();
            texture->wrapU = texture->wrapV = true;
            texture->setImage(image);
            texture->fileName = imageName;
            material->setColorTexture(GMaterial::diffuse, texture);
            scene->allObjects.add(image);
            scene->allObjects.add(texture);
        }
    }
}

void YafrayParser::readBackground(const XmlNode* element) {
    if (std::strcmp(textAttribute(element, "type"), "constant") != 0) return;
    HPoint color = scene->backgroundColor;
    colorChild(element, "color", color);
    scene->backgroundColor = HPoint(color.x, color.y, color.z, 1.0f);
}
