#include "io/yafray/YafrayParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"
#include "image/ColorImage.h"
#include "render/MisPathTracingCamera.h"
#include "render/PathTracingCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/SpectralSampleCamera.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"
#include "shading/PointLight.h"
#include "tests/TestSupport.h"

namespace {

class YafrayParserTest : public ::testing::Test {
protected:
    GScene scene;
    std::string out, err;

    void read(const std::string& text) {
        YafrayParser parser(&scene);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        parser.parseText(text);
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
    }
    LBVHbox* mesh(int i) {
        EXPECT_EQ(scene.objects.elementAt(i)->typeId(), ClassId::LBVHbox);
        return static_cast<LBVHbox*>(scene.objects.elementAt(i));
    }
    // The triangles of a mesh in the order the file gave them (the hierarchy
    // reorders its own list), from the scene's allObjects.
    std::vector<GTriangle*> triangles() {
        std::vector<GTriangle*> found;
        for (int i = 0; i < scene.allObjects.size(); i++)
            if (scene.allObjects.elementAt(i)->typeId() == ClassId::GTriangle)
                found.push_back(static_cast<GTriangle*>(scene.allObjects.elementAt(i)));
        return found;
    }
};

void expectPoint(const HPoint& p, float x, float y, float z, const char* what) {
    EXPECT_NEAR(p.x, x, 1e-5f) << what;
    EXPECT_NEAR(p.y, y, 1e-5f) << what;
    EXPECT_NEAR(p.z, z, 1e-5f) << what;
}

const char* const quadMesh =
    "<mesh><points><p x='0' y='0' z='0'/><p x='1' y='0' z='0'/><p x='1' y='1' z='0'/>"
    "<p x='0' y='1' z='0'/></points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh>";

TEST_F(YafrayParserTest, RenderTypesChooseTheRenderer) {
    struct Case {
        const char* renderType;  // nullptr: no rendertype child
        int classId;
        const char* message;
    } cases[] = {
        {"pathTracing", ClassId::PathTracingCamera, ""},
        {"PATHTRACING", ClassId::PathTracingCamera, ""},
        {"rayTracing", ClassId::SimpleRaytracingCamera, ""},
        {nullptr, ClassId::SimpleRaytracingCamera, ""},
        {"somethingElse", ClassId::SimpleRaytracingCamera,
         "render: no renderer 'somethingElse' (renderers: rayTracing, pathTracing, "
         "bidirectionalPathTracing, metropolis, pathMetropolis, instantRadiosity, uberPathTracing, "
         "spectralSample, misPathTracing, misBidirectional, primarySampleMetropolis); rendering with ray "
         "tracing.\n"},
        // The spectral renderer names the colour-matching files it reads.
        {"spectralSample", ClassId::SpectralSampleCamera,
         "spectra\\xbar.spec\nspectra\\ybar.spec\nspectra\\zbar.spec\n"},
        {"bidirectionalPathTracing", ClassId::BidirectionalCamera, ""},
        {"Metropolis", ClassId::MetropolisCamera, ""},
        {"pathMetropolis", ClassId::PathMetropolisCamera, ""},
        {"INSTANTRADIOSITY", ClassId::InstantRadiosityCamera, ""},
        {"uberPathTracing", ClassId::UberCamera, ""},
        {"misPathTracing", MisPathTracingCamera::classId, ""},
    };
    for (const Case& c : cases) {
        GScene fresh;
        YafrayParser parser(&fresh);
        std::string text =
            "<camera name='cam' resx='40' resy='30' focal='0.7'><from x='1' y='2' z='3'/>"
            "<to x='0' y='0' z='-1'/><up x='0' y='0' z='1'/></camera>"
            "<render camera_name='cam' AA_minsamples='6' raydepth='3' exposure='2.5'>";
        if (c.renderType) text += std::string("<rendertype value='") + c.renderType + "'/>";
        text += "<outfile value='x.ppm'/></render>";
        ::testing::internal::CaptureStdout();
        parser.parseText(text);
        std::string printed = ::testing::internal::GetCapturedStdout();
        GCamera* camera = fresh.camera;
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(camera->typeId(), c.classId) << c.renderType;
        EXPECT_EQ(printed, c.message + std::string(camera->toString()) + "\n");
        EXPECT_EQ(camera->scene, &fresh);
        EXPECT_EQ(camera->width, 40);
        EXPECT_EQ(camera->height, 30);
        EXPECT_FLOAT_EQ(camera->fovy, 0.7f);
        expectPoint(camera->from, 1, 2, 3, "from");
        expectPoint(camera->to, 0, 0, -1, "to");
        expectPoint(camera->up, 0, 0, 1, "up");
        if (c.classId == ClassId::PathTracingCamera) {
            PathTracingCamera* p = static_cast<PathTracingCamera*>(camera);
            EXPECT_EQ(p->samplesPerPixel, 6);
            EXPECT_EQ(p->maxRayDepth, 3);
            EXPECT_FLOAT_EQ(p->toneMappingConstant, 2.5f);
        } else if (c.classId == ClassId::SpectralSampleCamera) {
            SpectralSampleCamera* s = static_cast<SpectralSampleCamera*>(camera);
            EXPECT_EQ(s->samplesPerPixel, 6);
            EXPECT_EQ(s->maxDepth, 3);
            EXPECT_FLOAT_EQ(s->toneMappingConstant, 2.5f);
        } else if (c.classId == ClassId::SimpleRaytracingCamera) {
            SimpleRaytracingCamera* r = static_cast<SimpleRaytracingCamera*>(camera);
            EXPECT_EQ(r->samplesPerPixel, 6);
            EXPECT_EQ(r->maxDepth, 3);
        }
    }
    // A renderer without keys of its own takes the attributes named like its settings.
    GScene fresh;
    YafrayParser parser(&fresh);
    ::testing::internal::CaptureStdout();
    parser.parseText("<camera name='c'/><render camera_name='c' maxDepth='7' samplesPerPixel='3'>"
                     "<rendertype value='misPathTracing'/></render>");
    ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(fresh.camera && fresh.camera->isKindOf(MisPathTracingCamera::classId));
    EXPECT_EQ(7, static_cast<MisPathTracingCamera*>(fresh.camera)->maxDepth);
    EXPECT_EQ(3, static_cast<MisPathTracingCamera*>(fresh.camera)->samplesPerPixel);
}

TEST_F(YafrayParserTest, BareCameraAndMissingViews) {
    read("<camera name='bare'/><render camera_name='bare'/>");
    GCamera* camera = scene.camera;
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->width, 256);
    EXPECT_EQ(camera->height, 256);
    EXPECT_FLOAT_EQ(camera->fovy, 0.5f);
    expectPoint(camera->from, 0, 0, 1, "from");
    expectPoint(camera->to, 0, 0, 0, "to");
    expectPoint(camera->up, 0, 1, 0, "up");
    SimpleRaytracingCamera* rayTracer = static_cast<SimpleRaytracingCamera*>(camera);
    EXPECT_EQ(rayTracer->samplesPerPixel, 1);
    EXPECT_EQ(rayTracer->maxDepth, 1);

