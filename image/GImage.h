// GImage: the abstract raster. Every image stores its rows bottom-up: row 0 is
// the bottom row of the picture (the GL convention), pixel (x, y) sits at
// x + y * width. The virtual operations below are shared by every image class;
// GImage's own answers are neutral defaults.
#pragma once

#include "foundation/GObject.h"
#include "foundation/HPoint.h"
#include "image/TextureOptions.h"

class GImage : public GObject {
public:
    int width;  // pixels per row; 0 when empty
    int height; // rows; 0 when empty

    GImage() : width(0), height(0) {}
    GImage(const GImage &) = default;
    GImage &operator=(const GImage &) = default;

    bool isKindOf(int id) const override { return id == ClassId::GImage || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GImage; }
    // "GImage@<address>"
    const char *toString() const override;
    // GImage itself cannot be copied: clone stays GObject's (none).

    // Subclasses allocate storage; false when either side is below 1 or the
    // image would be too large (see validImageSize). The base only stores.
    virtual bool resize(int newWidth, int newHeight) {
        width = newWidth;
        height = newHeight;
        return true;
    }
    // Bytes held: pixel storage plus 16.
    virtual int memorySize() const { return 0; }
    // Sends the pixels to GL as texture textureName (options may be null).
    virtual void uploadTexture(unsigned textureName, const TextureOptions *options = nullptr) {
        (void)textureName;
        (void)options;
    }
    // Replaces level 0 of textureName; format -1 means the class's own layout.
    virtual void updateTexture(unsigned textureName, int format = -1) {
        (void)textureName;
        (void)format;
    }
    // Smallest and largest sample value.
    virtual void valueRange(float &minValue, float &maxValue) const {
        minValue = 0.0f;
        maxValue = 1.0f;
    }
    // Scalar at texture coordinates uv (u, v in x, y), in the class's units.
    virtual float sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const {
        (void)uv;
        (void)wrapU;
        (void)wrapV;
        return 1.0f;
    }
    // Colour at texture coordinates uv (u, v in x, y).
    virtual HPoint sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const {
        (void)uv;
        (void)wrapU;
        (void)wrapV;
        return HPoint(1.0f, 1.0f, 1.0f, 0.0f);
    }
    // A new reduced image of the given kind, owned by the caller, or null
    // when the class has no such reduction (the colour and gray images never do).
    virtual GImage *reduce(int type) const {
        (void)type;
        return nullptr;
    }
};

// Largest pixel count an image may hold (2^30 - 1): above it sizes in bytes
// would overflow and a request is refused rather than wrapped.
const long long maxImagePixels = (1LL << 30) - 1;

// True when both sides are at least 1 and width * height <= maxImagePixels.
inline bool validImageSize(long long w, long long h) {
    return w >= 1 && h >= 1 && w <= maxImagePixels && h <= maxImagePixels &&
           w * h <= maxImagePixels;
}

// "<className>@<address> (<width> x <height>)" into buffer (size bytes): the
// toString of the images that show their size.
const char *formatImageText(char *buffer, int size, const char *className, const void *address,
                            int width, int height);

// Mip pyramids kept inside one pixel buffer (square power-of-two images):
// level k has side width >> k and starts at pixel w^2 + (w^2 >> 2) + ... (k terms).
// 1 + the count of powers of two below width (1 for 1, 2 for 2, 9 for 256).
int mipLevelCountFor(int width);
// Pixel offset of level k inside the pyramid of a width-wide image.
long long mipLevelOffset(int width, int level);
// Rows of the pyramid buffer: width * 4 / 3 + 2.
int mipStorageRows(int width);

// Drawing over the current GL picture in window coordinates: saves the
// texture, depth, fog and lighting attributes and both matrices, sets an
// orthographic projection equal to the viewport and disables lighting,
// texturing, depth test and fog. endOverlay restores everything.
void beginOverlay();
void endOverlay();
