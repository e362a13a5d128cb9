#include "foundation/JVector.h"

#include <gtest/gtest.h>

TEST(JVectorTest, GrowthDoublesOrAddsTheIncrement) {
    int items[40];
    JVector<int> doubling(8, -1), stepping(8, 5);
    for (int count = 1; count <= 17; count++) {
        doubling.add(&items[count - 1]);
        EXPECT_EQ(count <= 8 ? 8 : count <= 16 ? 16 : 32, doubling.capacity) << count;
    }
    EXPECT_EQ(17, doubling.size());
    for (int i = 0; i < 17; i++) EXPECT_EQ(&items[i], doubling.elementAt(i));

    for (int i = 0; i < 9; i++) stepping.add(&items[i]);
    EXPECT_EQ(13, stepping.capacity);
    for (int i = 9; i < 14; i++) stepping.add(&items[i]);
    EXPECT_EQ(18, stepping.capacity);

    // ensureCapacity allocates exactly, and never shrinks.
    JVector<int> exact(8, -1);
    exact.add(&items[0]);
    exact.ensureCapacity(5);
    EXPECT_EQ(8, exact.capacity);
    exact.ensureCapacity(11);
    EXPECT_EQ(11, exact.capacity);
    EXPECT_EQ(&items[0], exact.elementAt(0));
}

TEST(JVectorTest, ClearKeepsSlotsTrimReleasesThemAndEmptyVectorsStillGrow) {
    int item = 0;
    JVector<int> v(0, -1);
    v.add(&item);
    v.add(&item);
    v.add(&item);
    v.trimToSize();
    EXPECT_EQ(3, v.capacity);
    v.clear();
    EXPECT_EQ(0, v.size());
    EXPECT_EQ(3, v.capacity);
    v.trimToSize();
    EXPECT_EQ(0, v.capacity);
    v.add(&item);
    EXPECT_EQ(&item, v.elementAt(0));
}

TEST(JVectorTest, AddAllAppendsInOrderEvenFromItself) {
    int items[6];
    JVector<int> a(2, -1), b(8, -1);
    a.add(&items[0]);
    for (int i = 1; i < 6; i++) b.add(&items[i]);
    a.addAll(b);
    EXPECT_EQ(6, a.capacity);
    for (int i = 0; i < 6; i++) EXPECT_EQ(&items[i], a.elementAt(i));

    JVector<int> v(8, -1);
    for (int i = 0; i < 3; i++) v.add(&items[i]);
    v.addAll(v);
    ASSERT_EQ(6, v.size());
    for (int i = 0; i < 6; i++) EXPECT_EQ(&items[i % 3], v.elementAt(i));
}

TEST(JVectorTest, IndexOutsideTheCountIsFatal) {
    int item = 0;
    JVector<int> v(8, -1);
    v.add(&item);
    // count is 1 while capacity is 8: index 1 is still out of bounds.
    EXPECT_EXIT(v.elementAt(1), testing::ExitedWithCode(1), "^Index Out Of Bounds\n$");
    EXPECT_EXIT(v.elementAt(-1), testing::ExitedWithCode(1), "^Index Out Of Bounds\n$");
    EXPECT_EXIT(indexOutOfBounds(), testing::ExitedWithCode(1), "^Index Out Of Bounds\n$");
}
