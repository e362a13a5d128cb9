// EXR (through OpenEXR), PFM (by hand) and the dispatch by extension.
#include "image/RadianceFiles.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "image/HPointImage.h"
#include "image/ImageFile.h"
#include "image/RasterIO.h"

#ifdef VELK_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#endif

namespace {

bool endsWithNoCase(const char *name, const char *suffix) {
    size_t length = std::strlen(name), suffixLength = std::strlen(suffix);
    if (length < suffixLength)
        return false;
    for (size_t i = 0; i < suffixLength; i++)
        if (std::tolower((unsigned char)name[length - suffixLength + i]) != suffix[i])
            return false;
    return true;
}

// Sizes read from a float image's header are capped before allocating: a
// PFM must hold 12 bytes a pixel; an EXR's compression can shrink a flat
// image about a thousand times.
const long long maxRadiancePixels = 1LL << 26;
const long long maxExrPixelsPerByte = 1100;

std::string sizeProblem(const char *format, long long w, long long h, long long bytes) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the %s header announces %lld x %lld pixels, more than its %lld bytes hold",
                  format, w, h, bytes);
    return text;
}

} // namespace

RadianceFormat radianceFormatOf(const char *name) {
    if (endsWithNoCase(name, ".exr"))
        return RadianceFormat::exr;
    if (endsWithNoCase(name, ".pfm"))
        return RadianceFormat::pfm;
    return RadianceFormat::pnmHPoint;
}

bool radianceFormatAvailable(RadianceFormat format, std::string &problem) {
    problem.clear();
#ifndef VELK_HAVE_OPENEXR
    if (format == RadianceFormat::exr) {
        problem = "velk was built without OpenEXR (libopenexr-dev), so EXR images are not read or "
                  "written";
        return false;
    }
#else
    (void)format;
#endif
    return true;
}

bool writeRadianceFile(const HPointImage &image, const char *name, std::string &problem) {
    switch (radianceFormatOf(name)) {
    case RadianceFormat::exr:
        return writeEXR(image, name, problem);
    case RadianceFormat::pfm:
        return writePFM(image, name, problem);
    case RadianceFormat::pnmHPoint:
        break;
    }
    problem.clear();
    if (image.write(name))
        return true;
    problem = "the file could not be written";
    return false;
}

bool readRadianceFile(HPointImage &image, const char *name, std::string &problem) {
    switch (radianceFormatOf(name)) {
    case RadianceFormat::exr:
        return readEXR(image, name, problem);
    case RadianceFormat::pfm:
        return readPFM(image, name, problem);
    case RadianceFormat::pnmHPoint:
        break;
    }
    problem.clear();
    if (image.read(name))
        return true;
    problem = "no PNM-HPOINT image that could be read";
    return false;
}

// ---------------------------------------------------------------- PFM

