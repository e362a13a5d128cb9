#include "geometry/BBVoxel.h"

#include <climits>

VoxelTable::VoxelTable() : mask(0), shift(32), voxelTotal(0), listedTotal(0) {
    clear();
}

void VoxelTable::clear() {
    voxelTotal = 0;
    listedTotal = 0;
    packets.clear();
    occupancy.clear();
    extent[0] = extent[1] = extent[2] = 0;
    heads.clear();
    nodes.clear();
    for (int a = 0; a < 3; a++) {
        lowest[a] = INT_MAX;
        highest[a] = INT_MIN;
    }
    // A small power of two keeps find() valid on an empty table.
    slots.assign(16, BBVoxel{0, 0, 0, emptySlot});
    mask = 15;
    shift = 28;
}

void VoxelTable::resizeSlots(size_t voxelsToHold) {
    // At most half full: short probe sequences, also for voxels that do not exist.
    size_t size = 16;
    int bits = 4;
    while (size < 2 * voxelsToHold && bits < 31) {
        size *= 2;
        bits++;
    }
    std::vector<BBVoxel> old;
    old.swap(slots);
    slots.assign(size, BBVoxel{0, 0, 0, emptySlot});
    mask = (uint32_t)size - 1u;
    shift = 32 - bits;
    for (const BBVoxel& voxel : old) {
        if (voxel.contents == emptySlot) continue;
        uint32_t slot = slotOf(voxel.x, voxel.y, voxel.z);
        while (slots[slot].contents != emptySlot) slot = (slot + 1) & mask;
        slots[slot] = voxel;
    }
}

void VoxelTable::insert(int x, int y, int z, uint32_t object) {
    uint32_t slot = slotOf(x, y, z);
    for (;;) {
        BBVoxel& voxel = slots[slot];
        if (voxel.contents == emptySlot) break;
        if (voxel.x == x && voxel.y == y && voxel.z == z) {
            uint32_t& head = heads[voxel.contents];
            const ListNode& first = nodes[head];
            if (first.object == object) return;
            if (first.next != emptySlot && nodes[first.next].object == object) return;
            nodes.push_back(ListNode{object, head});
            head = (uint32_t)nodes.size() - 1u;
            return;
        }
        slot = (slot + 1) & mask;
    }
    // A new voxel.
    if (2 * (voxelTotal + 1) > slots.size()) {
        resizeSlots(voxelTotal + 1);
        slot = slotOf(x, y, z);
        while (slots[slot].contents != emptySlot) slot = (slot + 1) & mask;
    }
    nodes.push_back(ListNode{object, emptySlot});
    heads.push_back((uint32_t)nodes.size() - 1u);
    slots[slot] = BBVoxel{x, y, z, (uint32_t)heads.size() - 1u};
    voxelTotal++;
    const int coordinate[3] = {x, y, z};
    for (int a = 0; a < 3; a++) {
        if (coordinate[a] < lowest[a]) lowest[a] = coordinate[a];
        if (coordinate[a] > highest[a]) highest[a] = coordinate[a];
    }
}

void VoxelTable::buildOccupancy() {
    occupancy.clear();
    if (voxelTotal == 0) {
        extent[0] = extent[1] = extent[2] = 0;
        return;
    }
    double bits = 1.0;
    for (int a = 0; a < 3; a++) {
        extent[a] = (uint32_t)highest[a] - (uint32_t)lowest[a] + 1u;
        bits *= (double)extent[a];
    }
    if (bits > (double)maxOccupancyBits) return;
    occupancy.assign(((size_t)bits + 63) / 64, 0u);
    for (const BBVoxel& slot : slots) {
        if (slot.contents == emptySlot) continue;
        size_t bit = ((uint32_t)slot.x - (uint32_t)lowest[0]) +
                     (size_t)extent[0] * (((uint32_t)slot.y - (uint32_t)lowest[1]) +
                                          (size_t)extent[1] * ((uint32_t)slot.z - (uint32_t)lowest[2]));
        occupancy[bit >> 6] |= (uint64_t)1 << (bit & 63);
    }
}
