#include "course/TriangleStorage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace {

// Blocks grow from a few dozen triangles (a small course wastes little) to tens of thousands (a
// large course needs few allocations, and the last block's unused room stays a small part of the
// whole).
constexpr std::size_t firstBlockTriangles = 64;

// The size of a transparent huge page (x86-64 and arm64 with 4 KiB pages). Every 4 KiB page a
// process touches for the first time costs a page fault, several microseconds in a virtual
// machine: a million triangles touch 140000 of them, a third of their loading time. The largest
// blocks are therefore whole huge pages, aligned to them and offered to the kernel as such.
constexpr std::size_t hugePageBytes = std::size_t(2) << 20;
// Two huge pages of triangles (160 bytes each) and, beside them, their parts (400 bytes each)
// in five huge pages, both all but a few bytes full.
constexpr std::size_t largestBlockTriangles = 2 * hugePageBytes / sizeof(StoredTriangle);

std::size_t wholeHugePages(std::size_t bytes) {
    return (bytes + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
}

// Room for `count` objects of type T, not constructed. The room of a largest block is mapped
// from the kernel in whole huge pages; smaller rooms come from the heap.
template <typename T> T* allocateRoom(std::size_t count) {
    if (count < largestBlockTriangles) {
        return std::allocator<T>().allocate(count);
    }
    // Map a huge page more than needed, then give back what lies before the first aligned
    // address and after the room.
    const std::size_t bytes = wholeHugePages(count * sizeof(T));
    const std::size_t mappedBytes = bytes + hugePageBytes;
    void* const mapped =
        ::mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
    if (aligned > start) {
        ::munmap(mapped, aligned - start);
    }
    const std::size_t after = start + mappedBytes - (aligned + bytes);
    if (after > 0) {
        ::munmap(reinterpret_cast<void*>(aligned + bytes), after);
    }
    // Only a hint: where huge pages are off, the room works the same with small ones.
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<T*>(aligned);
}

template <typename T> void freeRoom(T* room, std::size_t count) {
    if (count < largestBlockTriangles) {
        std::allocator<T>().deallocate(room, count);
    } else {
        ::munmap(room, wholeHugePages(count * sizeof(T)));
    }
}

} // namespace

StoredTriangle::StoredTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2)
    : vertex{v0, v1, v2}, triangle(&vertex[0], &vertex[1], &vertex[2], true) {}

void TriangleSlot::buildFrames() const {
    // The parts' destructors do nothing, so the parts are never destroyed: building them again
    // (a benchmark does) only writes the same room anew.
    TriangleParts* const built = new (parts) TriangleParts;
    Vector3* const v = stored->vertex;
    stored->triangle = Triangle(&v[0], &v[1], &v[2], *built);
}

TriangleStorage::~TriangleStorage() {
    for (const Block& block : blocks_) {
        std::destroy_n(block.triangles, block.used);
        freeRoom(block.triangles, block.capacity);
        freeRoom(block.parts, block.capacity);
    }
}

TriangleStorage& TriangleStorage::processWide() {
    // Never deleted: the program's triangles live until it ends.
    static TriangleStorage* const storage = new TriangleStorage();
    return *storage;
}

TriangleSlot TriangleStorage::add(const Vector3& v0, const Vector3& v1, const Vector3& v2) {
    if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) {
        const std::size_t capacity =
            blocks_.empty() ? firstBlockTriangles
                            : std::min(2 * blocks_.back().capacity, largestBlockTriangles);
        blocks_.reserve(blocks_.size() + 1); // so that the push below cannot throw
        Block block{allocateRoom<StoredTriangle>(capacity), nullptr, capacity, 0};
        try {
            block.parts = allocateRoom<TriangleParts>(capacity);
        } catch (...) {
            freeRoom(block.triangles, capacity);
            throw;
        }
        blocks_.push_back(block);
    }
    Block& block = blocks_.back();
    StoredTriangle* const stored = new (block.triangles + block.used) StoredTriangle(v0, v1, v2);
    TriangleParts* const parts = block.parts + block.used;
    ++block.used;
    ++size_;
    return {stored, parts};
}
