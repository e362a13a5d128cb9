#include "foundation/JHashtable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A key whose hash is its value, so the tests choose the buckets.
struct NumberKey {
    int value;
    explicit NumberKey(int v) : value(v) {}
    ~NumberKey() { destroyed++; }
    bool operator==(const NumberKey& other) const { return value == other.value; }
    static int destroyed;
};
int NumberKey::destroyed = 0;

int numberHash(const NumberKey* key) { return key->value; }

struct Tracked {
    int id;
    explicit Tracked(int i) : id(i) {}
    ~Tracked() { destroyed++; }
    static int destroyed;
};
int Tracked::destroyed = 0;

// A two-int cell key with its own equality, as a spatial index would use.
struct CellKey {
    int i, j;
};
int cellHash(const CellKey* key) { return key->i * 31 + key->j; }

typedef JHashtable<NumberKey, Tracked> NumberTable;

std::vector<int> keyOrder(const NumberTable& table) {
    JVector<NumberKey>* keys = table.keys();
    std::vector<int> order;
    for (int i = 0; i < keys->size(); i++) order.push_back(keys->elementAt(i)->value);
    delete keys;
    return order;
}

}  // namespace

template <>
struct HashKeyTraits<CellKey> {
    static bool equal(const CellKey& a, const CellKey& b) { return a.i == b.i && a.j == b.j; }
};

TEST(JHashtableTest, BadLoadFactorIsFatal) {
    for (float loadFactor : {0.0f, -1.0f, std::nanf("")}) {
        SCOPED_TRACE(loadFactor);
        EXPECT_EXIT(NumberTable(16, loadFactor), testing::ExitedWithCode(1),
                    "^Bad Argument for loadFactor\n$");
    }
}

TEST(JHashtableTest, BucketCountIsAPowerOfTwoAndThresholdFollowsTheLoad) {
    NumberTable table(16, 0.75f), five(5, 1.0f), none(0, 1.0f);
    EXPECT_EQ(15, table.mask);
    EXPECT_EQ(12, table.threshold);
    EXPECT_EQ(8, five.bucketCount);
    EXPECT_EQ(1, none.bucketCount);
    EXPECT_EQ(0, none.mask);
}

TEST(JHashtableTest, RehashOnTheFifthDistinctKeyReversesSharedChains) {
    NumberTable table(4, 1.0f);
    table.hashFunction = numberHash;
    NumberKey k1(1), k5(5), k9(9), k2(2), k13(13);
    Tracked v1(1), v5(5), v9(9), v2(2), v13(13);
    table.put(&k1, &v1);
    table.put(&k5, &v5);
    table.put(&k9, &v9);
    table.put(&k2, &v2);
    EXPECT_EQ(4, table.bucketCount);
    // New entries go to the head of their chain.
    EXPECT_EQ((std::vector<int>{9, 5, 1, 2}), keyOrder(table));

    // Replacing an existing key with a full table does not rehash.
    Tracked other(99);
    EXPECT_EQ(&v5, table.put(&k5, &other));
    EXPECT_EQ(4, table.bucketCount);
    table.put(&k5, &v5);

    table.put(&k13, &v13);
    EXPECT_EQ(8, table.bucketCount);
    EXPECT_EQ(7, table.mask);
    EXPECT_EQ(8, table.threshold);
    // Bucket 1 held 9, 5, 1: 9 and 1 stay together in reverse; 5 and then 13
    // go to bucket 5.
    EXPECT_EQ((std::vector<int>{1, 9, 2, 13, 5}), keyOrder(table));
    JVector<Tracked>* values = table.values();
    ASSERT_EQ(5, values->size());
    EXPECT_EQ(&v1, values->elementAt(0));
    EXPECT_EQ(&v5, values->elementAt(4));
    delete values;
    EXPECT_EQ(&v9, table.get(&k9));
}

TEST(JHashtableTest, ListsIntoAGivenVector) {
    NumberTable table(8, 0.75f);
    table.hashFunction = numberHash;
    NumberKey k3(3), k0(0);
    Tracked a(0), b(1);
    table.put(&k3, &a);
    table.put(&k0, &b);
    NumberKey stale(77);
    JVector<NumberKey> into(1, -1);
    into.add(&stale);
    EXPECT_EQ(&into, table.keys(&into));
    ASSERT_EQ(2, into.size());
    EXPECT_EQ(&k0, into.elementAt(0));
    EXPECT_EQ(&k3, into.elementAt(1));
    EXPECT_GE(into.capacity, 2);

    JVector<Tracked>* fresh = table.values();
    EXPECT_EQ(2, fresh->capacity);
    EXPECT_EQ(-1, fresh->increment);
    delete fresh;
}

