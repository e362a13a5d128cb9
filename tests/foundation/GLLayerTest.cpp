#include "foundation/GLLayer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/GMatrix.h"

namespace {
std::vector<std::string> loggedTexts() {
    std::vector<std::string> texts;
    for (const GLCallRecord &call : glCallLog())
        texts.push_back(call.text);
    return texts;
}

void expectMatrix(const float *expected, const float *actual) {
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(expected[i], actual[i], 1e-6f) << "entry " << i;
}
} // namespace

TEST(GLLayerTest, CallsAreLoggedWithEnumNamesAndDataPointers) {
    glResetLayer();
    unsigned char pixels[4] = {1, 2, 3, 4};
    glBindTexture(GL_TEXTURE_2D, 7);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, 0x1234, 5);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPushAttrib(0x401C0);
    glPopAttrib();
    glRasterPos2f(0.5f, -2.0f);
    std::vector<std::string> expected = {
        "glBindTexture(GL_TEXTURE_2D, 7)",
        "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR)",
        "glTexParameteri(GL_TEXTURE_2D, 0x1234, 5)",
        "glTexImage2D(GL_TEXTURE_2D, 0, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE)",
        "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)",
        "glPushAttrib(0x401C0)",
        "glPopAttrib()",
        "glRasterPos2f(0.5, -2)",
    };
    EXPECT_EQ(expected, loggedTexts());
    EXPECT_EQ(pixels, glCallLog()[3].data);
    EXPECT_EQ(nullptr, glCallLog()[0].data);
    EXPECT_EQ(GL_NO_ERROR, glGetError());
    glClearCallLog();
    EXPECT_TRUE(glCallLog().empty());
}

TEST(GLLayerTest, MatrixStacksFollowGLsOrder) {
    glResetLayer();
    // With row vectors, loading A then multiplying by B applies B first.
    GMatrix translate = GMatrix::translation(1.0f, 0.0f, 0.0f);
    GMatrix scale = GMatrix::scaling(2.0f, 2.0f, 2.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(translate.m);
    glMultMatrixf(scale.m);
    float current[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, current);
    expectMatrix(scale.product(translate).m, current);
    HPoint p(1.0f, 1.0f, 1.0f);
    p.transform(GMatrix(current));
    EXPECT_FLOAT_EQ(3.0f, p.x);
    EXPECT_FLOAT_EQ(2.0f, p.y);

    glPushMatrix();
    glLoadIdentity();
    glPopMatrix();
    glGetFloatv(GL_MODELVIEW_MATRIX, current);
    expectMatrix(scale.product(translate).m, current);

    // The projection stack is separate.
    glMatrixMode(GL_PROJECTION);
    glOrtho(0.0, 100.0, 0.0, 50.0, -1.0, 0.0);
    glGetFloatv(GL_PROJECTION_MATRIX, current);
    const float ortho[16] = {0.02f, 0, 0,     0, 0,     0.04f, 0,    0,
                             0,     0, -2.0f, 0, -1.0f, -1.0f, 1.0f, 1.0f};
    expectMatrix(ortho, current);
    float mode;
    glGetFloatv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ((float)GL_PROJECTION, mode);
    EXPECT_EQ(GL_NO_ERROR, glGetError());

    // Popping the last matrix and pushing past the depth are errors that change nothing.
    glPopMatrix();
    EXPECT_EQ(GL_STACK_UNDERFLOW, glGetError());
    for (int i = 0; i < 40; i++)
        glPushMatrix();
    EXPECT_EQ(GL_STACK_OVERFLOW, glGetError());
    EXPECT_EQ(GL_NO_ERROR, glGetError());
    glGetFloatv(0x9999, current);
    EXPECT_EQ(GL_INVALID_ENUM, glGetError());
    glOrtho(1.0, 1.0, 0.0, 1.0, 0.0, 1.0);
    EXPECT_EQ(GL_INVALID_VALUE, glGetError());
}

TEST(GLLayerTest, EnablesAttributesViewportAndFrameBuffer) {
    glResetLayer(4, 3);
    float viewport[4];
    glGetFloatv(GL_VIEWPORT, viewport);
    EXPECT_EQ(4.0f, viewport[2]);
    EXPECT_EQ(3.0f, viewport[3]);
    glViewport(1, 2, 30, 40);
    glGetFloatv(GL_VIEWPORT, viewport);
    EXPECT_EQ(1.0f, viewport[0]);
    EXPECT_EQ(40.0f, viewport[3]);

    glEnable(GL_LIGHTING);
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_FOG);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    glPopAttrib();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    glPopAttrib();
    EXPECT_EQ(GL_STACK_UNDERFLOW, glGetError());

    // Drawing at zoom 1 lands in the frame buffer, clipped; reading outside gives zeros.
    unsigned char block[2 * 2 * 4];
    for (int i = 0; i < 16; i++)
        block[i] = (unsigned char)(i + 1);
    glRasterPos2f(3.0f, 2.0f);
    glDrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, block);
    EXPECT_EQ(1, glFrameBuffer()[(2 * 4 + 3) * 4]);
    unsigned char readBack[3 * 4];
    glReadPixels(2, 2, 3, 1, GL_RGBA, GL_UNSIGNED_BYTE, readBack);
    EXPECT_EQ(0, readBack[0]);
    EXPECT_EQ(1, readBack[4]);
    EXPECT_EQ(4, readBack[7]);
    EXPECT_EQ(0, readBack[8]);
    // A zoomed draw is only logged.
    glPixelZoom(2.0f, 2.0f);
    glRasterPos2f(0.0f, 0.0f);
    glDrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, block);
    EXPECT_EQ(0, glFrameBuffer()[0]);
}
