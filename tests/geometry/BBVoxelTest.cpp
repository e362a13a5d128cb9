#include "geometry/BBVoxel.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "foundation/Random.h"

namespace {

std::vector<uint32_t> runOf(const VoxelTable& table, int x, int y, int z) {
    std::vector<uint32_t> objects;
    const VoxelEntry* entry = table.find(x, y, z);
    if (!entry) return objects;
    for (;; entry++) {
        objects.push_back(entry->code & voxelIndexMask);
        if (entry->code & voxelLastFlag) break;
    }
    return objects;
}

void finishPlain(VoxelTable& table) {
    table.finish([](uint32_t object, VoxelEntry& entry) {
        entry = VoxelEntry();
        entry.nx = (float)object;
        entry.code = voxelGenericKind << 29;
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
    const VoxelEntry* entry = table.find(1, 2, 3);
    EXPECT_EQ(entry[1].nx, 7.0f);  // the maker's fields are kept
    EXPECT_EQ((entry[1].code >> 29) & 3u, voxelGenericKind);
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
