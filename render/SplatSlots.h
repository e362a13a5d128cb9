// Threads for the renderers whose samples land on other pixels than their
// own (light-tracing splats, Markov chains). The work is cut into a fixed
// number of slots, one per thread of the run: slot k always does the same
// share of the work (the rows k, k + N, k + 2N, ... or chain k), in the same
// order, drawing from streams seeded by the unit (row or chain) and the pass,
// and adds into its own image; the images are summed in slot order. So an
// image depends on the seed and the number of slots, never on which thread
// ran a slot or when. The work runs in rounds (one parallelFor each): between
// rounds the calling thread alone prints progress and writes snapshots, from
// images no thread is writing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/HPointImage.h"

class ColorImage;
class GCamera;

class SplatSlots {
public:
    // count slots of main's size: slot 0 accumulates in main itself, each
    // further slot in an image of its own, black at the start.
    SplatSlots(HPointImage& main, int count);
    int count() const { return (int)images.size(); }
    HPointImage& image(int slot) { return *images[(size_t)slot]; }
    // out (resized) = the sum of the slots' images, added in slot order.
    void sum(HPointImage& out) const;
    // That sum: main itself when there is one slot, else scratch filled
    // with it (so one slot costs no further image).
    const HPointImage& summed(HPointImage& scratch) const;
    // frame = the tone-mapped sum, as summed(...).toneMap(frame, k) gives,
    // without a scratch image.
    void toneMapSum(ColorImage& frame, float k) const;
    // Adds slots 1 .. count - 1 into slot 0 (main), in order; the same sum
    // as sum() gives. The slots' own images are released.
    void mergeIntoMain();

private:
    std::vector<HPointImage*> images;
    std::vector<std::unique_ptr<HPointImage>> owned;
};

// The rows 0 .. rows - 1 of a pass, cut into slots by row mod slots, in
// rounds on the camera's threads (GCamera::renderUnits, which counts their
// rays). renderRow(row, slot) renders one row into slot's share; the
// caller seeds the row's stream in it. betweenRounds(rowsDone) runs on the
// calling thread before every round (rowsDone = the rows finished) and once
// after the last (rowsDone = rows). A round gives every slot about a fifth
// of a second of work, measured as it goes, so progress comes as often as
// the renderer's own would while the threads rarely wait for each other.
void renderRowsInSlots(GCamera& camera, int rows, int slots, const std::function<void(int row, int slot)>& renderRow,
                       const std::function<void(int rowsDone)>& betweenRounds);

// Markov chains on threads: chain k of `chains` takes totalSteps / chains
// steps (the first totalSteps mod chains one more) from its own stream,
// seeded by seedWorkUnit(k, pass) when it starts and kept between rounds.
// advance(chain, steps) takes the next steps of the chain; betweenRounds
// (stepsDone) runs on the calling thread before every round and once after
// the last. A round is about roundSteps steps over all chains.
void runChainsInRounds(GCamera& camera, int chains, long long totalSteps, long long roundSteps, uint32_t pass,
                       const std::function<void(int chain, long long steps)>& advance,
                       const std::function<void(long long stepsDone)>& betweenRounds);
