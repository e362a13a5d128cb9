#include "image/GImage.h"

#include <cstdio>

#include "foundation/GLLayer.h"

const char *GImage::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GImage", this);
}

const char *formatImageText(char *buffer, int size, const char *className, const void *address,
                            int width, int height) {
    char classAddress[objectTextSize];
    formatClassAddress(classAddress, objectTextSize, className, address);
    std::snprintf(buffer, (size_t)size, "%s (%d x %d)", classAddress, width, height);
    return buffer;
}

int mipLevelCountFor(int width) {
    int count = 1;
    for (long long side = 1; side < width; side *= 2)
        count++;
    return count;
}

long long mipLevelOffset(int width, int level) {
    long long term = (long long)width * width;
    long long offset = 0;
    for (int k = 0; k < level; k++) {
        offset += term;
        term >>= 2;
    }
    return offset;
}

int mipStorageRows(int width) {
    return width * 4 / 3 + 2;
}

void beginOverlay() {
    glPushAttrib(GL_TEXTURE_BIT | GL_DEPTH_BUFFER_BIT | GL_FOG_BIT | GL_LIGHTING_BIT);
    GLfloat viewport[4];
    glGetFloatv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3], -1.0,
            0.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
}

void endOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}
