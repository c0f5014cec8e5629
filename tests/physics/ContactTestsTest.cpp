// The contact tests and their merging: known contact times, every feature region of one
// triangle, and invariance under rigid motions.

#include "PhysicsFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace physics_test;

namespace {

constexpr float radius = 0.5f;
const Vector3 up(0.0f, 1.0f, 0.0f);

class ContactTests : public ::testing::Test {
protected:
    SimulationSettings settings;
};

TEST_F(ContactTests, EarliestRootKeepsTheFirstRootWithinTheMove) {
    EXPECT_FLOAT_EQ(SimulationSettings::earliestRoot(1.0f, -1.0f, 0.16f), 0.2f); // 0.2 and 0.8
    EXPECT_EQ(SimulationSettings::earliestRoot(1.0f, 0.0f, 1.0f), 1.0f);         // no real root
    EXPECT_EQ(SimulationSettings::earliestRoot(1.0f, -3.0f, 2.0f), 1.0f);        // 1 and 2
    EXPECT_EQ(SimulationSettings::earliestRoot(1.0f, 1.0f, -2.0f), 1.0f);        // 1 and -2
    EXPECT_EQ(SimulationSettings::earliestRoot(0.0f, 1.0f, 1.0f), 1.0f);         // no motion
    EXPECT_FLOAT_EQ(SimulationSettings::earliestRoot(4.0f, -4.0f, 0.75f), 0.25f);
    // a < 0 swaps which formula gives the smaller root.
    EXPECT_FLOAT_EQ(SimulationSettings::earliestRoot(-1.0f, 1.0f, -0.16f), 0.2f);
}

// v0 = (0,0,0), v1 = (1,0,2), v2 = (2,0,0): normal +y and frame 0 the identity, so frame-0
// coordinates are world coordinates.
Triangle* frameZeroTriangle() {
    return makeTriangle({0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 2.0f}, {2.0f, 0.0f, 0.0f});
}

TEST_F(ContactTests, FaceTestMeetsThePlaneAtTheRadius) {
    const Triangle& t = *frameZeroTriangle();
    ASSERT_EQ(t.normal(), up);
    EXPECT_FLOAT_EQ(settings.faceContactTime({1, 2, 0.5f}, {1, -1, 0.5f}, radius, t, up), 0.5f);
    // The same move from behind: one-sided, no contact.
    EXPECT_EQ(settings.faceContactTime({1, -1, 0.5f}, {1, 2, 0.5f}, radius, t, up), 1.0f);
    // Sideways over the face: the height never changes.
    EXPECT_EQ(settings.faceContactTime({0.5f, 1, 0.5f}, {1.5f, 1, 0.5f}, radius, t, up), 1.0f);
    // Starting deeper than r - epsilon and moving away: nothing to touch.
    EXPECT_EQ(settings.faceContactTime({1, 0.4f, 0.5f}, {1, 2, 0.5f}, radius, t, up), 1.0f);
    // Behind the plane altogether and closing in from the back.
    EXPECT_EQ(settings.faceContactTime({1, -0.1f, 0.5f}, {1, -2, 0.5f}, radius, t, up), 1.0f);
}

TEST_F(ContactTests, FaceInsideTestIsWidenedOnlyAcrossTheFirstEdge) {
    const Triangle& t = *frameZeroTriangle();
    const float eps = settings.epsilon;
    const auto dropAt = [&](float x, float z) {
        return settings.faceContactTime({x, 2, z}, {x, -1, z}, radius, t, up);
    };
    EXPECT_FLOAT_EQ(dropAt(1.0f, 0.0f), 0.5f);        // exactly on edge v0-v2
    EXPECT_FLOAT_EQ(dropAt(1.0f, -0.5f * eps), 0.5f); // within the tolerance
    EXPECT_EQ(dropAt(1.0f, -2.0f * eps), 1.0f);       // past it
    EXPECT_EQ(dropAt(1.0f, 2.0f), 1.0f);              // the apex height itself is outside
    EXPECT_EQ(dropAt(0.2f, 1.0f), 1.0f);              // beyond edge v0-v1 (x = z / 2)
    EXPECT_EQ(dropAt(1.8f, 1.0f), 1.0f);              // beyond edge v1-v2 (x = 2 - z / 2)
    EXPECT_FLOAT_EQ(dropAt(1.4f, 1.0f), 0.5f);
}

TEST_F(ContactTests, EdgeTestTouchesTheCylinderWithinTheEdgesSpan) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const Vector3 end(2.0f, 0.0f, 0.0f);
    const auto downAt = [&](float x) {
        return settings.edgeContactTime({x, 1, 0}, {x, -1, 0}, radius, end, identity, up);
    };
    EXPECT_FLOAT_EQ(downAt(1.0f), 0.25f); // roots 0.25 and 0.75
    EXPECT_FLOAT_EQ(downAt(0.0f), 0.25f); // the ends count as on the edge
    EXPECT_FLOAT_EQ(downAt(2.0f), 0.25f);
    EXPECT_EQ(downAt(3.0f), 1.0f);  // beyond the far end
    EXPECT_EQ(downAt(-0.1f), 1.0f); // before the start
    // A move parallel to the face never touches an edge, even straight through its line.
    EXPECT_EQ(settings.edgeContactTime({1, 0, 1}, {1, 0, -1}, radius, end, identity, up), 1.0f);
}

