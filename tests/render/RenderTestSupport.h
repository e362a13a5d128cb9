// Set-up shared by the camera tests: a scene built in code whose renders run
// in a scratch folder (the cameras write their files into the working folder).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "geometry/GPlane.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

class SceneInScratchFolder : public ::testing::Test {
protected:
    GScene scene;
    std::string folder, previousFolder, console;

    void SetUp() override {
        char buffer[4096];
        previousFolder = getcwd(buffer, sizeof buffer) ? buffer : ".";
        folder = makeScratchDir();
        ASSERT_EQ(0, chdir(folder.c_str()));
    }

    void TearDown() override { EXPECT_EQ(0, chdir(previousFolder.c_str())); }

    // Like the loader, every object goes into allObjects; the scene destroys them.
    template <class T>
    T* keep(T* object) {
        scene.allObjects.add(object);
        return object;
    }

    template <class Shape>
    Shape* addShape(Shape* shape, GMaterial* m) {
        shape->setMaterial(m);
        scene.objects.add(keep(shape));
        return shape;
    }

    GPlane* addPlane(HPoint origin, HPoint normal, GMaterial* m) {
        GPlane* plane = new GPlane();
        plane->origin = origin;
        plane->normal = normal;
        plane->setUp();
        return addShape(plane, m);
    }

    GSphere* addSphere(HPoint centre, float radius, GMaterial* m) {
        GSphere* sphere = new GSphere();
        sphere->center = centre;
        sphere->setRadius(radius);
        return addShape(sphere, m);
    }

    // Runs draw with standard output kept in console.
    template <class Draw>
    void captured(Draw draw) {
        testing::internal::CaptureStdout();
        draw();
        console = testing::internal::GetCapturedStdout();
    }
};

inline const char* const emitterShader =
    "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
    "<emissive r='0.3' g='0.5' b='0.2'/></attributes></shader>";

// An XML scene: an emitter seen straight on, or only through a mirror at 45
// degrees, by a resolution x resolution camera narrow enough that every
// jittered ray meets the same surfaces.
inline std::string emitterScene(bool throughMirror, const char* renderType, int resolution) {
    const std::string size = std::to_string(resolution);
    std::string camera =
        "<camera name='c' resx='" + size + "' resy='" + size + "' focal='0.01'><from x='0' y='0' z='0'/>"
        "<to x='0' y='0' z='-1'/><up x='0' y='1' z='0'/></camera>"
        "<render camera_name='c'><rendertype value='" + std::string(renderType) + "'/></render>";
    std::string mirror =
        "<shader type='generic' name='mirror'><attributes><color r='0' g='0' b='0'/>"
        "<specular r='1' g='1' b='1'/><reflected r='1' g='1' b='1'/></attributes></shader>"
        "<object shader_name='mirror'><mesh><points><p x='-1' y='-1' z='-2'/><p x='1' y='-1' z='-4'/>"
        "<p x='1' y='1' z='-4'/><p x='-1' y='1' z='-2'/></points><faces><f a='0' b='1' c='2' d='3'/>"
        "</faces></mesh></object>"
        // the lamp beside it, facing -x, where the mirror sends the rays
        "<object shader_name='lamp'><mesh><points><p x='3' y='-1' z='-4'/><p x='3' y='-1' z='-2'/>"
        "<p x='3' y='1' z='-2'/><p x='3' y='1' z='-4'/></points><faces><f a='0' b='1' c='2' d='3'/>"
        "</faces></mesh></object>";
    std::string direct =
        "<object shader_name='lamp'><mesh><points><p x='-1' y='-1' z='-5'/><p x='1' y='-1' z='-5'/>"
        "<p x='1' y='1' z='-5'/><p x='-1' y='1' z='-5'/></points><faces><f a='0' b='1' c='2' d='3'/>"
        "</faces></mesh></object>";
    return camera + emitterShader + (throughMirror ? mirror : direct);
}

// A closed box of diffuse walls lit by one small emitting patch.
inline std::string closedBox(const char* renderType, int size) {
    std::string text =
        "<camera name='c' resx='" + std::to_string(size) + "' resy='" + std::to_string(size) +
        "' focal='1.2'><from x='0' y='0' z='0.9'/><to x='0' y='0' z='0'/></camera>"
        "<render camera_name='c' raydepth='2'><rendertype value='" + std::string(renderType) + "'/></render>"
        "<shader type='generic' name='wall'><attributes><color r='0.6' g='0.5' b='0.4'/></attributes></shader>"
        "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
        "<emissive r='8' g='8' b='8'/></attributes></shader>";
    // The six walls of the cube [-1, 1]^3 as quads (a, b, c, d).
    const char* walls[6] = {
        "-1 -1 -1  1 -1 -1  1 -1 1  -1 -1 1",  "-1 1 -1  -1 1 1  1 1 1  1 1 -1",
        "-1 -1 -1  -1 1 -1  1 1 -1  1 -1 -1",  "-1 -1 1  1 -1 1  1 1 1  -1 1 1",
        "-1 -1 -1  -1 -1 1  -1 1 1  -1 1 -1",  "1 -1 -1  1 1 -1  1 1 1  1 -1 1",
    };
    for (const char* wall : walls) {
        float v[12];
        std::sscanf(wall, "%f %f %f %f %f %f %f %f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &v[6], &v[7], &v[8], &v[9], &v[10], &v[11]);
        text += "<object shader_name='wall'><mesh><points>";
        for (int k = 0; k < 4; k++) {
            char point[96];
            std::snprintf(point, sizeof point, "<p x='%g' y='%g' z='%g'/>", v[3 * k], v[3 * k + 1], v[3 * k + 2]);
            text += point;
        }
        text += "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
    }
    // The lamp, facing down, half-way up to the ceiling: every surface it
    // lights is at least 0.5 away, so no connection reaches the cap of 20
    // on 1 / d^2 (which the path tracer's emitter sampling does not have).
    text += "<object shader_name='lamp'><mesh><points><p x='-0.2' y='0.5' z='-0.2'/>"
            "<p x='0.2' y='0.5' z='-0.2'/><p x='0.2' y='0.5' z='0.2'/><p x='-0.2' y='0.5' z='0.2'/>"
            "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
    return text;
}

// Per-seed estimates of one quantity: their mean and sample variance.
struct Estimates {
    std::vector<double> values;
    double mean() const {
        double sum = 0;
        for (double v : values) sum += v;
        return sum / values.size();
    }
    double variance() const {
        double m = mean(), sum = 0;
        for (double v : values) sum += (v - m) * (v - m);
        return sum / (values.size() - 1);
    }
};
