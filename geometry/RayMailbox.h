// RayMailbox: the id of the last ray an object was tested against or stamped
// with. Threads of a parallel render share the objects, so the field is read
// and written with relaxed atomics: another thread's write can only make a ray
// test an object again, never skip one. Because such a write could also wipe
// a stamp (the surface a ray leaves from), parallel renders keep each
// thread's recent stamps beside it as well (rayStampedOn), so whether a ray
// sees its own surface never depends on the other threads.
#pragma once

#include <atomic>

#include "foundation/Parallel.h"

const int rayStampSlots = 32;

// The calling thread's recent stamps, one slot per ray id modulo
// rayStampSlots: a thread takes its ray ids in consecutive runs, so a stamp
// stays until the thread has made that many more rays, far longer than the
// few rays between a stamp and its ray's trace. (A function-local array, so
// the intersection tests reach it inline, without a call.)
struct RayStampSlot {
    unsigned rayId;
    const void* objects[2];  // a shadow ray's two ends
};
inline RayStampSlot* rayStampSlotsOfThread() {
    static thread_local RayStampSlot slots[rayStampSlots];
    return slots;
}

// Whether the calling thread stamped `owner` for ray rayId recently; always
// false outside a run with unit streams.
inline bool rayStampedOn(unsigned rayId, const void* owner) {
    if (!workUnitStreams()) return false;
    const RayStampSlot& slot = rayStampSlotsOfThread()[rayId % rayStampSlots];
    return slot.rayId == rayId && (slot.objects[0] == owner || slot.objects[1] == owner);
}
void recordRayStamp(unsigned rayId, const void* owner);
inline void noteRayStamp(unsigned rayId, const void* owner) {
    if (workUnitStreams()) recordRayStamp(rayId, owner);
}

// A copyable relaxed-atomic ray id (0 for "no ray yet"); reads and writes
// like the plain unsigned it replaces.
class RayMailbox {
public:
    RayMailbox(unsigned rayId = 0) : lastRayId(rayId) {}
    RayMailbox(const RayMailbox& other) : lastRayId(other.load()) {}
    RayMailbox& operator=(const RayMailbox& other) {
        store(other.load());
        return *this;
    }
    RayMailbox& operator=(unsigned rayId) {
        store(rayId);
        return *this;
    }
    operator unsigned() const { return load(); }
    unsigned load() const { return lastRayId.load(std::memory_order_relaxed); }
    void store(unsigned rayId) { lastRayId.store(rayId, std::memory_order_relaxed); }

    // The mailbox test of an intersection: true when ray rayId was already
    // here or stamped `owner`; otherwise remembers the ray and answers false.
    // Parallel renders leave the shared field alone: threads writing the
    // objects' cache lines on every test would cost more than the redundant
    // tests it saves (two threads ran no faster than one); their stamps live
    // in the thread's own slots.
    bool seen(unsigned rayId, const void* owner) {
        if (load() == rayId || rayStampedOn(rayId, owner)) return true;
        if (!workUnitStreams()) store(rayId);
        return false;
    }
    // Stamps `owner` for ray rayId: that ray will not test it.
    void stamp(unsigned rayId, const void* owner) {
        if (workUnitStreams())
            recordRayStamp(rayId, owner);
        else
            store(rayId);
    }

private:
    std::atomic<unsigned> lastRayId;
};
