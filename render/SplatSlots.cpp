#include "render/SplatSlots.h"

#include <algorithm>
#include <chrono>

#include "foundation/Parallel.h"
#include "foundation/Random.h"
#include "render/GCamera.h"

SplatSlots::SplatSlots(HPointImage& main, int count) {
    if (count < 1) count = 1;
    images.push_back(&main);
    for (int k = 1; k < count; k++) {
        owned.emplace_back(new HPointImage(main.width, main.height));
        images.push_back(owned.back().get());
    }
}

void SplatSlots::sum(HPointImage& out) const {
    out.copyFrom(*images[0]);
    for (size_t k = 1; k < images.size(); k++) out.add(*images[k]);
}

const HPointImage& SplatSlots::summed(HPointImage& scratch) const {
    if (images.size() == 1) return *images[0];
    sum(scratch);
    return scratch;
}

void SplatSlots::toneMapSum(ColorImage& frame, float k) const {
    HPointImage::toneMapSum(images.data(), (int)images.size(), frame, k);
}

void SplatSlots::mergeIntoMain() {
    for (size_t k = 1; k < images.size(); k++) images[0]->add(*images[k]);
    images.resize(1);
    owned.clear();
}

void renderRowsInSlots(GCamera& camera, int rows, int slots, const std::function<void(int row, int slot)>& renderRow,
                       const std::function<void(int rowsDone)>& betweenRounds) {
    if (slots < 1) slots = 1;
    // Rows per slot in a round; a round starts at a multiple of slots, so
    // row r always falls to slot r mod slots.
    int perSlot = 1;
    const double roundSeconds = 0.2;
    int done = 0;
    while (done < rows) {
        betweenRounds(done);
        const int end = std::min(rows, done + slots * perSlot);
        const int start = done;
        auto began = std::chrono::steady_clock::now();
        camera.renderUnits(slots, [&](int slot, int) {
            for (int row = start + slot; row < end; row += slots) renderRow(row, slot);
        });
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        done = end;
        // The next round's length from this one's pace, changed by at most
        // a factor of 4 a round.
        double wanted = seconds > 0.0 ? perSlot * roundSeconds / seconds : 4.0 * perSlot;
        perSlot = (int)std::max(1.0, std::min(wanted, 4.0 * perSlot));
    }
    betweenRounds(rows);
}

void runChainsInRounds(GCamera& camera, int chains, long long totalSteps, long long roundSteps, uint32_t pass,
                       const std::function<void(int chain, long long steps)>& advance,
                       const std::function<void(long long stepsDone)>& betweenRounds) {
    if (chains < 1) chains = 1;
    if (roundSteps < chains) roundSteps = chains;
    std::vector<long long> share((size_t)chains), taken((size_t)chains, 0);
    std::vector<uint32_t> streams((size_t)chains);
    for (int k = 0; k < chains; k++) {
        share[(size_t)k] = totalSteps / chains + (k < totalSteps % chains ? 1 : 0);
        seedWorkUnit((uint32_t)k, pass);
        streams[(size_t)k] = randomStreamState();
    }
    const long long perChain = (roundSteps + chains - 1) / chains;
    long long done = 0;
    while (done < totalSteps) {
        betweenRounds(done);
        camera.renderUnits(chains, [&](int chain, int) {
            const size_t k = (size_t)chain;
            long long steps = std::min(perChain, share[k] - taken[k]);
            if (steps <= 0) return;
            seedRandom(streams[k]);
            advance(chain, steps);
            streams[k] = randomStreamState();
            taken[k] += steps;
        });
        done = 0;
        for (long long t : taken) done += t;
    }
    betweenRounds(totalSteps);
}
