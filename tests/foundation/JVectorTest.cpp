#include "foundation/JVector.h"

#include <gtest/gtest.h>

TEST(JVectorTest, DoublingGrowth) {
    int items[40];
    JVector<int> v(8, -1);
    EXPECT_EQ(8, v.capacity);
    for (int i = 0; i < 8; i++) v.add(&items[i]);
    EXPECT_EQ(8, v.capacity);
    v.add(&items[8]);
    EXPECT_EQ(16, v.capacity);
    for (int i = 9; i < 16; i++) v.add(&items[i]);
    EXPECT_EQ(16, v.capacity);
    v.add(&items[16]);
    EXPECT_EQ(32, v.capacity);
    EXPECT_EQ(17, v.size());
    for (int i = 0; i < 17; i++) EXPECT_EQ(&items[i], v.elementAt(i));
}

TEST(JVectorTest, IncrementGrowth) {
    int items[20];
    JVector<int> v(8, 5);
    for (int i = 0; i < 9; i++) v.add(&items[i]);
    EXPECT_EQ(13, v.capacity);
    for (int i = 9; i < 14; i++) v.add(&items[i]);
    EXPECT_EQ(18, v.capacity);
}

TEST(JVectorTest, EmptyVectorsStillGrow) {
    int item = 0;
    JVector<int> v(0, -1);
    v.add(&item);
    v.add(&item);
    EXPECT_EQ(2, v.size());
    v.trimToSize();
    EXPECT_EQ(2, v.capacity);
    v.clear();
    v.trimToSize();
    EXPECT_EQ(0, v.capacity);
    v.add(&item);
    EXPECT_EQ(&item, v.elementAt(0));
}

TEST(JVectorTest, EnsureCapacityAllocatesExactly) {
    int item = 0;
    JVector<int> v(8, -1);
    v.add(&item);
    v.ensureCapacity(5);
    EXPECT_EQ(8, v.capacity);
    v.ensureCapacity(11);
    EXPECT_EQ(11, v.capacity);
    EXPECT_EQ(&item, v.elementAt(0));
}

TEST(JVectorTest, AddAllAppendsInOrder) {
    int items[6];
    JVector<int> a(2, -1), b(8, -1);
    a.add(&items[0]);
    for (int i = 1; i < 6; i++) b.add(&items[i]);
    a.addAll(b);
    EXPECT_EQ(6, a.size());
    EXPECT_EQ(6, a.capacity);
    for (int i = 0; i < 6; i++) EXPECT_EQ(&items[i], a.elementAt(i));
}

TEST(JVectorTest, AddAllOfItselfDoublesOnce) {
    int items[3];
    JVector<int> v(8, -1);
    for (int& item : items) v.add(&item);
    v.addAll(v);
    ASSERT_EQ(6, v.size());
    for (int i = 0; i < 6; i++) EXPECT_EQ(&items[i % 3], v.elementAt(i));
}

TEST(JVectorTest, ClearKeepsSlotsAndTrimReleasesThem) {
    int item = 0;
    JVector<int> v(8, -1);
    for (int i = 0; i < 3; i++) v.add(&item);
    v.trimToSize();
    EXPECT_EQ(3, v.capacity);
    v.clear();
    EXPECT_EQ(0, v.size());
    EXPECT_EQ(3, v.capacity);
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
