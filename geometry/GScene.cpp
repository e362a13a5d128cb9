#include "geometry/GScene.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GPlane.h"
#include "geometry/LBVHbox.h"
#include "geometry/MeshXmlWriter.h"
#include "geometry/GRay.h"
#include "geometry/GSceneObject.h"
#include "geometry/HitRecord.h"
#include "render/GCamera.h"
#include "shading/GLight.h"
#include "shading/GMaterial.h"
#include "shading/SpectralBsdf.h"

GScene::GScene()
    : objects(8, -1),
      emitterCount(0),
      camera(nullptr),
      defaultMaterial(new GMaterial()),
      backgroundColor(0.0f, 0.0f, 0.0f, 1.0f),
      ambientColor(0.0f, 0.0f, 0.0f, 1.0f),
      lights(8, -1),
      emitters(8, -1),
      allObjects(8, -1),
      symbolTable(4, 1.0f) {
    symbolTable.hashFunction = &JString::hashOf;
    symbolTable.ownsKeys = true;
    symbolTable.ownsValues = false;
}

GScene::~GScene() {
    // Every object the scene lists is destroyed exactly once, whichever lists
    // hold it: the camera is also in allObjects, an emitter also in objects.
    std::vector<GObject*> owned;
    owned.reserve((size_t)(allObjects.count + objects.count + lights.count + emitters.count + 1));
    for (int i = 0; i < allObjects.count; i++) owned.push_back(allObjects[i]);
    for (int i = 0; i < objects.count; i++) owned.push_back(objects[i]);
    for (int i = 0; i < lights.count; i++) owned.push_back(lights[i]);
    for (int i = 0; i < emitters.count; i++) owned.push_back(emitters[i]);
    owned.push_back(camera);
    std::sort(owned.begin(), owned.end());
    owned.erase(std::unique(owned.begin(), owned.end()), owned.end());
    for (GObject* object : owned) delete object;
    delete defaultMaterial;
}

const char* GScene::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GScene", this);
}

bool GScene::closestHit(GRay& ray, HitRecord& hit) {
    // Every object is asked: each one accepts only hits nearer than hit.t.
    bool found = false;
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->intersect(ray, hit)) found = true;
    }
    return found;
}

bool GScene::anyHit(GRay& ray, HPoint& color, float limit) {
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->occludes(ray, color, limit)) return true;
    }
    return false;
}

bool GScene::isVisible(const HPoint& from, const HPoint& to) {
    HPoint toTarget = to.difference(from);
    float limit = toTarget.length() - epsilon;
    // Nothing can block a segment shorter than epsilon (a point and itself);
    // answering at once also avoids a ray with no direction.
    if (!(limit > 0.0f)) return true;
    GRay ray(0, from, toTarget);
    HPoint shadowColor(1.0f, 1.0f, 1.0f, 1.0f);
    return !anyHit(ray, shadowColor, limit);
}

GSceneObject* GScene::sampleEmitter(GRay& ray, HPoint& power, HPoint& normal) {
    int count = emitters.count;
    if (count <= 0) return nullptr;
    // Bits 3 to 14 of one raw draw pick the emitter.
    int k = (nextRandom() >> 3) % count;
    GSceneObject* emitter = emitters[k];
    emitter->emitRay(ray, power, normal);
    // 1 / probability of this pick.
    power.scale((float)count);
    return emitter;
}

// Objects whose bounds reach infinity (planes) cannot be voxelised: a grid
// around them would have infinite voxels. They stay top-level beside the grid.
static bool unboundedForGrid(GSceneObject* object) {
    if (object->isUnbounded()) return true;
    HPoint low, high;
    object->getBounds(low, high);
    const float limit = 1e30f;
    const float values[6] = {low.x, low.y, low.z, high.x, high.y, high.z};
    for (float value : values) {
        if (!(std::fabs(value) < limit)) return true;
    }
    return false;
}

