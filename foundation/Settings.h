// Process-wide settings. Written only by the option parser (and their static
// initial values); read by intersection, grids, point clouds and the driver.
#pragma once

#include <string>

extern float epsilon;               // self-intersection tolerance
extern bool fakeCaustics;           // shadow filter of scene objects
extern bool transparentShadows;     // shadow test of scene objects
extern int minObjectsInGrid;        // objects needed before a grid is built
extern int maxGridVoxels;           // upper bound on a grid's voxel count
extern float rayMarchOffsetFactor;  // point-cloud ray marching
extern float rayMarchStepFactor;
extern int rayMarchRefinements;
// Growable, so that "-o" with any length of name cannot overflow it.
extern std::string outputFileName;

// Grid tuning constants that no option sets.
extern const float gridDensityFactor;
extern const int gridMinResolution;
extern const int gridMaxResolution;
