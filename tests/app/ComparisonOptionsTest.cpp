// "-reference", "-log" and "-imgdiff": error figures of whole renders and of
// images, run through the velk executable on tiny scenes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "image/HPointImage.h"
#include "tests/TestSupport.h"

namespace {

class ComparisonOptionsTest : public ::testing::Test {
protected:
    std::string folder = makeScratchDir();

    // The console line that starts with start, or "".
    static std::string lineStarting(const std::string& text, const std::string& start) {
        size_t at = text.find(start);
        if (at == std::string::npos)
            return "";
        return text.substr(at, text.find('\n', at) - at);
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    static std::vector<std::string> fields(const std::string& line) {
        std::vector<std::string> result;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');)
            result.push_back(field);
        if (!line.empty() && line.back() == ',')
            result.push_back("");
        return result;
    }

    // The shipped 6 x 6 closed box (any renderer).
    void writeBox() {
        writeWholeFile(folder + "/box.xml",
                       readWholeFile(std::string(VELK_SOURCE_DIR) + "/scenes/consistency/closed_box.xml"));
    }
};

} // namespace

TEST_F(ComparisonOptionsTest, ARenderAgainstItsOwnRadianceIsExact) {
    writeBox();
    struct Case {
        const char* renderer;
        const char* budget;
    } cases[] = {
        {"pathTracing", "-set samplesPerPixel 4"},
        {"bidirectionalPathTracing", "-set samplesPerPixel 2"},
        {"metropolis", "-set mutationsPerPixel 20"},
        {"pathMetropolis", "-set mutationsPerPixel 20"},
        {"uberPathTracing", "-set samples 3"},
        {"spectralSample", "-set samplesPerPixel 5"},
        {"misPathTracing", "-set samplesPerPixel 3"},
    };
    for (const Case& c : cases) {
        const std::string base =
            "box.xml -seed 9 -renderer " + std::string(c.renderer) + " " + c.budget;
        CommandResult first = runVelk(folder, base + " -radiance own.im -o a.ppm");
        ASSERT_EQ(first.status, 0) << first.err;
        CommandResult second = runVelk(folder, base + " -reference own.im -o b.ppm");
        ASSERT_EQ(second.status, 0) << second.err;
        std::string line = lineStarting(second.out, "reference own.im: ");
        EXPECT_NE(
            line.find(
                ": MSE (over pixels and channels) 0, relMSE (mean of (x-r)^2/(r^2+0.01)) 0, mean "),
            std::string::npos)
            << c.renderer << "\n"
            << second.out;
        EXPECT_NE(line.find(" sec., efficiency 1/(MSE*time) inf"), std::string::npos) << line;
        // The same picture as without the option.
        EXPECT_EQ(readWholeFile(folder + "/a.ppm"), readWholeFile(folder + "/b.ppm")) << c.renderer;
    }
}

TEST_F(ComparisonOptionsTest, ReferencesThatCannotBeUsed) {
    writeBox();
    writeWholeFile(folder + "/text.im", "P3\n1 1\n255\n0 0 0\n");
    HPointImage wrongSize(3, 4);
    ASSERT_TRUE(wrongSize.write((folder + "/small.im").c_str()));
    HPointImage right(6, 6);
    ASSERT_TRUE(right.write((folder + "/right.im").c_str()));
    struct Case {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"-reference text.im", "-reference text.im: no PNM-HPOINT image (.im) that could be read; "
                               "nothing is compared.\n"},
        {"-reference none.im", "-reference none.im: no PNM-HPOINT image (.im) that could be read; "
                               "nothing is compared.\n"},
        {"-reference small.im",
         "-reference small.im: the reference is 3 x 4, the render 6 x 6; nothing is compared.\n"},
        {"-renderer rayTracing -reference right.im",
         "-reference: the renderer gave no floating-point result of the reference's size; nothing "
         "is compared.\n"},
        {"-log never.csv",
         "-log: this renderer does not refine the whole image as it goes; no log is written.\n"},
    };
    for (const Case& c : cases) {
        CommandResult run = runVelk(folder, "box.xml -seed 1 -set samplesPerPixel 1 -o a.ppm " +
                                                std::string(c.arguments));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.arguments << "\n" << run.out;
        EXPECT_EQ(run.out.find("efficiency"), std::string::npos) << c.arguments;
    }
    EXPECT_FALSE(fileExists(folder + "/never.csv"));
}