    // A render element naming no camera (or a shader) keeps the renderer's
    // own size and field of view; a later render element replaces the first.
    GScene other;
    YafrayParser parser(&other);
    ::testing::internal::CaptureStdout();
    parser.parseText(
        "<shader type='generic' name='s'/><render camera_name='s'>"
        "<rendertype value='pathTracing'/></render>");
    std::string printed = ::testing::internal::GetCapturedStdout();
    ASSERT_NE(other.camera, nullptr);
    PathTracingCamera defaults;
    EXPECT_EQ(other.camera->width, defaults.width);
    EXPECT_EQ(other.camera->height, defaults.height);
    EXPECT_FLOAT_EQ(other.camera->fovy, defaults.fovy);
    expectPoint(other.camera->viewDirection, 0, 0, -1, "view");
    EXPECT_NE(printed.find("render: no camera named 's'; keeping the renderer's own view and size.\n"),
              std::string::npos);
}

TEST_F(YafrayParserTest, QuadsAreFannedAndMeshesGetOneHierarchy) {
    read(std::string("<shader type='generic' name='grey'><attributes><color r='0.5' g='0.5' b='0.5'/>"
                     "</attributes></shader><object shader_name='grey'>") +
         quadMesh +
         "</object><object shader_name='grey'><mesh><points><p x='0' y='0' z='0'/>"
         "<p x='1' y='0' z='0'/><p x='0' y='1' z='0'/><p x='0' y='0' z='1'/><p x='1' y='1' z='1'/></points>"
         "<faces><f a='0' b='1' c='2' d='3' e='4'/><f a='0' b='1'/></faces></mesh></object>");
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(mesh(0)->objects.size(), 2);
    EXPECT_EQ(mesh(1)->objects.size(), 3);  // a pentagon; a two-index face makes none
    std::vector<GTriangle*> all = triangles();
    ASSERT_EQ(all.size(), 5u);
    // (a, b, c) and (a, c, d).
    expectPoint(all[0]->vertices[0]->position, 0, 0, 0, "t0 a");
    expectPoint(all[0]->vertices[1]->position, 1, 0, 0, "t0 b");
    expectPoint(all[0]->vertices[2]->position, 1, 1, 0, "t0 c");
    expectPoint(all[1]->vertices[0]->position, 0, 0, 0, "t1 a");
    expectPoint(all[1]->vertices[1]->position, 1, 1, 0, "t1 c");
    expectPoint(all[1]->vertices[2]->position, 0, 1, 0, "t1 d");
    EXPECT_EQ(all[0]->vertices[0], all[1]->vertices[0]);  // shared corners
    for (GTriangle* t : all) {
        EXPECT_TRUE(t->flags & GTriangle::flat);  // no normals in the file
        EXPECT_FLOAT_EQ(t->getMaterial()->colors[GMaterial::diffuse].x, 0.5f);
    }
    EXPECT_EQ(scene.emitters.size(), 0);
}

