#include "render/OpenGLCamera.h"

#include <cmath>

#include "foundation/GLLayer.h"
#include "image/ColorImage.h"

bool OpenGLCamera::isKindOf(int id) const {
    return id == ClassId::OpenGLCamera || GCamera::isKindOf(id);
}

int OpenGLCamera::typeId() const { return ClassId::OpenGLCamera; }

const char* OpenGLCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "OpenGLCamera", this);
}

// Nothing is drawn: the frame stays as the driver cleared it.
void OpenGLCamera::render(ColorImage& frame) { loadGLMatrices(frame.width, frame.height); }

void OpenGLCamera::loadGLMatrices(int imageWidth, int imageHeight) {
    // Both matrices in GL's column-major order: element (row r, column c) of
    // the column-vector matrix goes to m[4c + r].
    float tangent = std::tan(fovy * 0.5f);
    float aspect = imageHeight > 0 ? (float)imageWidth / (float)imageHeight : 1.0f;
    float focal = tangent != 0.0f ? 1.0f / tangent : 0.0f;
    GLfloat projection[16] = {0};
    projection[0] = aspect != 0.0f ? focal / aspect : 0.0f;
    projection[5] = focal;
    projection[10] = (farPlane + nearPlane) / (nearPlane - farPlane);
    projection[11] = -1.0f;
    projection[14] = 2.0f * farPlane * nearPlane / (nearPlane - farPlane);

    // World to eye: rows right, trueUp, -viewDirection, after moving the eye to the origin.
    const HPoint back(-viewDirection.x, -viewDirection.y, -viewDirection.z, 1.0f);
    const HPoint* rows[3] = {&right, &trueUp, &back};
    GLfloat view[16] = {0};
    for (int r = 0; r < 3; r++) {
        view[0 + r] = rows[r]->x;
        view[4 + r] = rows[r]->y;
        view[8 + r] = rows[r]->z;
        view[12 + r] = -rows[r]->dot(from);
    }
    view[15] = 1.0f;

    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view);
}
