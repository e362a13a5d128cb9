#include "render/ProgressSnapshot.h"

ProgressSnapshot::ProgressSnapshot(double minimumSeconds)
    : interval(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(minimumSeconds))),
      taken(false) {}

bool ProgressSnapshot::due(bool last) {
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (!last && taken && now - previous < interval) return false;
    previous = now;
    taken = true;
    return true;
}
