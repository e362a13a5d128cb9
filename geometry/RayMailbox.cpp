#include "geometry/RayMailbox.h"

namespace {
// One slot per ray id modulo rayStampSlots: a thread takes its ray ids in
// consecutive runs, so a stamp stays until the thread has made that many more
// rays, far longer than the few rays between a stamp and its ray's trace.
struct StampSlot {
    unsigned rayId = 0;
    const void* objects[2] = {nullptr, nullptr};  // a shadow ray's two ends
};
thread_local StampSlot stampSlots[rayStampSlots];
}  // namespace

bool recentRayStamp(unsigned rayId, const void* owner) {
    const StampSlot& slot = stampSlots[rayId % rayStampSlots];
    return slot.rayId == rayId && (slot.objects[0] == owner || slot.objects[1] == owner);
}

void recordRayStamp(unsigned rayId, const void* owner) {
    StampSlot& slot = stampSlots[rayId % rayStampSlots];
    if (slot.rayId != rayId) {
        slot.rayId = rayId;
        slot.objects[0] = owner;
        slot.objects[1] = nullptr;
    } else if (slot.objects[0] != owner) {
        slot.objects[1] = owner;
    }
}
