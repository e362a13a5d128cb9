#include "foundation/Settings.h"

float epsilon = 0.001f;
bool fakeCaustics = true;
bool transparentShadows = false;
int minObjectsInGrid = 15;
int maxGridVoxels = 10000000;
float rayMarchOffsetFactor = 0.25f;
float rayMarchStepFactor = 0.3f;
int rayMarchRefinements = 3;
std::string outputFileName = "image.ppm";

const float gridDensityFactor = 1.0f;
const int gridMinResolution = 3;
const int gridMaxResolution = 256;
