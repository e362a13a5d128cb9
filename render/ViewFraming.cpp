#include "render/ViewFraming.h"

#include <algorithm>
#include <cmath>

#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "render/GCamera.h"

bool sceneBounds(GScene& scene, HPoint& min, HPoint& max) {
    // Beyond this a box stands for an unbounded object.
    const float limit = 1e15f;
    bool found = false;
    for (int i = 0; i < scene.objects.size(); i++) {
        HPoint low(limit * 2, limit * 2, limit * 2, 1.0f), high(-limit * 2, -limit * 2, -limit * 2, 1.0f);
        scene.objects.elementAt(i)->getBounds(low, high);
        const float values[6] = {low.x, low.y, low.z, high.x, high.y, high.z};
        bool finite = low.x <= high.x && low.y <= high.y && low.z <= high.z;
        for (float v : values) finite = finite && std::isfinite(v) && std::fabs(v) < limit;
        if (!finite) continue;
        if (!found) {
            min = low;
            max = high;
            found = true;
            continue;
        }
        min = HPoint(std::min(min.x, low.x), std::min(min.y, low.y), std::min(min.z, low.z), 1.0f);
        max = HPoint(std::max(max.x, high.x), std::max(max.y, high.y), std::max(max.z, high.z), 1.0f);
    }
    return found;
}

void frameBox(GCamera& camera, const HPoint& min, const HPoint& max, float fovy) {
    const HPoint centre((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f, (min.z + max.z) * 0.5f, 1.0f);
    const double tanHalfY = std::tan(fovy * 0.5);
    const double aspect = camera.height > 0 ? (double)camera.width / camera.height : 1.0;
    const double halfWidth = (max.x - min.x) * 0.5, halfHeight = (max.y - min.y) * 0.5;
    double distance = std::max(halfHeight / tanHalfY, halfWidth / (tanHalfY * aspect));
    // A box without extent (one point) is seen from unit distance.
    if (!(distance > 0.0)) distance = 1.0;
    const HPoint eye(centre.x, centre.y, (float)(max.z + distance), 1.0f);
    camera.setView(eye, centre, HPoint(0.0f, 1.0f, 0.0f, 1.0f), fovy);
}
