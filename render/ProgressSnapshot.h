// When the renderers write their progress images ("temp.ppm", "image.ppm",
// ...). A snapshot converts and writes the whole image, so its cost grows
// with the image: one is taken only when at least a second has passed since
// the previous one, and always when the renderer says it is the last it
// asks for, so the file left behind holds what the renderer asked for last.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

class GCamera;
class HPointImage;

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

// The single-thread chain loops report at steps 1, interval + 1, ... below
// total: the last of those steps (its snapshot is always taken), or -1 when
// there is none.
inline long long lastProgressStep(double total, long long interval) {
    return total > 1.0 ? ((long long)(total - 2.0) / interval) * interval + 1 : -1;
}

// The rows of an image that threads of a parallel render have finished, so
// that a progress snapshot taken on one thread shows finished rows only
// (rows still being written stay black) and never reads a pixel being
// written.
class FinishedRows {
public:
    explicit FinishedRows(int rows);
    // After every pixel of the row is written.
    void finish(int row);
    bool finished(int row) const {
        return row >= 0 && row < rows && done[row].load(std::memory_order_acquire);
    }
    // to (resized to from's size) gets the finished rows of from, black elsewhere.
    void copyFinished(const HPointImage& from, HPointImage& to) const;

private:
    int rows;
    std::unique_ptr<std::atomic<bool>[]> done;
};

// "-log": the renderers that refine the whole image as they go append a CSV
// row at each progress snapshot and one when they finish: seconds since the
// render started (the camera's renderStarted, set by the driver, else since
// the log was made), the samples per pixel or chain steps so far, and, when
// the camera has a reference image, the error figures (see
// image/ImageError.h) of the image normalised as it would be if the render
// stopped there (the uber camera's post filter is left out). A new or empty
// file gets the header line first. Inactive (no file, nothing costs) when
// the camera has no log name.
class ProgressLog {
public:
    // countName heads the count column: "samples" or "steps".
    ProgressLog(const GCamera& camera, const char* countName);
    ~ProgressLog();
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;

    bool active() const { return file != nullptr; }
    // Whether row wants the normalised image (there is a reference to measure against).
    bool wantsImage() const { return file != nullptr && reference != nullptr; }
    // image may be null when wantsImage() is false; the error fields stay empty then.
    void row(double count, const HPointImage* image);

private:
    FILE* file;
    const HPointImage* reference;
    long double started; // currentSeconds()
};
