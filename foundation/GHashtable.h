// GHashtable: the chained hash table of the YafRay reader, keyed by standard
// strings (compared with the string's own ==). It shares JHashtable's storage
// but its put checks the load before searching, always takes the new key, and
// destroys a replaced value it owns instead of returning it.
#pragma once

#include <string>

#include "foundation/JHashtable.h"

// n + 23 p[0] + 79 p[1] + 541 p[n-1] + 41 p[n-2] over the bytes as signed
// 8-bit values (n + 23 p[0] for n <= 1, p[0] being the NUL of an empty
// string), with wrapping 32-bit arithmetic.
int stdStringHash(const std::string& s);
// The same in the form a table's hashFunction takes.
int stdStringKeyHash(const std::string* key);

template <class K, class V, class Equal = HashKeyTraits<K>>
class GHashtable : public HashtableBase<K, V, Equal> {
    typedef HashtableBase<K, V, Equal> Base;

public:
    typedef typename Base::HashFunction HashFunction;

    GHashtable(bool ownsKeys, bool ownsValues, int initialBuckets = 16, float loadFactor = 0.75f,
               HashFunction hash = &stdStringKeyHash)
        : Base(initialBuckets, loadFactor, ownsKeys, ownsValues, hash) {}

    using Base::get;
    V* get(const K& key) const { return Base::get(&key); }

    // Returns the previous value when values are not owned; an owned previous
    // value is destroyed and none is returned.
    V* put(K* key, V* value) {
        // The load check comes first, so even a replacement can grow the table.
        while (this->count >= this->threshold) this->rehash();
        int h = this->hashOf(key);
        typename Base::Entry* e = this->find(this->buckets[h & this->mask], h, key);
        if (!e) {
            this->insert(h, key, value);
            return nullptr;
        }
        // Putting the same key or value object again must not destroy it.
        if (this->ownsKeys && e->key != key) delete e->key;
        e->key = key;
        V* previous = e->value;
        e->value = value;
        if (this->ownsValues) {
            if (previous != value) delete previous;
            return nullptr;
        }
        return previous;
    }
};
