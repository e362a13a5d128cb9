// The GL side of the images: drawing, reading back, texture upload and
// update, overlays. Checked against the recorded GL call log.
#include "image/GImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/GLLayer.h"
#include "image/ColorImage.h"
#include "image/GrayImage.h"

namespace {
std::vector<std::string> loggedTexts() {
    std::vector<std::string> texts;
    for (const GLCallRecord &call : glCallLog())
        texts.push_back(call.text);
    return texts;
}

const std::vector<std::string> defaultParameters = {
    "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
    "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)",
    "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP)",
    "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP)",
};

std::vector<std::string> concat(std::vector<std::string> head,
                                const std::vector<std::string> &tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}
} // namespace

TEST(GImageTest, DrawAndReadPixels) {
    glResetLayer(8, 8);
    ColorImage image(2, 3);
    for (int i = 0; i < 6; i++)
        image.pixels[i] = packPixel(i + 1, 10, 20, 255);
    image.drawPixels(4.0f, 5.0f, 1.0f, 1.0f);
    std::vector<std::string> expected = {
        "glRasterPos2f(4, 5)",
        "glPixelZoom(1, 1)",
        "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)",
        "glDrawPixels(2, 3, GL_RGBA, GL_UNSIGNED_BYTE)",
    };
    EXPECT_EQ(expected, loggedTexts());
    EXPECT_EQ(image.pixels, glCallLog()[3].data);

    glClearCallLog();
    ColorImage back(3, 3);
    back.fill(0xFFFFFFFFu);
    back.readPixels(3, 5);
    expected = {"glPixelStorei(GL_PACK_ALIGNMENT, 1)",
                "glReadPixels(3, 5, 3, 3, GL_RGBA, GL_UNSIGNED_BYTE)"};
    EXPECT_EQ(expected, loggedTexts());
    EXPECT_EQ(0u, back.getPixel(0, 0)); // outside the drawn block
    EXPECT_EQ(image.getPixel(0, 0), back.getPixel(1, 0));
    EXPECT_EQ(image.getPixel(1, 2), back.getPixel(2, 2));
}

TEST(GImageTest, UploadWithDefaultsAndWithOptions) {
    glResetLayer();
    ColorImage image(4, 4);
    image.fill(1);
    image.uploadTexture(5);
    EXPECT_EQ(
        concat(concat({"glBindTexture(GL_TEXTURE_2D, 5)", "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)"},
                      defaultParameters),
               {"glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE)"}),
        loggedTexts());
    EXPECT_EQ(image.pixels, glCallLog().back().data);

    glClearCallLog();
    const int pairs[] = {(int)GL_TEXTURE_WRAP_S, (int)GL_REPEAT, (int)GL_TEXTURE_MAG_FILTER,
                         (int)GL_NEAREST};
    TextureOptions options((int)GL_RGB8, false, 2, pairs);
    image.uploadTexture(6, &options);
    std::vector<std::string> expected = {
        "glBindTexture(GL_TEXTURE_2D, 6)",
        "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)",
        "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT)",
        "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST)",
        "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE)",
    };
    EXPECT_EQ(expected, loggedTexts());

    // A gray image is LUMINANCE; -1 asks for the default.
    glClearCallLog();
    GrayImage gray(2, 2);
    gray.fill(3);
    TextureOptions plain(-1, false, 0, nullptr);
    gray.uploadTexture(9, &plain);
    EXPECT_EQ(
        "glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, 2, 2, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE)",
        loggedTexts().back());
    EXPECT_EQ(7u, glCallLog().size());

    // The base class and empty images send no pixels.
    glClearCallLog();
    GImage base;
    base.uploadTexture(1);
    base.updateTexture(1);
    EXPECT_TRUE(glCallLog().empty());
    ColorImage empty;
    empty.uploadTexture(2);
    EXPECT_EQ(6u, glCallLog().size());
}

