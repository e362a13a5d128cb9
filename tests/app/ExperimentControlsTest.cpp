// The command-line experiment controls: choosing the renderer, its settings,
// and keeping the floating-point result.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>

#include "tests/TestSupport.h"

namespace {

const char* const whittedScene =
    "view { view_from_pt 0 1 5 view_to_pt 0 0 0 view_up_vec 0 1 0 fovy 0.9 image_size 24 16\n"
    "  background_color 0.1 0.1 0.3 ambient_color 0.1 0.1 0.1 subsampling 4 }\n"
    "sphere { center 0 0 0 radius 1 diffuse_color 0.8 0.2 0.2 specular_color 0.5 0.5 0.5\n"
    "  reflectivity 0.3 0.3 0.3 }\n"
    "plane { origin 0 -1 0 normal 0 1 0 }\n"
    "point_light { location 3 4 5 emissive_color 30 30 30 }\n";

// A small RIB Cornell box for the path tracer.
std::string pathTracedScene() {
    std::string rib = readWholeFile(std::string(VELK_SOURCE_DIR) + "/scenes/cornell.rib");
    rib = std::regex_replace(rib, std::regex("\nFormat [^\n]*"), "\nFormat 12 10 1");
    return std::regex_replace(rib, std::regex("\nPixelSamples [^\n]*"), "\nPixelSamples 2 2");
}

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// Console text without what changes from run to run: times and addresses.
std::string stableText(const std::string& text) {
    std::string result = std::regex_replace(text, std::regex("[0-9]+\\.[0-9]+ sec\\."), "T sec.");
    return std::regex_replace(result, std::regex("@[0-9a-f]+"), "@ADDRESS");
}

// Runs without any of the controls write what they wrote before the controls
// existed, byte for byte.
TEST(ExperimentControls, RunsWithoutTheControlsAreUnchanged) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/whitted.txt", whittedScene);
    writeWholeFile(dir + "/cornell.rib", pathTracedScene());
    CommandResult whitted = runVelk(dir, "whitted.txt -o w.ppm");
    ASSERT_EQ(whitted.status, 0);
    CommandResult pathTraced = runVelk(dir, "cornell.rib -seed 7 -o p.ppm");
    ASSERT_EQ(pathTraced.status, 0);
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/w.ppm")), 4815357115773803905ull);
    EXPECT_EQ(fnv1a(stableText(whitted.out)), 6623775037252056481ull);
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/p.ppm")), 7575832996178412997ull);
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/radImage.im")), 3731047320428451206ull);
    EXPECT_EQ(fnv1a(stableText(pathTraced.out)), 12318190360801047163ull);
}

}  // namespace