TEST_F(ContactTests, VertexTestSolvesTheDistanceToThePoint) {
    const Vector3 vertex(0.0f, 0.0f, 0.0f);
    // Radius 1, straight at the vertex from 3 away over a move of 4: roots 0.5 and 1.
    EXPECT_FLOAT_EQ(settings.vertexContactTime({0, 3, 0}, {0, -1, 0}, 1.0f, vertex, up), 0.5f);
    // At rest: no motion, no contact.
    EXPECT_EQ(settings.vertexContactTime({0, 3, 0}, {0, 3, 0}, 1.0f, vertex, up), 1.0f);
    // Parallel to the face is allowed for a vertex.
    EXPECT_FLOAT_EQ(settings.vertexContactTime({-3, 0, 0}, {1, 0, 0}, 1.0f, vertex, up), 0.5f);
    // Moving away from the face's front is not.
    EXPECT_EQ(settings.vertexContactTime({0, -3, 0}, {0, 1, 0}, 1.0f, vertex, up), 1.0f);
}

// The sphere around a feature it already touches: a contact now when closing in, none when
// leaving (the later root, when the sphere would come free, is never reported).
TEST_F(ContactTests, TouchingFeaturesReportNowOrNever) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const Vector3 end(2.0f, 0.0f, 0.0f);
    // Overlapping the edge by 0.1 and moving down through it.
    EXPECT_EQ(settings.edgeContactTime({1, 0.4f, 0}, {1, -1, 0}, radius, end, identity, up), 0.0f);
    // Touching and moving off the edge sideways (still against the normal): no contact.
    EXPECT_EQ(
        settings.edgeContactTime({1, 0.3f, 0.35f}, {1, 0.2f, 1.4f}, radius, end, identity, up),
        1.0f);
    // Touching from beyond the edge's end is left to the vertex.
    EXPECT_EQ(settings.edgeContactTime({2.3f, 0.4f, 0}, {2.3f, -1, 0}, radius, end, identity, up),
              1.0f);
    const Vector3 vertex(0.0f, 0.0f, 0.0f);
    // Overlapping the vertex by about 0.04: closing in is a contact now, leaving is none.
    EXPECT_EQ(settings.vertexContactTime({0, 0.46f, 0}, {0, -1, 0}, radius, vertex, up), 0.0f);
    EXPECT_EQ(settings.vertexContactTime({0.3f, 0.35f, 0}, {1.3f, 0.3f, 0}, radius, vertex, up),
              1.0f);
    // Resting on a face, sunk just past epsilon as a neighbour's frame may judge it: still a
    // contact when closing in.
    const Triangle& t = *frameZeroTriangle();
    const float sunk = radius - 3.0f * settings.epsilon;
    EXPECT_EQ(settings.faceContactTime({1, sunk, 0.5f}, {1, -1, 0.5f}, radius, t, up), 0.0f);
    EXPECT_EQ(settings.faceContactTime({1, sunk, 0.5f}, {1, 2, 0.5f}, radius, t, up), 1.0f);
}

// One triangle well away from the axes, approached in each region of its surroundings.
class FeatureRegions : public ContactTests {
protected:
    Vector3 a{1.0f, 2.0f, 1.0f}, b{3.0f, 2.5f, 5.0f}, c{6.0f, 1.5f, 2.0f};
    Triangle* triangle = makeTriangle(a, b, c);
    std::vector<CollisionBox> boxes{makeBox({triangle})};
    Vector3 normal = triangle->normal();

    // Drops the ball onto `point` of the triangle's plane, offset outward within the plane by
    // `offset` along `outward`: it starts 2r in front and moves 3r against the normal.
    Contact drop(Vector3 point, Vector3 outward, float offset) const {
        outward.normalize();
        const Vector3 above = point + outward * offset + normal * (2.0f * radius);
        return findContact(settings, boxes, above, above - normal * (3.0f * radius), radius);
    }
    // Outward within the plane, perpendicular to the edge p -> q.
    Vector3 edgeOutward(Vector3 p, Vector3 q) const {
        const Vector3 centroid = (a + b + c) / 3.0f;
        Vector3 along = q - p;
        along.normalize();
        Vector3 out = normal.cross(along);
        return out.dot((p + q) / 2.0f - centroid) > 0.0f ? out : -out;
    }
};

