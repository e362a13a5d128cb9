// HeightImage: signed 16-bit heights, row 0 at the bottom. The displacement
// maps of triangles (with min and max pyramids answering "lowest / highest
// height inside a texture rectangle") and the driver's start-up conversion of
// "velk_disp.pgm" into "velk_disp.hg".
//
// ".hg" files: "HG\n", comment lines "# ...\n", "width height\n", then the rows
// in storage order (row 0 first), two little-endian bytes per height.
//
// Readers answer false and leave the image as it was when the file cannot be
// opened, the header is wrong or negative, or the file is shorter than the
// size it announces (checked before anything is allocated). A header of
// "0 0" reads as an empty image, so the file written from an empty image
// reads back.
#pragma once

#include <cstdint>

#include "image/GImage.h"
#include "image/PixelImage.h"

class GMipMap;
class GrayImage;
class ImageFileReader;

// Reduction kinds of reduce() and GMipMap::build.
const int reduceMinimum = 2;
const int reduceMaximum = 3;
const int reduceAverage = 4;

// Answers of rangeMin / rangeMax over an empty rectangle.
const int emptyRangeMin = 32767;
const int emptyRangeMax = -32768;

// pixels: width * height heights, row 0 first; null when empty. Storage and
// copies come from PixelImage: new heights are uninitialised, and
// memorySize is width * height * 2 + 16.
class HeightImage : public PixelImage<HeightImage, int16_t> {
public:
    HeightImage();
    // Empty when either side is 0 or negative; otherwise uninitialised heights.
    HeightImage(int w, int h);
    HeightImage(const HeightImage& other);
    HeightImage& operator=(const HeightImage& other);
    ~HeightImage() override;

    bool isKindOf(int id) const override {
        return id == ClassId::HeightImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::HeightImage; }
    // "HeightImage@<address> (<width> x <height>)"
    const char* toString() const override;

    // Smallest and largest height; 0 and 0 for an empty image.
    void valueRange(float& minValue, float& maxValue) const override;
    // Bilinear interpolation of the heights (as GrayImage); 0 when empty.
    float sampleScalar(const HPoint& uv, bool wrapU, bool wrapV) const override;
    // Gray colour of the low byte of the nearest height, w = 0.
    HPoint sampleColor(const HPoint& uv, bool wrapU, bool wrapV) const override;
    // New half-size image (owned by the caller): reduceMinimum, reduceMaximum
    // or reduceAverage; null for any other type. Each result pixel (x, y)
    // stands for the source block (2x .. 2x + 1, 2y .. 2y + 1), partial at an
    // odd edge, so the result is ((width + 1) / 2) x ((height + 1) / 2).
    GImage* reduce(int type) const override;

    int16_t getHeight(int x, int y) const { return pixels[x + (long long)y * width]; }
    void setHeight(int x, int y, int16_t value) { pixels[x + (long long)y * width] = value; }
    // This image gets the size of gray and its bytes widened without sign
    // (0 .. 255); an empty gray image gives an empty height image.
    void setFromGray(const GrayImage& gray);
    // Heights -= other's (16-bit wrap-around). Different sizes print
    // "tried to subtract images with different sizes.\n" and change nothing.
    void subtract(const HeightImage& other);
    // Swaps rows i and height - 1 - i.
    void flipVertically();
    // Minimum (maximum) over the inclusive rectangle clipped to the image;
    // emptyRangeMin (emptyRangeMax) when nothing is left.
    int rangeMin(int x0, int y0, int x1, int y1) const;
    int rangeMax(int x0, int y0, int x1, int y1) const;
    // This image becomes (2w - 1) x (2h - 1) of source: even positions copy
    // it, odd columns of even rows take the rounded-up mean of their
    // horizontal neighbours, then odd rows that of the rows above and below.
    // An empty source gives an empty image. source may be this image.
    void expand(const HeightImage& source);

    // Files (name is a path; comment null writes "# Height Image").
    bool writeHG(const char* name, const char* comment = nullptr) const;
    bool readHG(const char* name);
    // "H7" files: big-endian heights after a header with one extra line.
    bool readH75(const char* name);
    // Headerless little-endian heights of the given size.
    bool readRaw(const char* name, int rawWidth, int rawHeight);
    // Rows first .. last - 1 of an ".hg" file; false unless
    // 0 <= first < last <= the file's height.
    bool readHGBand(const char* name, int first, int last);

    // Min and max pyramids over this image, built on first use (or by
    // buildPyramids after the heights changed). The queries take texture
    // coordinates of a rectangle, corners in any order, and answer a bound
    // that holds for every height sampleScalar can return inside it.
    void buildPyramids();
    const GMipMap* pyramids();
    int lowestHeightIn(float ua, float va, float ub, float vb);
    int highestHeightIn(float ua, float va, float ub, float vb);

private:
    friend class PixelImage<HeightImage, int16_t>;
    GMipMap* pyramid;  // owned; null until built
    // Whatever changes the heights here or in PixelImage drops the pyramids.
    void pixelsChanging() { discardPyramids(); }
    void discardPyramids();
    bool readRows(ImageFileReader& reader, int w, int h, bool bigEndian);
};

// The driver's start-up conversion: reads the gray image grayName (a missing
// or unreadable file gives an empty image, silently), widens it into heights
// and writes heightName with the default comment. False if the write fails.
bool convertDisplacementMap(const char* grayName, const char* heightName);
