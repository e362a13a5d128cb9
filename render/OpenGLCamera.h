// OpenGLCamera: the preview camera kind. It keeps the full GCamera state (view,
// size, frame) but has no rendering algorithm: render leaves the frame as the
// driver cleared it and issues no drawing.
#pragma once

#include "render/GCamera.h"

class OpenGLCamera : public GCamera {
public:
    OpenGLCamera() {}
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    void render(ColorImage& frame) override;
};
