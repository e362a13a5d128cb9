// The sparse voxel set of a GBoundingBox grid: only voxels that hold objects
// exist, found through an open-addressing hash table on their integer
// coordinates.
//
// Filling keeps one list per voxel, most recently added object first; an
// object already first or second in the list is not added again (it can still
// appear twice when others came in between: the mailboxes make that harmless).
// finish() then lays every list out as one contiguous run of VoxelEntry
// records in list order, so a ray reads a voxel's objects front to back from
// one block of memory and looks a voxel up with one hash probe sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One slot of the lookup table: a non-empty voxel and where its run starts.
struct BBVoxel {
    int x, y, z;
    uint32_t contents;  // first VoxelEntry of the run; emptySlot in a free slot
};

// One object of a voxel's run (48 bytes). For an undisplaced GInverseTriangle
// it caches the triangle's plane and projected corner so the ray test can
// reject it without touching the triangle or its vertices; the object's own
// intersect still decides every candidate that passes.
struct VoxelEntry {
    float nx, ny, nz, d;  // plane: n . p + d = 0
    float p0u, p0v;       // V0 on the two projection axes
    float e1u, e1v;       // V1 - V0 on them
    float e2u, e2v;       // V2 - V0 on them
    float inverseDeterminant;
    // Bits 0-28: index in the box's objects; 29-30: the axis the projection
    // drops (0, 1, 2), or 3 for an object tested only through its virtual
    // intersect; bit 31: last entry of the voxel's run.
    uint32_t code;
};
static_assert(sizeof(VoxelEntry) == 48, "VoxelEntry must stay 48 bytes");

const uint32_t voxelIndexMask = 0x1FFFFFFFu;
const uint32_t voxelGenericKind = 3u;
const uint32_t voxelLastFlag = 0x80000000u;
// Most objects a grid can index.
const uint32_t maxVoxelObjects = voxelIndexMask + 1u;

class VoxelTable {
public:
    static const uint32_t emptySlot = 0xFFFFFFFFu;

    VoxelTable();

    // Drops every voxel; the table is empty and ready to be filled again.
    void clear();
    // Filling: the object (an index) goes to the head of voxel (x, y, z)'s
    // list, creating the voxel, unless it already is first or second there.
    void insert(int x, int y, int z, uint32_t object);
    // Ends the filling: entryFor(object, entry) fills the cached fields and the
    // kind bits of each run entry (the index and last bits are set here).
    template <class EntryMaker>
    void finish(EntryMaker entryFor);

    // The run of voxel (x, y, z), or null when the voxel does not exist.
    const VoxelEntry* find(int x, int y, int z) const {
        uint32_t slot = slotOf(x, y, z);
        for (;;) {
            const BBVoxel& voxel = slots[slot];
            if (voxel.contents == emptySlot) return nullptr;
            if (voxel.x == x && voxel.y == y && voxel.z == z) return &entries[voxel.contents];
            slot = (slot + 1) & mask;
        }
    }

    size_t voxelCount() const { return voxelTotal; }
    // List entries made so far while filling.
    size_t filledEntries() const { return nodes.size(); }
    size_t entryCount() const { return entries.size(); }
    // Smallest and largest coordinates of existing voxels, per axis (valid
    // when voxelCount() > 0): a walk beyond them cannot meet a voxel.
    int lowest[3], highest[3];
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

    // Lookup (after finish) and, during filling, the slot of each FillVoxel.
    std::vector<BBVoxel> slots;
    uint32_t mask;
    int shift;
    size_t voxelTotal;
    std::vector<VoxelEntry> entries;
    // Filling only, released by finish: the list head of each voxel in
    // creation order (a filling slot's contents indexes this).
    std::vector<uint32_t> heads;
    std::vector<ListNode> nodes;
};

template <class EntryMaker>
void VoxelTable::finish(EntryMaker entryFor) {
    // Runs follow the order in which the voxels were created, which keeps the
    // runs of neighbouring voxels of one mesh region close in memory.
    entries.clear();
    entries.reserve(nodes.size());
    for (uint32_t& head : heads) {
        uint32_t first = (uint32_t)entries.size();
        for (uint32_t n = head; n != emptySlot; n = nodes[n].next) {
            VoxelEntry entry;
            entryFor(nodes[n].object, entry);
            entry.code = (entry.code & ~(voxelLastFlag | voxelIndexMask)) | nodes[n].object;
            entries.push_back(entry);
        }
        entries.back().code |= voxelLastFlag;
        head = first;  // from here on: the start of the run
    }
    // The slots now point at runs instead of fill records.
    for (BBVoxel& slot : slots) {
        if (slot.contents != emptySlot) slot.contents = heads[slot.contents];
    }
    std::vector<uint32_t>().swap(heads);
    std::vector<ListNode>().swap(nodes);
}

template <class Visit>
void VoxelTable::forEachVoxel(Visit visit) const {
    for (const BBVoxel& slot : slots) {
        if (slot.contents == emptySlot) continue;
        uint32_t length = 1;
        for (const VoxelEntry* e = &entries[slot.contents]; !(e->code & voxelLastFlag); e++) length++;
        visit(slot.x, slot.y, slot.z, length);
    }
}
