// Chained hash tables of pointer keys and values. A table never owns its keys
// or values unless told to (ownsKeys, ownsValues); owned ones are destroyed
// when an entry gives them up or the table is cleared. Tables only grow: when
// the entry count reaches the threshold the bucket count doubles.
//
// Key equality is fixed per key type through HashKeyTraits<K>::equal; the
// primary template compares with ==, JString compares length and bytes. A
// key type of another module (a grid voxel, a point-cloud cell) gets its
// equality by defining operator== or by specialising HashKeyTraits.
#pragma once

#include <climits>

#include "foundation/JString.h"
#include "foundation/JVector.h"

// Prints "Bad Argument for loadFactor" to standard error and ends the process
// with status 1.
[[noreturn]] void badLoadFactor();

template <class K>
struct HashKeyTraits {
    static bool equal(const K& a, const K& b) { return a == b; }
};

template <>
struct HashKeyTraits<JString> {
    static bool equal(const JString& a, const JString& b) { return a.equals(b); }
};

// Storage, lookup, rehash and listing shared by JHashtable and GHashtable;
// the two differ only in how put treats the load check and replaced entries.
template <class K, class V, class Equal = HashKeyTraits<K>>
class HashtableBase {
public:
    typedef int (*HashFunction)(const K*);

    struct Entry {
        int hash;
        K* key;
        V* value;
        Entry* next;
    };

    int count;
    int bucketCount;  // a power of two
    int mask;         // bucketCount - 1
    int threshold;    // (int)(loadFactor * bucketCount)
    float loadFactor;
    Entry** buckets;
    // Set by the table's owner. Without one every key hashes to 0: correct,
    // but every lookup walks one chain.
    HashFunction hashFunction;
    bool ownsKeys;
    bool ownsValues;

    HashtableBase(const HashtableBase&) = delete;
    HashtableBase& operator=(const HashtableBase&) = delete;

    int size() const { return count; }

    V* get(const K* key) const {
        int h = hashOf(key);
        for (Entry* e = buckets[h & mask]; e; e = e->next) {
            if (e->hash == h && Equal::equal(*e->key, *key)) return e->value;
        }
        return nullptr;
    }

    // Lists the keys (values) bucket by bucket from bucket 0, each chain from
    // its head: keys and values of an unchanged table come in the same order.
    // A given vector is cleared and filled; otherwise the caller owns the new
    // one.
    JVector<K>* keys(JVector<K>* into = nullptr) const {
        into = prepareList(into);
        for (int b = 0; b < bucketCount; b++) {
            for (Entry* e = buckets[b]; e; e = e->next) into->add(e->key);
        }
        return into;
    }

    JVector<V>* values(JVector<V>* into = nullptr) const {
        into = prepareList(into);
        for (int b = 0; b < bucketCount; b++) {
            for (Entry* e = buckets[b]; e; e = e->next) into->add(e->value);
        }
        return into;
    }

    // Destroys owned keys and values and every entry; the buckets stay.
    void clear() {
        for (int b = 0; b < bucketCount; b++) {
            Entry* e = buckets[b];
            while (e) {
                Entry* next = e->next;
                if (ownsKeys) delete e->key;
                if (ownsValues) delete e->value;
                delete e;
                e = next;
            }
            buckets[b] = nullptr;
        }
        count = 0;
    }

protected:
    // Beyond this the doubling would overflow the int bucket count.
    static const int maxBucketCount = 1 << 30;

    HashtableBase(int initialBuckets, float factor, bool keysOwned, bool valuesOwned,
                  HashFunction hash)
        : count(0), bucketCount(1), mask(0), threshold(0), loadFactor(factor), buckets(nullptr),
          hashFunction(hash), ownsKeys(keysOwned), ownsValues(valuesOwned) {
        // A non-positive (or NaN) factor would make every put rehash forever.
        if (!(factor > 0.0f)) badLoadFactor();
        // The bucket index is hash & mask, which needs a power of two.
        while (bucketCount < initialBuckets && bucketCount < maxBucketCount) bucketCount *= 2;
        mask = bucketCount - 1;
        threshold = thresholdFor(bucketCount);
        buckets = new Entry*[bucketCount]();
    }

    ~HashtableBase() {
        clear();
        delete[] buckets;
    }

    int hashOf(const K* key) const { return hashFunction ? hashFunction(key) : 0; }

    Entry* find(Entry* chain, int h, const K* key) const {
        for (Entry* e = chain; e; e = e->next) {
            if (e->hash == h && Equal::equal(*e->key, *key)) return e;
        }
        return nullptr;
    }

    void insert(int h, K* key, V* value) {
        Entry*& head = buckets[h & mask];
        head = new Entry{h, key, value, head};
        count++;
    }

    // Doubles the buckets. Entries move in bucket and chain order to the head
    // of their new chain, so entries that stay together end up reversed.
    void rehash() {
        if (bucketCount >= maxBucketCount) {
            // Cannot grow any more: stop asking, the chains just get longer.
            threshold = INT_MAX;
            return;
        }
        int newCount = bucketCount * 2;
        Entry** newBuckets = new Entry*[newCount]();
        for (int b = 0; b < bucketCount; b++) {
            Entry* e = buckets[b];
            while (e) {
                Entry* next = e->next;
                Entry*& head = newBuckets[e->hash & (newCount - 1)];
                e->next = head;
                head = e;
                e = next;
            }
        }
        delete[] buckets;
        buckets = newBuckets;
        bucketCount = newCount;
        mask = newCount - 1;
        threshold = thresholdFor(newCount);
    }

private:
    int thresholdFor(int buckets) const {
        double limit = (double)loadFactor * (double)buckets;
        return limit >= (double)INT_MAX ? INT_MAX : (int)limit;
    }

    template <class T>
    JVector<T>* prepareList(JVector<T>* into) const {
        if (!into) return new JVector<T>(count, -1);
        into->clear();
        into->ensureCapacity(count);
        return into;
    }
};

// The table of the scene's symbols and of the grid and point-cloud cells. The
// owner sets hashFunction after construction.
template <class K, class V, class Equal = HashKeyTraits<K>>
class JHashtable : public HashtableBase<K, V, Equal> {
    typedef HashtableBase<K, V, Equal> Base;

public:
    explicit JHashtable(int initialBuckets = 16, float loadFactor = 0.75f)
        : Base(initialBuckets, loadFactor, false, false, nullptr) {}

    // Returns the previous value of an equal key, or none. On replacement the
    // old value is never destroyed here; the entry takes the new key only when
    // the table owns its keys (and destroys the old one).
    V* put(K* key, V* value) {
        for (;;) {
            int h = this->hashOf(key);
            typename Base::Entry* e = this->find(this->buckets[h & this->mask], h, key);
            if (e) {
                V* previous = e->value;
                if (this->ownsKeys) {
                    // Putting the same key object again must not destroy it.
                    if (e->key != key) delete e->key;
                    e->key = key;
                }
                e->value = value;
                return previous;
            }
            if (this->count >= this->threshold) {
                this->rehash();
                continue;
            }
            this->insert(h, key, value);
            return nullptr;
        }
    }
};
