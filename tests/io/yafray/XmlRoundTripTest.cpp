// What the XML exporter writes reads back: a native scene exported and
// rendered from the XML file gives the native scene's image; mesh exports
// and converted PLY fragments read back as meshes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "geometry/GBoundingBox.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"
#include "image/ColorImage.h"
#include "io/ply/PlyConverter.h"
#include "io/yafray/YafrayParser.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

const char* const nativeScene =
    "view {\n"
    "  view_from_pt 0 1.5 6\n  view_to_pt 0 0.5 0\n  view_up_vec 0 1 0\n  fovy 0.8\n"
    "  image_size 48 36\n  background_color 0.1 0.2 0.3\n  ambient_color 0.2 0.2 0.2\n"
    "  tree_depth 4\n"
    "}\n"
    "sphere { center 0 -100 0 radius 99.5 diffuse_color 0.7 0.7 0.7 }\n"
    "sphere { center -1 0.5 0 radius 0.75 diffuse_color 0.9 0.1 0.1 specular_color 0.5 0.5 0.5"
    "  phong_constant 30 ambient_color 0.3 0.1 0.1 }\n"
    "sphere { center 1 0.5 -0.5 radius 0.75 diffuse_color 0.1 0.1 0.1 reflectivity 0.8 0.8 0.8 }\n"
    "sphere { center 0.2 0.4 1.2 radius 0.4 diffuse_color 0 0 0 transmitivity 0.9 0.9 0.9"
    "  refraction 1.5 }\n"
    "point_light { location 2 4 3 emissive_color 20 20 20 }\n"
    "directional_light { direction -1 1 0.5 emissive_color 0.4 0.4 0.35 }\n";

// Largest difference of any channel of any pixel; -1 when the sizes differ.
int largestDifference(const std::string& a, const std::string& b) {
    ColorImage first, second;
    if (!first.readImage(a.c_str()) || !second.readImage(b.c_str())) return -1;
    if (first.width != second.width || first.height != second.height) return -1;
    int largest = 0;
    for (long long i = 0; i < (long long)first.width * first.height; i++) {
        unsigned p = first.pixels[i], q = second.pixels[i];
        for (int shift = 0; shift < 24; shift += 8) {
            int d = std::abs((int)((p >> shift) & 255) - (int)((q >> shift) & 255));
            if (d > largest) largest = d;
        }
    }
    return largest;
}

TEST(XmlRoundTripTest, ExportedNativeSceneRendersTheSameImage) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/scene.txt", nativeScene);
    CommandResult native = runVelk(dir, "scene.txt -o native.ppm");
    ASSERT_EQ(native.status, 0) << native.err;
    // Both ways of exporting: an output name ending in "l", and the tool.
    CommandResult exported = runVelk(dir, "scene.txt -o exported.xml");
    ASSERT_EQ(exported.status, 0) << exported.err;
    CommandResult tool = runVelk(dir, "-toVRML scene.txt tool.xml");
    ASSERT_EQ(tool.status, 0) << tool.err;
    for (const char* xml : {"exported.xml", "tool.xml"}) {
        CommandResult rendered = runVelk(dir, std::string(xml) + " -o fromxml.ppm");
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        EXPECT_EQ(rendered.out.find("XML PARSE...DONE\nSimpleRaytracingCamera@"), 0u) << rendered.out;
        EXPECT_EQ(rendered.err.find("XML Error"), std::string::npos) << xml;
        EXPECT_NE(rendered.out.find("scene objects: 4."), std::string::npos) << rendered.out;
        EXPECT_LE(largestDifference(dir + "/native.ppm", dir + "/fromxml.ppm"), 1) << xml;
        EXPECT_GE(largestDifference(dir + "/native.ppm", dir + "/fromxml.ppm"), 0) << xml;
    }
    // The picture is not trivially black or flat.
    ColorImage image;
    ASSERT_TRUE(image.readImage((dir + "/native.ppm").c_str()));
    EXPECT_NE(image.pixels[30 * image.width + 10], image.pixels[18 * image.width + 24]);
}

