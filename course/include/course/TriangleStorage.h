#pragma once

#include "geometry/Triangle.h"

#include <cstddef>
#include <vector>

// A course triangle and the vertices it points to (course units). Never copied or moved: the
// Triangle holds the addresses of the vertices.
struct StoredTriangle {
    // The triangle with its normal; its frames are built later, by TriangleSlot::buildFrames.
    StoredTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2);
    StoredTriangle(const StoredTriangle&) = delete;
    StoredTriangle& operator=(const StoredTriangle&) = delete;

    Vector3 vertex[3];
    Triangle triangle;
};

// A stored triangle and the room its TriangleParts are built in.
struct TriangleSlot {
    StoredTriangle* stored;
    TriangleParts* parts; // not constructed until buildFrames()

    // Builds the three frames, the edge ends and the standard copy into the parts, exactly as
    // the Triangle constructor with frames does. Touches nothing outside this slot, so
    // triangles can be given their frames on several threads at once.
    void buildFrames() const;
};

// Where a course keeps its triangles: blocks of triangles with their vertices, and beside each
// block the room for the triangles' parts (frames, standard copy, edge ends), every triangle at a
// fixed address for the life of the storage, a few large allocations instead of several small
// ones for every triangle. Everything is freed with the storage; the process-wide one is never
// freed, as the program keeps its course until it ends.
//
// The parts (400 of the 560 bytes a triangle takes) lie apart from the triangles, so that the
// thread reading a course writes only the triangles, and the first write to the larger part of
// the fresh memory (page faults, cache misses) falls to the threads that build the frames.
class TriangleStorage {
public:
    TriangleStorage() = default;
    TriangleStorage(const TriangleStorage&) = delete;
    TriangleStorage& operator=(const TriangleStorage&) = delete;
    ~TriangleStorage();

    // The storage of the program's course, made on first use and never destroyed.
    static TriangleStorage& processWide();

    // A new triangle with the given vertices (course units), its frames not built yet.
    TriangleSlot add(const Vector3& v0, const Vector3& v1, const Vector3& v2);
    std::size_t size() const { return size_; }

private:
    struct Block {
        StoredTriangle* triangles;
        TriangleParts* parts;
        std::size_t capacity;
        std::size_t used;
    };

    std::vector<Block> blocks_;
    std::size_t size_ = 0;
};
