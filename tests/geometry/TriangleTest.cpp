#include "geometry/Triangle.h"

#include "TriangleSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

using namespace geometry_test;

namespace {

// How far a stored frame may be from the exact rigid motion. The sources, with u = 2^-24 the
// unit roundoff of float:
// - over-turn: the degree factor 57.295826 is 8.1e-7 larger than 180/pi, so each of the two
//   rotations turns up to 2.55e-6 radians too far (at a half turn);
// - the arc cosine of a float cosine: a cosine rounded by cosineRounding gives an angle off by
//   cosineRounding / sin(angle), and by as much as sqrt(2 * cosineRounding) = 7e-4 radians where
//   the angle is near 0 or 180 degrees (an edge within about 1e-3 of +-x, or a third vertex
//   within about 1e-3 of straight above or below the edge after the first rotation);
// - rounding: a vertex's image, made of a rotated world point and a translation that cancel,
//   rounds by coordinateRounding of the largest |coordinate|; differences, directions and
//   rotated vectors round by rotationRounding of their own length;
// - leverage: the first rotation's angle error moves the third vertex by that angle times its
//   distance from the frame's origin, which turns its part across the edge, and with it the
//   second rotation, by that angle times |third - origin| / |part across the edge| (up to 57
//   for an angle of 1 degree).
// A vertex's image is off by the angles times its distance from the origin plus the rounding of
// its coordinates; the turned unit normal by the angles, leverage included, plus what the
// rounding of the edges does to the face's plane (edge rounding over the smallest height).
// Everything is doubled for margin. A fault in a frame (a wrong axis, a mirrored triangle, a vertex
// on the wrong side) moves a vertex by about the third vertex's height, at least 8.7e-3 of the
// longest edge for triangles with no angle under 1 degree, and the normal by far more than its
// bound.
constexpr double overturn = 2.6e-6;         // radians per rotation, at most
constexpr double cosineRounding = 2.4e-7;   // 4u
constexpr double coordinateRounding = 4e-7; // about 7u of the largest |coordinate|
constexpr double rotationRounding = 2.4e-7; // 4u of the rotated vector's length
constexpr double toleranceMargin = 2.0;
// The rotation part is orthonormal up to float rounding of its entries and of their products.
constexpr double rotationTolerance = 1e-6;

// The angle error of acos at an angle with this sine, for a cosine rounded by cosineRounding.
double arcCosineError(double sine) {
    return std::min(cosineRounding / std::fabs(sine), std::sqrt(2.0 * cosineRounding));
}

Double3 cross(const Double3& a, const Double3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double smallestHeight(const Corners& corners) {
    const Double3 a = toDouble(corners[0]);
    const double doubleArea = norm(cross(toDouble(corners[1]) - a, toDouble(corners[2]) - a));
    return doubleArea / longestEdge(corners);
}

struct FrameTolerance {
    double vertex; // distance of a vertex's image from where it belongs
    double normal; // distance of the turned unit normal from +-y
};

// The bounds above for frame k. They need the exact angles of the frame's two rotations: the
// edge's from +x, and, once the smallest rotation has laid the edge on +x, that of the third
// vertex's part across the edge from +z.
FrameTolerance frameTolerance(const Corners& corners, int k) {
    const FrameRoles& roles = frameRoles[k];
    const Double3 origin = toDouble(corners[roles.origin]);
    const Double3 edge = toDouble(corners[roles.onAxis]) - origin;
    const Double3 third = toDouble(corners[roles.inPlane]) - origin;
    const double length = norm(edge);
    const Double3 direction = {edge.x / length, edge.y / length, edge.z / length};
    const double sine1 = std::hypot(direction.y, direction.z);
    const double cosine1 = direction.x;

    // Rodrigues' rotation about direction x (1, 0, 0) by the angle between them; a half turn
    // about +y for an edge along -x.
    Double3 turned = {-third.x, third.y, -third.z};
    if (sine1 > 0.0) {
        const Double3 axis = {0.0, direction.z / sine1, -direction.y / sine1};
        const Double3 across = cross(axis, third);
        const double along = dot(axis, third) * (1.0 - cosine1);
        turned = {third.x * cosine1 + across.x * sine1 + axis.x * along,
                  third.y * cosine1 + across.y * sine1 + axis.y * along,
                  third.z * cosine1 + across.z * sine1 + axis.z * along};
    } else if (cosine1 > 0.0) {
        turned = third;
    }
    const double acrossEdge = std::hypot(turned.y, turned.z);
    const double sine2 = turned.y / acrossEdge;

    const double size = longestEdge(corners);
    const double rounding = coordinateRounding * std::max(1.0, largestAbsCoordinate(corners));
    const double first = overturn + arcCosineError(sine1) + rotationRounding;
    const double second = overturn + arcCosineError(sine2);
    const double leverage = norm(third) / acrossEdge;
    const double vertex = (2.0 * first + second + rotationRounding) * size + 2.0 * rounding;
    const double normal =
        first * (1.0 + leverage) + second + rotationRounding * size / smallestHeight(corners);
    return {toleranceMargin * vertex, toleranceMargin * normal};
}

double distance(const Vector3& a, const Double3& b) {
    return norm(toDouble(a) - b);
}

std::string show(const Vector3& v) {
    std::ostringstream out;
    out.precision(9);
    out << "(" << v << ")";
    return out.str();
}

// The 3x3 rotation part of a column-major matrix applied to v, in double.
Double3 rotatePart(const float* m, const Double3& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

// Where frame k must put its in-plane vertex, from the world vertices alone: (a, 0, h), with a
// the projection onto the edge and h >= 0 the distance from the edge's line.
Double3 inPlaneImage(const Corners& corners, int k) {
    const FrameRoles& roles = frameRoles[k];
    const Double3 origin = toDouble(corners[roles.origin]);
    const Double3 edge = toDouble(corners[roles.onAxis]) - origin;
    const Double3 offset = toDouble(corners[roles.inPlane]) - origin;
    const double length = norm(edge);
    const double along = dot(offset, edge) / length;
    const double height = std::sqrt(std::max(0.0, dot(offset, offset) - along * along));
    return {along, 0.0, height};
}

double edgeLength(const Corners& corners, int k) {
    const FrameRoles& roles = frameRoles[k];
    return norm(toDouble(corners[roles.onAxis]) - toDouble(corners[roles.origin]));
}

// Every property frame k must have: a rigid motion (orthonormal rotation part, determinant +1,
// fourth row 0 0 0 1 where GL's column-major layout puts it), the three vertices where the frame
// table sends them, the face normal turned to +-y, and the edge end (L, 0, 0).
testing::AssertionResult frameHolds(const Triangle& t, const Corners& corners, int k) {
    const float* m = t.matrix(k);
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m[i])) {
            return testing::AssertionFailure()
                   << "frame " << k << ": entry " << i << " is " << m[i];
        }
    }
    if (m[3] != 0.0f || m[7] != 0.0f || m[11] != 0.0f || m[15] != 1.0f) {
        return testing::AssertionFailure() << "frame " << k << ": fourth row " << m[3] << " "
                                           << m[7] << " " << m[11] << " " << m[15];
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            const double product = double(m[4 * a]) * m[4 * b] +
                                   double(m[4 * a + 1]) * m[4 * b + 1] +
                                   double(m[4 * a + 2]) * m[4 * b + 2];
            if (std::fabs(product - (a == b ? 1.0 : 0.0)) > rotationTolerance) {
                return testing::AssertionFailure() << "frame " << k << ": columns " << a << " and "
                                                   << b << " have dot " << product;
            }
        }
    }
    const double determinant = m[0] * (double(m[5]) * m[10] - double(m[9]) * m[6]) -
                               m[4] * (double(m[1]) * m[10] - double(m[9]) * m[2]) +
                               m[8] * (double(m[1]) * m[6] - double(m[5]) * m[2]);
    if (std::fabs(determinant - 1.0) > rotationTolerance) {
        return testing::AssertionFailure() << "frame " << k << ": determinant " << determinant;
    }

    const FrameRoles& roles = frameRoles[k];
    const FrameTolerance bound = frameTolerance(corners, k);
    const double tolerance = bound.vertex;
    const double length = edgeLength(corners, k);
    const struct {
        int vertex;
        Double3 image;
    } targets[3] = {{roles.origin, {0.0, 0.0, 0.0}},
                    {roles.onAxis, {length, 0.0, 0.0}},
                    {roles.inPlane, inPlaneImage(corners, k)}};
    for (const auto& target : targets) {
        const Vector3 image = corners[target.vertex].transformPoint(m);
        if (distance(image, target.image) > tolerance) {
            return testing::AssertionFailure()
                   << "frame " << k << ": v" << target.vertex << " goes to " << show(image)
                   << ", expected (" << target.image.x << ", 0, " << target.image.z << ") within "
                   << tolerance;
        }
    }

    const Double3 turned = rotatePart(m, toDouble(t.normal()));
    if (norm(turned - Double3{0.0, roles.normalY, 0.0}) > bound.normal) {
        return testing::AssertionFailure() << "frame " << k << ": normal turns to (" << turned.x
                                           << ", " << turned.y << ", " << turned.z << ")";
    }

    // Its y and z are set to zero, not left with the rotations' rounding.
    const Vector3 end = t.edgeEnd(k);
    if (std::fabs(end.x - length) > tolerance || end.y != 0.0f || end.z != 0.0f) {
        return testing::AssertionFailure()
               << "edge end " << k << " is " << show(end) << ", edge length " << length;
    }
    return testing::AssertionSuccess();
}

