#include "foundation/GHashtable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Tracked {
    int id;
    explicit Tracked(int i) : id(i) {}
    ~Tracked() { destroyed++; }
    static int destroyed;
};
int Tracked::destroyed = 0;

struct CountedString : std::string {
    using std::string::string;
    ~CountedString() { destroyed++; }
    static int destroyed;
};

typedef GHashtable<std::string, Tracked> NameTable;

}  // namespace

TEST(GHashtableTest, StandardStringHashValues) {
    EXPECT_EQ(0, stdStringHash(""));
    EXPECT_EQ(1 + 23 * 97, stdStringHash("a"));
    EXPECT_EQ(2 + 23 * 97 + 79 * 98 + 541 * 98 + 41 * 97, stdStringHash("ab"));
    EXPECT_EQ(-682, stdStringHash("\xff\xff"));  // signed bytes
    EXPECT_EQ(67097, stdStringHash("camera"));
    EXPECT_EQ(69511, stdStringHash("material_of_the_red_sphere"));
    std::string key = "camera";
    EXPECT_EQ(67097, stdStringKeyHash(&key));
}

TEST(GHashtableTest, DefaultsToTheStandardStringHash) {
    NameTable table(false, false, 16, 0.75f);
    EXPECT_EQ(&stdStringKeyHash, table.hashFunction);
    std::string name = "sphere";
    Tracked value(1);
    table.put(&name, &value);
    EXPECT_EQ(&value, table.get(std::string("sphere")));
    EXPECT_EQ(nullptr, table.get(std::string("plane")));
}

TEST(GHashtableTest, BadLoadFactorIsFatal) {
    // Without the check every put would double the buckets forever.
    EXPECT_EXIT(NameTable(false, false, 16, 0.0f), testing::ExitedWithCode(1),
                "^Bad Argument for loadFactor\n$");
}

TEST(GHashtableTest, ReplacingAKeyCanRehash) {
    NameTable table(false, false, 4, 1.0f);
    std::string names[4] = {"a", "b", "c", "d"};
    Tracked value(0), other(1);
    for (std::string& name : names) table.put(&name, &value);
    EXPECT_EQ(4, table.bucketCount);
    std::string again = "c";
    EXPECT_EQ(&value, table.put(&again, &other));
    EXPECT_EQ(8, table.bucketCount);
    EXPECT_EQ(4, table.size());
    EXPECT_EQ(&other, table.get(std::string("c")));
}

TEST(GHashtableTest, UnownedReplacementTakesTheNewKeyAndReturnsTheOldValue) {
    NameTable table(false, false, 16, 0.75f);
    std::string first = "x", second = "x";
    Tracked a(1), b(2);
    table.put(&first, &a);
    EXPECT_EQ(&a, table.put(&second, &b));
    JVector<std::string> keys;
    table.keys(&keys);
    ASSERT_EQ(1, keys.size());
    EXPECT_EQ(&second, keys.elementAt(0));
}

TEST(GHashtableTest, OwnedValuesAreDestroyedOnReplacement) {
    Tracked::destroyed = 0;
    {
        NameTable table(false, true, 16, 0.75f);
        std::string key = "light";
        Tracked* same = new Tracked(2);
        EXPECT_EQ(nullptr, table.put(&key, new Tracked(1)));
        EXPECT_EQ(nullptr, table.put(&key, same));
        EXPECT_EQ(1, Tracked::destroyed);
        // The same value object put again must survive.
        EXPECT_EQ(nullptr, table.put(&key, same));
        EXPECT_EQ(1, Tracked::destroyed);
        EXPECT_EQ(2, table.get(key)->id);
    }
    EXPECT_EQ(2, Tracked::destroyed);
}

int CountedString::destroyed = 0;

TEST(GHashtableTest, OwnedKeysAreDestroyedOnReplacementAndClear) {
    CountedString::destroyed = 0;
    GHashtable<CountedString, Tracked, HashKeyTraits<std::string>> table(
        true, false, 16, 0.75f, [](const CountedString* key) { return stdStringHash(*key); });
    Tracked value(0);
    CountedString* first = new CountedString("mesh");
    CountedString* second = new CountedString("mesh");
    table.put(first, &value);
    table.put(second, &value);
    EXPECT_EQ(1, CountedString::destroyed);
    table.put(second, &value);
    EXPECT_EQ(1, CountedString::destroyed);
    table.put(new CountedString("other"), &value);
    table.clear();
    EXPECT_EQ(3, CountedString::destroyed);
}
