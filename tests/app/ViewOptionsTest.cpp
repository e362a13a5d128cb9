#include "app/ViewOptions.h"

#include <gtest/gtest.h>

#include <string>

#include "io/obj/ObjReader.h"
#include "tests/TestSupport.h"

namespace {

// A native scene with a 4 x 4 view of a sphere, and one without a view.
std::string folderWithScenes() {
    std::string dir = makeScratchDir();
    const std::string sphere = "sphere { center 0 0 0 radius 1 diffuse_color 1 1 1 }\n";
    writeWholeFile(dir + "/view.txt", "view { view_from_pt 0 0 5 view_to_pt 0 0 0 view_up_vec 0 1 0 "
                                      "fovy 0.5 image_size 4 4 }\n" + sphere);
    writeWholeFile(dir + "/noview.txt", sphere);
    return dir;
}

TEST(ViewOptions, BadValuesAreRefusedWithALine) {
    std::string dir = folderWithScenes();
    struct Case {
        const char* options;
        int status;
        const char* printed;  // on standard output, or on standard error for status 1
    };
    const Case cases[] = {
        {"-lookAt 1 2 3 0 0 0 0 1", 1, "Index Out Of Bounds"},
        {"-fov", 1, "Index Out Of Bounds"},
        {"-lookAt 1 2 x 0 0 0 0 1 0", 2, "-lookAt: 'x' is no number; give EX EY EZ TX TY TZ UX UY UZ\n"},
        {"-lookAt 1 1 1 1 1 1 0 1 0", 2, "-lookAt: the eye is on the target; there is no direction to look in\n"},
        {"-lookAt 0 0 5 0 0 0 0 0 2", 2, "-lookAt: the up vector 0 0 2 is zero or along the view\n"},
        {"-lookAt 0 0 5 0 0 0 0 0 0", 2, "-lookAt: the up vector 0 0 0 is zero or along the view\n"},
        {"-fov 0", 2, "-fov: 0 degrees is outside the open range 0 .. 180\n"},
        {"-fov 180", 2, "-fov: 180 degrees is outside the open range 0 .. 180\n"},
        {"-fov 30deg", 2, "-fov: '30deg' is no number of degrees\n"},
        {"-fov nan", 2, "-fov: 'nan' is no number of degrees\n"},
    };
    for (const Case& c : cases) {
        // Last, so that a missing value is missing.
        CommandResult result = runVelk(dir, std::string("view.txt -o f.ppm ") + c.options);
        EXPECT_EQ(c.status, result.status) << c.options;
        const std::string& stream = c.status == 1 ? result.err : result.out;
        EXPECT_NE(std::string::npos, stream.find(c.printed)) << c.options << ": " << stream;
        if (c.status == 2) {
            EXPECT_NE(std::string::npos, result.err.find("ERROR! a view option was refused; nothing rendered\n"));
        }
        EXPECT_FALSE(fileExists(dir + "/f.ppm")) << c.options;
    }
}

TEST(ViewOptions, LookAtAndFovSetTheViewOfAnyScene) {
    std::string dir = folderWithScenes();
    // The scene's camera takes the view; the fov alone keeps the scene's eye.
    CommandResult both = runVelk(dir, "view.txt -lookAt 1 2 3 0 0 0 0 1 0 -fov 90 -settings -o f.ppm");
    EXPECT_EQ(0, both.status) << both.out;
    EXPECT_NE(std::string::npos,
              both.out.find("from = 1 2 3\nto = 0 0 0\nup = 0 1 0\nfovy = 1.5707964 (radians)\n"));
    CommandResult fov = runVelk(dir, "view.txt -fov 90 -settings -o f.ppm");
    EXPECT_NE(std::string::npos, fov.out.find("from = 0 0 5\nto = 0 0 0\nup = 0 1 0\nfovy = 1.5707964 (radians)\n"));
    // Without a camera a view option makes one: the ray tracer, framed.
    CommandResult made = runVelk(dir, "noview.txt -fov 90 -size 4 4 -settings -o f.ppm");
    EXPECT_EQ(0, made.status) << made.out << made.err;
    EXPECT_NE(std::string::npos,
              made.out.find("The scene has no camera: rayTracing renders it (-renderer chooses another)\n"));
    EXPECT_NE(std::string::npos, made.out.find("from = 0 0 2\nto = 0 0 0\nup = 0 1 0\nfovy = 1.5707964 (radians)\n"))
        << made.out;
    // ...and without one nothing is rendered, as before.
    EXPECT_EQ(2, runVelk(dir, "noview.txt -o f.ppm").status);
}

TEST(ViewOptions, AnObjSceneNamesItsRendererOnlyWhenNoneIsChosen) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/t.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    CommandResult chosen = runVelk(dir, "t.obj -renderer instantRadiosity -size 2 2 -settings -o f.ppm");
    EXPECT_EQ(0, chosen.status) << chosen.out << chosen.err;
    EXPECT_EQ(std::string::npos, chosen.out.find("The scene has no camera"));
    EXPECT_NE(std::string::npos, chosen.out.find("RENDERER SETTINGS: instantRadiosity"));
    // The framed view: the unit triangle's box from +z, at the default 40 degrees.
    EXPECT_NE(std::string::npos, chosen.out.find("to = 0.5 0.5 0\nup = 0 1 0\nfovy = 0.69813174 (radians)\n"))
        << chosen.out;
}

}  // namespace