// The standard copy: the triangle in frame 0, v0 = (0, 0, 0), v1 = (a, 0, h >= 0) and
// v2 = (L0, 0, 0) with the zeroed coordinates exactly zero, v2 the same as edge end 0.
testing::AssertionResult standardCopyHolds(const Triangle& t, const Corners& corners) {
    const Triangle* copy = t.link();
    if (copy == nullptr) {
        return testing::AssertionFailure() << "no standard copy";
    }
    if (copy->link() != nullptr) {
        return testing::AssertionFailure() << "the standard copy has frames of its own";
    }
    const Vector3 origin = *copy->vertex(0);
    const Vector3 apex = *copy->vertex(1);
    const Vector3 end = *copy->vertex(2);
    const double tolerance = frameTolerance(corners, 0).vertex;
    if (origin != Vector3(0.0f, 0.0f, 0.0f)) {
        return testing::AssertionFailure() << "copy v0 is " << show(origin);
    }
    if (apex.y != 0.0f || apex.z < 0.0f || distance(apex, inPlaneImage(corners, 0)) > tolerance) {
        return testing::AssertionFailure() << "copy v1 is " << show(apex);
    }
    if (end.y != 0.0f || end.z != 0.0f || std::fabs(end.x - edgeLength(corners, 0)) > tolerance ||
        end != t.edgeEnd(0)) {
        return testing::AssertionFailure()
               << "copy v2 is " << show(end) << ", edge end 0 " << show(t.edgeEnd(0));
    }
    return testing::AssertionSuccess();
}

