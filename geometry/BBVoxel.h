// The sparse voxel set of a GBoundingBox grid: only voxels that hold objects
// exist, found through an open-addressing hash table on their integer
// coordinates.
//
// Filling keeps one list per voxel, most recently added object first; an
// object already first or second in the list is not added again (it can still
// appear twice when others came in between: the mailboxes make that harmless).
// finish() then lays every list out as one contiguous run of VoxelPackets in
// list order, so a ray reads a voxel's objects front to back from one block
// of memory, four at a time. A walk asks lookup(), which passes most empty
// voxels on one occupancy bit before it would probe the hash table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One slot of the lookup table: a non-empty voxel and where its run starts.
struct BBVoxel {
    int x, y, z;
    uint32_t contents;  // first VoxelPacket of the run; emptySlot in a free slot
};

// Four objects of a voxel's run, laid out for a four-wide ray test. For an
// undisplaced GInverseTriangle a lane caches what the triangle's own plane
// test reads (plane, projected corner and edges, inverse determinant), so the
// four-wide test makes the same decision as the triangle without touching it
// or its vertices; only the triangles it accepts are asked themselves. Lanes
// of other objects and unused lanes hold a zero plane, which no ray meets.
struct alignas(64) VoxelPacket {
    float nx[4], ny[4], nz[4], nw[4];  // plane: n . p + w = 0
    float p0u[4], p0v[4];              // V0 on the two projection axes
    float e1u[4], e1v[4];              // V1 - V0 on them
    float e2u[4], e2v[4];              // V2 - V0 on them
    float inverseDeterminant[4];
    // Bits 0-27: index in the box's objects (all ones: an unused lane); bit
    // 28: the projection keeps x (else y) as its first axis; bit 29: it keeps
    // z (else y) as its second; bit 30: an object tested through its own
    // intersect only; bit 31 (lane 3 only): the last packet of the voxel.
    uint32_t lane[4];
};
static_assert(sizeof(VoxelPacket) == 192, "VoxelPacket must stay three cache lines");

const uint32_t voxelIndexMask = 0x0FFFFFFFu;
const uint32_t voxelUnusedLane = voxelIndexMask;
const uint32_t voxelKeepsX = 1u << 28;
const uint32_t voxelKeepsZ = 1u << 29;
const uint32_t voxelGenericLane = 1u << 30;
const uint32_t voxelLastPacket = 1u << 31;
// Most objects a grid can index.
const uint32_t maxVoxelObjects = voxelIndexMask;

// The cached data of one lane, filled by the maker handed to finish.
struct LaneGeometry {
    bool cached = false;  // false: the object is tested through its own intersect
    bool keepsX = false;  // the projection's axes: (x or y, z or y)
    bool keepsZ = false;
    float plane[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float p0u = 0.0f, p0v = 0.0f;
    float e1u = 0.0f, e1v = 0.0f, e2u = 0.0f, e2v = 0.0f;
    float inverseDeterminant = 0.0f;
};

class VoxelTable {
public:
    static const uint32_t emptySlot = 0xFFFFFFFFu;

    VoxelTable();

    // Drops every voxel; the table is empty and ready to be filled again.
    void clear();
    // Filling: the object (an index) goes to the head of voxel (x, y, z)'s
    // list, creating the voxel, unless it already is first or second there.
    void insert(int x, int y, int z, uint32_t object);
    // Ends the filling: the lists become runs of packets, and
    // geometryOf(object, lane) describes the object of each lane.
    template <class GeometryMaker>
    void finish(GeometryMaker geometryOf);

    // The first packet of voxel (x, y, z), or null when the voxel does not exist.
    const VoxelPacket* find(int x, int y, int z) const {
        uint32_t slot = slotOf(x, y, z);
        for (;;) {
            const BBVoxel& voxel = slots[slot];
            if (voxel.contents == emptySlot) return nullptr;
            if (voxel.x == x && voxel.y == y && voxel.z == z) return &packets[voxel.contents];
            slot = (slot + 1) & mask;
        }
    }

    // find() behind two cheap filters for walks, where most voxels are empty:
    // the range of existing voxels, then one occupancy bit per voxel of that
    // range (when finish could afford them).
    const VoxelPacket* lookup(int x, int y, int z) const {
        const uint32_t rx = (uint32_t)x - (uint32_t)lowest[0];
        const uint32_t ry = (uint32_t)y - (uint32_t)lowest[1];
        const uint32_t rz = (uint32_t)z - (uint32_t)lowest[2];
        if (rx >= extent[0] || ry >= extent[1] || rz >= extent[2]) return nullptr;
        if (!occupancy.empty()) {
            const size_t bit = rx + (size_t)extent[0] * (ry + (size_t)extent[1] * rz);
            if (!((occupancy[bit >> 6] >> (bit & 63)) & 1u)) return nullptr;
        }
        return find(x, y, z);
    }

