#include "geometry/RayMailbox.h"

void recordRayStamp(unsigned rayId, const void* owner) {
    RayStampSlot& slot = rayStampSlotsOfThread()[rayId % rayStampSlots];
    if (slot.rayId != rayId) {
        slot.rayId = rayId;
        slot.objects[0] = owner;
        slot.objects[1] = nullptr;
    } else if (slot.objects[0] != owner) {
        slot.objects[1] = owner;
    }
}