TEST_F(ComparisonOptionsTest, LogRowsEndWithTheFinalError) {
    writeBox();
    ASSERT_EQ(
        runVelk(folder, "box.xml -seed 2 -set samplesPerPixel 64 -radiance ref.im -o r.ppm").status,
        0);
    struct Case {
        const char* renderer;
        const char* budget;
        const char* header;
        const char* lastCount;
    } cases[] = {
        {"metropolis", "-set mutationsPerPixel 30", "seconds,steps,mse,relMSE,mean,referenceMean",
         "1080"},
        {"pathMetropolis", "-set mutationsPerPixel 30",
         "seconds,steps,mse,relMSE,mean,referenceMean", "1080"},
        {"uberPathTracing", "-set samples 5", "seconds,samples,mse,relMSE,mean,referenceMean", "5"},
        {"uberPathTracing", "-set samples 5 -set maxDepth 3 -set renderMode mlt",
         "seconds,steps,mse,relMSE,mean,referenceMean", "180"},
        // Its passes end with a snapshot: the last is the finished image itself.
        {"spectralSample", "-set samplesPerPixel 7", "seconds,samples,mse,relMSE,mean,referenceMean",
         "7"},
    };
    for (const Case& c : cases) {
        std::remove((folder + "/log.csv").c_str());
        const std::string base =
            "box.xml -seed 3 -o m.ppm -renderer " + std::string(c.renderer) + " " + c.budget;
        CommandResult run = runVelk(folder, base + " -reference ref.im -log log.csv");
        ASSERT_EQ(run.status, 0) << run.err;
        // Once more without the reference: rows without error figures, no second header.
        ASSERT_EQ(runVelk(folder, base + " -log log.csv").status, 0);
        std::vector<std::string> rows = lines(readWholeFile(folder + "/log.csv"));
        ASSERT_GE(rows.size(), 3u) << c.renderer;
        EXPECT_EQ(rows[0], c.header) << c.renderer;
        // The last row of the first run is the finished image: the -reference line's MSE.
        size_t second = rows.size() - 1;
        while (second > 1 && fields(rows[second - 1])[2].empty())
            second--;
        std::vector<std::string> last = fields(rows[second - 1]);
        ASSERT_EQ(last.size(), 6u) << rows[second - 1];
        EXPECT_EQ(last[1], c.lastCount) << c.renderer;
        std::string line = lineStarting(run.out, "reference ref.im: ");
        EXPECT_NE(line.find("MSE (over pixels and channels) " + last[2] + ","), std::string::npos)
            << c.renderer << " " << rows[second - 1] << "\n"
            << line;
        EXPECT_NE(line.find("reference mean " + last[5] + ","), std::string::npos) << line;
        for (size_t k = second; k < rows.size(); k++) {
            std::vector<std::string> row = fields(rows[k]);
            ASSERT_EQ(row.size(), 6u) << rows[k];
            EXPECT_TRUE(row[2].empty() && row[5].empty()) << rows[k];
        }
        EXPECT_EQ(fields(rows.back())[1], c.lastCount) << c.renderer;
    }
}

TEST_F(ComparisonOptionsTest, ImageDifferenceOfTwoFiles) {
    HPointImage a(2, 1), b(2, 1);
    a.pixels[0] = HPoint(1, 1, 1, 1);
    b.pixels[1] = HPoint(0.5f, 0, 0, 1);
    ASSERT_TRUE(a.write((folder + "/a.im").c_str()));
    ASSERT_TRUE(b.write((folder + "/b.im").c_str()));
    CommandResult run = runVelk(folder, "-imgdiff a.im b.im error.ppm");
    EXPECT_EQ(run.status, 0);
    // Squared differences 1, 1, 1, 0.25 over six values; relative: 100 each, 0.25 / 0.26.
    EXPECT_NE(
        run.out.find(
            "imgdiff a.im against b.im: MSE (over pixels and channels) 0.541667, relMSE (mean of "
            "(x-r)^2/(r^2+0.01)) 50.1603, mean 0.5, reference mean 0.0833333\n"),
        std::string::npos)
        << run.out;
    EXPECT_TRUE(fileExists(folder + "/error.ppm"));
    // Without a picture, and with files that cannot be used.
    EXPECT_EQ(runVelk(folder, "-imgdiff a.im b.im").status, 0);
    CommandResult missing = runVelk(folder, "-imgdiff a.im none.im");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("-imgdiff: 'none.im' is no PNM-HPOINT image that could be read\n"),
              std::string::npos);
    HPointImage wide(3, 1);
    ASSERT_TRUE(wide.write((folder + "/wide.im").c_str()));
    CommandResult sizes = runVelk(folder, "-imgdiff a.im wide.im");
    EXPECT_EQ(sizes.status, 1);
    EXPECT_NE(sizes.out.find("-imgdiff: the images are not the same size (2 x 1 and 3 x 1)\n"),
              std::string::npos);
}