TEST_F(FeatureRegions, FaceFrontAndBack) {
    const Vector3 centroid = (a + b + c) / 3.0f;
    const Contact front = drop(centroid, normal, 0.0f);
    EXPECT_NEAR(front.earliest, 1.0f / 3.0f, 1e-5f); // from 2r down to r over a 3r move
    EXPECT_NEAR(distance(front.normal, normal), 0.0f, 1e-5f);
    const Vector3 behind = centroid - normal * (2.0f * radius);
    EXPECT_EQ(
        findContact(settings, boxes, behind, behind + normal * (3.0f * radius), radius).earliest,
        1.0f);
}

TEST_F(FeatureRegions, EachEdgeJustInsideAndJustOutsideReach) {
    // Offset r/2 beyond the edge the sphere meets the edge's line at height r * sqrt(3)/2.
    const float expected = (2.0f - std::sqrt(0.75f)) / 3.0f;
    const Vector3 ends[3][2] = {{a, c}, {a, b}, {b, c}};
    for (const auto& edge : ends) {
        const Vector3 middle = (edge[0] + edge[1]) / 2.0f;
        const Vector3 out = edgeOutward(edge[0], edge[1]);
        const Contact near = drop(middle, out, 0.5f * radius);
        EXPECT_NEAR(near.earliest, expected, 1e-4f);
        EXPECT_NEAR(distance(near.normal, normal), 0.0f, 1e-5f) << "edges merge the face normal";
        EXPECT_LT(drop(middle, out, 0.999f * radius).earliest, 1.0f);
        EXPECT_EQ(drop(middle, out, 1.001f * radius).earliest, 1.0f);
    }
}

TEST_F(FeatureRegions, EachVertexJustInsideAndJustOutsideReach) {
    const float expected = (2.0f - std::sqrt(0.75f)) / 3.0f;
    const Vector3 centroid = (a + b + c) / 3.0f;
    for (const Vector3& vertex : {a, b, c}) {
        const Vector3 out = vertex - centroid; // beyond both edges that meet there
        EXPECT_NEAR(drop(vertex, out, 0.5f * radius).earliest, expected, 1e-4f);
        EXPECT_LT(drop(vertex, out, 0.999f * radius).earliest, 1.0f);
        EXPECT_EQ(drop(vertex, out, 1.001f * radius).earliest, 1.0f);
    }
}

