// The program's entry: options, loading, preparation, rendering and the
// one-shot tools, in a fixed order. Exit status 0 for every normal end.
#pragma once

#include "foundation/JVector.h"

class GScene;

// The largest frame rendered, in pixels (4096 x 4096): with a renderer's
// accumulation images it stays well below 2 GB. A larger frame, or one whose
// images memory cannot hold, ends the run with frameRefusedStatus.
const long long maxFramePixels = 1LL << 24;
const int frameRefusedStatus = 2;
// Runs that render nothing end with this status too, writing no image, so
// that a script can tell: a refused "-set", settings the renderer refuses,
// a scene without a camera.
const int nothingRenderedStatus = 2;

// Runs the program with its command line; returns the exit status (one-shot
// tools and the manual end here too; only the bounds error exits directly).
int velkMain(int argc, char** argv);

// Applies the options to the global settings and to the scene's camera, if it
// has one. firstPass: the one-shot tools and "-seed" act only then.
// Returns -1 to go on, or an exit status when a one-shot tool ran or (after
// loading) a "-set" was refused.
int parseOptions(JVector<char>& arguments, GScene* scene, bool firstPass);

// Copies "velkManual.txt" (found on the search path) to standard output.
void printManual();
