#include "geometry/Bounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// The corners are compared, never computed: the cases below break a grow that skips the upper
// corner once the lower one moved (right for a box's corners that start equal, wrong from
// empty), a min that prefers the later of -0 and +0 or lets a NaN through, and a union that
// takes an empty box's infinite corners.

namespace {

constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Bounds, GrowsFromEmptyByComparisonsOnly) {
    Bounds bounds;
    EXPECT_TRUE(bounds.empty());
    EXPECT_FALSE(bounds.contains({0, 0, 0}));

    bounds.grow(Vector3(1, -2, 3));
    EXPECT_FALSE(bounds.empty());
    EXPECT_EQ(bounds.lowerCorner(), Vector3(1, -2, 3));
    EXPECT_EQ(bounds.upperCorner(), Vector3(1, -2, 3));

    // A NaN coordinate moves neither corner of its axis; the others still grow.
    bounds.grow(Vector3(quietNaN, -5, 4));
    EXPECT_EQ(bounds.lowerCorner(), Vector3(1, -5, 3));
    EXPECT_EQ(bounds.upperCorner(), Vector3(1, -2, 4));

    // Of -0 and +0 the first seen stays, on either corner.
    Bounds zeros = Bounds::around({0.0f, -0.0f, 0.0f});
    zeros.grow(Vector3(-0.0f, 0.0f, -0.0f));
    EXPECT_FALSE(std::signbit(zeros.lower[0]));
    EXPECT_TRUE(std::signbit(zeros.upper[1]));
    EXPECT_FALSE(std::signbit(zeros.upper[2]));

    // A union with empty bounds changes nothing; with other bounds, it holds both.
    Bounds both = bounds;
    both.grow(Bounds());
    EXPECT_EQ(both.lowerCorner(), bounds.lowerCorner());
    EXPECT_EQ(both.upperCorner(), bounds.upperCorner());
    both.grow(Bounds::around({-7, 0, 9}));
    EXPECT_EQ(both.lowerCorner(), Vector3(-7, -5, 3));
    EXPECT_EQ(both.upperCorner(), Vector3(1, 0, 9));

    // Closed on every side; never a NaN point; empty bounds grown by a margin stay empty.
    EXPECT_TRUE(both.contains({-7, 0, 3}));
    EXPECT_TRUE(both.contains({1, -5, 9}));
    EXPECT_FALSE(both.contains({1, -5, 9.000001f}));
    EXPECT_FALSE(both.contains({quietNaN, -1, 4}));
    EXPECT_TRUE(Bounds().grownBy(1.0f).empty());
    EXPECT_TRUE(both.grownBy(0.5f).contains({-7.5f, -5.5f, 9.5f}));
}

} // namespace
