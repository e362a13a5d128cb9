#include "geometry/BBVoxel.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "foundation/Random.h"

namespace {

std::vector<uint32_t> runOf(const VoxelTable& table, int x, int y, int z) {
    std::vector<uint32_t> objects;
    const VoxelPacket* packet = table.find(x, y, z);
    EXPECT_EQ(packet, table.lookup(x, y, z));
    if (!packet) return objects;
    for (;; packet++) {
        for (int lane = 0; lane < 4; lane++) {
            uint32_t index = packet->lane[lane] & voxelIndexMask;
            if (index != voxelUnusedLane) objects.push_back(index);
        }
        if (packet->lane[3] & voxelLastPacket) break;
    }
    return objects;
}

// Even objects are cached triangles with their index as plane offset; odd
// ones are tested through their own intersect.
void finishPlain(VoxelTable& table) {
    table.finish([](uint32_t object, LaneGeometry& lane) {
        if (object % 2) return;
        lane.cached = true;
        lane.keepsZ = true;
        lane.plane[3] = (float)object;
    });
}

}  // namespace

TEST(BBVoxelTest, ListsKeepTheNewestFirstAndSkipTheFirstTwo) {
    VoxelTable table;
    table.insert(1, 2, 3, 5);
    table.insert(1, 2, 3, 6);
    table.insert(1, 2, 3, 5);  // second in the list: not added
    table.insert(1, 2, 3, 6);  // first: not added
    table.insert(1, 2, 3, 7);
    table.insert(1, 2, 3, 5);  // third by now: added again
    table.insert(-4, 0, 9, 1);
    EXPECT_EQ(table.voxelCount(), 2u);
    EXPECT_EQ(table.filledEntries(), 5u);
    finishPlain(table);
    EXPECT_EQ(runOf(table, 1, 2, 3), std::vector<uint32_t>({5, 7, 6, 5}));
    EXPECT_EQ(runOf(table, -4, 0, 9), std::vector<uint32_t>({1}));
    EXPECT_TRUE(runOf(table, 1, 2, 4).empty());
    // Lanes in list order; the last packet is marked, unused lanes too.
    const VoxelPacket* packet = table.find(1, 2, 3);
    EXPECT_EQ(table.packetCount(), 2u);
    EXPECT_EQ(packet->lane[0], 5u | voxelGenericLane);
    EXPECT_EQ(packet->lane[2], 6u | voxelKeepsZ);
    EXPECT_EQ(packet->nw[2], 6.0f);
    EXPECT_EQ(packet->lane[3], 5u | voxelGenericLane | voxelLastPacket);
    const VoxelPacket* single = table.find(-4, 0, 9);
    EXPECT_EQ(single->lane[1], voxelUnusedLane);
    EXPECT_EQ(single->lane[3], voxelUnusedLane | voxelLastPacket);
    EXPECT_EQ(single->nx[1], 0.0f);
    EXPECT_EQ(table.lookup(0, 0, 0), nullptr);     // inside the range, no bit
    EXPECT_EQ(table.lookup(100, 2, 3), nullptr);   // outside the range
    EXPECT_EQ(table.lowest[0], -4);
    EXPECT_EQ(table.highest[0], 1);
    EXPECT_EQ(table.highest[2], 9);
    int visits = 0;
    table.forEachVoxel([&](int x, int, int, uint32_t length) {
        visits++;
        EXPECT_EQ(length, x == 1 ? 4u : 1u);
    });
    EXPECT_EQ(visits, 2);
    table.clear();
    EXPECT_EQ(table.voxelCount(), 0u);
    EXPECT_EQ(table.find(1, 2, 3), nullptr);
}

TEST(BBVoxelTest, ManyVoxelsStayFindable) {
    seedRandom(3);
    VoxelTable table;
    std::map<std::tuple<int, int, int>, std::vector<uint32_t>> expected;
    for (uint32_t object = 0; object < 20000; object++) {
        int x = nextRandom() % 60 - 5, y = nextRandom() % 60, z = nextRandom() % 7;
        std::vector<uint32_t>& list = expected[std::make_tuple(x, y, z)];
        bool skip = (!list.empty() && list[0] == object) || (list.size() > 1 && list[1] == object);
        if (!skip) list.insert(list.begin(), object);
        table.insert(x, y, z, object);
    }
    finishPlain(table);
    EXPECT_EQ(table.voxelCount(), expected.size());
    for (const auto& voxel : expected) {
        int x, y, z;
        std::tie(x, y, z) = voxel.first;
        ASSERT_EQ(runOf(table, x, y, z), voxel.second);
    }
    for (int x = 60; x < 70; x++) EXPECT_EQ(table.find(x, 0, 0), nullptr);
}
