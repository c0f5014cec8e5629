#include "scene/CollisionBox.h"
#include "TriangleStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void expectCorners(const CollisionBox& box, Vector3 min, Vector3 max) {
    EXPECT_EQ(box.minCorner(), min) << box.minCorner();
    EXPECT_EQ(box.maxCorner(), max) << box.maxCorner();
}

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
// The simulation's tolerance in course units.
constexpr float tolerance = 1e-5f;

} // namespace

TEST(CollisionBox, BoundsAreTheVerticesOnlyAndGrowWithEachNewTriangle) {
    TriangleStore store;
    CollisionBox box;
    expectCorners(box, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(box.triangleCount(), 0u);

    // The origin, where a new box's corners start, must not widen the bounds.
    Triangle* first = store.make({1, 2, 3}, {4, 0, 5}, {2, 6, -1});
    box.addTriangle(first);
    expectCorners(box, {1, 0, -1}, {4, 6, 5});

    // Each axis widened on each side, by a vertex other than v0.
    box.addTriangle(store.make({2, 2, 2}, {-3, 7, 2}, {2, -4, 9}));
    expectCorners(box, {-3, -4, -1}, {4, 7, 9});

    // A NaN coordinate widens nothing; its finite coordinates still count.
    box.addTriangle(store.make({notANumber, notANumber, notANumber}, {notANumber, 8, notANumber},
                               {2, 2, notANumber}));
    expectCorners(box, {-3, -4, -1}, {4, 8, 9});
    EXPECT_EQ(box.triangleCount(), 3u);
    EXPECT_EQ(box.triangle(0), first);
}

TEST(CollisionBox, HoldsEachPointerOnceButEveryDistinctTriangle) {
    TriangleStore store;
    CollisionBox box;
    Triangle* a = store.make({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    Triangle* twin = store.make({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    Triangle* far = store.make({5, 5, 5}, {6, 5, 5}, {5, 6, 5});

    box.addTriangle(a);
    box.addTriangle(a);
    EXPECT_EQ(box.triangleCount(), 1u);
    expectCorners(box, {0, 0, 0}, {1, 1, 0});

    // Equal vertices, another object: both are tested by the physics, so both are held.
    box.addTriangle(twin);
    EXPECT_EQ(box.triangleCount(), 2u);
    expectCorners(box, {0, 0, 0}, {1, 1, 0});

    // A pointer held earlier, offered after others, is still refused and widens nothing.
    *a->vertex(0) = Vector3(-9, -9, -9);
    box.addTriangle(far);
    box.addTriangle(a);
    ASSERT_EQ(box.triangleCount(), 3u);
    EXPECT_EQ(box.triangle(0), a);
    EXPECT_EQ(box.triangle(1), twin);
    EXPECT_EQ(box.triangle(2), far);
    expectCorners(box, {0, 0, 0}, {6, 6, 5});

    // After compact() (the end of loading) the check still holds, for old and new pointers.
    box.compact();
    Triangle* late = store.make({7, 7, 7}, {8, 7, 7}, {7, 8, 7});
    box.addTriangle(twin);
    box.addTriangle(late);
    box.addTriangle(late);
    ASSERT_EQ(box.triangleCount(), 4u);
    EXPECT_EQ(box.triangle(3), late);
    expectCorners(box, {0, 0, 0}, {8, 8, 7});
}

TEST(CollisionBox, CopiesShareTrianglesButNotTheirLists) {
    TriangleStore store;
    CollisionBox source;
    source.setColour(2.5f, -1.0f, 0.25f, 0.5f);
    Triangle* t = store.make({1, 1, 1}, {2, 1, 1}, {1, 2, 1});
    source.addTriangle(t);

    {
        CollisionBox copy = source;
        EXPECT_EQ(copy.triangle(0), t);
        expectCorners(copy, {1, 1, 1}, {2, 2, 1});
        // Colours are stored as given: neither clamped to [0, 1] nor scaled.
        EXPECT_EQ(copy.colour()[0], 2.5f);
        EXPECT_EQ(copy.colour()[1], -1.0f);
        EXPECT_EQ(copy.colour()[2], 0.25f);
        EXPECT_EQ(copy.colour()[3], 0.5f);
        copy.addTriangle(store.make({9, 9, 9}, {8, 9, 9}, {9, 8, 9}));
        copy.setColour(0, 0, 0, 0);
        EXPECT_EQ(copy.triangleCount(), 2u);
    }
    EXPECT_EQ(source.triangleCount(), 1u);
    EXPECT_EQ(source.triangle(0), t);
    EXPECT_EQ(*t->vertex(1), Vector3(2, 1, 1));
    expectCorners(source, {1, 1, 1}, {2, 2, 1});
    EXPECT_EQ(source.colour()[0], 2.5f);

    CollisionBox assigned;
    assigned = source;
    EXPECT_EQ(assigned.triangle(0), t);
    EXPECT_EQ(assigned.colour()[1], -1.0f);
}

TEST(CollisionBox, SweepTestComparesTheMoveIntervalWithTheGrownBounds) {
    TriangleStore store;
    CollisionBox box;
    // x and z in [0, 1], y in [0, 0].
    box.addTriangle(store.make({0, 0, 0}, {0, 0, 1}, {1, 0, 0}));
    const float radius = 0.5f;

    // Along x towards the box: the grown box ends at 1.5 (+ tolerance).
    EXPECT_TRUE(box.overlapsSweep({2, 0, 0.5f}, {1.4f, 0, 0.5f}, radius, tolerance));
    EXPECT_FALSE(box.overlapsSweep({2, 0, 0.5f}, {1.6f, 0, 0.5f}, radius, tolerance));
    // The same moves the other way: the interval does not depend on the direction.
    EXPECT_TRUE(box.overlapsSweep({1.4f, 0, 0.5f}, {2, 0, 0.5f}, radius, tolerance));
    EXPECT_FALSE(box.overlapsSweep({1.6f, 0, 0.5f}, {2, 0, 0.5f}, radius, tolerance));
    // A move across the whole box, its ends outside on both sides.
    EXPECT_TRUE(box.overlapsSweep({-5, 0, 0.5f}, {5, 0, 0.5f}, radius, tolerance));

    // A ball that does not move: just inside and just outside the grown box on each side.
    EXPECT_TRUE(box.overlapsSweep({1.5f, 0, 0.5f}, {1.5f, 0, 0.5f}, radius, tolerance));
    EXPECT_TRUE(box.overlapsSweep({-0.5f, 0.5f, 1.5f}, {-0.5f, 0.5f, 1.5f}, radius, tolerance));
    EXPECT_FALSE(box.overlapsSweep({1.501f, 0, 0.5f}, {1.501f, 0, 0.5f}, radius, tolerance));
    // Half a tolerance beyond the grown box on either side still counts; two tolerances do not.
    EXPECT_TRUE(box.overlapsSweep({1.500005f, 0, 0.5f}, {1.500005f, 0, 0.5f}, radius, tolerance));
    EXPECT_TRUE(box.overlapsSweep({-0.500005f, 0, 0.5f}, {-0.500005f, 0, 0.5f}, radius, tolerance));
    EXPECT_FALSE(box.overlapsSweep({1.50002f, 0, 0.5f}, {1.50002f, 0, 0.5f}, radius, tolerance));
    EXPECT_FALSE(box.overlapsSweep({-0.50002f, 0, 0.5f}, {-0.50002f, 0, 0.5f}, radius, tolerance));
    EXPECT_FALSE(
        box.overlapsSweep({0.5f, -0.501f, 0.5f}, {0.5f, -0.501f, 0.5f}, radius, tolerance));

    // Each axis on its own rejects a move that stays beyond one face, the others overlapping.
    const Vector3 centre(0.5f, 0, 0.5f);
    for (int axis = 0; axis < 3; ++axis) {
        for (const float side : {-1.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "axis " << axis << ", side " << side);
            Vector3 from = centre;
            Vector3 to = centre;
            from[axis] += side * 1.2f;
            to[axis] += side * 3.0f;
            EXPECT_FALSE(box.overlapsSweep(from, to, radius, tolerance));
            to[axis] = centre[axis];
            EXPECT_TRUE(box.overlapsSweep(from, to, radius, tolerance));
        }
    }
}
