#include "shading/SpectralBsdf.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "geometry/GRay.h"
#include "geometry/HitRecord.h"
#include "shading/SpectralData.h"
#include "tests/TestSupport.h"

namespace {

const double pi = 3.141592653589793;

// The chi-square critical value for k degrees of freedom at significance
// 0.001 (z = 3.0902), by the Wilson-Hilferty approximation.
double chiSquareCritical(int k) {
    double a = 2.0 / (9.0 * k);
    return k * std::pow(1.0 - a + 3.0902 * std::sqrt(a), 3.0);
}

// Sampled directions against the BSDF's own density: bins over the sphere
// in (cos theta about the normal, phi); the expected share of a bin is its
// density integrated on a fine grid (evaluate's pdf times solid angle).
// Bins expecting fewer than 5 samples are pooled.
void expectSamplesFollowTheDensity(SpectralBsdf& bsdf, const HPoint& incoming, int samples) {
    const HPoint normal(0, 1, 0, 1);
    HPoint t1, t2;
    localFrame(normal, t1, t2);
    const int cosBins = 12, phiBins = 12;
    std::vector<double> observed(cosBins * phiBins, 0.0), expected(cosBins * phiBins, 0.0);
    auto binOf = [&](const HPoint& d) {
        double c = d.dot(normal);
        double phi = std::atan2(d.dot(t2), d.dot(t1)) + pi;
        int ci = std::min(cosBins - 1, (int)((c + 1.0) / 2.0 * cosBins));
        int pi_ = std::min(phiBins - 1, (int)(phi / (2 * pi) * phiBins));
        return ci * phiBins + pi_;
    };
    seedRandom(2024);
    int drawn = 0;
    for (int k = 0; k < samples; k++) {
        HPoint out;
        double pdf, value;
        double u1 = uniform01(), u2 = uniform01();
        if (!bsdf.sample(incoming, out, normal, 100, pdf, value, u1, u2, false)) continue;
        observed[binOf(out)] += 1.0;
        drawn++;
    }
    ASSERT_GT(drawn, samples / 2);
    // The density integrated over each bin, by a 16 x 16 grid of sub-cells.
    const int sub = 16;
    double total = 0.0;
    for (int ci = 0; ci < cosBins; ci++)
        for (int pj = 0; pj < phiBins; pj++)
            for (int a = 0; a < sub; a++)
                for (int b = 0; b < sub; b++) {
                    double c = -1.0 + 2.0 * (ci + (a + 0.5) / sub) / cosBins;
                    double phi = -pi + 2.0 * pi * (pj + (b + 0.5) / sub) / phiBins;
                    double s = std::sqrt(1.0 - c * c);
                    HPoint d = t1.scaled((float)(s * std::cos(phi))).sum(t2.scaled((float)(s * std::sin(phi))));
                    d = d.sum(normal.scaled((float)c));
                    double pdf, value;
                    if (!bsdf.evaluate(incoming, d, normal, 100, pdf, value) || pdf < 0.0) continue;
                    double solidAngle = (2.0 / cosBins / sub) * (2.0 * pi / phiBins / sub);
                    expected[ci * phiBins + pj] += pdf * solidAngle;
                    total += pdf * solidAngle;
                }
    double statistic = 0.0, pooledObserved = 0.0, pooledExpected = 0.0;
    int used = 0;
    for (size_t bin = 0; bin < observed.size(); bin++) {
        double e = expected[bin] / total * drawn;
        if (e < 5.0) {
            pooledObserved += observed[bin];
            pooledExpected += e;
            continue;
        }
        statistic += (observed[bin] - e) * (observed[bin] - e) / e;
        used++;
    }
    if (pooledExpected >= 5.0) {
        statistic += (pooledObserved - pooledExpected) * (pooledObserved - pooledExpected) / pooledExpected;
        used++;
    }
    EXPECT_LT(statistic, chiSquareCritical(used - 1)) << "bins " << used;
}

// The integral of evaluate's density over the hemisphere above the normal.
double hemisphereIntegral(SpectralBsdf& bsdf, const HPoint& incoming) {
    const HPoint normal(0, 1, 0, 1);
    HPoint t1, t2;
    localFrame(normal, t1, t2);
    const int n = 400;
    double sum = 0.0;
    for (int a = 0; a < n; a++)
        for (int b = 0; b < n; b++) {
            double c = (a + 0.5) / n, phi = 2.0 * pi * (b + 0.5) / n, s = std::sqrt(1.0 - c * c);
            HPoint d = t1.scaled((float)(s * std::cos(phi))).sum(t2.scaled((float)(s * std::sin(phi))));
            d = d.sum(normal.scaled((float)c));
            double pdf, value;
            if (bsdf.evaluate(incoming, d, normal, 100, pdf, value) && pdf > 0.0)
                sum += pdf * (1.0 / n) * (2.0 * pi / n);
        }
    return sum;
}

TEST(SpectralBsdfTest, SamplesFollowTheirOwnDensity) {
    HPoint incoming(0.4f, -1.0f, 0.2f, 1.0f);
    incoming.normalize();
    LambertianBsdf lambertian;
    for (double& r : lambertian.spectrum) r = 0.8;
    expectSamplesFollowTheDensity(lambertian, incoming, 40000);
    EXPECT_LE(hemisphereIntegral(lambertian, incoming), 1.0 + 1e-3);
    EXPECT_NEAR(hemisphereIntegral(lambertian, incoming), 1.0, 1e-3);

    AshikhminBsdf ashikhmin;
    for (double& r : ashikhmin.spectrum) r = 0.9;
    ashikhmin.nu = 8;
    ashikhmin.nv = 40;
    expectSamplesFollowTheDensity(ashikhmin, incoming, 40000);
    EXPECT_LE(hemisphereIntegral(ashikhmin, incoming), 1.0 + 1e-2);

    UniformScatteringBsdf uniform;
    expectSamplesFollowTheDensity(uniform, incoming, 20000);
}

TEST(SpectralBsdfTest, ClosedFormValues) {
    const HPoint up(0, 1, 0, 1), down(0, -1, 0, 1);
    // Below the surface a Lambertian has no density.
    LambertianBsdf lambertian;
    double pdf, value;
    EXPECT_FALSE(lambertian.evaluate(down, down, up, 0, pdf, value));
    EXPECT_EQ(pdf, -1.0);
    EXPECT_EQ(value, 0.0);
    // A dielectric of index 1.5 at normal incidence reflects 4 %.
    DielectricBsdf glass;
    HPoint out;
    ASSERT_TRUE(glass.sample(down, out, up, 100, pdf, value, 0.0, 0.5, false));
    EXPECT_NEAR(value, 0.04, 1e-6);
    EXPECT_NEAR(out.y, 1.0f, 1e-6f);
    ASSERT_TRUE(glass.sample(down, out, up, 100, pdf, value, 0.5, 0.5, false));
    EXPECT_NEAR(value, 0.96, 1e-6);
    EXPECT_NEAR(out.y, -1.0f, 1e-6f);
    // Grazing from inside: total internal reflection, whatever u1 says.
    HPoint grazing(0.9f, -0.2f, 0.0f, 1.0f);
    grazing.normalize();
    ASSERT_TRUE(glass.sample(grazing, out, up, 100, pdf, value, 0.999, 0.5, true));
    EXPECT_EQ(value, 1.0);
    EXPECT_GT(out.y, 0.0f);
    EXPECT_FALSE(glass.evaluate(down, up, up, 100, pdf, value));
    // Every event weighs value / pdf x |cos out| = 1 (the camera's weight),
    // refractions at 60 degrees from outside and 5 degrees from inside too.
    const double angles[2] = {60.0, 5.0};
    for (int side = 0; side < 2; side++)
        for (double u1 : {0.0, 0.999}) {
            double a = angles[side] * pi / 180.0;
            HPoint oblique((float)std::sin(a), (float)-std::cos(a), 0.0f, 1.0f);
            ASSERT_TRUE(glass.sample(oblique, out, up, 100, pdf, value, u1, 0.5, side == 1));
            EXPECT_NEAR(value / pdf * std::fabs(out.y), 1.0, 1e-5) << angles[side] << " " << u1;
        }
    // Rayleigh: forward and backward twice as likely as sideways.
    RayleighScatteringBsdf rayleigh;
    double forward, side, backward;
    rayleigh.evaluate(down, down, up, 0, pdf, forward);
    rayleigh.evaluate(down, HPoint(1, 0, 0, 1), up, 0, pdf, side);
    rayleigh.evaluate(down, up, up, 0, pdf, backward);
    EXPECT_NEAR(forward / side, 2.0, 1e-6);
    EXPECT_NEAR(backward / side, 2.0, 1e-6);
    EXPECT_NEAR(pdf, 1.0 / (4.0 * pi), 1e-9);
    rayleigh.setExtinctionAt400(0.5);
    EXPECT_NEAR(rayleigh.spectrum[0], 0.5, 1e-12);
    // Colours: black stays black, a bright white is white.
    const double black[3] = {0, 0, 0}, bright[3] = {1e6, 1e6, 1e6};
    HPoint rgb = xyzToRgb(black);
    EXPECT_EQ(rgb.x + rgb.y + rgb.z, 0.0f);
    EXPECT_EQ(rgb.w, 1.0f);
    rgb = xyzToRgb(bright);
    EXPECT_EQ(rgb.x, 1.0f);
    EXPECT_EQ(rgb.y, 1.0f);
    EXPECT_EQ(rgb.z, 1.0f);
}

// The uniform medium's free flights are exponential: their mean is 1 / sigma,
// with a standard error of (1 / sigma) / sqrt(n).
TEST(SpectralBsdfTest, MeanFreePathOfTheUniformMedium) {
    UniformScatteringBsdf medium;
    for (double& sigma : medium.spectrum) sigma = 2.5;
    for (double& albedo : medium.albedo) albedo = 0.6;
    seedRandom(77);
    GRay ray(0, HPoint(0, 0, 0, 1), HPoint(0, 0, 1, 1));
    const int n = 20000;
    double sum = 0.0;
    int events = 0, scattered = 0;
    for (int k = 0; k < n; k++) {
        HitRecord hit;
        hit.t = FLT_MAX;
        int event = medium.freeFlight(ray, hit, 10);
        if (event == 0) continue;
        events++;
        if (event == 1) scattered++;
        sum += hit.t;
        EXPECT_NEAR(hit.point.z, hit.t, 1e-4f * hit.t + 1e-6f);
    }
    ASSERT_GT(events, n - 10);
    EXPECT_NEAR(sum / events, 1.0 / 2.5, 4.0 * (1.0 / 2.5) / std::sqrt((double)events));
    double rate = (double)scattered / events;
    EXPECT_NEAR(rate, 0.6, 4.0 * std::sqrt(0.6 * 0.4 / events));
    // A surface nearer than the flight comes first.
    HitRecord near;
    near.t = 1e-9f;
    EXPECT_EQ(medium.freeFlight(ray, near, 10), 0);
}

class SpectrumFileTest : public ::testing::Test {
protected:
    std::string folder = makeScratchDir();
    double values[spectrumSamples];
    std::string out;
    void load(const std::string& name, const std::string& text) {
        if (!text.empty()) writeWholeFile(folder + "/" + name, text);
        ::testing::internal::CaptureStdout();
        loadSpectrum(values, (folder + "/" + name).c_str());
        out = ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(SpectrumFileTest, InterpolationAndRanges) {
    std::string tenNm = "400 700 10\n";
    for (int k = 0; k <= 30; k++) tenNm += std::to_string(k) + " ";
    load("ten.spec", tenNm);
    EXPECT_EQ(out, folder + "/ten.spec\n");
    EXPECT_DOUBLE_EQ(values[0], 0.0);
    EXPECT_DOUBLE_EQ(values[13], 1.3);
    EXPECT_DOUBLE_EQ(values[300], 30.0);
    // 380 .. 720 in steps of 20: 400, 420, ... 700 fill the grid.
    std::string twentyNm = "380 720 20\n";
    for (int w = 380; w <= 720; w += 20) twentyNm += std::to_string(w) + " ";
    load("twenty.spec", twentyNm);
    EXPECT_DOUBLE_EQ(values[0], 400.0);
    EXPECT_DOUBLE_EQ(values[10], 410.0);
    EXPECT_DOUBLE_EQ(values[300], 700.0);
    load("single.spec", "550 550 1\n2.5\n");
    int set = 0;
    for (double v : values) set += v != 0.0;
    EXPECT_EQ(set, 1);
    EXPECT_DOUBLE_EQ(values[150], 2.5);
    // Past the file's end the last value stands; a header that asks for
    // billions of samples ends at 700 nm.
    load("short.spec", "400 700 100\n1 2\n");
    EXPECT_DOUBLE_EQ(values[100], 2.0);
    EXPECT_DOUBLE_EQ(values[300], 2.0);
    EXPECT_DOUBLE_EQ(values[150], 2.0);
    load("huge.spec", "-2000000000 2000000000 1\n7\n");
    EXPECT_DOUBLE_EQ(values[0], 7.0);
    EXPECT_DOUBLE_EQ(values[300], 7.0);
    load("missing.spec", "");
    EXPECT_EQ(out, folder + "/missing.spec\nbad file name " + folder + "/missing.spec\n");
    EXPECT_EQ(values[0], 0.0);
}

TEST_F(SpectrumFileTest, PipesAndFoldersAreNoSpectrumFiles) {
    // Opening a pipe to look at it waited for a writer for ever.
    ASSERT_EQ(0, mkfifo((folder + "/pipe.spec").c_str(), 0600));
    ASSERT_EQ(0, mkdir((folder + "/dir.spec").c_str(), 0700));
    for (const char* name : {"pipe.spec", "dir.spec"}) {
        load(name, "");
        EXPECT_EQ(out, folder + "/" + name + "\nbad file name " + folder + "/" + name + "\n");
        EXPECT_EQ(values[0], 0.0);
    }
}

// The shipped colour-matching functions: the sum of ybar over 400 - 700 nm
// in 1 nm steps is 106.796 (the CIE table's values; 106.857 over
// 380 - 780 nm); a flat spectrum gives a neutral colour.
TEST_F(SpectrumFileTest, ShippedColourMatchingFunctions) {
    double x[spectrumSamples], y[spectrumSamples], z[spectrumSamples];
    const std::string base = std::string(VELK_SOURCE_DIR) + "/spectra/";
    ::testing::internal::CaptureStdout();
    loadSpectrum(x, (base + "xbar.spec").c_str());
    loadSpectrum(y, (base + "ybar.spec").c_str());
    loadSpectrum(z, (base + "zbar.spec").c_str());
    ::testing::internal::GetCapturedStdout();
    double sumY = 0.0, xyz[3] = {0, 0, 0};
    for (int i = 0; i < spectrumSamples; i++) {
        sumY += y[i];
        addWavelength(xyz, x, y, z, i, 1.0 / spectrumSamples);
    }
    EXPECT_NEAR(sumY, 106.796, 106.796 * 0.001);
    EXPECT_DOUBLE_EQ(y[155], 1.0);  // 555 nm
    HPoint rgb = xyzToLinearRgb(xyz);
    EXPECT_NEAR(rgb.x / rgb.y, 1.0, 0.01);
    EXPECT_NEAR(rgb.z / rgb.y, 1.0, 0.01);
}

}  // namespace
