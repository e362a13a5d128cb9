#include "image/GMipMap.h"

#include <cmath>
#include <utility>

#include "image/GImage.h"
#include "image/HeightImage.h"

GMipMap::GMipMap()
    : width(0), height(0), levelCount(0), levelType(0), secondLevelCount(0), secondLevelType(0) {
    for (int i = 0; i < mipMapMaxLevels; i++) levels[i] = secondLevels[i] = nullptr;
}

GMipMap::~GMipMap() { clear(); }

const char* GMipMap::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GMipMap", this);
}

// Frees the owned levels (1 and up) of one set.
static void releaseLevels(GImage** set, int& count) {
    for (int i = 1; i < count; i++) delete set[i];
    for (int i = 0; i < mipMapMaxLevels; i++) set[i] = nullptr;
    count = 0;
}

void GMipMap::clear() {
    releaseLevels(levels, levelCount);
    releaseLevels(secondLevels, secondLevelCount);
    levelType = secondLevelType = 0;
}

// Level 0 = image, then its reductions into one set (levels or secondLevels).
static bool buildLevels(GMipMap& map, GImage** set, int& count, int& setType, GImage* image,
                        int type) {
    if (image == nullptr) return false;
    releaseLevels(set, count);
    set[0] = image;
    count = 1;
    while (count < mipMapMaxLevels) {
        GImage* last = set[count - 1];
        if ((long long)last->width * last->height <= 1) break;
        GImage* reduced = last->reduce(type);
        if (reduced == nullptr) break;
        set[count++] = reduced;
    }
    setType = type;
    map.width = image->width;
    map.height = image->height;
    return true;
}

bool GMipMap::build(GImage* image, int type) {
    return buildLevels(*this, levels, levelCount, levelType, image, type);
}

bool GMipMap::buildSecond(GImage* image, int type) {
    return buildLevels(*this, secondLevels, secondLevelCount, secondLevelType, image, type);
}

// Source pixels read by bilinear lookups in [a, b] (texture coordinates,
// a <= b): the pixel under a, through the pixel under b and its right (upper)
// neighbour, clamped to 0 .. size - 1. Coordinates outside [0, 1] are clamped.
static void sourceSpan(float a, float b, int size, int& first, int& last) {
    float lowEnd = a > 0.0f ? (a < 1.0f ? a : 1.0f) : 0.0f;   // NaN gives 0
    float highEnd = b > 0.0f ? (b < 1.0f ? b : 1.0f) : 0.0f;
    first = (int)std::floor(lowEnd * (float)size);
    last = (int)std::floor(highEnd * (float)size) + 1;
    if (first > size - 1) first = size - 1;
    if (last > size - 1) last = size - 1;
}

static int queryLevels(GImage* const* set, int count, int type, float ua, float va, float ub,
                       float vb) {
    bool maximum = type == reduceMaximum;
    int empty = maximum ? emptyRangeMax : emptyRangeMin;
    if (count < 1 || set[0] == nullptr) return empty;
    int width = set[0]->width, height = set[0]->height;
    if (width < 1 || height < 1) return empty;
    if (ub < ua) std::swap(ua, ub);
    if (vb < va) std::swap(va, vb);

    int x0, x1, y0, y1;
    sourceSpan(ua, ub, width, x0, x1);
    sourceSpan(va, vb, height, y0, y1);

    // Level k's pixel j covers source pixels j * 2^k .. (j + 1) * 2^k - 1,
    // since every reduction maps x to x / 2.
    int level = count - 1 < 3 ? count - 1 : 3;
    x0 >>= level;
    x1 >>= level;
    y0 >>= level;
    y1 >>= level;
    if (count > 4 && level == 3 && (x1 - x0) + (y1 - y0) > 8) {
        level = 4;
        x0 >>= 1;
        x1 >>= 1;
        y0 >>= 1;
        y1 >>= 1;
    }
    const GImage* image = set[level];
    if (image == nullptr || !image->isKindOf(ClassId::HeightImage)) return empty;
    const HeightImage* heights = static_cast<const HeightImage*>(image);
    return maximum ? heights->rangeMax(x0, y0, x1, y1) : heights->rangeMin(x0, y0, x1, y1);
}

int GMipMap::rangeQuery(float ua, float va, float ub, float vb) const {
    return queryLevels(levels, levelCount, levelType, ua, va, ub, vb);
}

int GMipMap::secondRangeQuery(float ua, float va, float ub, float vb) const {
    return queryLevels(secondLevels, secondLevelCount, secondLevelType, ua, va, ub, vb);
}