// Builds the triangle and checks everything a sound triangle must satisfy; the caller adds what
// is special about its case.
testing::AssertionResult soundTriangle(const Corners& corners, const Triangle** built = nullptr) {
    const Triangle* t = buildTriangle(corners);
    if (built != nullptr) {
        *built = t;
    }
    for (int i = 0; i < 3; ++i) {
        if (*t->vertex(i) != corners[i]) {
            return testing::AssertionFailure()
                   << "world vertex " << i << " moved to " << show(*t->vertex(i));
        }
    }
    if (!t->hasFiniteNormal() || std::fabs(t->normal().length() - 1.0f) > rotationTolerance) {
        return testing::AssertionFailure() << "normal " << show(t->normal());
    }
    for (int k = 0; k < 3; ++k) {
        if (testing::AssertionResult result = frameHolds(*t, corners, k); !result) {
            return result;
        }
    }
    return standardCopyHolds(*t, corners);
}

std::string describe(const Corners& corners) {
    return show(corners[0]) + " " + show(corners[1]) + " " + show(corners[2]);
}

// A half turn's sine, as the degree factor 57.295826 makes acos(-1) * K over-turn it:
// (K * pi - 180) degrees, about 2.55e-6 radians.
double halfTurnOverturn() {
    constexpr double pi = 3.14159265358979323846;
    constexpr double degreesPerRadian = 57.295826;
    return std::sin((degreesPerRadian * pi - 180.0) * pi / 180.0);
}

} // namespace

TEST(TriangleFrames, RandomTrianglesMeetTheFrameTable) {
    TriangleSampler sampler;
    for (int i = 0; i < 3000; ++i) {
        const Corners corners = sampler.next();
        ASSERT_TRUE(soundTriangle(corners)) << "triangle " << i << ": " << describe(corners);
    }
}

