#include "render/PathMetropolisCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/HPointImage.h"
#include "tests/TestSupport.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// Beside a lamp 0.4 wide at height 1.5 a table top (a single-sided quad at
// height 0.5) shades the floor that the camera sees, low from the side.
const char* const tableScene =
    "<camera name='c' resx='4' resy='4' focal='0.05'><from x='1.3' y='0.15' z='0'/><to x='0' y='0' z='0'/><up x='0' y='1' z='0'/></camera>"
    "<render camera_name='c'><rendertype value='pathMetropolis'/></render>"
    "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/><emissive r='5' g='5' b='5'/></attributes></shader>"
    "<object shader_name='floor'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/><p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='floor'><mesh><points><p x='-0.5' y='0.5' z='-0.5'/><p x='-0.5' y='0.5' z='0.5'/><p x='0.5' y='0.5' z='0.5'/><p x='0.5' y='0.5' z='-0.5'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='lamp'><mesh><points><p x='-0.2' y='1.5' z='-0.2'/><p x='0.2' y='1.5' z='-0.2'/><p x='0.2' y='1.5' z='0.2'/><p x='-0.2' y='1.5' z='0.2'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";

// A diffuse sphere of radius 0.5 resting on a diffuse floor under a lamp.
const char* const sphereScene =
    "<camera name='c' resx='8' resy='8' focal='0.8'><from x='2' y='0.8' z='2'/><to x='0' y='0.3' z='0'/><up x='0' y='1' z='0'/></camera>"
    "<render camera_name='c'><rendertype value='pathMetropolis'/></render>"
    "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='ball'><attributes><color r='0.7' g='0.7' b='0.7'/></attributes></shader>"
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/><emissive r='20' g='20' b='20'/></attributes></shader>"
    "<object shader_name='floor'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/><p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='ball'><sphere radius='0.5'><center x='0' y='0.5' z='0'/></sphere></object>"
    "<object shader_name='lamp'><mesh><points><p x='-0.3' y='1.5' z='-0.3'/><p x='0.3' y='1.5' z='-0.3'/><p x='0.3' y='1.5' z='0.3'/><p x='-0.3' y='1.5' z='0.3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";

// A lamp under a small mirror that throws a caustic onto the floor: eye,
// floor, mirror, lamp is found by few fresh walks and no lens move.
const char* const causticScene =
    "<camera name='c' resx='8' resy='8' focal='0.6'><from x='0' y='1.4' z='2.5'/><to x='0' y='0' z='0'/><up x='0' y='1' z='0'/></camera>"
    "<render camera_name='c'><rendertype value='pathMetropolis'/></render>"
    "<shader type='generic' name='floorA'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='floorB'><attributes><color r='0.5' g='0.5' b='0.5'/><specular r='0.5' g='0.5' b='0.5'/><reflected r='0.5' g='0.5' b='0.5'/></attributes></shader>"
    "<shader type='generic' name='mirror'><attributes><color r='0' g='0' b='0'/><specular r='1' g='1' b='1'/><reflected r='1' g='1' b='1'/></attributes></shader>"
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/><emissive r='10' g='10' b='10'/></attributes></shader>"
    "<object shader_name='floorA'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/><p x='0' y='0' z='3'/><p x='0' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='floorA'><mesh><points><p x='0' y='0' z='-3'/><p x='0' y='0' z='3'/><p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='mirror'><mesh><points><p x='-0.4' y='2' z='-0.4'/><p x='0.4' y='2' z='-0.4'/><p x='0.4' y='2' z='0.4'/><p x='-0.4' y='2' z='0.4'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
    "<object shader_name='lamp'><mesh><points><p x='-0.15' y='1' z='-0.15'/><p x='0.15' y='1' z='-0.15'/><p x='0.15' y='1' z='0.15'/><p x='-0.15' y='1' z='0.15'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";

double luminance(const HPoint& p) { return 0.299 * p.x + 0.587 * p.y + 0.114 * p.z; }

struct Region {
    int x0, y0, x1, y1;  // columns x0 .. x1 - 1, rows y0 .. y1 - 1
};

