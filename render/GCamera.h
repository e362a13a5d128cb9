// GCamera: the viewpoint and, in its subclasses, the rendering algorithm. Holds
// what every renderer shares: the image size, the pinhole view (eye, look-at
// point, up vector, full vertical field of view in radians), the orthonormal
// view frame derived from it, the ray counter and the scene.
//
// Pinhole model: with s = 2 tan(fovy / 2) / height (the side of one square
// pixel at unit distance), the direction through raster position (x, y) is
// normalise(viewDirection + trueUp*s*(y - H/2) + right*s*(x - W/2)); x grows to
// the right from the left edge, y upwards from the bottom row.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "foundation/HPoint.h"
#include "geometry/IParseable.h"

class ColorImage;
class GScene;
class HPointImage;
struct CameraSettingTable;
struct GMatrix;
struct GRay;

class GCamera : public IParseable {
public:
    // Number of rays the camera has created; never reset during a run.
    unsigned rayCounter;
    GScene* scene;  // not owned
    int width, height;
    HPoint from, to, up;
    float fovy;  // full vertical angle, radians
    // Valid after setView: right, trueUp and -viewDirection form a
    // right-handed orthonormal frame.
    HPoint viewDirection, trueUp, right;
    // "-radiance": where the renderer writes its floating-point result; empty
    // for none.
    std::string radianceFileName;
    // "-reference" and "-log", set by the driver (the images are not owned):
    // the image the progress log measures against, where writeRadiance keeps
    // a copy of the floating-point result for the driver to compare, and the
    // progress log's file. Null or empty for none.
    const HPointImage* referenceImage = nullptr;
    HPointImage* resultImage = nullptr;
    std::string logFileName;
    // When the render started (currentSeconds()), for the log's seconds; 0 for unknown.
    long double renderStarted = 0;

    GCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;

    virtual void setResolution(int width, int height);
    // Stores the view and derives viewDirection, right and trueUp. An up
    // vector parallel to the view gives a degenerate frame.
    virtual void setView(const HPoint& from, const HPoint& to, const HPoint& up, float fovy);
    // Projection P = S.R.T stored in the row-vector layout of GMatrix: a world
    // point X (w = 1) transformed by it gives (x', y', z', w') whose
    // (x'/w', y'/w') is the raster position of X when w' > 0.
    virtual void worldToRaster(GMatrix& out, int width, int height);
    // Prints "parseSimple not implemented for %s\n" and answers false.
    virtual bool parseSimple();
    virtual int getWidth();
    virtual int getHeight();
    // Renders into frame, already sized getWidth() x getHeight(); the base
    // camera draws nothing.
    virtual void render(ColorImage& frame);
    // The YafRay camera block and a render block naming the renderer with
    // all its settings, so that the file reads back as the same renderer.
    virtual void writeXML(FILE* file);

    void setScene(GScene* newScene) { scene = newScene; }

    // The settings the command line and the scene readers may set by name;
    // nullptr for a camera without any.
    virtual const CameraSettingTable* settingTable() const { return nullptr; }
    // Whether the renderer refines the whole image as it goes and so writes
    // "-log" rows at its progress snapshots.
    virtual bool logsProgress() const { return false; }
    // Whether the settings let the renderer render; a renderer that would
    // refuse says why (naming the setting to change) and answers false.
    virtual bool settingsAccepted() const { return true; }
    // Writes image to radianceFileName when one is set (EXR, PFM or PNM-HPOINT
    // by its extension, RadianceFiles.h), saying so when the
    // file cannot be written. A floating-point result is also copied to
    // resultImage when one is set; the ray tracer's frame-made image is not.
    void writeRadiance(const HPointImage& image, bool floatingPoint = true) const;

    // Reads a native camera block: "{", keywords, "}" (which calls setView and
    // answers true); the end of input answers false. The view keywords every
    // camera shares are handled here, the others go to parseKeyword, and
    // tokens nobody knows are skipped one at a time.
    bool parseViewBlock(GScene* newScene);
    // A camera's own block keyword: reads its values and answers true, or
    // answers false for a token it does not know.
    virtual bool parseKeyword(const char* token);

    // Pixel steps of the pinhole model for an image height of imageHeight.
    void pixelSteps(int imageHeight, HPoint& rightStep, HPoint& upStep) const;
    // viewDirection + upStep*dy + rightStep*dx, not normalised.
    HPoint offsetDirection(const HPoint& rightStep, const HPoint& upStep, float dx, float dy) const {
        return HPoint(viewDirection.x + upStep.x * dy + rightStep.x * dx,
                      viewDirection.y + upStep.y * dy + rightStep.y * dx,
                      viewDirection.z + upStep.z * dy + rightStep.z * dx, 1.0f);
    }
    // A camera ray (depth 0, from the eye) through the raster point (x, y) of
    // a w x h image.
    void rasterRay(GRay& ray, const HPoint& rightStep, const HPoint& upStep, float x, float y,
                   int w, int h) {
        makeRay(ray, 0, from,
                offsetDirection(rightStep, upStep, x - (float)w * 0.5f, y - (float)h * 0.5f));
    }
    // A new camera ray (depth given, direction normalised, reciprocal
    // direction filled) counted in rayCounter. Its identifier comes from the
    // one process-wide ray counter, so camera rays never share an identifier
    // with each other, with rays built elsewhere, or with the 0 that fresh
    // mailboxes hold.
    void makeRay(GRay& ray, int depth, const HPoint& origin, const HPoint& direction);

    // Runs body(unit, thread) for units 0 .. count - 1 on the run's threads
    // (parallelFor, so one thread runs them in order) and adds the rays the
    // threads made to rayCounter, exactly; progress(done) runs on the calling
    // thread only. Work a body keeps apart per thread is indexed by thread.
    void renderUnits(int count, const std::function<void(int unit, int thread)>& body,
                     const std::function<void(int done)>& progress = nullptr);
};

// The process-wide 512 x 512 trajectory image for path plots, created black on
// first use; the ray tracer writes it to "trajectory.ppm".
ColorImage& trajectoryImage();