TEST_F(YafrayParserTest, EmissiveShadersMakeEmitters) {
    read(std::string("<object shader_name='lamp'>") + quadMesh +  // before its shader
         "</object>"
         "<shader type='generic' name='lamp'><attributes><emissive r='1' g='0' b='0'/></attributes></shader>"
         "<shader type='generic' name='dark'><attributes><emissive r='0' g='0' b='0'/></attributes></shader>"
         "<object shader_name='lamp'>" + quadMesh + "<sphere radius='1'/></object>"
         "<object shader_name='dark'>" + quadMesh + "<sphere radius='2'/></object>");
    ASSERT_EQ(scene.objects.size(), 5);
    // The object before its shader has no material and emits nothing.
    EXPECT_EQ(mesh(0)->objects[0]->getMaterial(), nullptr);
    EXPECT_EQ(scene.emitters.size(), 3);
    EXPECT_EQ(scene.emitterCount, 3);
    EXPECT_EQ(scene.emitters.elementAt(2), scene.objects.elementAt(2));
    EXPECT_EQ(scene.objects.elementAt(2)->typeId(), ClassId::GSphere);
    for (int i = 0; i < 2; i++) EXPECT_TRUE(scene.emitters.elementAt(i)->isEmitter());
}

TEST_F(YafrayParserTest, PointAttributesAndTransforms) {
    // Normals and texture coordinates; a translation inside a scaling: the
    // inner transform applies first.
    read("<transform m00='2' m11='2' m22='2' m33='1'>"
         "<transform m00='1' m11='1' m22='1' m33='1' m03='1' m13='0' m23='0'>"
         "<object><mesh><points>"
         "<p x='0' y='0' z='0' nx='0' ny='0' nz='3' u='0.25' v='0.5'/>"
         "<p x='1' y='0' z='0' nx='0' ny='0' nz='1' u='1' v='0'/>"
         "<p x='0' y='1' z='0' nx='0' ny='0' nz='1'/>"
         "</points><faces><f a='0' b='1' c='2'/></faces></mesh></object></transform></transform>"
         "<transform m00='0' m01='-1' m10='1' m11='0' m22='1' m33='1'><object><mesh><points>"
         "<p x='1' y='0' z='0' nx='1' ny='0' nz='0'/><p x='2' y='0' z='0' nx='1' ny='0' nz='0'/>"
         "<p x='1' y='0' z='1' nx='1' ny='0' nz='0'/></points><faces><f a='0' b='1' c='2'/></faces>"
         "</mesh></object></transform>");
    std::vector<GTriangle*> all = triangles();
    ASSERT_EQ(all.size(), 2u);
    GVertex** v = all[0]->vertices;
    expectPoint(v[0]->position, 2, 0, 0, "scaled and moved");
    expectPoint(v[1]->position, 4, 0, 0, "scaled and moved");
    expectPoint(v[2]->position, 2, 2, 0, "scaled and moved");
    expectPoint(v[0]->normal, 0, 0, 1, "normalised");
    expectPoint(v[0]->texCoord, 0.25f, 0.5f, 0, "uv");
    expectPoint(v[2]->texCoord, 0, 0, 0, "missing uv");
    EXPECT_FALSE(all[0]->flags & GTriangle::flat);
    // A quarter turn about z moves the points and turns the normals with them.
    expectPoint(all[1]->vertices[1]->position, 0, 2, 0, "turned");
    expectPoint(all[1]->vertices[0]->normal, 0, 1, 0, "turned normal");
}

