// TextureOptions: what a texture upload should do beyond the class defaults.
#pragma once

#include <vector>

struct TextureOptions {
    // GL internal format; -1 means the image class's default (RGBA, LUMINANCE).
    int internalFormat;
    // Turn the image into a mip pyramid and upload every level.
    bool buildMipMaps;
    // GL texture-parameter pairs, name first, set in order. Empty: the
    // defaults (linear filters, clamped wrapping).
    std::vector<int> parameters;

    TextureOptions() : internalFormat(-1), buildMipMaps(false) {}
    // count pairs from pairs[0 .. 2 * count - 1], appended in order.
    TextureOptions(int format, bool mipMaps, int count, const int *pairs)
        : internalFormat(format), buildMipMaps(mipMaps) {
        if (pairs == nullptr || count <= 0)
            return;
        parameters.assign(pairs, pairs + 2 * count);
    }
    int pairCount() const { return (int)parameters.size() / 2; }
};