void GScene::prepare() {
    if (objects.count < minObjectsInGrid) return;
    GBoundingBox* grid = new GBoundingBox();
    JVector<GSceneObject> aside(4, -1);
    // The grid never owns what it holds, so every object moved into it must
    // stay listed in allObjects for the scene to destroy it.
    std::vector<GObject*> listed(allObjects.elements, allObjects.elements + allObjects.count);
    std::sort(listed.begin(), listed.end());
    for (int i = 0; i < objects.count; i++) {
        GSceneObject* object = objects[i];
        if (unboundedForGrid(object)) {
            aside.add(object);
            continue;
        }
        grid->addObject(object);
        if (!std::binary_search(listed.begin(), listed.end(), static_cast<GObject*>(object))) allObjects.add(object);
    }
    grid->build();
    objects.clear();
    objects.add(grid);
    objects.addAll(aside);
    objects.trimToSize();
}

void GScene::printSymbolTable() {
    std::printf("\nSYMBOL TABLE:\n\n");
    JVector<JString> names(symbolTable.count > 0 ? symbolTable.count : 1, -1);
    JVector<GObject> values(symbolTable.count > 0 ? symbolTable.count : 1, -1);
    symbolTable.keys(&names);
    symbolTable.values(&values);
    for (int i = 0; i < names.count; i++) {
        GObject* value = values[i];
        std::printf("%s : %s\n", names[i]->text(), value ? value->toString() : "null");
    }
}

static void writeColorLine(FILE* file, const HPoint& color) {
    std::fprintf(file, "  <color r='%.9g' g='%.9g' b='%.9g'/>\n", color.x, color.y, color.z);
}

// A hierarchy keeps its triangles in its own order; an emitting mesh is
// written in the order of the emitters list instead, which is the order
// emitters are sampled in, so that it reads back sampled the same. False
// when the hierarchy holds no emitter.
bool GScene::writeEmittingMeshXML(FILE* file, GSceneObject* box) {
    JVector<GSceneObject>& held = static_cast<LBVHbox*>(box)->objects;
    if (held.count == 0 || !held[0]->isEmitter()) return false;
    std::unordered_set<const GSceneObject*> members;
    for (int i = 0; i < held.count; i++) members.insert(held[i]);
    JVector<GSceneObject> ordered(held.count, -1);
    for (int i = 0; i < emitters.count; i++)
        if (members.erase(emitters[i])) ordered.add(emitters[i]);
    // Triangles the emitters list does not hold keep the hierarchy's order.
    for (int i = 0; i < held.count; i++)
        if (members.count(held[i])) ordered.add(held[i]);
    writeTriangleMeshXML(file, box, ordered);
    return true;
}

void GScene::writeXML(FILE* file) {
    if (!file) return;
    std::fprintf(file, "<?xml version='1.0'?>\n");
    std::fprintf(file, "<scene>\n");
    std::fprintf(file, "\n");
    // The format requires a camera block; a scene without camera has none to write.
    if (camera) {
        camera->writeXML(file);
        std::fprintf(file, "\n");
    }
    std::fprintf(file, "<background type='constant' name='sky'>\n");
    writeColorLine(file, backgroundColor);
    std::fprintf(file, "</background>\n");
    std::fprintf(file, "\n\n");
    std::fprintf(file, "<light type='ambientlight' name='ambient1' power='1.0'>\n");
    writeColorLine(file, ambientColor);
    std::fprintf(file, "</light>\n\n");
    for (int i = 0; i < lights.count; i++) {
        lights[i]->emitVrml(file);
        std::fprintf(file, "\n");
    }
    std::fprintf(file, "\n");
    for (int i = 0; i < objects.count; i++) {
        // A plane becomes triangles reaching far beyond what the view shows.
        if (objects[i]->isKindOf(ClassId::GPlane) && camera)
            writePlaneXML(file, *static_cast<GPlane*>(objects[i]), camera->from);
        else if (objects[i]->isKindOf(ClassId::LBVHbox) && writeEmittingMeshXML(file, objects[i]))
            ;
        else
            objects[i]->emitVrml(file);
        std::fprintf(file, "\n");
    }
    std::fprintf(file, "\n</scene>\n\n");
}
