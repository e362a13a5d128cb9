// BidirectionalCamera: bidirectional path tracing without multiple-importance
// weights. Every pixel sample builds an eye sub-path and a light sub-path
// (SubPath.h) and adds every admissible connection between them, each with
// its full estimate, to a floating-point image; emission is picked up along
// the specular chain from the camera. The defaults make it a path tracer
// with one bounce of next-event estimation.
//
// "image.ppm" is rewritten as the progress display (the running sums, not
// yet divided by the sample count), at most once a second and after the
// last sample.
#pragma once

#include "render/GCamera.h"

class BidirectionalCamera : public GCamera {
public:
    int minEyeVertex;      // first eye vertex s connected (0: the camera too, light tracing)
    int maxEyeVertices;    // largest index of the eye walk (at most 9)
    int minLightVertex;    // first light vertex t connected
    int maxLightVertices;  // largest index of the light walk (0: only the emitter point)
    int samplesPerPixel;
    float exposure;        // tone-mapping key
    // Limit of the 1/d^2 factor of a connection. It keeps near-coinciding
    // vertices from blowing up the variance, at the price of a bias that
    // depends on the scene's scale (light from within 1/sqrt(cap) is lost);
    // a huge value leaves connections uncapped. A render that lost light to
    // it says how much.
    float geometryCap;

    BidirectionalCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
};
