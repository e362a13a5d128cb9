// Set-up shared by the camera tests: a scene built in code whose renders run
// in a scratch folder (the cameras write their files into the working folder).
#pragma once

#include <gtest/gtest.h>

#include <string>
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
