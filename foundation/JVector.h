// JVector: growable vector of pointers. It never owns the pointed-to elements;
// destroying or clearing it frees only the slot array.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/FatalExit.h"

// Prints "Index Out Of Bounds" to standard error and ends the process with
// status 1 (through fatalExit).
[[noreturn]] void indexOutOfBounds();

template <class T>
class JVector {
public:
    int count;
    int capacity;
    int increment;  // > 0: grow by this many slots; <= 0: double
    T** elements;

    explicit JVector(int initialCapacity = 8, int growBy = -1)
        : count(0), capacity(initialCapacity > 0 ? initialCapacity : 0), increment(growBy),
          elements(nullptr) {
        if (capacity > 0) elements = static_cast<T**>(std::malloc(sizeof(T*) * capacity));
    }
    ~JVector() { std::free(elements); }
    JVector(const JVector&) = delete;
    JVector& operator=(const JVector&) = delete;

    int size() const { return count; }

    void add(T* element) {
        if (count == capacity) {
            int grown = increment > 0 ? capacity + increment : 2 * capacity;
            if (grown <= count) grown = count + 1;  // a zero-capacity vector still grows
            reallocate(grown);
        }
        elements[count++] = element;
    }

    void ensureCapacity(int n) {
        if (n > capacity) reallocate(n);
    }

    void addAll(const JVector& other) {
        // Read the count once: appending a vector to itself must stop at its
        // original length.
        int added = other.count;
        ensureCapacity(count + added);
        for (int i = 0; i < added; i++) elements[count++] = other.elements[i];
    }

    // Bounds-checked access: any index outside 0 .. count-1 is fatal.
    T* elementAt(int i) const {
        if (i < 0 || i >= count) indexOutOfBounds();
        return elements[i];
    }

    // Unchecked access for inner loops whose indices are known to be valid.
    T* operator[](int i) const { return elements[i]; }

    void clear() { count = 0; }

    void trimToSize() {
        if (capacity != count) reallocate(count);
    }

private:
    void reallocate(int newCapacity) {
        T** slots = nullptr;
        if (newCapacity > 0) {
            slots = static_cast<T**>(std::malloc(sizeof(T*) * newCapacity));
            if (!slots) {
                std::fprintf(stderr, "out of memory\n");
                fatalExit(1);
            }
            if (count > 0) std::memcpy(slots, elements, sizeof(T*) * count);
        }
        std::free(elements);
        elements = slots;
        capacity = newCapacity;
    }
};
