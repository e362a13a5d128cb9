// GMipMap: up to 16 successively reduced images of one image. Level 0 is the
// caller's image (not owned); every further level was made here by the
// image's reduce(type) and is owned. A second set of levels can hold another
// reduction of the same image, so one object answers both the lowest and the
// highest height of a displacement map.
//
// The range query serves the displaced-triangle intersection: it answers, for
// a rectangle in texture coordinates, the smallest (minimum pyramid) or
// largest (maximum pyramid) height that a bilinear lookup inside it can give.
#pragma once

#include "foundation/GObject.h"

class GImage;

const int mipMapMaxLevels = 16;

class GMipMap : public GObject {
public:
    int width;       // of level 0
    int height;      // of level 0
    int levelCount;  // levels stored in levels
    GImage* levels[mipMapMaxLevels];
    int levelType;  // reduction kind of levels (0 before build)
    int secondLevelCount;
    GImage* secondLevels[mipMapMaxLevels];
    int secondLevelType;

    GMipMap();
    ~GMipMap() override;
    GMipMap(const GMipMap&) = delete;
    GMipMap& operator=(const GMipMap&) = delete;

    bool isKindOf(int id) const override { return id == ClassId::GMipMap || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GMipMap; }
    // "GMipMap@<address>"
    const char* toString() const override;

    // Level 0 = image; level i = level i - 1's reduce(type) for i = 1 .. 15,
    // stopping after a level with at most one pixel or when reduce answers
    // none. Replaces (and frees) what levels held before. False for a null image.
    bool build(GImage* image, int type);
    // The same into the second set.
    bool buildSecond(GImage* image, int type);
    // Frees every owned level of both sets.
    void clear();

    // Range query of the displacement on levels (secondRangeQuery: on the
    // second set): the rectangle [ua, ub] x [va, vb] is mapped to the source
    // pixels a bilinear lookup inside it reads, then to level 3's grid
    // (the coarsest level when fewer exist), or to level 4 when more than 4
    // levels exist and the rectangle spans more than 8 level-3 pixels
    // (dx + dy > 8). Answers rangeMax there for a maximum pyramid, rangeMin
    // otherwise; emptyRangeMin / emptyRangeMax when there is nothing.
    int rangeQuery(float ua, float va, float ub, float vb) const;
    int secondRangeQuery(float ua, float va, float ub, float vb) const;
};
