// GTexture: an image looked up at texture coordinates, standing in for a
// colour or scalar attribute of a material. The image is not owned.
#pragma once

#include <string>

#include "foundation/GObject.h"
#include "foundation/HPoint.h"

class GImage;

class GTexture : public GObject {
public:
    GImage* image = nullptr;   // not owned
    bool wrapU = true;
    bool wrapV = true;
    float scale = 1.0f;        // multiplies scalar lookups
    HPoint tint;               // multiplies colour lookups, (1, 1, 1, 0) by default
    float valueMin = 0.0f;     // the image's value range times scale (setImage)
    float valueMax = 0.0f;
    // The texture coordinates are the colour itself (a point cloud passes its
    // blended point colour this way); no image is read.
    bool passThrough = false;
    // The image file as the scene named it, for the XML export; empty when
    // the texture comes from no file.
    std::string fileName;

    GTexture() : tint(1.0f, 1.0f, 1.0f, 0.0f) {}

    bool isKindOf(int id) const override { return id == ClassId::GTexture || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GTexture; }
    const char* toString() const override;

    // Stores the image and records its value range (times scale).
    void setImage(GImage* newImage);
    // Colour at (u, v) = (uv.x, uv.y), tinted. Without an image: the tint.
    void lookupColor(HPoint& out, const HPoint& uv) const;
    // Scalar at (u, v) times scale. Without an image: scale.
    float lookupScalar(const HPoint& uv) const;
};
