// Every image reader on the same bytes: P6, P3, FB and FBRLE (colour), P5
// and P2 (gray), ".hg" and "H7" heights, ".im" accumulation images, bands
// of the binary forms, and the start-up conversion of the displacement map.
#include "fuzz/FuzzHarness.h"
#include "image/ColorImage.h"
#include "image/GrayImage.h"
#include "image/HPointImage.h"
#include "image/HeightImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "image.img");
    std::string converted = fuzzFolder() + "/image.hg";
    runReader([&] {
        const char* path = input.path();
        ColorImage color;
        color.readImage(path);
        color.readPPM(path);
        color.readPPMText(path);
        color.readFB(path);
        color.readFBRLE(path);
        color.readPPMBand(path, 0, 2);
        GrayImage gray;
        gray.readImage(path);
        gray.readPGM(path);
        gray.readPGMText(path);
        gray.readPGMBand(path, 1, 3);
        HeightImage heights;
        heights.readHG(path);
        heights.readH75(path);
        heights.readHGBand(path, 0, 1);
        heights.readRaw(path, 4, 4);
        HPointImage accumulated;
        accumulated.read(path);
        convertDisplacementMap(path, converted.c_str());
    });
    std::remove(converted.c_str());
    return 0;
}