bool writePFM(const HPointImage &image, const char *name, std::string &problem) {
    problem.clear();
    FILE *file = std::fopen(name, "wb");
    if (!file) {
        problem = "the file cannot be created";
        return false;
    }
    // A negative scale says little-endian; rows go bottom first, as row 0 is.
    bool ok = std::fprintf(file, "PF\n%d %d\n-1.0\n", image.width, image.height) > 0;
    std::vector<uint8_t> row((size_t)image.width * 12);
    for (int y = 0; ok && y < image.height; y++) {
        uint8_t *out = row.data();
        for (int x = 0; x < image.width; x++, out += 12) {
            const HPoint &p = image.at(x, y);
            storeLittleFloat(out, p.x);
            storeLittleFloat(out + 4, p.y);
            storeLittleFloat(out + 8, p.z);
        }
        ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        problem = "the file could not be written";
    return ok;
}

bool readPFM(HPointImage &image, const char *name, std::string &problem) {
    problem.clear();
    ImageFileReader reader;
    char line[imageLineCapacity];
    if (!reader.open(name, line)) {
        problem = "the file cannot be opened";
        return false;
    }
    // "PF" colour or "Pf" gray, then "width height" and the scale, whose sign
    // gives the byte order.
    int channels = std::strcmp(line, "PF") == 0 ? 3 : std::strcmp(line, "Pf") == 0 ? 1 : 0;
    int w, h;
    char scaleLine[imageLineCapacity];
    if (channels == 0 || !reader.readLineSkipping(line, "#", true) ||
        !parseImageSize(line, false, w, h) || !reader.readLineSkipping(scaleLine, "#", true)) {
        problem = "no PFM header (PF or Pf, width height, scale)";
        return false;
    }
    char *end = nullptr;
    double scale = std::strtod(scaleLine, &end);
    if (end == scaleLine || scale == 0.0 || !std::isfinite(scale)) {
        problem = "the PFM scale line is no non-zero number";
        return false;
    }
    const bool little = scale < 0.0;
    long long rowBytes = 4LL * channels * w;
    if ((long long)w * h > maxRadiancePixels || rowBytes * h > reader.remaining()) {
        problem = sizeProblem("PFM", w, h, reader.remaining());
        return false;
    }
    if (!image.resize(w, h)) {
        problem = "the image size is refused";
        return false;
    }
    std::vector<uint8_t> row((size_t)rowBytes);
    for (int y = 0; y < h; y++) {
        if (!reader.readBytes(row.data(), row.size())) {
            problem = "the PFM data is cut short";
            return false;
        }
        const uint8_t *in = row.data();
        for (int x = 0; x < w; x++) {
            float values[3];
            for (int c = 0; c < channels; c++, in += 4) {
                uint32_t bits = little ? loadLittle32(in)
                                       : ((uint32_t)in[0] << 24 | (uint32_t)in[1] << 16 |
                                          (uint32_t)in[2] << 8 | (uint32_t)in[3]);
                std::memcpy(&values[c], &bits, 4);
            }
            if (channels == 1)
                values[1] = values[2] = values[0];
            image.at(x, y) = HPoint(values[0], values[1], values[2], 1.0f);
        }
    }
    return true;
}

// ---------------------------------------------------------------- EXR

#ifdef VELK_HAVE_OPENEXR
bool writeEXR(const HPointImage &image, const char *name, std::string &problem) {
    problem.clear();
    if (image.width < 1 || image.height < 1) {
        problem = "the image is empty";
        return false;
    }
    // EXR rows run from the top: stage x, y, z with the top row first.
    const int w = image.width, h = image.height;
    std::vector<float> rgb((size_t)w * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const HPoint &p = image.at(x, h - 1 - y);
            float *out = &rgb[((size_t)y * w + x) * 3];
            out[0] = p.x;
            out[1] = p.y;
            out[2] = p.z;
        }
    try {
        Imf::Header header(w, h);
        const char *names[3] = {"R", "G", "B"};
        Imf::FrameBuffer frame;
        for (int c = 0; c < 3; c++) {
            header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, (char *)(rgb.data() + c),
                                              sizeof(float) * 3, sizeof(float) * 3 * (size_t)w));
        }
        Imf::OutputFile file(name, header);
        file.setFrameBuffer(frame);
        file.writePixels(h);
    } catch (const std::exception &error) {
        problem = std::string("OpenEXR: ") + error.what();
        return false;
    }
    return true;
}

bool readEXR(HPointImage &image, const char *name, std::string &problem) {
    problem.clear();
    long long fileBytes;
    {
        ImageFileReader reader;
        if (!reader.open(name)) {
            problem = "the file cannot be opened";
            return false;
        }
        fileBytes = reader.remaining();
    }
    try {
        Imf::InputFile file(name);
        const Imath::Box2i window = file.header().dataWindow();
        long long w = (long long)window.max.x - window.min.x + 1;
        long long h = (long long)window.max.y - window.min.y + 1;
        if (w < 1 || h < 1 || w * h > maxRadiancePixels ||
            w * h > maxExrPixelsPerByte * fileBytes) {
            problem = sizeProblem("EXR", w, h, fileBytes);
            return false;
        }
        // R, G, B (or a gray Y) as floats, the top row first; channels the
        // file lacks read as 0.
        const Imf::ChannelList &present = file.header().channels();
        const bool gray = !present.findChannel("R") && present.findChannel("Y");
        std::vector<float> rgb((size_t)(w * h * 3), 0.0f);
        Imf::FrameBuffer frame;
        const char *names[3] = {"R", "G", "B"};
        for (int c = 0; c < (gray ? 1 : 3); c++)
            frame.insert(gray ? "Y" : names[c],
                         Imf::Slice::Make(Imf::FLOAT, rgb.data() + c, window, sizeof(float) * 3,
                                          sizeof(float) * 3 * (size_t)w, 1, 1, 0.0));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (!image.resize((int)w, (int)h)) {
            problem = "the image size is refused";
            return false;
        }
        for (long long y = 0; y < h; y++)
            for (long long x = 0; x < w; x++) {
                const float *in = &rgb[(size_t)((y * w + x) * 3)];
                image.at((int)x, (int)(h - 1 - y)) =
                    gray ? HPoint(in[0], in[0], in[0], 1.0f) : HPoint(in[0], in[1], in[2], 1.0f);
            }
    } catch (const std::exception &error) {
        problem = std::string("truncated or corrupt EXR image (OpenEXR: ") + error.what() + ")";
        return false;
    }
    return true;
}
#else
bool writeEXR(const HPointImage &image, const char *name, std::string &problem) {
    (void)image;
    (void)name;
    radianceFormatAvailable(RadianceFormat::exr, problem);
    return false;
}

bool readEXR(HPointImage &image, const char *name, std::string &problem) {
    (void)image;
    (void)name;
    radianceFormatAvailable(RadianceFormat::exr, problem);
    return false;
}
#endif
