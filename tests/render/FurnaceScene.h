// A furnace for the multiple-importance cameras: the camera inside a closed
// cube whose walls all emit E and reflect diffusely with albedo rho. Every
// path of k segments brings E rho^(k - 1), so the radiance of paths up to
// maxDepth segments is E (1 - rho^maxDepth) / (1 - rho) in every pixel,
// whatever mix of strategies carries it.
#pragma once

#include <cmath>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/Random.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/GCamera.h"
#include "tests/render/RenderTestSupport.h"

class FurnaceScene : public SceneInScratchFolder {
protected:
    const float emission = 1.0f, albedo = 0.5f;
    ThreadSettings savedThreads;

    void SetUp() override {
        SceneInScratchFolder::SetUp();
        savedThreads = threadSettings();
        setThreadSettings(ThreadSettings());
        GMaterial* wall = keep(new GMaterial());
        wall->setColor(GMaterial::diffuse, HPoint(albedo, albedo, albedo, 0));
        wall->setColor(GMaterial::emissive, HPoint(emission, emission, emission, 0));
        const int faces[6][4][3] = {
            {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
            {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
            {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}};
        for (const auto& face : faces) {
            GVertex* v[4];
            for (int i = 0; i < 4; i++) {
                v[i] = keep(new GVertex());
                v[i]->position = HPoint((float)face[i][0], (float)face[i][1], (float)face[i][2], 1);
            }
            for (int half = 0; half < 2; half++) {
                GTriangle* triangle = keep(new GTriangle());
                triangle->setVertices(v[0], v[half + 1], v[half + 2]);
                triangle->setMaterial(wall);
                scene.objects.add(triangle);
                scene.emitters.add(triangle);
            }
        }
    }

    void TearDown() override {
        setThreadSettings(savedThreads);
        SceneInScratchFolder::TearDown();
    }

    // Puts camera into the scene, looking at a wall from off the centre.
    void place(GCamera* camera) {
        scene.camera = camera;
        camera->setScene(&scene);
        camera->setResolution(4, 4);
        camera->setView(HPoint(0.3f, -0.2f, 0.1f, 1), HPoint(0, 0, -1, 1), HPoint(0, 1, 0, 1), 1.0f);
    }

    double expected(int maxDepth) const { return emission * (1.0 - std::pow(albedo, maxDepth)) / (1.0 - albedo); }

    // The image mean of a render under each seed; the mean and its standard error.
    void meanOverSeeds(GCamera* camera, int seeds, double& mean, double& error) {
        std::vector<double> means;
        for (int seed = 1; seed <= seeds; seed++) {
            seedRandom((uint32_t)seed);
            HPointImage result;
            camera->resultImage = &result;
            ColorImage frame(4, 4);
            captured([&] { camera->render(frame); });
            double sum = 0.0;
            for (int i = 0; i < result.width * result.height; i++) sum += result.pixels[i].y;
            means.push_back(sum / (result.width * result.height));
        }
        camera->resultImage = nullptr;
        double total = 0.0, squares = 0.0;
        for (double m : means) total += m;
        mean = total / seeds;
        for (double m : means) squares += (m - mean) * (m - mean);
        error = std::sqrt(squares / (seeds - 1) / seeds);
    }
};