TEST_F(YafrayParserTest, AutosmoothJoinsGentleCornersAndSplitsSharpOnes) {
    // Three faces around point 0: two nearly coplanar (10 degrees apart) and
    // one at a right angle. With 35 degrees the first two share point 0 and
    // the third gets a split copy.
    char points[512];
    std::snprintf(points, sizeof points,
                  "<p x='0' y='0' z='0' u='0.5' v='0.5'/><p x='1' y='0' z='0'/><p x='0' y='1' z='0'/>"
                  "<p x='-1' y='0' z='%.9f'/><p x='0' y='0' z='1'/>",
                  std::tan(10.0 * 3.14159265358979 / 180.0));
    read(std::string("<object><mesh autosmooth='35'><points>") + points +
         "</points><faces><f a='0' b='1' c='2'/><f a='0' b='2' c='3'/><f a='0' b='4' c='1'/></faces>"
         "</mesh></object>");
    std::vector<GTriangle*> all = triangles();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->vertices[0], all[1]->vertices[0]);
    EXPECT_NE(all[2]->vertices[0], all[0]->vertices[0]);
    expectPoint(all[2]->vertices[0]->position, 0, 0, 0, "split copy");
    expectPoint(all[2]->vertices[0]->texCoord, 0.5f, 0.5f, 0, "split copy uv");
    // Point 0 sums the two gentle face normals, unnormalised; the copy holds
    // the sharp face's normal (0, 1, 0).
    HPoint sum = all[0]->vertices[0]->normal;
    EXPECT_NEAR(sum.length(), 2.0f * std::cos(5.0f * 3.14159265f / 180.0f), 1e-4f);
    expectPoint(all[2]->vertices[0]->normal, 0, 1, 0, "split normal");
    // Point 1 is shared by the first and the last face, at a right angle.
    EXPECT_NE(all[0]->vertices[1], all[2]->vertices[2]);
    for (GTriangle* t : all) EXPECT_FALSE(t->flags & GTriangle::flat);
}

TEST_F(YafrayParserTest, FaceIndexPastThePointsIsFatal) {
    // Not captured: the message must reach the dying process's standard error.
    YafrayParser parser(&scene);
    EXPECT_EXIT(parser.parseText("<object><mesh><points><p x='0'/><p x='1'/><p y='1'/></points>"
                     "<faces><f a='0' b='1' c='2'/><f a='0' b='2' c='3'/></faces></mesh></object>"),
                ::testing::ExitedWithCode(1), "Index Out Of Bounds");
    EXPECT_EXIT(parser.parseText("<object><mesh autosmooth='30'><points><p x='0'/><p x='1'/><p y='1'/></points>"
                     "<faces><f a='-1' b='1' c='2'/></faces></mesh></object>"),
                ::testing::ExitedWithCode(1), "Index Out Of Bounds");
}