TEST(GImageTest, MipMappedUploadSendsEveryLevelFromThePyramid) {
    glResetLayer();
    ColorImage image(4, 4);
    for (int i = 0; i < 16; i++)
        image.pixels[i] = (uint32_t)i;
    TextureOptions options(-1, true, 0, nullptr);
    image.uploadTexture(3, &options);
    EXPECT_TRUE(image.mipPyramid);
    EXPECT_EQ(4 * 4 / 3 + 2, image.height);
    std::vector<std::string> texts = loggedTexts();
    ASSERT_EQ(9u, texts.size());
    EXPECT_EQ("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE)",
              texts[6]);
    EXPECT_EQ("glTexImage2D(GL_TEXTURE_2D, 1, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE)",
              texts[7]);
    EXPECT_EQ("glTexImage2D(GL_TEXTURE_2D, 2, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE)",
              texts[8]);
    EXPECT_EQ(image.pixels, glCallLog()[6].data);
    EXPECT_EQ(image.pixels + 16, glCallLog()[7].data);
    EXPECT_EQ(image.pixels + 20, glCallLog()[8].data);
    // The level-1 texel is the average of the lower-left 2 x 2 block.
    EXPECT_EQ(averageFourPixels(0, 1, 5, 4), image.pixels[16]);

    // Uploading the pyramid again reuses it; a non-square image without a
    // pyramid goes up at its own size so that no row past the buffer is read.
    glClearCallLog();
    image.uploadTexture(3, &options);
    EXPECT_EQ(9u, glCallLog().size());
    glClearCallLog();
    ColorImage wide(4, 2);
    wide.fill(0);
    testing::internal::CaptureStdout();
    wide.uploadTexture(4, &options);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE)",
              loggedTexts().back());
    GrayImage gray(2, 2);
    gray.fill(8);
    glClearCallLog();
    gray.uploadTexture(4, &options);
    ASSERT_EQ(8u, glCallLog().size());
    EXPECT_EQ(
        "glTexImage2D(GL_TEXTURE_2D, 1, GL_LUMINANCE, 1, 1, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE)",
        loggedTexts().back());
}

TEST(GImageTest, UpdateTextureReplacesLevelZero) {
    glResetLayer();
    ColorImage image(2, 2);
    image.fill(0);
    image.updateTexture(12);
    std::vector<std::string> expected = {
        "glBindTexture(GL_TEXTURE_2D, 12)",
        "glPixelStorei(GL_UNPACK_ALIGNMENT, 1)",
        "glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE)",
    };
    EXPECT_EQ(expected, loggedTexts());
    EXPECT_EQ(image.pixels, glCallLog().back().data);
    glClearCallLog();
    image.updateTexture(12, (int)GL_LUMINANCE);
    EXPECT_EQ("glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE)",
              loggedTexts().back());
    glClearCallLog();
    GrayImage gray(2, 2);
    gray.fill(0);
    gray.updateTexture(1, -1);
    EXPECT_EQ("glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE)",
              loggedTexts().back());
}

TEST(GImageTest, OverlaySetsAWindowProjectionAndRestoresEverything) {
    glResetLayer();
    glViewport(10, 20, 300, 200);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    const float projection[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
    glClearCallLog();

    beginOverlay();
    std::vector<std::string> expected = {
        "glPushAttrib(0x401C0)",
        "glGetFloatv(GL_VIEWPORT)",
        "glMatrixMode(GL_PROJECTION)",
        "glPushMatrix()",
        "glLoadIdentity()",
        "glOrtho(10, 310, 20, 220, -1, 0)",
        "glMatrixMode(GL_MODELVIEW)",
        "glPushMatrix()",
        "glLoadIdentity()",
        "glDisable(GL_LIGHTING)",
        "glDisable(GL_TEXTURE_2D)",
        "glDisable(GL_DEPTH_TEST)",
        "glDisable(GL_FOG)",
    };
    EXPECT_EQ(expected, loggedTexts());
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    // A window corner maps to the corner of clip space.
    float ortho[16];
    glGetFloatv(GL_PROJECTION_MATRIX, ortho);
    EXPECT_NEAR(1.0f, 310.0f * ortho[0] + ortho[12], 1e-5f);
    EXPECT_NEAR(-1.0f, 20.0f * ortho[5] + ortho[13], 1e-5f);

    glClearCallLog();
    endOverlay();
    expected = {"glMatrixMode(GL_PROJECTION)", "glPopMatrix()", "glMatrixMode(GL_MODELVIEW)",
                "glPopMatrix()", "glPopAttrib()"};
    EXPECT_EQ(expected, loggedTexts());
    float restored[16];
    glGetFloatv(GL_PROJECTION_MATRIX, restored);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(projection[i], restored[i]);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(GL_NO_ERROR, glGetError());
}
