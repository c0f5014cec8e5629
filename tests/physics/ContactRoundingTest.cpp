// Every intermediate the contact tests store is a float. A build that carried one on in double
// changes contact normals in their last bits (GCC 12's vectoriser did, for the normal of an edge
// touched at the start of a move, until the build turned it off); this rebuilds that normal with
// every rounding forced and requires the same bits.

#include "physics/SimulationSettings.h"
#include "scene/BallConstants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A float that the compiler must store, and so round, before it is used again.
float stored(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

// The normal the edge test merges for a ball touching edge k at the start of its move: the
// centre's offset from the edge in the edge's frame, (0, p.y, p.z), carried back to world axes
// by the transpose of the frame's rotation and normalised, every step rounded to float.
Vector3 touchingEdgeNormal(const Vector3& from, const float* m) {
    float p[3];
    for (int i = 0; i < 3; ++i) {
        const float rotated =
            stored((double(m[i]) * from.x + double(m[4 + i]) * from.y) + double(m[8 + i]) * from.z);
        p[i] = stored(double(rotated) + m[12 + i]);
    }
    float outward[3];
    for (int i = 0; i < 3; ++i) {
        outward[i] = stored(double(m[4 * i + 1]) * p[1] + double(m[4 * i + 2]) * p[2]);
    }
    const float length =
        stored(std::sqrt(double(outward[0]) * outward[0] + double(outward[1]) * outward[1] +
                         double(outward[2]) * outward[2]));
    const double reciprocal = 1.0 / double(length);
    return {stored(outward[0] * reciprocal), stored(outward[1] * reciprocal),
            stored(outward[2] * reciprocal)};
}

TEST(ContactRounding, TouchingEdgeNormalsAreRoundedAsStored) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const SimulationSettings settings;
    const float radius = ball_constants::radius;
    int touched = 0;
    for (int trial = 0; trial < 500; ++trial) {
        Vector3 corner[3];
        for (Vector3& c : corner) {
            c = Vector3(unit(random), unit(random), unit(random)) * 4.0f;
        }
        const Triangle triangle(&corner[0], &corner[1], &corner[2], false);
        if (!triangle.hasFiniteNormal()) {
            continue;
        }
        // Start just inside the reach of edge 2 (v1 -> v2), off its middle and in front of the
        // face, and close in against the normal.
        const Vector3 middle = (corner[1] + corner[2]) * 0.5f;
        Vector3 across =
            triangle.normal() + Vector3(unit(random), unit(random), unit(random)) * 0.3f;
        across.normalize();
        const Vector3 from = middle + across * (radius * 0.999f);
        const Vector3 to = middle - triangle.normal() * 0.5f;
        const TriangleContacts results =
            settings.contactsOf(BallMove(from, to, radius), ContactTriangle::of(triangle));
        if (results.time[6] != 0.0f || results.normalOf(6) == triangle.normal()) {
            continue; // not a touching start on edge 2 this time
        }
        ++touched;
        const Vector3 expected = touchingEdgeNormal(from, triangle.matrix(2));
        EXPECT_EQ(results.normalOf(6).x, expected.x);
        EXPECT_EQ(results.normalOf(6).y, expected.y);
        EXPECT_EQ(results.normalOf(6).z, expected.z);
    }
    EXPECT_GT(touched, 100);
}

} // namespace