    size_t voxelCount() const { return voxelTotal; }
    // List entries made so far while filling.
    size_t filledEntries() const { return nodes.size(); }
    // Objects listed over all voxels (after finish).
    size_t entryCount() const { return listedTotal; }
    size_t packetCount() const { return packets.size(); }
    // Smallest and largest coordinates of existing voxels, per axis (valid
    // when voxelCount() > 0): a walk beyond them cannot meet a voxel.
    int lowest[3], highest[3];
    // Most occupancy bits finish keeps (16 MB); beyond, lookups hash every voxel.
    static const size_t maxOccupancyBits = (size_t)1 << 27;
    // Calls visit(x, y, z, listLength) once per voxel (after finish).
    template <class Visit>
    void forEachVoxel(Visit visit) const;

private:
    struct ListNode {
        uint32_t object;
        uint32_t next;  // emptySlot ends the list
    };

    uint32_t slotOf(int x, int y, int z) const {
        // The classic 541 x + 79 y + 31 z gives the same value to many
        // neighbouring voxels; this mix spreads them over the slots.
        uint32_t h = (uint32_t)x * 0x8DA6B343u ^ (uint32_t)y * 0xD8163841u ^ (uint32_t)z * 0xCB1AB31Fu;
        return (h * 0x9E3779B9u) >> shift;
    }
    void resizeSlots(size_t voxelsToHold);
    void buildOccupancy();

    // Lookup (after finish) and, during filling, the slot of each FillVoxel.
    std::vector<BBVoxel> slots;
    uint32_t mask;
    int shift;
    size_t voxelTotal;
    size_t listedTotal;
    uint32_t extent[3];               // highest - lowest + 1 per axis; 0 when empty
    std::vector<uint64_t> occupancy;  // x fastest over the range of existing voxels
    std::vector<VoxelPacket> packets;
    // Filling only, released by finish: the list head of each voxel in
    // creation order (a filling slot's contents indexes this).
    std::vector<uint32_t> heads;
    std::vector<ListNode> nodes;
};

template <class GeometryMaker>
void VoxelTable::finish(GeometryMaker geometryOf) {
    // Runs follow the order in which the voxels were created, which keeps the
    // runs of neighbouring voxels of one mesh region close in memory; inside
    // a run the lanes keep the list order.
    packets.clear();
    // Each run needs at most a quarter of its objects plus one packet.
    packets.reserve(nodes.size() / 4 + heads.size());
    listedTotal = nodes.size();
    std::vector<uint32_t> list;
    for (uint32_t& head : heads) {
        list.clear();
        for (uint32_t n = head; n != emptySlot; n = nodes[n].next) list.push_back(nodes[n].object);
        uint32_t first = (uint32_t)packets.size();
        for (size_t start = 0; start < list.size(); start += 4) {
            VoxelPacket packet = {};
            for (int lane = 0; lane < 4; lane++) {
                if (start + lane >= list.size()) {
                    packet.lane[lane] = voxelUnusedLane;
                    continue;
                }
                uint32_t object = list[start + lane];
                LaneGeometry cached;
                geometryOf(object, cached);
                packet.lane[lane] = object | (cached.cached ? 0u : voxelGenericLane) |
                                    (cached.keepsX ? voxelKeepsX : 0u) | (cached.keepsZ ? voxelKeepsZ : 0u);
                packet.nx[lane] = cached.plane[0];
                packet.ny[lane] = cached.plane[1];
                packet.nz[lane] = cached.plane[2];
                packet.nw[lane] = cached.plane[3];
                packet.p0u[lane] = cached.p0u;
                packet.p0v[lane] = cached.p0v;
                packet.e1u[lane] = cached.e1u;
                packet.e1v[lane] = cached.e1v;
                packet.e2u[lane] = cached.e2u;
                packet.e2v[lane] = cached.e2v;
                packet.inverseDeterminant[lane] = cached.inverseDeterminant;
            }
            packets.push_back(packet);
        }
        packets.back().lane[3] |= voxelLastPacket;
        head = first;  // from here on: the start of the run
    }
    // The slots now point at runs instead of fill records.
    for (BBVoxel& slot : slots) {
        if (slot.contents != emptySlot) slot.contents = heads[slot.contents];
    }
    std::vector<uint32_t>().swap(heads);
    std::vector<ListNode>().swap(nodes);
    buildOccupancy();
}

template <class Visit>
void VoxelTable::forEachVoxel(Visit visit) const {
    for (const BBVoxel& slot : slots) {
        if (slot.contents == emptySlot) continue;
        uint32_t length = 0;
        for (const VoxelPacket* p = &packets[slot.contents];; p++) {
            for (int lane = 0; lane < 4; lane++) {
                if ((p->lane[lane] & voxelIndexMask) != voxelUnusedLane) length++;
            }
            if (p->lane[3] & voxelLastPacket) break;
        }
        visit(slot.x, slot.y, slot.z, length);
    }
}
