// GObject: the root class. typeId and isKindOf are the system's only run-time
// type test; loaders and writers classify objects with isKindOf(class id).
#pragma once

namespace ClassId {
enum : int {
    GObject = 0,
    GImage = 1,
    ColorImage = 2,
    GrayImage = 3,
    RealImage = 4,
    HeightImage = 5,
    PresampledFunction = 6,
    GMipMap = 9,
    HPointImage = 10,
    GSceneObject = 1000,
    GTriangle = 1001,
    GSphere = 1002,
    GTransform = 1004,
    GScene = 1005,
    GCamera = 1006,
    OpenGLCamera = 1007,
    SimpleRaytracingCamera = 1008,
    GVertex = 1009,
    GLightingModel = 1010,
    PhongModel = 1011,
    GMaterial = 1012,
    GLight = 1013,
    PointLight = 1014,
    DirectionalLight = 1015,
    GBoundingBox = 1016,
    SpotLight = 1017,
    GPlane = 1018,
    IParseable = 1019,
    GPointCloud = 1020,
    MetropolisCamera = 1023,
    GTexture = 1024,
    PathTracingCamera = 1025,
    BidirectionalCamera = 1026,
    LBVHbox = 1027,
    GInverseTriangle = 1030,
    PathMetropolisCamera = 1031,
    InstantRadiosityCamera = 1032,
    UberCamera = 1035,
    SpectralSampleCamera = 1036,
    MisBidirectionalCamera = 1038,
    PrimarySampleMetropolisCamera = 1039,
};
}

// Size of the per-class buffers that toString formats into.
const int objectTextSize = 64;

// Writes "<className>@<address in hexadecimal>" into buffer (size bytes) and
// returns it: the common body of every class's toString.
const char* formatClassAddress(char* buffer, int size, const char* className,
                               const void* address);

class GObject {
public:
    GObject() {}
    virtual ~GObject() {}
    // True when this object is of class id or derives from it.
    virtual bool isKindOf(int id) const { return id == ClassId::GObject; }
    // Identity comparison unless a class says otherwise.
    virtual bool equals(const GObject* other) const { return this == other; }
    virtual int typeId() const { return ClassId::GObject; }
    // Class name, "@" and the address in hexadecimal. The text lives in a
    // per-class buffer (or the scratch area): valid until the next call.
    virtual const char* toString() const;
    // Classes that can copy themselves return a new object owned by the caller.
    virtual GObject* clone() const { return nullptr; }
    virtual void hook1() {}
    virtual void hook2() {}

    GObject(const GObject&) = default;
    GObject& operator=(const GObject&) = default;
};
