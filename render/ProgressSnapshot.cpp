#include "render/ProgressSnapshot.h"

#include <string>

#include "foundation/Timer.h"
#include "image/HPointImage.h"
#include "image/ImageError.h"
#include "render/GCamera.h"

ProgressSnapshot::ProgressSnapshot(double minimumSeconds)
    : interval(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(minimumSeconds))),
      taken(false) {}

bool ProgressSnapshot::due(bool last) {
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (!last && taken && now - previous < interval)
        return false;
    previous = now;
    taken = true;
    return true;
}

FinishedRows::FinishedRows(int rowCount)
    : rows(rowCount > 0 ? rowCount : 0), done(new std::atomic<bool>[(size_t)(rowCount > 0 ? rowCount : 0)]) {
    for (int row = 0; row < rows; row++) done[row].store(false, std::memory_order_relaxed);
}

void FinishedRows::finish(int row) {
    if (row >= 0 && row < rows) done[row].store(true, std::memory_order_release);
}

void FinishedRows::copyFinished(const HPointImage& from, HPointImage& to) const {
    to.resize(from.width, from.height);
    const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);
    for (int y = 0; y < from.height; y++) {
        bool rowFinished = finished(y);
        for (int x = 0; x < from.width; x++) to.at(x, y) = rowFinished ? from.at(x, y) : black;
    }
}

ProgressLog::ProgressLog(const GCamera& camera, const char* countName)
    : file(nullptr), reference(camera.referenceImage),
      started(camera.renderStarted > 0 ? camera.renderStarted : currentSeconds()) {
    if (camera.logFileName.empty())
        return;
    file = std::fopen(camera.logFileName.c_str(), "a");
    if (!file) {
        std::printf("-log: could not write '%s'\n", camera.logFileName.c_str());
        return;
    }
    if (std::ftell(file) == 0)
        std::fprintf(file, "seconds,%s,mse,relMSE,mean,referenceMean\n", countName);
}

ProgressLog::~ProgressLog() {
    if (file)
        std::fclose(file);
}

void ProgressLog::row(double count, const HPointImage* image) {
    if (!file)
        return;
    const double seconds = (double)(currentSeconds() - started);
    ImageErrorRecord error;
    if (reference && image && compareImages(*image, *reference, error))
        std::fprintf(file, "%.6f,%.17g,%s,%s,%s,%s\n", seconds, count,
                     errorFigureText(error.mse).c_str(), errorFigureText(error.relativeMse).c_str(),
                     errorFigureText(error.mean).c_str(),
                     errorFigureText(error.referenceMean).c_str());
    else
        std::fprintf(file, "%.6f,%.17g,,,,\n", seconds, count);
    std::fflush(file);
}
