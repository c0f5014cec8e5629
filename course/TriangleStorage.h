#pragma once

#include "geometry/Triangle.h"

#include <cstddef>
#include <vector>

// A course triangle with everything it points to side by side: its three world vertices (course
// units), the Triangle, and the parts its frames are built into. Never copied or moved: the
// Triangle holds the addresses of the vertices and the parts.
struct StoredTriangle {
    // The triangle with its normal; its frames are built later by buildFrames().
    StoredTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2);
    StoredTriangle(const StoredTriangle&) = delete;
    StoredTriangle& operator=(const StoredTriangle&) = delete;

    // Builds the three frames, the edge ends and the standard copy into `parts`, exactly as the
    // Triangle constructor with frames does. Touches nothing outside this object, so triangles
    // can be given their frames on several threads at once.
    void buildFrames();

    Vector3 vertex[3];
    Triangle triangle;
    TriangleParts parts;
};

// Where a course keeps its triangles: blocks of StoredTriangle, each triangle at a fixed address
// for the life of the storage, a few large allocations instead of several small ones for every
// triangle. Everything is freed with the storage; the process-wide one is never freed, as the
// program keeps its course until it ends.
class TriangleStorage {
public:
    TriangleStorage() = default;
    TriangleStorage(const TriangleStorage&) = delete;
    TriangleStorage& operator=(const TriangleStorage&) = delete;
    ~TriangleStorage();

    // The storage of the program's course, made on first use and never destroyed.
    static TriangleStorage& processWide();

    // A new triangle with the given vertices (course units), its frames not built yet.
    StoredTriangle& add(const Vector3& v0, const Vector3& v1, const Vector3& v2);
    std::size_t size() const { return size_; }

private:
    struct Block {
        StoredTriangle* triangles;
        std::size_t capacity;
        std::size_t used;
    };

    std::vector<Block> blocks_;
    std::size_t size_ = 0;
};
