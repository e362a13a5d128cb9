// The image files that other programs write, read and written through the
// stb library (Debian's libstb-dev): PNG, JPEG, TGA, BMP and Radiance HDR
// textures, and PNG frames. Without stb at build time every operation here
// answers false with a problem that says so.
//
// Texture values: 8-bit PNG, JPEG, TGA and BMP samples become the pixel
// bytes as they are, exactly as a P6 file of the same bytes gives them (no
// sRGB decoding: velk's textures are the stored bytes / 255, whatever their
// encoding). 16-bit PNG samples keep their high byte. Gray images repeat the
// gray byte in red, green and blue; alpha is dropped. HDR values are linear
// and are quantised the way a rendered colour is (colorToPixel: times 255,
// clamped to 0 .. 255, truncated), so values above 1 saturate.
#pragma once

#include <string>

class ColorImage;

// True when velk was built with stb.
bool encodedImagesAvailable();

// Reads a PNG, JPEG, TGA, BMP or HDR file into image (row 0 the bottom row,
// alpha 0). False with problem set when the file cannot be opened, is
// truncated or corrupt, or announces more pixels than its
// bytes can plausibly hold (checked before anything is allocated); the image
// is then left as it was.
bool readEncodedImage(ColorImage &image, const char *name, std::string &problem);

// The colour image readers by magic (FBRLE, FB, P6, P3) and, for any other
// file, the encoded formats above: the texture loaders' one entry. problem
// says why an encoded file failed; it is empty when a netpbm or frame-buffer
// file failed (those readers say nothing, as before) or the file has none of
// the known signatures (it is simply no image).
bool readTextureImage(ColorImage &image, const char *name, std::string &problem);

// Writes the frame as an 8-bit RGB PNG with the same bytes as writePPM
// (alpha dropped, top row first). False with problem set when the file
// cannot be written or stb is missing.
bool writePNG(const ColorImage &image, const char *name, std::string &problem);

// True when name ends in ".png" (any case): the frame is written as PNG.
bool isPngName(const char *name);