// A rigid motion of triangle and path together changes neither the contact time nor, beyond
// turning it with them, the contact normal.
TEST_F(ContactTests, EarliestContactIsInvariantUnderRigidMotion) {
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto randomPoint = [&](float scale) {
        return Vector3(scale * unit(random), scale * unit(random), scale * unit(random));
    };
    int contacts = 0;
    for (int trial = 0; trial < 400; ++trial) {
        // A random rotation (unit quaternion w, x, y, z) and translation.
        double q[4];
        double norm = 0.0;
        for (double& component : q) {
            component = unit(random);
            norm += component * component;
        }
        for (double& component : q) {
            component /= std::sqrt(norm);
        }
        const double w = q[0], x = q[1], y = q[2], z = q[3];
        const double rotation[3][3] = {
            {1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        const Vector3 shift = randomPoint(50.0f);
        const auto turn = [&](const Vector3& v) {
            Vector3 out;
            for (int i = 0; i < 3; ++i) {
                out[i] = static_cast<float>(rotation[i][0] * v.x + rotation[i][1] * v.y +
                                            rotation[i][2] * v.z);
            }
            return out;
        };
        const auto move = [&](const Vector3& v) { return turn(v) + shift; };

        const Vector3 v0 = randomPoint(3.0f), v1 = randomPoint(3.0f), v2 = randomPoint(3.0f);
        const Vector3 target = (v0 + v1 + v2) / 3.0f + randomPoint(1.5f);
        const Vector3 from = target + randomPoint(4.0f);
        const Vector3 to = from + (target - from) * 2.0f;
        const std::vector<CollisionBox> still{makeBox({makeTriangle(v0, v1, v2)})};
        const std::vector<CollisionBox> moved{
            makeBox({makeTriangle(move(v0), move(v1), move(v2))})};
        const Contact before = findContact(settings, still, from, to, radius);
        const Contact after = findContact(settings, moved, move(from), move(to), radius);
        if (before.earliest < 1.0f) {
            ++contacts;
        }
        ASSERT_NEAR(before.earliest, after.earliest, 2e-4f) << "trial " << trial;
        if (before.earliest < 1.0f && after.earliest < 1.0f) {
            EXPECT_NEAR(distance(turn(before.normal), after.normal), 0.0f, 1e-4f)
                << "trial " << trial;
        }
    }
    EXPECT_GT(contacts, 100) << "too few paths touched their triangle to show anything";
}

TEST_F(ContactTests, MergingSumsSimultaneousNormalsAndReplacesOnEarlier) {
    // Two floors meeting in a crease along z, each tilted 45 degrees; the ball falls straight
    // into the crease and touches both faces at the same moment.
    Triangle* left = makeFacing({-2, 2, -2}, {0, 0, -2}, {0, 0, 2}, {1, 1, 0});
    Triangle* leftRest = makeFacing({-2, 2, -2}, {0, 0, 2}, {-2, 2, 2}, {1, 1, 0});
    Triangle* right = makeFacing({2, 2, -2}, {0, 0, -2}, {0, 0, 2}, {-1, 1, 0});
    Triangle* rightRest = makeFacing({2, 2, -2}, {0, 0, 2}, {2, 2, 2}, {-1, 1, 0});
    const std::vector<CollisionBox> crease{makeBox({left, leftRest, right, rightRest})};
    const Contact both = findContact(settings, crease, {0, 2, 0.5f}, {0, -1, 0.5f}, radius);
    EXPECT_LT(both.earliest, 1.0f);
    EXPECT_NEAR(distance(both.normal, up), 0.0f, 1e-5f);

    // The same triangle listed in two boxes is tested twice and still merges to its normal.
    Triangle* floor = frameZeroTriangle();
    const std::vector<CollisionBox> twice{makeBox({floor}), makeBox({floor})};
    const Contact doubled = findContact(settings, twice, {1, 2, 0.5f}, {1, -1, 0.5f}, radius);
    EXPECT_FLOAT_EQ(doubled.earliest, 0.5f);
    EXPECT_EQ(doubled.normal, up);
}

// An untouched triangle reports exactly 1.0, which must never join a contact lying within
// epsilon below 1.0.
TEST_F(ContactTests, NoContactIsNeverSimultaneous) {
    Triangle* floor = frameZeroTriangle();
    Triangle* farWall = makeFacing({50, 0, 0}, {50, 5, 0}, {50, 0, 5}, {-1, 0, 0});
    const CollisionBox box = makeBox({floor, farWall});
    Vector3 sum;
    float earliest = 1.0f;
    // Touches the floor at u = 0.999995: start 0.999995 above contact height, move 1 down.
    const float start = radius + 0.999995f;
    settings.collideBox({1, start, 0.5f}, {1, start - 1.0f, 0.5f}, radius, box, sum, earliest);
    ASSERT_LT(earliest, 1.0f);
    ASSERT_GT(earliest, 1.0f - settings.epsilon);
    EXPECT_EQ(sum, up) << "the far wall's normal was merged";
}

// A ball wedged on an edge it touches merges the direction from the edge to its centre: with
// the face normal, a ball on the top of a double-sided wall would bounce between its two sides.
TEST_F(ContactTests, TouchingContactsMergeTheFeatureNormal) {
    // A wall in the plane x = 0, faces +x and -x, top edge along z at y = 0.
    std::vector<Triangle*> wall;
    addQuad(wall, {0, -5, -5}, {0, 0, -5}, {0, 0, 5}, {0, -5, 5}, {1, 0, 0});
    addQuad(wall, {0, -5, -5}, {0, 0, -5}, {0, 0, 5}, {0, -5, 5}, {-1, 0, 0});
    const std::vector<CollisionBox> boxes{makeBox(wall)};
    // Resting on the top edge, a little to the +x side, moving down and towards -x.
    const Vector3 from(0.3f, 0.4f, 0.0f);
    const Contact wedged =
        findContact(settings, boxes, from, from + Vector3(-0.5f, -0.5f, 0.0f), radius);
    EXPECT_EQ(wedged.earliest, 0.0f);
    EXPECT_NEAR(distance(wedged.normal, Vector3(0.6f, 0.8f, 0.0f)), 0.0f, 3e-5f);
}

TEST_F(ContactTests, DegenerateTrianglesTakePartInNoContact) {
    Triangle* collinear = makeTriangle({0, 0, 0}, {1, 0, 0}, {2, 0, 0});
    Triangle* pinched = makeTriangle({0, 0, 0}, {0, 0, 0}, {1, 0, 1});
    ASSERT_FALSE(collinear->hasFiniteNormal());
    ASSERT_FALSE(pinched->hasFiniteNormal());
    const std::vector<CollisionBox> boxes{makeBox({collinear, pinched})};
    const Contact none = findContact(settings, boxes, {1, 2, 0}, {1, -2, 0}, radius);
    EXPECT_EQ(none.earliest, 1.0f);
}

} // namespace
