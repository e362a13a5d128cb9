// A view for scenes that bring no camera: the scene's bounding box seen from
// +z. The eye looks at the box's centre along -z with +y up, from as far in
// front of the box's front face (its largest z) as makes that face, and so
// everything behind it, fit both the vertical field of view and the
// horizontal one of the camera's width / height.
#pragma once

#include "foundation/HPoint.h"

class GCamera;
class GScene;

// The vertical field of view of a framed view unless "-fov" gives one.
const float defaultFramingFovDegrees = 40.0f;

// The box around the scene's objects whose bounds are finite (planes are
// left out); false when there is none.
bool sceneBounds(GScene& scene, HPoint& min, HPoint& max);

// Sets the camera's view to frame [min, max] with the full vertical field of
// view fovy (radians) at the camera's width and height.
void frameBox(GCamera& camera, const HPoint& min, const HPoint& max, float fovy);
