// Spectral data shared by the spectral materials and renderer: the grid of
// 301 wavelengths (index i stands for 400 + i nm), spectrum files, the
// accumulation of a wavelength's radiance into CIE XYZ and its conversion
// to a display colour.
//
// A spectrum file is whitespace-separated text: the first wavelength, the
// last wavelength and the step (nm), then one value per sampled wavelength.
// Samples outside 400 .. 700 nm are read and dropped; entries between
// samples are interpolated linearly.
#pragma once

#include <string>

#include "foundation/HPoint.h"

const int spectrumSamples = 301;
const int firstWavelength = 400;

// The file a spectrum name refers to: names may use "\" as the separator
// ("spectra\xbar.spec"). Looked up as given (from the working folder), then
// in the search folders, then beside the program. "" when none opens.
std::string locateSpectrumFile(const char* name);
// Fills values (301 entries) from the file; prints "%s\n" with the name,
// and "bad file name %s\n" when it cannot be found (values stay zero).
void loadSpectrum(double* values, const char* name);
// values from a colour spread over its bands: 400 - 499 nm blue,
// 500 - 599 nm green, 600 - 699 nm red; 700 nm stays 0.
void spectrumFromBands(double* values, const HPoint& color);

// XYZ += (xBar[i], yBar[i], zBar[i]) * L.
void addWavelength(double* xyz, const double* xBar, const double* yBar, const double* zBar, int i, double L);
// Linear RGB of XYZ (no clamping, no gamma), w = 1.
HPoint xyzToLinearRgb(const double* xyz);
// Linear RGB clamped to [0, 1] and raised to 1 / 2.2, w = 1.
HPoint xyzToRgb(const double* xyz);