// Every renderer's export reads back as the same renderer with the same
// settings, planes and spot lights included: the XML renders the same bytes
// as the scene it came from, with the same seed, and nothing is left out.
TEST(XmlRoundTripTest, ExportsRenderTheSameBytesForEveryKindOfScene) {
    const std::string scenes = std::string(VELK_SOURCE_DIR) + "/scenes/";
    const std::string whitted =
        "view {\n  view_from_pt 0 2 7\n  view_to_pt 0 0.8 0\n  view_up_vec 0 1 0\n  fovy 0.7\n"
        "  image_size 40 30\n  background_color 0.1 0.2 0.3\n  ambient_color 0.1 0.1 0.1\n"
        "  tree_depth 2\n  subsampling 4\n  max_color_diff 10\n  gain 1.3\n}\n"
        "plane { origin 0 0 0 normal 0 1 0 diffuse_color 0.6 0.6 0.5 reflectivity 0.3 0.3 0.3 }\n"
        "sphere { center 0 1 0 radius 1 diffuse_color 0.1 0.1 0.1 reflectivity 0.8 0.8 0.8 }\n"
        "point_light { location 2 4 3 emissive_color 0.9 0.9 0.9 attenuation 0 0.1 0.5 }\n";
    // A checkered quad with texture coordinates, its texture beside it.
    std::string checker = "P6\n4 4\n255\n";
    for (int i = 0; i < 16; i++) checker += (i + i / 4) % 2 ? std::string("\xff\x28\x28") : std::string("\x28\x28\xff");
    const std::string textured =
        "<scene><camera name='c' resx='24' resy='24' focal='1'><from x='0' y='0' z='3'/><to x='0' y='0' z='0'/>"
        "<up x='0' y='1' z='0'/></camera><render camera_name='c'><rendertype value='rayTracing'/></render>"
        "<light type='pointlight' name='l'><from x='0' y='0' z='3'/><color r='1' g='1' b='1'/></light>"
        "<shader type='generic' name='t'><attributes><color r='1' g='1' b='1' texture_image='check.ppm'/>"
        "</attributes></shader><object shader_name='t'><mesh><points><p x='-1' y='-1' z='0' u='0' v='0'/>"
        "<p x='1' y='-1' z='0' u='1' v='0'/><p x='1' y='1' z='0' u='1' v='1'/><p x='-1' y='1' z='0' u='0' v='1'/>"
        "</points><faces><f a='0' b='1' c='2'/><f a='0' b='2' c='3'/></faces></mesh></object></scene>";
    struct Case {
        const char* name;
        std::string scene;  // the file's text
        const char* extension;
        const char* options;
        std::string texture = "";  // check.ppm beside the scene, when not empty
    } cases[] = {
        {"demo", readWholeFile(scenes + "demo.txt"), "txt", "-size 48 36"},
        {"whitted settings", whitted, "txt", ""},
        {"path tracing", readWholeFile(scenes + "cornell.xml"), "xml", "-size 12 12 -set samplesPerPixel 4"},
        {"bidirectional", readWholeFile(scenes + "cornell.xml"), "xml",
         "-size 10 10 -renderer bidirectionalPathTracing -set samplesPerPixel 2 -set maxEyeVertices 3"},
        {"texture", textured, "xml", "", checker},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = makeScratchDir();
        std::string scene = std::string("scene.") + c.extension;
        writeWholeFile(dir + "/" + scene, c.scene);
        if (!c.texture.empty()) writeWholeFile(dir + "/check.ppm", c.texture);
        std::string options = std::string(" -seed 7 ") + c.options;
        CommandResult direct = runVelk(dir, scene + options + " -o direct.ppm");
        ASSERT_EQ(direct.status, 0) << direct.err;
        CommandResult exported = runVelk(dir, scene + options + " -o exported.xml");
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.out.find("XML export:"), std::string::npos) << exported.out;
        CommandResult back = runVelk(dir, "exported.xml -seed 7 -o back.ppm");
        ASSERT_EQ(back.status, 0) << back.err;
        std::string directImage = readWholeFile(dir + "/direct.ppm");
        EXPECT_GT(directImage.size(), 20u);
        EXPECT_TRUE(directImage == readWholeFile(dir + "/back.ppm")) << readWholeFile(dir + "/exported.xml");
    }
}

