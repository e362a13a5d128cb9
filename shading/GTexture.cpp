#include "shading/GTexture.h"

#include "image/GImage.h"

const char* GTexture::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GTexture", this);
}

void GTexture::setImage(GImage* newImage) {
    image = newImage;
    float low = 0.0f, high = 1.0f;  // GImage's own range when there is no image
    if (image) image->valueRange(low, high);
    valueMin = low * scale;
    valueMax = high * scale;
}

void GTexture::lookupColor(HPoint& out, const HPoint& uv) const {
    if (passThrough) {
        out = HPoint(uv.x, uv.y, uv.z, 1.0f);
        out.multiply(tint);
        return;
    }
    // Without an image, or with one that has no pixels, the lookup answers
    // the image defaults: white.
    out = image && image->width > 0 && image->height > 0 ? image->sampleColor(uv, wrapU, wrapV)
                                                         : HPoint(1.0f, 1.0f, 1.0f, 0.0f);
    out.multiply(tint);
}

float GTexture::lookupScalar(const HPoint& uv) const {
    float value = image && image->width > 0 && image->height > 0 ? image->sampleScalar(uv, wrapU, wrapV) : 1.0f;
    return value * scale;
}