TEST_F(YafrayParserTest, LightsBackgroundAndUnsupportedElements) {
    read("<light type='ambientlight' power='1'><color r='0.1' g='0.2' b='0.3'/></light>"
         "<light type='sunlight'><from x='0' y='2' z='0'/><color r='1' g='0.5' b='0'/>"
         "<radius value='0.25'/></light>"
         "<light type='pointlight'><from x='1' y='2' z='3'/></light>"
         "<light type='spotlight' name='spot'><from x='1'/></light>"
         "<light type='arealight'/>"
         "<filter type='dof' near='1'/>"
         "<background type='constant'><color r='0.5' g='0.6' b='0.7'/></background>"
         "<background type='image'><color r='1' g='1' b='1'/></background>");
    expectPoint(scene.ambientColor, 0.1f, 0.2f, 0.3f, "ambient");
    EXPECT_EQ(scene.ambientColor.w, 1.0f);
    expectPoint(scene.backgroundColor, 0.5f, 0.6f, 0.7f, "background");
    ASSERT_EQ(scene.lights.size(), 2);
    ASSERT_EQ(scene.lights.elementAt(0)->typeId(), ClassId::DirectionalLight);
    DirectionalLight* sun = static_cast<DirectionalLight*>(scene.lights.elementAt(0));
    expectPoint(sun->direction, 0, -1, 0, "sun");
    expectPoint(sun->emissiveColor, 1, 0.5f, 0, "sun colour");
    EXPECT_FLOAT_EQ(sun->size, 0.25f);
    ASSERT_EQ(scene.lights.elementAt(1)->typeId(), ClassId::PointLight);
    PointLight* point = static_cast<PointLight*>(scene.lights.elementAt(1));
    expectPoint(point->location, 1, 2, 3, "location");
    EXPECT_EQ(point->location.w, 1.0f);
    expectPoint(point->emissiveColor, 1, 1, 1, "default colour");
    EXPECT_EQ(point->size, 0.0f);
    EXPECT_EQ(out, "<light name=\"spot\" type=\"spotlight\">\n<filter near=\"1\" type=\"dof\"/>\n");
}

TEST_F(YafrayParserTest, GenericShaders) {
    read("<shader type='generic' name='full'><attributes>"
         "<color r='0.1' g='0.2' b='0.3'/><specular r='0.4' g='0.4' b='0.4'/>"
         "<reflected r='0.5' g='0' b='0'/><transmitted r='0' g='0.6' b='0'/>"
         "<ambient r='0' g='0' b='0.7'/><emissive r='0.8' g='0' b='0'/>"
         "<IOR value='1.5'/><hard value='99'/><phong value='20'/><glossiness value='0.3'/>"
         "<translucency value='0.4'/></attributes></shader>"
         "<shader type='generic' name='defaults'><attributes/></shader>"
         "<shader type='blender' name='ignored'/>"
         "<object shader_name='full'><sphere radius='1'><center x='1' y='2' z='3'/></sphere></object>"
         "<object shader_name='defaults'><sphere radius='2'/></object>"
         "<object shader_name='ignored'><sphere/></object>");
    ASSERT_EQ(scene.objects.size(), 3);
    GSphere* sphere = static_cast<GSphere*>(scene.objects.elementAt(0));
    expectPoint(sphere->center, 1, 2, 3, "centre");
    EXPECT_FLOAT_EQ(sphere->radius, 1.0f);
    GMaterial* m = sphere->material;
    ASSERT_NE(m, nullptr);
    expectPoint(m->colors[GMaterial::diffuse], 0.1f, 0.2f, 0.3f, "diffuse");
    expectPoint(m->colors[GMaterial::specular], 0.4f, 0.4f, 0.4f, "specular");
    expectPoint(m->colors[GMaterial::reflected], 0.5f, 0, 0, "reflected");
    expectPoint(m->colors[GMaterial::transmitted], 0, 0.6f, 0, "transmitted");
    expectPoint(m->colors[GMaterial::ambient], 0, 0, 0.7f, "ambient");
    expectPoint(m->colors[GMaterial::emissive], 0.8f, 0, 0, "emissive");
    EXPECT_EQ(m->colors[GMaterial::diffuse].w, 1.0f);
    EXPECT_FLOAT_EQ(m->scalars[GMaterial::indexOfRefraction], 1.5f);
    EXPECT_FLOAT_EQ(m->scalars[GMaterial::phongExponent], 20.0f);
    EXPECT_FLOAT_EQ(m->scalars[GMaterial::glossiness], 0.3f);
    EXPECT_FLOAT_EQ(m->scalars[GMaterial::translucency], 0.4f);
    GMaterial* d = static_cast<GSphere*>(scene.objects.elementAt(1))->material;
    ASSERT_NE(d, nullptr);
    expectPoint(d->colors[GMaterial::diffuse], 1, 1, 1, "default diffuse");
    expectPoint(d->colors[GMaterial::specular], 0, 0, 0, "default specular");
    EXPECT_FLOAT_EQ(d->scalars[GMaterial::indexOfRefraction], 1.0f);
    EXPECT_FLOAT_EQ(d->scalars[GMaterial::phongExponent], 10.0f);
    EXPECT_FLOAT_EQ(d->scalars[GMaterial::translucency], 1.0f);
    EXPECT_EQ(static_cast<GSphere*>(scene.objects.elementAt(2))->material, nullptr);
    EXPECT_EQ(scene.emitters.size(), 1);
}

