// The floating-point results of the renderers in three file formats, chosen
// by the name's extension (any case): ".exr" is OpenEXR with 32-bit float R,
// G and B channels (needs libopenexr-dev at build time), ".pfm" the portable
// float map (little-endian: a negative scale line, the bottom row first), and
// every other name velk's "PNM-HPOINT" format of HPointImage::write. EXR and
// PFM keep x, y and z exactly, negative values included (the spectral
// renderer's linear RGB can go below 0); they carry no fourth channel, so w
// reads back as 1.
#pragma once

#include <string>

class HPointImage;

enum class RadianceFormat { pnmHPoint, exr, pfm };

RadianceFormat radianceFormatOf(const char *name);
// True when this build can write and read the format (EXR needs OpenEXR).
bool radianceFormatAvailable(RadianceFormat format, std::string &problem);

// False with problem set when the file cannot be written (or the format is
// not built in); a partly written file may remain.
bool writeRadianceFile(const HPointImage &image, const char *name, std::string &problem);
// False with problem set when the file cannot be opened, is no such image or
// is cut short; the image is then left as it was. Sizes are checked against
// the file's bytes before anything is allocated.
bool readRadianceFile(HPointImage &image, const char *name, std::string &problem);

bool writePFM(const HPointImage &image, const char *name, std::string &problem);
bool readPFM(HPointImage &image, const char *name, std::string &problem);
bool writeEXR(const HPointImage &image, const char *name, std::string &problem);
bool readEXR(HPointImage &image, const char *name, std::string &problem);