TEST(JHashtableTest, OwnedKeysAreReplacedAndDestroyed) {
    NumberKey::destroyed = 0;
    {
        NumberTable table(4, 1.0f);
        table.hashFunction = numberHash;
        table.ownsKeys = true;
        Tracked a(1), b(2);
        NumberKey* first = new NumberKey(7);
        NumberKey* second = new NumberKey(7);
        table.put(first, &a);
        EXPECT_EQ(&a, table.put(second, &b));
        EXPECT_EQ(1, NumberKey::destroyed);  // the old key object
        JVector<NumberKey>* keys = table.keys();
        EXPECT_EQ(second, keys->elementAt(0));
        delete keys;
        // The same key object put again must survive.
        table.put(second, &a);
        EXPECT_EQ(1, NumberKey::destroyed);
        keys = table.keys(nullptr);
        EXPECT_EQ(7, keys->elementAt(0)->value);
        delete keys;
    }
    EXPECT_EQ(2, NumberKey::destroyed);  // the table's destructor clears
}

TEST(JHashtableTest, UnownedKeysKeepTheFirstObject) {
    NumberTable table(4, 1.0f);
    table.hashFunction = numberHash;
    NumberKey first(7), second(7);
    Tracked a(1), b(2);
    table.put(&first, &a);
    table.put(&second, &b);
    JVector<NumberKey> keys;
    table.keys(&keys);
    EXPECT_EQ(&first, keys.elementAt(0));
    EXPECT_EQ(&b, table.get(&second));
}

TEST(JHashtableTest, ReplacedValuesAreNeverDestroyedByPut) {
    Tracked::destroyed = 0;
    NumberTable table(4, 1.0f);
    table.hashFunction = numberHash;
    table.ownsValues = true;
    NumberKey key(3);
    Tracked* first = new Tracked(1);
    table.put(&key, first);
    Tracked* previous = table.put(&key, new Tracked(2));
    EXPECT_EQ(first, previous);
    EXPECT_EQ(0, Tracked::destroyed);
    delete previous;
    table.clear();
    EXPECT_EQ(2, Tracked::destroyed);
    EXPECT_EQ(0, table.size());
    EXPECT_EQ(nullptr, table.get(&key));
}

TEST(JHashtableTest, MissingHashFunctionStillWorks) {
    NumberTable table(4, 1.0f);
    NumberKey keys[10] = {NumberKey(0), NumberKey(1), NumberKey(2), NumberKey(3), NumberKey(4),
                          NumberKey(5), NumberKey(6), NumberKey(7), NumberKey(8), NumberKey(9)};
    Tracked value(0);
    for (NumberKey& key : keys) table.put(&key, &value);
    EXPECT_EQ(10, table.size());
    NumberKey probe(6);
    EXPECT_EQ(&value, table.get(&probe));
}

TEST(JHashtableTest, KeysCompareByContent) {
    JHashtable<JString, Tracked> table(16, 0.75f);
    table.hashFunction = JString::hashOf;
    JString name("red_sphere");
    Tracked sphere(1);
    table.put(&name, &sphere);
    JString probe("red_sphere");
    EXPECT_EQ(&sphere, table.get(&probe));
    JString other("red_spherf");
    EXPECT_EQ(nullptr, table.get(&other));

    // Other key types plug in their equality.
    JHashtable<CellKey, Tracked> cellTable(4, 0.75f);
    cellTable.hashFunction = cellHash;
    std::vector<CellKey> cells;
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++) cells.push_back(CellKey{i, j});
    std::vector<Tracked> values;
    for (int k = 0; k < 100; k++) values.emplace_back(k);
    for (int k = 0; k < 100; k++) cellTable.put(&cells[k], &values[k]);
    EXPECT_EQ(100, cellTable.size());
    EXPECT_EQ(256, cellTable.bucketCount);
    CellKey cell{4, 7};
    ASSERT_NE(nullptr, cellTable.get(&cell));
    EXPECT_EQ(47, cellTable.get(&cell)->id);
}