// A mesh container's export, read back: same triangles, same corners.
void expectMeshReadsBack(GSceneObject* container, const JVector<GSceneObject>& written) {
    std::string dir = makeScratchDir();
    std::string path = dir + "/mesh.xml";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "<?xml version='1.0'?>\n<scene>\n");
    container->emitVrml(file);
    std::fprintf(file, "</scene>\n");
    std::fclose(file);

    GScene scene;
    YafrayParser parser(&scene);
    ::testing::internal::CaptureStdout();
    parser.parse(path.c_str());
    ::testing::internal::GetCapturedStdout();
    std::vector<GTriangle*> read;
    int spheres = 0;
    for (int i = 0; i < scene.allObjects.size(); i++) {
        int type = scene.allObjects.elementAt(i)->typeId();
        if (type == ClassId::GTriangle) read.push_back(static_cast<GTriangle*>(scene.allObjects.elementAt(i)));
        if (type == ClassId::GSphere) spheres++;
    }
    std::vector<GTriangle*> original;
    int originalSpheres = 0;
    for (int i = 0; i < written.size(); i++) {
        if (written.elementAt(i)->isKindOf(ClassId::GTriangle))
            original.push_back(static_cast<GTriangle*>(written.elementAt(i)));
        if (written.elementAt(i)->isKindOf(ClassId::GSphere)) originalSpheres++;
    }
    EXPECT_EQ(spheres, originalSpheres);
    ASSERT_EQ(read.size(), original.size());
    for (size_t t = 0; t < read.size(); t++) {
        for (int k = 0; k < 3; k++) {
            const HPoint& p = read[t]->vertices[k]->position;
            const HPoint& q = original[t]->vertices[k]->position;
            EXPECT_NEAR(p.x, q.x, 1e-6f);
            EXPECT_NEAR(p.y, q.y, 1e-6f);
            EXPECT_NEAR(p.z, q.z, 1e-6f);
        }
        // Same shading: flat triangles come back with the face normal at
        // every corner.
        HPoint a = read[t]->shadingNormal(0.2f, 0.3f, 0.5f);
        HPoint b = original[t]->shadingNormal(0.2f, 0.3f, 0.5f);
        EXPECT_NEAR(a.dot(b), 1.0f, 2e-3f) << t;
        EXPECT_FLOAT_EQ(read[t]->getMaterial()->colors[GMaterial::diffuse].y, 0.25f);
    }
}

TEST(XmlRoundTripTest, MeshContainersReadBackAsMeshes) {
    GMaterial material;
    material.setColor(GMaterial::diffuse, HPoint(0.5f, 0.25f, 0.75f, 1.0f));
    GVertex corners[5];
    const float positions[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0}, {0.5f, 2, 1}};
    for (int i = 0; i < 5; i++) {
        corners[i].position = HPoint(positions[i][0], positions[i][1], positions[i][2], 1);
        corners[i].normal = HPoint(0.1f * i, 0.2f, 1.0f, 1);
        corners[i].normal.normalize();
        corners[i].material = &material;
    }
    GTriangle triangles[3];
    triangles[0].setVertices(&corners[0], &corners[1], &corners[2]);
    triangles[1].setVertices(&corners[0], &corners[2], &corners[3]);
    triangles[1].flags |= GTriangle::flat;
    triangles[2].setVertices(&corners[3], &corners[2], &corners[4]);
    GSphere sphere;
    sphere.setRadius(0.5f);
    sphere.setMaterial(&material);

    LBVHbox hierarchy;
    for (GTriangle& t : triangles) hierarchy.addObject(&t);
    hierarchy.build();
    expectMeshReadsBack(&hierarchy, hierarchy.objects);

    GBoundingBox grid;
    for (GTriangle& t : triangles) grid.addObject(&t);
    grid.addObject(&sphere);
    grid.build();
    expectMeshReadsBack(&grid, grid.objects);
}

TEST(XmlRoundTripTest, ConvertedPlyFragmentReadsBackInAnObject) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/quad.ply",
                   "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                   "property float z\nelement face 2\nproperty list uchar int vertex_indices\n"
                   "end_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 1.5 0\n4 0 1 2 3\n3 3 2 4\n");
    ::testing::internal::CaptureStdout();
    convertPlyToMesh((dir + "/quad.ply").c_str(), (dir + "/quad.frag").c_str());
    ::testing::internal::GetCapturedStdout();
    std::string fragment = readWholeFile(dir + "/quad.frag");
    ASSERT_NE(fragment.find("<f a='0' b='1' c='2' d='3'/>"), std::string::npos);
    GScene scene;
    YafrayParser parser(&scene);
    parser.parseText("<scene><object name='converted'>" + fragment + "</object></scene>");
    ASSERT_EQ(scene.objects.size(), 1);
    ASSERT_EQ(scene.objects.elementAt(0)->typeId(), ClassId::LBVHbox);
    EXPECT_EQ(static_cast<LBVHbox*>(scene.objects.elementAt(0))->objects.size(), 3);
}

}  // namespace