TEST(TriangleFrames, AxisAlignedExampleHasTheIdentityAsFrameZero) {
    Vector3* v0 = new Vector3(0, 0, 0);
    Vector3* v1 = new Vector3(0, 0, 1);
    Vector3* v2 = new Vector3(1, 0, 0);
    const Triangle t(v0, v1, v2, false);
    // The triangle keeps the vertex objects it is given.
    EXPECT_EQ(t.vertex(0), v0);
    EXPECT_EQ(t.vertex(1), v1);
    EXPECT_EQ(t.vertex(2), v2);
    EXPECT_EQ(t.normal(), Vector3(0, 1, 0));

    // Edge 0 already lies on +x: no rotation at all, not even a rounding residue.
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(t.matrix(0)[i], identity[i]) << "entry " << i;
    }
    ASSERT_NE(t.link(), nullptr);
    EXPECT_EQ(*t.link()->vertex(0), Vector3(0, 0, 0));
    EXPECT_EQ(*t.link()->vertex(1), Vector3(0, 0, 1));
    EXPECT_EQ(*t.link()->vertex(2), Vector3(1, 0, 0));
    EXPECT_EQ(t.edgeEnd(0), Vector3(1, 0, 0));
    EXPECT_NEAR(t.edgeEnd(1).x, 1.0, 1e-6);
    EXPECT_NEAR(t.edgeEnd(2).x, std::sqrt(2.0), 1e-6);

    EXPECT_TRUE(soundTriangle({*v0, *v1, *v2}));
}

TEST(TriangleFrames, TiltedExampleMapsAsWorkedOut) {
    const Corners corners = {Vector3(1, 2, 3), Vector3(1, 3, 3), Vector3(1, 2, 4)};
    const Triangle* t = nullptr;
    ASSERT_TRUE(soundTriangle(corners, &t));
    EXPECT_EQ(t->normal(), Vector3(1, 0, 0));

    // Two quarter turns, each over-turned by 1.3e-6 radians by the degree factor, move the
    // translation (|v0| = 3.7) by at most 1e-5.
    constexpr double exampleTolerance = 1e-5;
    // (x, y, z) -> (z - 3, x - 1, y - 2)
    const float frame0[16] = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, -3, -1, -2, 1};
    // (x, y, z) -> (y - 2, 1 - x, z - 3)
    const float frame1[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, -2, 1, -3, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(t->matrix(0)[i], frame0[i], exampleTolerance) << "frame 0, entry " << i;
        EXPECT_NEAR(t->matrix(1)[i], frame1[i], exampleTolerance) << "frame 1, entry " << i;
    }
    const Vector3 offPlane = Vector3(4, -1, 7).transformPoint(t->matrix(1));
    EXPECT_NEAR(offPlane.x, -3.0, exampleTolerance);
    EXPECT_NEAR(offPlane.y, -3.0, exampleTolerance);
    EXPECT_NEAR(offPlane.z, 4.0, exampleTolerance);

    const double halfRoot = std::sqrt(0.5);
    const Vector3 v0 = corners[0].transformPoint(t->matrix(2));
    const Vector3 v1 = corners[1].transformPoint(t->matrix(2));
    const Vector3 v2 = corners[2].transformPoint(t->matrix(2));
    EXPECT_LT(distance(v1, {0, 0, 0}), exampleTolerance) << show(v1);
    EXPECT_LT(distance(v2, {2 * halfRoot, 0, 0}), exampleTolerance) << show(v2);
    EXPECT_LT(distance(v0, {halfRoot, 0, halfRoot}), exampleTolerance) << show(v0);
}

TEST(TriangleFrames, EdgeAlongNegativeXTurnsExactlyHalfWayAboutY) {
    // Edge 0 from v0 to v2 is (-3, 0, 0): its direction is exactly (-1, 0, 0), where no axis can be
    // formed from the cross product. v1 lies so that after the half turn about +y no second
    // rotation is needed.
    const Corners corners = {Vector3(5, 1, 2), Vector3(4, 1, 0.5f), Vector3(2, 1, 2)};
    const Triangle* t = nullptr;
    ASSERT_TRUE(soundTriangle(corners, &t)) << describe(corners);
    const float* m = t->matrix(0);
    // A half turn about +y: diag(-1, 1, -1), then the translation -R * v0 = (5, -1, 2).
    const float expected[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 5, -1, 2, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], expected[i], 1e-5) << "entry " << i;
    }
    // Exactly 180 degrees leaves at most float sin(pi) ~ 9e-8 off the diagonal; the over-turned
    // acos(-1) * K would leave its 2.55e-6.
    const double halfTurnResidue = 0.4 * halfTurnOverturn();
    EXPECT_LT(std::fabs(m[2]), halfTurnResidue);
    EXPECT_LT(std::fabs(m[8]), halfTurnResidue);
}

