// The error figures of a floating-point result against a reference image of
// the same size, as "-reference", "-imgdiff", "-log" and the compare tool
// report them. Sums run over every pixel and the x, y, z channels (w is
// ignored), in double precision:
//   mse          = mean of (x - r)^2
//   relativeMse  = mean of (x - r)^2 / (r^2 + 0.01)
//   mean         = mean of x, referenceMean = mean of r
// and, for a render that took `seconds`, efficiency = 1 / (mse * seconds),
// infinite when that product is 0 (an exact result, or no measurable time).
#pragma once

#include <string>

class HPointImage;

struct ImageErrorRecord {
    double mse = 0.0;
    double relativeMse = 0.0;
    double mean = 0.0;
    double referenceMean = 0.0;
};

// False, leaving record as it was, when the sizes differ or the images are empty.
bool compareImages(const HPointImage& result, const HPointImage& reference,
                   ImageErrorRecord& record);
double efficiency(double mse, double seconds);
// A number as the error lines print it: "%.6g", or "inf".
std::string errorFigureText(double value);
// The per-pixel relative error (x - r)^2 / (r^2 + 0.01), averaged over the
// channels, as false colours from black through blue, red and yellow to
// white, scaled so that white is the largest error of the image. Writes a
// binary PPM; false when the sizes differ or the file cannot be written.
bool writeRelativeErrorImage(const HPointImage& result, const HPointImage& reference,
                             const char* fileName);