TEST_F(YafrayParserTest, TexturesAreFoundBesideTheSceneFile) {
    std::string folder = makeScratchDir();
    ColorImage image;
    image.resize(2, 1);
    image.fill(0x000000ff);
    ASSERT_TRUE(image.writePPM((folder + "/red.ppm").c_str(), nullptr));
    writeWholeFile(folder + "/scene.xml",
                   "<shader type='generic' name='t'><attributes><color r='1' g='1' b='1' "
                   "texture_image='red.ppm'/></attributes></shader>"
                   "<shader type='generic' name='u'><attributes><color texture_image='none.ppm'/>"
                   "</attributes></shader>"
                   "<shader type='generic' name='v'><attributes><color texture_image='scene.xml'/>"
                   "</attributes></shader>"
                   "<object shader_name='t'><sphere radius='1'/></object>"
                   "<object shader_name='u'><sphere radius='1'/></object>");
    YafrayParser parser(&scene);
    ::testing::internal::CaptureStdout();
    parser.parse((folder + "/scene.xml").c_str());
    std::string printed = ::testing::internal::GetCapturedStdout();
    // Without stb the reader says why it reads no image but PPM.
#ifdef VELK_HAVE_STB
    const std::string why;
#else
    const std::string why =
        " (velk was built without stb (libstb-dev), so PNG, JPEG, TGA, BMP and HDR images are not read or written)";
#endif
    EXPECT_EQ(printed, "XML PARSE...DONE\nXML Error! File 'none.ppm' not found.\n"
                       "XML Error! Could not read image 'scene.xml'" + why + "; the colour stays untextured.\n");
    ASSERT_EQ(scene.objects.size(), 2);
    GMaterial* textured = static_cast<GSphere*>(scene.objects.elementAt(0))->material;
    ASSERT_TRUE(textured->colorTextureMask & (1u << GMaterial::diffuse));
    GTexture* texture = textured->colorTextures[GMaterial::diffuse];
    EXPECT_TRUE(texture->wrapU && texture->wrapV);
    HPoint color;
    textured->getColorAt(GMaterial::diffuse, color, HPoint(0.25f, 0.5f, 0, 1));
    expectPoint(color, 1, 0, 0, "texel");
    GMaterial* untextured = static_cast<GSphere*>(scene.objects.elementAt(1))->material;
    EXPECT_EQ(untextured->colorTextureMask, 0u);
}

