// When the renderers write their progress images ("temp.ppm", "image.ppm",
// ...). A snapshot converts and writes the whole image, so its cost grows
// with the image: one is taken only when at least a second has passed since
// the previous one, and always when the renderer says it is the last it
// asks for, so the file left behind holds what the renderer asked for last.
#pragma once

#include <chrono>

class ProgressSnapshot {
public:
    explicit ProgressSnapshot(double minimumSeconds = 1.0);
    // True when a snapshot is to be taken now (and then counted as taken):
    // the first one, the last one, or one a full interval after the previous.
    bool due(bool last);

private:
    std::chrono::steady_clock::duration interval;
    std::chrono::steady_clock::time_point previous;
    bool taken;
};
