#include "geometry/GRay.h"

#include <atomic>

// Threads take ids in blocks from one counter, so ids stay unique across
// threads at the cost of one atomic step per block; a lone thread still gets
// 1, 2, 3, ... (blocks follow each other).
static const unsigned rayIdBlock = 4096;  // divides 2^32, so no block straddles 0
static std::atomic<unsigned> rayIdBlocks{0};
static thread_local unsigned nextIdOfThread = 0, blockEndOfThread = 0;

unsigned nextRayId() {
    if (nextIdOfThread == blockEndOfThread) {
        nextIdOfThread = rayIdBlocks.fetch_add(rayIdBlock, std::memory_order_relaxed);
        blockEndOfThread = nextIdOfThread + rayIdBlock;
        // 0 marks a fresh mailbox, so a wrapped counter skips it.
        if (nextIdOfThread == 0) nextIdOfThread = 1;
    }
    return nextIdOfThread++;
}

GRay::GRay(int rayDepth, const HPoint& rayOrigin, const HPoint& rayDirection)
    : id(nextRayId()), depth(rayDepth), origin(rayOrigin) {
    float w = rayDirection.w;
    setDirection(rayDirection);
    direction.w = w; // this constructor has always kept the caller's w
}
