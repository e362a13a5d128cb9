// The RIB command table: settings, materials, lights, geometry and the
// camera built when the world block closes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/LBVHbox.h"
#include "image/ColorImage.h"
#include "io/rib/RibReader.h"
#include "render/PathTracingCamera.h"
#include "render/SpectralSampleCamera.h"
#include "render/UberCamera.h"
#include "shading/SpectralBsdf.h"
#include "render/SimpleRaytracingCamera.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/PointLight.h"
#include "tests/TestSupport.h"
#include "tests/io/rib/RibTestSupport.h"

namespace {

const float pi = 3.14159265f;

void expectColor(const HPoint& c, float r, float g, float b, float w = 1.0f) {
    EXPECT_NEAR(c.x, r, 1e-6f);
    EXPECT_NEAR(c.y, g, 1e-6f);
    EXPECT_NEAR(c.z, b, 1e-6f);
    EXPECT_EQ(c.w, w);
}

class RibCommandsTest : public ::testing::Test {
protected:
    GScene scene;
    RibReader reader{&scene};
    RibRun run(const std::string& text) { return runRib(reader, text); }
    GMaterial* surface() { return reader.top().surface; }
    template <class T>
    T* lightAt(int i) {
        return static_cast<T*>(scene.lights.elementAt(i));
    }
    GSphere* sphereAt(int i) { return static_cast<GSphere*>(scene.objects.elementAt(i)); }
    LBVHbox* meshAt(int i) {
        GSceneObject* object = scene.objects.elementAt(i);
        EXPECT_TRUE(object->isKindOf(ClassId::LBVHbox));
        return static_cast<LBVHbox*>(object);
    }
    GTriangle* triangleOf(LBVHbox* mesh, int i) {
        return static_cast<GTriangle*>(mesh->objects.elementAt(i));
    }
};

// ---------------------------------------------------------------------------
// Image and camera settings

TEST_F(RibCommandsTest, FormatAndPixelSamples) {
    RibRun r = run("Format 320 240 1\nPixelSamples 2 3\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(reader.width, 320);
    EXPECT_EQ(reader.height, 240);
    EXPECT_EQ(reader.pixelSamples, 6);

    r = run("Format 10 10\nFormat 0 10 1\nFormat 100000 100000 1\nPixelSamples 4\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(4,
                            "Format requires 3 arguments, 2 provided.\n"
                            "Format 0 x 10 is not a usable image size; keeping 320 x 240.\n"
                            "Format 100000 x 100000 is not a usable image size; keeping 320 x 240.\n"
                            "PixelSamples requires 2 arguments, 1 provided.\n"));
    EXPECT_EQ(reader.width, 320);

    // Nonsense products stay within bounds.
    run("PixelSamples 100000 100000\n");
    EXPECT_EQ(reader.pixelSamples, 65536);
    run("PixelSamples -2 3\n");
    EXPECT_EQ(reader.pixelSamples, 1);
}

TEST_F(RibCommandsTest, ImagerSetsTheBackground) {
    RibRun r = run("Imager \"background\" \"background\" [0.1 0.2 0.3]\n");
    EXPECT_TRUE(r.ok);
    expectColor(scene.backgroundColor, 0.1f, 0.2f, 0.3f);
    // The exporters' typed name is not the parameter: black, and a failure.
    r = run("Imager \"background\" \"color color\" [0 0 1]\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(1, ""));
    expectColor(scene.backgroundColor, 0, 0, 0);
}

TEST_F(RibCommandsTest, ProjectionFieldOfView) {
    EXPECT_NEAR(reader.fieldOfView, 35.0 * pi / 180.0, 1e-6);
    RibRun r = run("Projection \"perspective\" \"uniform float fov\" [30]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_NEAR(reader.fieldOfView, 35.0 * pi / 180.0, 1e-6);
    run("Projection \"perspective\" \"fov\" [90]\n");
    EXPECT_NEAR(reader.fieldOfView, pi / 2, 1e-6);
    run("Projection \"perspective\" \"fov\" [10 20]\nProjection \"orthographic\"\n");
    EXPECT_NEAR(reader.fieldOfView, pi / 2, 1e-6);
}

TEST_F(RibCommandsTest, DepthOfField) {
    RibRun r = run("DepthOfField 2 10 7\n");
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(reader.aperture, 5.0);
    EXPECT_DOUBLE_EQ(reader.focalDistance, 7.0);
    run("DepthOfField 0 10 7\n");
    EXPECT_DOUBLE_EQ(reader.aperture, 0.0);
    r = run("DepthOfField 2 10\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out,
              framed(1, "Bad number of arguments to DepthOfField.  Requires at least 3, has 2\n"));
}

TEST_F(RibCommandsTest, AttributeNeedsThreeArguments) {
    RibRun r = run("Attribute \"vq317Setting\" \"rayDepth\"\nAttribute \"light\" \"shadows\" \"on\"\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out,
              framed(2, "Bad number of arguments to Attribute.  Requires at least 3, has 2\n"));
    // A value that is not an array is kept as written.
    EXPECT_STREQ(reader.getAttribute("light", "shadows")->firstString(), "on");
}

// ---------------------------------------------------------------------------
// Colours and surfaces

TEST_F(RibCommandsTest, ColorAndOpacityWantThreeNumbersInBrackets) {
    RibRun r = run("Color [0.2 0.4 0.6]\nOpacity [0.5 0.5 1]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(reader.top().color[1], 0.4);
    EXPECT_DOUBLE_EQ(reader.top().opacity[0], 0.5);
    r = run("Color 1 0 0\nColor [1 0]\nOpacity 0.8 0.8 0.8\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(3,
                            "Color command invalid argument sizes\n"
                            "Color command invalid argument sizes\n"
                            "Opacity command invalid argument sizes\n"));
    EXPECT_DOUBLE_EQ(reader.top().color[0], 0.2);
}

TEST_F(RibCommandsTest, Vq317SurfaceDefaultsAndParameters) {
    run("Color [0.2 0.3 0.4]\nSurface \"vq317surface\"\n");
    GMaterial* plain = surface();
    ASSERT_NE(plain, nullptr);
    expectColor(plain->colors[GMaterial::diffuse], 0.2f, 0.3f, 0.4f);
    expectColor(plain->colors[GMaterial::specular], 1, 1, 1);
    expectColor(plain->colors[GMaterial::reflected], 1, 1, 1);
    expectColor(plain->colors[GMaterial::transmitted], 0, 0, 0);
    expectColor(plain->colors[GMaterial::ambient], 0.1f, 0.1f, 0.1f);
    expectColor(plain->colors[GMaterial::emissive], 0, 0, 0);
    EXPECT_EQ(plain->scalars[GMaterial::indexOfRefraction], 1.0f);
    EXPECT_EQ(plain->scalars[GMaterial::phongExponent], 1.0f);
    EXPECT_EQ(plain->scalars[GMaterial::glossiness], 1.0f);
    EXPECT_EQ(plain->scalars[GMaterial::translucency], 0.0f);
    EXPECT_EQ(scene.allObjects.elementAt(scene.allObjects.size() - 1), plain);

    RibRun r = run(
        "Surface \"vq317surface\" \"specularcolor\" [0.1 0.2 0.3] \"reflectedcolor\" [0.4 0.5 0.6]\n"
        "  \"transmittedcolor\" [0.7 0.8 0.9] \"ambientcolor\" [0 0 0.5]\n"
        "  \"indexofrefraction\" [1.5] \"phong\" [20] \"glossiness\" [0.25] \"translucency\" [0.5]\n"
        "  \"phong\" [1 2]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(1, ""));  // the second "phong" is never looked at
    GMaterial* m = surface();
    expectColor(m->colors[GMaterial::specular], 0.1f, 0.2f, 0.3f);
    expectColor(m->colors[GMaterial::reflected], 0.4f, 0.5f, 0.6f);
    expectColor(m->colors[GMaterial::transmitted], 0.7f, 0.8f, 0.9f);
    expectColor(m->colors[GMaterial::ambient], 0, 0, 0.5f);
    EXPECT_EQ(m->scalars[GMaterial::indexOfRefraction], 1.5f);
    EXPECT_EQ(m->scalars[GMaterial::phongExponent], 20.0f);
    EXPECT_EQ(m->scalars[GMaterial::glossiness], 0.25f);
    EXPECT_EQ(m->scalars[GMaterial::translucency], 0.5f);

    r = run("Surface \"vq317surface\" \"specularcolor\" [1 1]\n");
    EXPECT_EQ(r.out, framed(1, "I have vs6\n"));
    expectColor(surface()->colors[GMaterial::specular], 1, 1, 1);
}

TEST_F(RibCommandsTest, MtorPhong) {
    RibRun r = run("Color [0.5 0.25 1]\nOpacity [0.25 0.5 1]\n"
                   "Surface \"mtorPhong\" \"color specularColor\" [0.3 0.2 0.1]\n"
                   "  \"color ambientColor\" [0.05 0.05 0.05] \"float refractiveIndex\" [1.33]\n"
                   "  \"float cosPower\" [4]\n");
    EXPECT_TRUE(r.ok);
    GMaterial* m = surface();
    expectColor(m->colors[GMaterial::diffuse], 0.5f, 0.25f, 1);
    expectColor(m->colors[GMaterial::specular], 0.3f, 0.2f, 0.1f);
    expectColor(m->colors[GMaterial::reflected], 0.3f, 0.2f, 0.1f);
    expectColor(m->colors[GMaterial::transmitted], 0.75f, 0.5f, 0);
    expectColor(m->colors[GMaterial::ambient], 0.05f, 0.05f, 0.05f);
    EXPECT_NEAR(m->scalars[GMaterial::indexOfRefraction], 1.33f, 1e-6f);
    EXPECT_EQ(m->scalars[GMaterial::phongExponent], 4.0f);
    EXPECT_EQ(m->scalars[GMaterial::glossiness], 0.25f);
    EXPECT_EQ(m->scalars[GMaterial::translucency], 0.25f);
    // A zero power keeps the finite defaults.
    run("Surface \"mtorPhong\" \"float cosPower\" [0]\n");
    EXPECT_EQ(surface()->scalars[GMaterial::glossiness], 1.0f);
}

TEST_F(RibCommandsTest, UnhandledAndSpectralSurfaces) {
    run("Surface \"vq317surface\"\n");
    GMaterial* before = surface();
    int registered = scene.allObjects.size();
    RibRun r = run("Surface \"plastic\" \"Ks\" [0.5]\nSurface\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(2,
                            "Unhandled surface shader plastic\n"
                            "Bad number of arguments to Surface.  Requires at least 1, has 0\n"));
    EXPECT_EQ(surface(), before);
    EXPECT_EQ(scene.allObjects.size(), registered);

    // A missing spectrum file is named and leaves the spectrum zero.
    r = run("Surface \"spectral\" \"bsdf\" [\"ashikhmin\"] \"emissivespectrum\" [\"d65.spec\"] \"nu\" [10]"
            " \"nv\" [20]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(1, "spectra\\d65.spec\nbad file name spectra\\d65.spec\n"));
    ASSERT_NE(surface(), before);
    expectColor(surface()->colors[GMaterial::diffuse], 0.5f, 0.5f, 0.5f);
    expectColor(surface()->colors[GMaterial::emissive], 1, 1, 1);
    AshikhminBsdf* ashikhmin = dynamic_cast<AshikhminBsdf*>(surface()->bsdf);
    ASSERT_NE(ashikhmin, nullptr);
    EXPECT_EQ(ashikhmin->nu, 10.0);
    EXPECT_EQ(ashikhmin->nv, 20.0);
    EXPECT_EQ(surface()->emissiveSpectrum[100], 0.0);
    run("Surface \"spectral\" \"bsdf\" [\"dielectric\"]\n");
    expectColor(surface()->colors[GMaterial::emissive], 0, 0, 0);
    ASSERT_NE(dynamic_cast<DielectricBsdf*>(surface()->bsdf), nullptr);
    EXPECT_EQ(surface()->bsdf->spectrum[299], 1.5);
    EXPECT_EQ(surface()->bsdf->spectrum[300], 0.0);
    run("Surface \"spectral\"\n");
    EXPECT_NE(dynamic_cast<LambertianBsdf*>(surface()->bsdf), nullptr);
}

TEST_F(RibCommandsTest, TextureFilesAreFoundBesideTheRibFile) {
    std::string dir = makeScratchDir();
    ColorImage image(2, 2);
    image.fill(0x000000ffu);
    ASSERT_TRUE(image.writePPM((dir + "/wood.ppm").c_str()));
    reader.baseDirectory = dir + "/";
    RibRun r = run("Surface \"vq317surface\" \"texturefile\" [\"wood.ppm\"]\n"
                   "Surface \"vq317surface\" \"texturefile\" [\"sub\\absent.ppm\"]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(2, "Unable to load file " + dir + "/sub/absent.ppm as a texture \n"));
    GMaterial* textured = static_cast<GMaterial*>(scene.allObjects.elementAt(2));
    ASSERT_TRUE(textured->isKindOf(ClassId::GMaterial));
    EXPECT_TRUE(textured->colorTextureMask & (1u << GMaterial::diffuse));
    HPoint color;
    textured->getColorAt(GMaterial::diffuse, color, HPoint(0.5f, 0.5f, 0, 1));
    EXPECT_NEAR(color.x, 1.0f, 1e-6f);
    EXPECT_EQ(surface()->colorTextureMask, 0u);
}

// ---------------------------------------------------------------------------
// Lights

TEST_F(RibCommandsTest, TheSixLightShaders) {
    RibRun r = run(
        "LightSource \"vq317ambientLight\" 1 \"lightcolor\" [0.1 0.2 0.3]\n"
        "LightSource \"vq317directionalLight\" 2 \"lightcolor\" [1 0.5 0] \"to\" [0 -2 0] "
        "\"jitter\" [0.1]\n"
        "LightSource \"vq317pointLight\" 3 \"from\" [1 2 3] \"lightcolor\" [0.5 0.5 0.5] "
        "\"jitter\" [0.2]\n"
        "LightSource \"pointlight\" 4 \"intensity\" [4] \"lightcolor\" [1 0.5 0.25] \"from\" [0 5 0]\n"
        "LightSource \"distantlight\" 5 \"intensity\" [2] \"from\" [0 0 0] \"to\" [3 0 4]\n"
        "Translate 0 0 2\n"
        "LightSource \"mtorDirectionalLight\" 6 \"intensity\" [9] \"float intensity\" [2]\n"
        "  \"color lightcolor\" [1 0.5 0.25]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(7, ""));
    expectColor(scene.ambientColor, 0.1f, 0.2f, 0.3f);
    ASSERT_EQ(scene.lights.size(), 5);

    DirectionalLight* directional = lightAt<DirectionalLight>(0);
    ASSERT_TRUE(directional->isKindOf(ClassId::DirectionalLight));
    expectColor(directional->direction, 0, 1, 0);
    expectColor(directional->emissiveColor, 1, 0.5f, 0);
    EXPECT_EQ(directional->size, 0.1f);

    PointLight* point = lightAt<PointLight>(1);
    ASSERT_TRUE(point->isKindOf(ClassId::PointLight));
    expectColor(point->location, 1, 2, 3);
    expectColor(point->emissiveColor, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(point->size, 0.2f);

    PointLight* scaled = lightAt<PointLight>(2);
    expectColor(scaled->location, 0, 5, 0);
    expectColor(scaled->emissiveColor, 4, 2, 1);
    EXPECT_EQ(scaled->size, 0.0f);

    DirectionalLight* distant = lightAt<DirectionalLight>(3);
    expectColor(distant->direction, -0.6f, 0, -0.8f);
    expectColor(distant->emissiveColor, 2, 2, 2);

    // (0, 0, -1, 1) moved by the transformation: (0, 0, 1), normalised.
    DirectionalLight* mtor = lightAt<DirectionalLight>(4);
    expectColor(mtor->direction, 0, 0, 1);
    expectColor(mtor->emissiveColor, 2, 1, 0.5f);
}

TEST_F(RibCommandsTest, LightDefaultsAndErrors) {
    RibRun r = run("LightSource \"distantlight\" 1\nLightSource \"spotlight\" 2\nLightSource\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(3,
                            "Unhandled light shader spotlight\n"
                            "Bad number of arguments to LightSource.  Requires at least 1, has 0\n"));
    ASSERT_EQ(scene.lights.size(), 1);
    DirectionalLight* distant = lightAt<DirectionalLight>(0);
    expectColor(distant->direction, 0, 0, -1);
    expectColor(distant->emissiveColor, 1, 1, 1);
    // Typed parameter names of other exporters are not the subset's names.
    run("LightSource \"pointlight\" 2 \"constant float intensity\" [5]\n");
    expectColor(lightAt<PointLight>(1)->emissiveColor, 1, 1, 1);
}

TEST_F(RibCommandsTest, AreaLightEmissionReachesLaterSurfacesAndGeometry) {
    RibRun r = run("AttributeBegin\n"
                   "Color [0.3 0.3 0.3]\n"
                   "AreaLightSource \"arealight\" 1 \"lightcolor\" [5 4 3]\n"
                   "TransformBegin\n"
                   "Sphere 1\n"
                   "TransformEnd\n"
                   "Surface \"vq317surface\"\n"
                   "Sphere 2\n");
    EXPECT_TRUE(r.ok);
    // The light's copy of the default surface, then the later surface.
    ASSERT_EQ(scene.objects.size(), 2);
    GMaterial* first = sphereAt(0)->material;
    expectColor(first->colors[GMaterial::emissive], 5, 4, 3);
    expectColor(first->colors[GMaterial::diffuse], 1, 1, 1, 0);  // GMaterial's own default
    GMaterial* second = sphereAt(1)->material;
    expectColor(second->colors[GMaterial::emissive], 5, 4, 3);
    expectColor(second->colors[GMaterial::diffuse], 0.3f, 0.3f, 0.3f);
    EXPECT_EQ(scene.emitters.size(), 2);
    EXPECT_EQ(scene.emitterCount, 2);
    // The attribute block ends the light.
    run("AttributeEnd\nSurface \"vq317surface\"\nSphere 1\n");
    expectColor(surface()->colors[GMaterial::emissive], 0, 0, 0);
    EXPECT_EQ(scene.emitterCount, 2);

    r = run("AreaLightSource\n");
    EXPECT_EQ(r.out,
              framed(1, "Bad number of arguments to AreaLightSource.  Requires at least 1, has 0\n"));
}

TEST_F(RibCommandsTest, TransformBlocksKeepSurfacesButNotEmission) {
    // The emission goes down through the transform blocks only; the emitting
    // surface, like every surface, reaches the enclosing block too.
    run("AttributeBegin\nTransformBegin\nTransformBegin\n"
        "AreaLightSource \"arealight\" 1 \"lightcolor\" [2 2 2]\n");
    GMaterial* emitting = surface();
    run("TransformEnd\n");
    EXPECT_EQ(reader.top().emission[0], 2.0);
    EXPECT_EQ(surface(), emitting);
    run("TransformEnd\n");
    EXPECT_EQ(reader.top().emission[0], 0.0);
    EXPECT_EQ(surface(), emitting);
    expectColor(surface()->colors[GMaterial::emissive], 2, 2, 2);
    run("AttributeEnd\n");

    run("AttributeBegin\nTransformBegin\nSurface \"vq317surface\"\nTransformEnd\n");
    GMaterial* inner = surface();
    ASSERT_NE(inner, nullptr);
    run("Sphere 1\n");
    EXPECT_EQ(sphereAt(0)->material, inner);
    run("AttributeEnd\n");
    EXPECT_EQ(surface(), nullptr);
}

// ---------------------------------------------------------------------------
// Geometry

TEST_F(RibCommandsTest, SphereAndNuPatch) {
    RibRun r = run("Translate 1 2 3\nSphere 0.5 -0.5 0.5 360\nNuPatch 4 4 [0 0 0 0 1 1 1 1] 0 1\nSphere\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(4, "Bad number of arguments to Sphere.  Requires at least 1, has 0\n"));
    ASSERT_EQ(scene.objects.size(), 2);
    GSphere* sphere = sphereAt(0);
    expectColor(sphere->center, 1, 2, 3);
    EXPECT_EQ(sphere->radius, 0.5f);
    // The default surface is made once and shared.
    GSphere* patch = sphereAt(1);
    expectColor(patch->center, 1, 2, 3);
    EXPECT_EQ(patch->radius, 1.0f);
    EXPECT_EQ(patch->material, sphere->material);
    EXPECT_EQ(patch->material, surface());
    EXPECT_EQ(scene.emitters.size(), 0);
}

TEST_F(RibCommandsTest, PolygonsBecomeTriangleFansInOneHierarchy) {
    RibRun r = run("Translate 0 0 1\n"
                   "PointsGeneralPolygons [1 1] [4 5] [0 1 2 3  4 5 6 7 8]\n"
                   "  \"P\" [0 0 0  1 0 0  1 1 0  0 1 0  0 0 2  1 0 2  2 1 2  1 2 2  0 1 2]\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(2, ""));
    ASSERT_EQ(scene.objects.size(), 1);
    LBVHbox* mesh = meshAt(0);
    ASSERT_EQ(mesh->objects.size(), 5);  // 2 + 3
    // Every vertex, triangle and the box are registered with the scene.
    EXPECT_EQ(scene.allObjects.size(), 1 + 9 + 5 + 1);
    // The fans, whatever order the hierarchy keeps them in: each starts at
    // its polygon's first point.
    int fromFirstQuad = 0, fromPentagon = 0;
    for (int i = 0; i < 5; i++) {
        GTriangle* t = triangleOf(mesh, i);
        EXPECT_TRUE(t->flags & GTriangle::flat);
        const HPoint& corner = t->vertices[0]->position;
        if (corner.x == 0 && corner.y == 0 && corner.z == 1) fromFirstQuad++;
        if (corner.x == 0 && corner.y == 0 && corner.z == 3) fromPentagon++;
        EXPECT_EQ(t->vertices[0]->material, surface());
    }
    EXPECT_EQ(fromFirstQuad, 2);
    EXPECT_EQ(fromPentagon, 3);
}

TEST_F(RibCommandsTest, PolygonNormalsTextureCoordinatesAndHomogeneousPoints) {
    run("PointsGeneralPolygons [1] [3] [0 1 2] \"Pw\" [0 0 0 1  2 0 0 2  0 2 0 1]\n"
        "  \"N\" [0 0 1  0 0 1  0 0 1] \"st\" [0 0  1 0]\n");
    LBVHbox* mesh = meshAt(0);
    ASSERT_EQ(mesh->objects.size(), 1);
    GTriangle* t = triangleOf(mesh, 0);
    EXPECT_FALSE(t->flags & GTriangle::flat);  // a normal for every point
    expectColor(t->vertices[1]->position, 2, 0, 0, 2);
    expectColor(t->vertices[1]->normal, 0, 0, 1);
    expectColor(t->vertices[1]->texCoord, 1, 0, 0);
    // Past the end of "st": the vertex default.
    expectColor(t->vertices[2]->texCoord, 0, 0, 0);
}

TEST_F(RibCommandsTest, EmittingPolygonsAreEmitters) {
    run("AreaLightSource \"arealight\" 1\n"
        "PointsGeneralPolygons [1] [4] [0 1 2 3] \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n");
    EXPECT_EQ(scene.emitters.size(), 2);
    EXPECT_EQ(scene.emitterCount, 2);
    EXPECT_TRUE(scene.emitters.elementAt(0)->isKindOf(ClassId::GTriangle));
}

TEST_F(RibCommandsTest, PolygonErrors) {
    RibRun r = run("PointsGeneralPolygons [1] [3] [0 1 2]\n"
                   "PointsGeneralPolygons [1] [3] [0 1 2] \"vertex point P\" [0 0 0 1 0 0 0 1 0]\n"
                   "PointsGeneralPolygons [2] [3] [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                   "PointsGeneralPolygons 1 3 [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(4,
                            "Not enough arguments to PointsGeneralPolygons, needs at least 6, got 3\n"
                            "Doesn't have points or homogeneous points - skipping\n"
                            "I only handle polys with a single loop.\n"
                            "Bad PointsGeneralPolygons syntax: loop counts, vertex counts and "
                            "vertex indices must be arrays\n"));
    EXPECT_EQ(scene.objects.size(), 0);
}

TEST_F(RibCommandsTest, BadIndicesAndShortListsKeepTheGoodTriangles) {
    // Point list with a partial last point (7 numbers = 2 points): indices 2
    // and -1 are outside it.
    RibRun r = run("PointsGeneralPolygons [1 1 1] [3 3 3] [0 1 2  1 0 -1  0 1 1]\n"
                   "  \"P\" [0 0 0  1 0 0  5] \"N\" [0 0]\n"
                   "PointsGeneralPolygons [1 1 1] [3 6] [0 1 2  0 1 2 0 1]\n"
                   "  \"P\" [0 0 0  1 0 0  0 1 0]\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, framed(2,
                            "PointsGeneralPolygons: skipped 2 triangles with indices outside the "
                            "2 points\n"
                            "PointsGeneralPolygons: the vertex lists end inside polygon 1 of 3; the "
                            "rest is skipped\n"));
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(meshAt(0)->objects.size(), 1);  // the degenerate (0 1 1) is kept
    EXPECT_EQ(meshAt(1)->objects.size(), 1);
    // A mesh left without triangles adds nothing.
    run("PointsGeneralPolygons [1] [3] [7 8 9] \"P\" [0 0 0]\n");
    EXPECT_EQ(scene.objects.size(), 2);
}

// ---------------------------------------------------------------------------
// The camera at the end of the world block

TEST_F(RibCommandsTest, DefaultCameraIsTheRayTracer) {
    RibRun r = run("Format 64 48 1\nPixelSamples 3 1\nDepthOfField 4 2 9\n"
                   "Projection \"perspective\" \"fov\" [60]\n"
                   "Translate 0 0 5\nWorldBegin\nWorldEnd\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(7, ""));
    ASSERT_NE(scene.camera, nullptr);
    ASSERT_TRUE(scene.camera->isKindOf(ClassId::SimpleRaytracingCamera));
    SimpleRaytracingCamera* camera = static_cast<SimpleRaytracingCamera*>(scene.camera);
    EXPECT_EQ(camera->maxDepth, 4);
    EXPECT_EQ(camera->samplesPerPixel, 3);
    EXPECT_EQ(camera->aperture, 0.5f);
    EXPECT_EQ(camera->focalDistance, 9.0f);
    EXPECT_EQ(camera->width, 64);
    EXPECT_EQ(camera->height, 48);
    EXPECT_NEAR(camera->fovy, pi / 3, 1e-6f);
    EXPECT_EQ(camera->scene, &scene);
    // The world sits 5 in front of the eye, along +z.
    expectColor(camera->from, 0, 0, -5);
    expectColor(camera->to, 0, 0, -4);
    expectColor(camera->up, 0, 1, 0);
    EXPECT_EQ(scene.allObjects.elementAt(scene.allObjects.size() - 1), camera);
}

TEST_F(RibCommandsTest, CameraFromARotatedTransformation) {
    // World to camera: a quarter turn about y (RenderMan layout), then 3 along z.
    run("ConcatTransform [0 0 1 0  0 1 0 0  -1 0 0 0  0 0 3 1]\nWorldBegin\nWorldEnd\n");
    ASSERT_NE(scene.camera, nullptr);
    // Camera space point (0, 0, 0) is world (-3, 0, 0); (0, 0, 1) is (-2, 0, 0).
    HPoint from = scene.camera->from, to = scene.camera->to;
    EXPECT_NEAR(from.x, -3, 1e-6f);
    EXPECT_NEAR(from.z, 0, 1e-6f);
    EXPECT_NEAR(to.x, -2, 1e-6f);
    EXPECT_NEAR(to.z, 0, 1e-6f);
}

TEST_F(RibCommandsTest, RenderTypeChoosesTheCamera) {
    RibRun r = run("Attribute \"vq317Setting\" \"renderType\" [\"pathTracing\"]\n"
                   "Attribute \"vq317Setting\" \"rayDepth\" [6]\n"
                   "Attribute \"vq317Setting\" \"toneMappingConstant\" [2.5]\n"
                   "PixelSamples 4 5\nFormat 30 20 1\nWorldBegin\nWorldEnd\n");
    EXPECT_EQ(r.out, framed(7, ""));
    ASSERT_NE(scene.camera, nullptr);
    ASSERT_TRUE(scene.camera->isKindOf(ClassId::PathTracingCamera));
    PathTracingCamera* pathTracer = static_cast<PathTracingCamera*>(scene.camera);
    EXPECT_EQ(pathTracer->samplesPerPixel, 20);
    EXPECT_EQ(pathTracer->maxRayDepth, 6);
    EXPECT_EQ(pathTracer->toneMappingConstant, 2.5f);
    EXPECT_EQ(pathTracer->width, 30);
}

TEST_F(RibCommandsTest, UnknownRenderersFallBackToRayTracing) {
    RibRun r = run("Attribute \"vq317Setting\" \"renderType\" [\"radiosity\"]\nWorldBegin\nWorldEnd\n"
                   "Attribute \"vq317Setting\" \"renderType\" [\"rayTracing\"]\nWorldBegin\nWorldEnd\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, framed(6, "No renderType attribute specified: Assuming ray tracing\n"));
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_TRUE(scene.camera->isKindOf(ClassId::SimpleRaytracingCamera));
    // Every camera made stays registered (the scene destroys each once).
    int cameras = 0;
    for (int i = 0; i < scene.allObjects.size(); i++)
        if (scene.allObjects.elementAt(i)->isKindOf(ClassId::GCamera)) cameras++;
    EXPECT_EQ(cameras, 2);
}

TEST_F(RibCommandsTest, SpectralCameraAndItsMedium) {
    RibRun r = run("Attribute \"vq317Setting\" \"renderType\" [\"spectralSample\"]\n"
                   "Attribute \"vq317Setting\" \"rayDepth\" [6]\n"
                   "Attribute \"spectralSetting\" \"mediumType\" [\"uniformScattering\"]\n"
                   "Attribute \"spectralSetting\" \"extinctionCoefficient\" [0.1 0.2 0.3]\n"
                   "Attribute \"spectralSetting\" \"scatterPercent\" [0.9 0.8 0.7]\n"
                   "PixelSamples 3 4\nWorldBegin\nWorldEnd\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out.find("SPECTRAL_SAMPLE\n"), r.out.find("SPECTRAL_SAMPLE"));
    ASSERT_NE(scene.camera, nullptr);
    ASSERT_EQ(scene.camera->typeId(), ClassId::SpectralSampleCamera);
    SpectralSampleCamera* spectral = static_cast<SpectralSampleCamera*>(scene.camera);
    EXPECT_EQ(spectral->samplesPerPixel, 12);
    EXPECT_EQ(spectral->maxDepth, 6);
    UniformScatteringBsdf* uniform = dynamic_cast<UniformScatteringBsdf*>(spectral->medium);
    ASSERT_NE(uniform, nullptr);
    // First value for 600 - 699 nm, second for 500 - 599, third for 400 - 499.
    EXPECT_DOUBLE_EQ(uniform->spectrum[250], 0.1);
    EXPECT_DOUBLE_EQ(uniform->spectrum[150], 0.2);
    EXPECT_DOUBLE_EQ(uniform->spectrum[50], 0.3);
    EXPECT_DOUBLE_EQ(uniform->albedo[299], 0.9);
    EXPECT_DOUBLE_EQ(uniform->albedo[0], 0.7);

    GScene rayleighScene;
    RibReader rayleighReader(&rayleighScene);
    ::testing::internal::CaptureStdout();
    rayleighReader.readText("Attribute \"vq317Setting\" \"renderType\" [\"spectralSample\"]\n"
                            "Attribute \"spectralSetting\" \"mediumType\" [\"rayleighScattering\"]\n"
                            "Attribute \"spectralSetting\" \"sigmaT400nm\" [0.5]\nWorldBegin\nWorldEnd\n");
    ::testing::internal::GetCapturedStdout();
    SpectralSampleCamera* camera = static_cast<SpectralSampleCamera*>(rayleighScene.camera);
    ASSERT_NE(dynamic_cast<RayleighScatteringBsdf*>(camera->medium), nullptr);
    EXPECT_NEAR(camera->medium->spectrum[0], 0.5, 1e-12);
    EXPECT_NEAR(camera->medium->spectrum[300], 0.5 * 2.56e10 / (700.0 * 700.0 * 700.0 * 700.0), 1e-12);
}

TEST_F(RibCommandsTest, UberSettings) {
    RibRun r = run("Attribute \"vq317Setting\" \"renderType\" [\"uberPathTracing\"]\n"
                   "Attribute \"vq317Setting\" \"rayDepth\" [5]\n"
                   "Attribute \"vq317Setting\" \"toneMappingConstant\" [2]\n"
                   "Attribute \"uberSetting\" \"numSplits\" [3] \"chainLength\" [7]\n"
                   "Attribute \"uberSetting\" \"renderMode\" [\"mlt\"] \"minDepth\" [3]\n"
                   "Attribute \"uberSetting\" \"postFilter\" [2] \"maxFilterChange\" [1.5]\n"
                   "PixelSamples 2 3\nWorldBegin\nWorldEnd\n");
    EXPECT_TRUE(r.ok);
    ASSERT_NE(scene.camera, nullptr);
    ASSERT_EQ(scene.camera->typeId(), ClassId::UberCamera);
    UberCamera* uber = static_cast<UberCamera*>(scene.camera);
    EXPECT_EQ(uber->samples, 6);
    EXPECT_EQ(uber->maxDepth, 5);
    EXPECT_EQ(uber->exposure, 2.0f);
    EXPECT_EQ(uber->numSplits, 3);
    EXPECT_EQ(uber->chainLength, 7);
    EXPECT_EQ(uber->renderMode, "mlt");
    EXPECT_EQ(uber->minDepth, 3);
    EXPECT_EQ(uber->postFilter, 2);
    EXPECT_FLOAT_EQ(uber->maxFilterChange, 1.5f);
    // Settings the file does not give keep the camera's defaults.
    EXPECT_EQ(uber->useFilter, 0);
    EXPECT_FLOAT_EQ(uber->minFilterChange, 0.9f);
}

TEST_F(RibCommandsTest, SingularCameraTransformation) {
    RibRun r = run("ConcatTransform [0 0 0 0  0 0 0 0  0 0 0 0  0 0 0 0]\nWorldBegin\nWorldEnd\n");
    EXPECT_EQ(r.out, framed(3, "Transform matrix wasn't invertible.  Expect weird behavior\n"));
    ASSERT_NE(scene.camera, nullptr);
    expectColor(scene.camera->from, 0, 0, 0);
    expectColor(scene.camera->to, 0, 0, 1);
}

}  // namespace
