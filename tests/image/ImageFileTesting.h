// Helpers of the image file tests: a scratch folder for every test, byte
// strings, and the outside converters that some tests compare against.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "tests/TestSupport.h"

// A fresh scratch folder for every test.
class ImageFileTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override { dir = makeScratchDir(); }
    std::string path(const char *name) const { return dir + "/" + name; }
    // Writes content to a file in the scratch folder and returns its path.
    std::string file(const char *name, const std::string &content) const {
        writeWholeFile(path(name), content);
        return path(name);
    }
};

inline std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values)
        text += (char)v;
    return text;
}

inline bool toolAvailable(const char *tool) {
    std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// ImageMagick itself, not a stand-in of the same name.
inline bool imageMagickAvailable() {
    return std::system("convert -version 2>/dev/null | grep -q ImageMagick") == 0;
}

// ImageMagick's convert of the file from with options into to (a path with
// its format, "ppm:..."); false when it fails.
inline bool imageMagickConvert(const std::string &from, const std::string &options,
                               const std::string &to) {
    std::string command = "convert '" + from + "' " + options + " '" + to + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// netpbm's plain (text) form of the binary file from, written to to.
inline bool convertToPlainNetpbm(const std::string &from, const std::string &to) {
    std::string command = "pnmtoplainpnm '" + from + "' > '" + to + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}