TEST(TriangleFrames, SecondRotationFollowsTheSideOfTheThirdVertex) {
    // Edge 0 lies on +x in every case, so frame 0 is the second rotation alone.
    const double overturn = halfTurnOverturn();

    // Below the xz plane (e.y < 0): about -x; turning about +x would swing v1 to y = -sqrt(2).
    EXPECT_TRUE(soundTriangle({Vector3(0, 0, 0), Vector3(1, -1, 1), Vector3(2, 0, 0)}));
    EXPECT_TRUE(soundTriangle({Vector3(0, 0, 0), Vector3(1, -1, -1), Vector3(2, 0, 0)}));
    EXPECT_TRUE(soundTriangle({Vector3(0, 0, 0), Vector3(1, 1, -1), Vector3(2, 0, 0)}));

    // In the plane on the negative side (e.y = 0, e.z < 0): about +x by acos(-1) * K, just over a
    // half turn. Row 2, column 1 holds the sine: -sin(overturn) about +x, +sin(overturn) about -x,
    // and nothing for an exact half turn.
    const Triangle* t = nullptr;
    ASSERT_TRUE(soundTriangle({Vector3(0, 0, 0), Vector3(1, 0, -1), Vector3(2, 0, 0)}, &t));
    EXPECT_NEAR(t->matrix(0)[6], -overturn, 0.25 * overturn);
    EXPECT_NEAR(t->matrix(0)[9], overturn, 0.25 * overturn);
}

TEST(TriangleFrames, NearlyStraightAndReversedDirectionsGiveSoundFrames) {
    // Edge directions a hair off +-x, and third vertices a hair off straight above or below the
    // edge, so that both cosines handed to the arc cosine are within rounding of +-1 (or exactly
    // +-1). The frames must stay finite and correct to the arc cosine's resolution there, which
    // frameTolerance allows for. Placed away from the origin so that the translation rounds too.
    const Vector3 offset(37.5f, -81.25f, 12.0f);
    const float hairs[] = {1e-2f, 1e-4f, 1e-6f, 1e-8f, 1e-12f, 1e-20f, 0.0f};
    for (const float hair : hairs) {
        for (const float along : {1.0f, -1.0f}) {
            for (const float side : {1.0f, -1.0f}) {
                // Edge 0 (v0 -> v2) nearly along `along` * x; v1 nearly straight above or below.
                const Vector3 v0 = offset;
                const Vector3 v2 = offset + Vector3(along * 5.0f, hair * 5.0f, -hair * 3.0f);
                const Vector3 v1 = offset + Vector3(along * 2.0f, hair, side * 4.0f);
                const Corners corners = {v0, v1, v2};
                EXPECT_TRUE(soundTriangle(corners)) << describe(corners);
                // The same directions for edge 1 (v0 -> v1) and edge 2 (v1 -> v2).
                const Corners turned = {v0, v2, v1};
                EXPECT_TRUE(soundTriangle(turned)) << describe(turned);
            }
        }
    }
}

TEST(TriangleFrames, DegenerateTrianglesBuildWithANonFiniteNormal) {
    const Vector3 a(1, 2, 3), b(-4, 0.5f, 2);
    const Corners degenerate[] = {
        {a, a, b},
        {a, b, a},
        {b, a, a},
        {a, a, a},
        // Exactly collinear: every cross product of the edges is exactly zero.
        {Vector3(1, 2, 3), Vector3(2, 4, 6), Vector3(4, 8, 12)},
        {Vector3(-1, 0, 0), Vector3(3, 0, 0), Vector3(0.5f, 0, 0)},
    };
    for (const Corners& corners : degenerate) {
        const Triangle* t = buildTriangle(corners);
        EXPECT_FALSE(t->hasFiniteNormal()) << describe(corners);
    }
    // One vertex object passed twice.
    Vector3* shared = new Vector3(a);
    EXPECT_FALSE(Triangle(shared, shared, new Vector3(b), false).hasFiniteNormal());
    // And a sound one is told apart.
    EXPECT_TRUE(buildTriangle({a, b, Vector3(0, 0, 0)})->hasFiniteNormal());
}
