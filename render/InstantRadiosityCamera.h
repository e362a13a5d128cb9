// InstantRadiosityCamera: a few random walks from the emitters leave virtual
// point lights (hemispherical SpotLights) where they start and land; the
// image is then one ray through every pixel centre, lit by its own emission
// and the diffuse light of every virtual light it sees. The scene's own
// lights play no part, and mirrors are not followed.
#pragma once

#include "foundation/JVector.h"
#include "render/GCamera.h"

class GLight;
class GSceneObject;
struct HitRecord;

class InstantRadiosityCamera : public GCamera {
public:
    int maxBounces;       // bounces per light walk
    float exposure;       // tone-mapping key
    int lightPaths;       // number of light walks
    float distanceClamp;  // constant term of every virtual light's attenuation
    JVector<GLight> virtualLights;  // owned

    InstantRadiosityCamera();
    ~InstantRadiosityCamera() override;
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
    // Deletes the virtual lights and shoots lightPaths walks anew.
    void createVirtualLights();
    // Emission plus the diffuse light of every visible virtual light at the
    // ray's first hit; black when it hits nothing.
    HPoint shadeWithVirtualLights(GRay& ray, HitRecord& hit);
    // The same, adding to the given clamp tallies instead of the camera's.
    HPoint shadeWithVirtualLights(GRay& ray, HitRecord& hit, double& clamped, double& unclamped);

    // Luminance of the virtual lights' light that the last render gathered,
    // and what it would have been without distanceClamp.
    double clampedLight = 0.0, unclampedLight = 0.0;

private:
    void addVirtualLight(const HPoint& point, const HPoint& normal, const HPoint& color);
    void deleteVirtualLights();
};
