#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "foundation/GLLayer.h"
#include "image/ColorImage.h"
#include "render/OpenGLCamera.h"

namespace {

// p (w = 1) times the column-major GL matrix m.
void applyGL(const GLfloat* m, const float p[4], float out[4]) {
    for (int r = 0; r < 4; r++)
        out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r] * p[3];
}

}  // namespace

TEST(OpenGLCamera, IsACameraOfItsOwnKind) {
    OpenGLCamera camera;
    EXPECT_TRUE(camera.isKindOf(1007) && camera.isKindOf(1006) && camera.isKindOf(1019));
    EXPECT_FALSE(camera.isKindOf(1008));
    EXPECT_EQ(0, std::string(camera.toString()).find("OpenGLCamera@"));
    EXPECT_EQ(nullptr, camera.clone());
    // Configured only through the factory and the options.
    EXPECT_FALSE(camera.parse(nullptr));
}

TEST(OpenGLCamera, RenderDrawsNothingAndHandsTheViewToGL) {
    glResetLayer(4, 4);
    OpenGLCamera camera;
    camera.setView(HPoint(1, 2, 3), HPoint(-1, 0, -2), HPoint(0, 1, 0), 0.9f);
    ColorImage frame(4, 2);
    frame.fill(0);
    camera.render(frame);
    for (int i = 0; i < 8; i++) EXPECT_EQ(0u, frame.pixels[i]);

    const std::vector<GLCallRecord>& log = glCallLog();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ("glMatrixMode(GL_PROJECTION)", log[0].text);
    EXPECT_EQ(0, log[1].text.find("glLoadMatrixf("));
    EXPECT_EQ("glMatrixMode(GL_MODELVIEW)", log[2].text);
    EXPECT_EQ(0, log[3].text.find("glLoadMatrixf("));
    // Nothing reached the frame buffer.
    for (int i = 0; i < 4 * 4 * 4; i++) ASSERT_EQ(0, glFrameBuffer()[i]);

    GLfloat projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    // The look-at point lands in the middle of the view, the eye at the origin.
    float eye[4], target[4] = {camera.to.x, camera.to.y, camera.to.z, 1.0f}, clip[4];
    float from[4] = {camera.from.x, camera.from.y, camera.from.z, 1.0f};
    applyGL(modelview, from, eye);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(0.0f, eye[i], 1e-5f);
    applyGL(modelview, target, eye);
    applyGL(projection, eye, clip);
    ASSERT_GT(clip[3], 0.0f);
    EXPECT_NEAR(0.0f, clip[0] / clip[3], 1e-5f);
    EXPECT_NEAR(0.0f, clip[1] / clip[3], 1e-5f);
    // A point on the top edge of the field of view reaches y = 1 in clip space.
    HPoint topEdge = camera.from.sum(
        camera.viewDirection.sum(camera.trueUp.scaled(std::tan(0.45f))).scaled(5.0f));
    float top[4] = {topEdge.x, topEdge.y, topEdge.z, 1.0f};
    applyGL(modelview, top, eye);
    applyGL(projection, eye, clip);
    EXPECT_NEAR(1.0f, clip[1] / clip[3], 1e-4f);
    EXPECT_NEAR(0.0f, clip[0] / clip[3], 1e-4f);
    glResetLayer();
}
