// The records of a "POINT_CLOUD" file after its first line: a count of
// 64-byte material records, then a count of 24-byte sphere records (centre,
// radius, material index in the top byte, packed colour), little-endian.
// The shape block reads them into a grid of spheres, the point-cloud block
// into its points; counts beyond what the file holds are cut to it.
#pragma once

#include <cstddef>

class GMaterial;
class GSphere;

class SphereSetReceiver {
public:
    virtual ~SphereSetReceiver() {}
    // Each new object, to keep alive.
    virtual void material(GMaterial* material) = 0;
    virtual void sphere(GSphere* sphere) = 0;
};

// readIndexOfRefraction: bytes 24 - 27 of a material record are its index
// of refraction (the point-cloud form of the file).
void readSphereSet(const unsigned char* data, size_t size, const char* fileName, GMaterial* blockMaterial,
                   bool readIndexOfRefraction, SphereSetReceiver& receiver);
