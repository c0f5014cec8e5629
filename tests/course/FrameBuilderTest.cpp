#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A triangle of its own for every index, so that no two share vertices.
TriangleSlot addTriangle(TriangleStorage& storage, int index) {
    const float x = static_cast<float>(index);
    return storage.add({x, 0.0f, 0.0f}, {x, 0.0f, 1.0f}, {x + 1.0f, 0.0f, 0.0f});
}

} // namespace

TEST(FrameBuilder, StartsThreadsOnlyForFullBatchesAndBuildsEveryFrame) {
    TriangleStorage storage;
    FrameBuilder builder(4);
    std::vector<TriangleSlot> slots;
    // Less than one batch: the storage blocks end several short batches on the way, and none of
    // them may start a thread.
    constexpr int batch = 1024;
    for (int i = 0; i < batch - 1; ++i) {
        slots.push_back(addTriangle(storage, i));
        builder.add(slots.back());
        ASSERT_EQ(builder.otherThreads(), 0u) << "after " << i + 1 << " triangles";
    }
    // Three batches' worth fill at least one batch: the large course is shared out.
    for (int i = batch - 1; i < 3 * batch; ++i) {
        slots.push_back(addTriangle(storage, i));
        builder.add(slots.back());
    }
    EXPECT_GE(builder.otherThreads(), 1u);
    EXPECT_LE(builder.otherThreads(), 3u);
    builder.finish();
    EXPECT_EQ(builder.otherThreads(), 0u);
    for (const TriangleSlot& slot : slots) {
        ASSERT_NE(slot.stored->triangle.link(), nullptr) << "built without its frames";
    }
}

// Many batches handed over faster than one other thread builds them: the reading thread takes
// waiting batches itself, and every triangle still gets exactly the frames it gets alone.
TEST(FrameBuilder, BuildsEveryFrameWhenTheReadingThreadHelps) {
    TriangleStorage storage;
    std::vector<TriangleSlot> slots;
    {
        FrameBuilder builder(2);
        for (int i = 0; i < 40 * 1024; ++i) {
            const float x = static_cast<float>(i % 977) * 0.37f;
            slots.push_back(
                storage.add({x, 0.5f * x, 1.0f}, {x + 1.0f, 2.0f, 0.25f * x}, {-x, x, 3.0f}));
            builder.add(slots.back());
        }
    }
    for (const TriangleSlot& slot : slots) {
        Vector3 v[3] = {slot.stored->vertex[0], slot.stored->vertex[1], slot.stored->vertex[2]};
        TriangleParts parts;
        const Triangle alone(&v[0], &v[1], &v[2], parts);
        const Triangle& built = slot.stored->triangle;
        ASSERT_NE(built.link(), nullptr) << "built without its frames";
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(std::memcmp(built.matrix(k), alone.matrix(k), 16 * sizeof(float)), 0);
            ASSERT_EQ(built.edgeEnd(k), alone.edgeEnd(k));
        }
    }
}
