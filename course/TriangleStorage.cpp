#include "course/TriangleStorage.h"

#include <algorithm>
#include <memory>

namespace {

// Blocks grow from a few dozen triangles (a small course wastes little) to a few thousand
// (about 2 MiB: a large course needs few allocations, and the last block's unused room stays a
// small part of the whole).
constexpr std::size_t firstBlockTriangles = 64;
constexpr std::size_t largestBlockTriangles = 4096;

} // namespace

StoredTriangle::StoredTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2)
    : vertex{v0, v1, v2}, triangle(&vertex[0], &vertex[1], &vertex[2], true) {}

void StoredTriangle::buildFrames() {
    triangle = Triangle(&vertex[0], &vertex[1], &vertex[2], parts);
}

TriangleStorage::~TriangleStorage() {
    std::allocator<StoredTriangle> allocator;
    for (const Block& block : blocks_) {
        std::destroy_n(block.triangles, block.used);
        allocator.deallocate(block.triangles, block.capacity);
    }
}

TriangleStorage& TriangleStorage::processWide() {
    // Never deleted: the program's triangles live until it ends.
    static TriangleStorage* const storage = new TriangleStorage();
    return *storage;
}

StoredTriangle& TriangleStorage::add(const Vector3& v0, const Vector3& v1, const Vector3& v2) {
    if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) {
        const std::size_t capacity =
            blocks_.empty() ? firstBlockTriangles
                            : std::min(2 * blocks_.back().capacity, largestBlockTriangles);
        blocks_.reserve(blocks_.size() + 1); // so that the push below cannot throw
        blocks_.push_back({std::allocator<StoredTriangle>().allocate(capacity), capacity, 0});
    }
    Block& block = blocks_.back();
    StoredTriangle* const stored = new (block.triangles + block.used) StoredTriangle(v0, v1, v2);
    ++block.used;
    ++size_;
    return *stored;
}