class PathMetropolisRun : public ::testing::Test {
protected:
    std::string folder = makeScratchDir();

    // Mean luminance over the region of the image a run leaves, minus the
    // seed layer for the chain layer alone.
    double regionMean(const std::string& arguments, Region r, bool chainOnly, std::string* out = nullptr) {
        CommandResult run = runVelk(folder, "scene.xml " + arguments + " -radiance m.im -o m.ppm");
        EXPECT_EQ(run.status, 0) << run.err;
        if (out) *out = run.out;
        HPointImage image, seed;
        EXPECT_TRUE(image.read((folder + "/m.im").c_str()));
        if (chainOnly) {
            EXPECT_TRUE(seed.read((folder + "/radImage.im").c_str()));
        }
        double sum = 0.0;
        for (int y = r.y0; y < r.y1; y++)
            for (int x = r.x0; x < r.x1; x++) {
                HPoint p = image.at(x, y);
                if (chainOnly) p.subtract(seed.at(x, y));
                sum += luminance(p);
            }
        return sum / ((r.x1 - r.x0) * (r.y1 - r.y0));
    }
};

// The light of a lamp above a single-sided table top does not pass through
// it: the floor beneath, which sees only the table's underside, receives
// no one-bounce light at all.
TEST_F(PathMetropolisRun, NoLightThroughTheUndersideOfATable) {
    writeWholeFile(folder + "/scene.xml", tableScene);
    for (int seed : {3, 4}) {
        double chain = regionMean("-seed " + std::to_string(seed) + " -set mutationsPerPixel 500", {0, 0, 4, 4}, true);
        EXPECT_EQ(chain, 0.0) << seed;
    }
}

// The lens move turns the primary direction, which the fresh paths sample
// uniformly on the image plane: without its transition factor the chain
// piles up on the sphere's upper half (60 % too bright there). The region
// means of K runs with different seeds are compared with the path tracer's
// one-bounce light: the difference lies within t sqrt(s1^2 / K + s2^2 / K),
// t = 4.78 the two-sided 99.9 % quantile of Student's t for 9 degrees of
// freedom.
TEST_F(PathMetropolisRun, LensMovesKeepTheOneBounceLightOfASphereOnAFloor) {
    writeWholeFile(folder + "/scene.xml", sphereScene);
    const int K = 10;
    const Region upperHalf{2, 5, 6, 7};
    Estimates chain, pathTracer;
    for (int k = 0; k < K; k++) {
        std::string seed = "-seed " + std::to_string(300 + k);
        chain.values.push_back(regionMean(seed + " -set mutationsPerPixel 300", upperHalf, true));
        pathTracer.values.push_back(regionMean(
            seed + " -renderer pathTracing -set maxRayDepth 2 -set samplesPerPixel 300", upperHalf, false));
    }
    double tolerance = 4.78 * std::sqrt(chain.variance() / K + pathTracer.variance() / K);
    EXPECT_NEAR(chain.mean(), pathTracer.mean(), tolerance);
}

// A proposal that fails is a rejection: the chain records its path again,
// so after the first accepted path every step adds luminance 1 and the
// chain layer's image mean is b times the share of those steps. The
// caustic paths here fail a lens move every third step and most fresh
// walks, so a chain restarted after ten failures in a row lost about 2 %
// of its steps; the start-up, a few hundred of 160000 steps, stays below
// 0.5 %.
TEST_F(PathMetropolisRun, FailedProposalsKeepTheChainWhereItIs) {
    writeWholeFile(folder + "/scene.xml", causticScene);
    std::string out;
    double chain = regionMean("-seed 7 -size 4 4 -set minDepth 3 -set maxDepth 3 -set mutationsPerPixel 10000",
                              {0, 0, 4, 4}, true, &out);
    size_t at = out.find("normalisation b = ");
    ASSERT_NE(at, std::string::npos) << out;
    double b = std::atof(out.c_str() + at + 18);
    ASSERT_GT(b, 0.0);
    EXPECT_GT(chain / b, 0.995);
    EXPECT_LE(chain / b, 1.0 + 1e-4);
}

}  // namespace