TEST_F(YafrayParserTest, AbsurdValuesNeverCrash) {
    read("<camera name='c' resx='99999999' resy='-5' focal='nan'><from x='1e39'/></camera>"
         "<render camera_name='c' AA_minsamples='99999999999999999999' raydepth='-3'/>"
         "<object><sphere radius='-2'><center x='nan' y='inf' z='-1e39'/></sphere></object>"
         "<object><mesh autosmooth='1e39'><points><p x='nan'/><p x='1e39'/><p y='1'/></points>"
         "<faces><f a='0' b='1' c='2'/><f a='0' b='0' c='0'/></faces></mesh></object>"
         "<light type='pointlight'><from x='nan'/><radius value='-1e39'/></light>" +
         std::string(100000, 'x') + "<shader type='generic' name='" + std::string(100000, 'n') +
         "'/>");
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_EQ(scene.camera->width, 256);
    EXPECT_EQ(scene.camera->height, 256);
    EXPECT_NE(out.find("camera 'c': 99999999 x -5 is not a usable image size; using 256 x 256.\n"),
              std::string::npos);
    EXPECT_EQ(static_cast<SimpleRaytracingCamera*>(scene.camera)->samplesPerPixel, 2147483647);
    EXPECT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(mesh(1)->objects.size(), 2);
    HitRecord hit;
    hit.t = 1e30f;
    GRay ray;
    ray.origin = HPoint(0, 0, 5, 1);
    ray.direction = HPoint(0, 0, -1, 1);
    ray.updateInverse();
    scene.closestHit(ray, hit);  // answers something, without crashing
}

TEST_F(YafrayParserTest, MutatedScenesNeverCrash) {
    // Byte flips, cuts and splices of a scene with every element kind (no
    // faces: an index past the points ends the process by design).
    const std::string valid =
        "<?xml version='1.0'?><scene><!-- c --><camera name='c' resx='8' resy='6'>"
        "<from x='0' y='0' z='5'/><to x='0' y='0' z='0'/><up x='0' y='1' z='0'/></camera>"
        "<render camera_name='c' AA_minsamples='1' raydepth='2'><rendertype value='pathTracing'/>"
        "</render><shader type='generic' name='s'><attributes><color r='1' g='0' b='0'/>"
        "<emissive r='1' g='1' b='1'/><IOR value='1.5'/></attributes></shader>"
        "<light type='pointlight'><from x='1' y='2' z='3'/><radius value='0.1'/></light>"
        "<light type='sunlight'><from x='1'/></light><background type='constant'>"
        "<color r='0.1' g='0.1' b='0.1'/></background><transform m00='1' m11='1' m22='1' m33='1'>"
        "<object shader_name='s'><sphere radius='1'><center x='0'/></sphere><mesh autosmooth='30'>"
        "<points><p x='0' y='0' z='0' nx='0' ny='0' nz='1' u='0' v='0'/></points></mesh>"
        "</object></transform></scene>";
    const char alphabet[] = "<>/!?'\"= \0axf";
    std::minstd_rand random(20261208u);
    for (int round = 0; round < 3000; round++) {
        std::string text = valid;
        int edits = 1 + (int)(random() % 4);
        for (int e = 0; e < edits; e++) {
            size_t at = random() % text.size();
            switch (random() % 3) {
                case 0: text[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
                case 1: text.erase(at, 1 + random() % 20); break;
                default: text.insert(at, valid.substr(random() % valid.size(), 1 + random() % 40));
            }
            if (text.empty()) text = "<";
        }
        GScene mutated;
        YafrayParser parser(&mutated);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        parser.parseText(text);
        ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        ASSERT_LE(mutated.objects.size(), 20) << text;
    }
}

TEST_F(YafrayParserTest, CorpusSceneOfALaterDialectLoads) {
    std::string path = std::string(VELK_CORPUS_DIR) + "/yafray/test01.xml";
    if (!fileExists(path)) GTEST_SKIP() << "corpus not available";
    YafrayParser parser(&scene);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    parser.parse(path.c_str());
    std::string printed = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.find("XML PARSE...DONE\n"), 0u);
    EXPECT_EQ(scene.objects.size(), 0);
}

}  // namespace
