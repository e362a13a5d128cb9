// OpenGLCamera: the preview camera kind. It keeps the full GCamera state (view,
// size, frame) but has no rendering algorithm: render draws nothing and leaves
// the frame as the driver cleared it. It only hands its view to GL's matrix
// stacks, so that a GL preview would draw from the camera's viewpoint.
#pragma once

#include "render/GCamera.h"

class OpenGLCamera : public GCamera {
public:
    // Depth range of the GL projection.
    static constexpr float nearPlane = 0.01f;
    static constexpr float farPlane = 1000.0f;

    OpenGLCamera() {}
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    void render(ColorImage& frame) override;

    // Loads the perspective of the pinhole view (square pixels, aspect
    // imageWidth / imageHeight) into GL_PROJECTION and the world-to-eye
    // transform into GL_MODELVIEW, leaving GL_MODELVIEW current.
    void loadGLMatrices(int imageWidth, int imageHeight);
};
