// Helpers of the RIB reader tests: run a text through a reader and keep what
// it printed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "io/rib/RibReader.h"

struct RibRun {
    bool ok;
    std::string out;
};

inline RibRun runRib(RibReader& reader, const std::string& text) {
    ::testing::internal::CaptureStdout();
    bool ok = reader.readText(text.c_str());
    std::string out = ::testing::internal::GetCapturedStdout();
    return RibRun{ok, out};
}

// Reads a file, keeping what it printed.
inline RibRun readRib(RibReader& reader, GScene* scene, const std::string& path) {
    ::testing::internal::CaptureStdout();
    bool ok = reader.readFile(path.c_str(), scene);
    std::string out = ::testing::internal::GetCapturedStdout();
    return RibRun{ok, out};
}

// What a text prints between the reader's "Read" and "Done" lines.
inline std::string framed(int statements, const std::string& messages) {
    return "Read " + std::to_string(statements) + " lines, parsing... \n" + messages +
           "Done parsing scene\n";
}
