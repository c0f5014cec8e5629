// Flights through closed shapes: whatever the speed and the frame time, the ball stays inside,
// keeps its speed and never turns NaN; glancing and skimming contacts behave as on one surface.

#include "PhysicsFixtures.h"
#include "scene/BallConstants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

using namespace physics_test;

namespace {

constexpr float ballRadius = ball_constants::radius;
// Relative speed drift allowed over a whole flight (float rounding of many reflections).
constexpr float speedTolerance = 1e-4f;

struct Shape {
    const char* name;
    std::vector<CollisionBox> boxes;
    // Whether a centre position is inside the shape's free space (grown by a small slack).
    bool (*inside)(const Vector3&);
    Vector3 start;
};

// The room [-5, 5]^3 with inward walls.
bool insideRoom(const Vector3& p) {
    const float limit = 5.0f - ballRadius + 1e-3f;
    return std::fabs(p.x) <= limit && std::fabs(p.y) <= limit && std::fabs(p.z) <= limit;
}

// The room [-5, 5]^3 with its floor replaced by a V-shaped crease along z: two slopes
// y = -5 + |x| / 2 meeting at x = 0.
std::vector<CollisionBox> creaseRoom() {
    std::vector<Triangle*> t;
    // Slopes from the crease (0, -5, z) up to the side walls at height -2.5.
    addQuad(t, {0, -5, -5}, {-5, -2.5f, -5}, {-5, -2.5f, 5}, {0, -5, 5}, {1, 2, 0});
    addQuad(t, {0, -5, -5}, {5, -2.5f, -5}, {5, -2.5f, 5}, {0, -5, 5}, {-1, 2, 0});
    // Side walls from the slopes' tops to the ceiling, ceiling, and the two end walls (pentagons
    // as a fan from the top corners).
    addQuad(t, {-5, -2.5f, -5}, {-5, 5, -5}, {-5, 5, 5}, {-5, -2.5f, 5}, {1, 0, 0});
    addQuad(t, {5, -2.5f, -5}, {5, 5, -5}, {5, 5, 5}, {5, -2.5f, 5}, {-1, 0, 0});
    addQuad(t, {-5, 5, -5}, {5, 5, -5}, {5, 5, 5}, {-5, 5, 5}, {0, -1, 0});
    for (float z : {-5.0f, 5.0f}) {
        const Vector3 facing(0, 0, -z);
        t.push_back(makeFacing({-5, 5, z}, {5, 5, z}, {5, -2.5f, z}, facing));
        t.push_back(makeFacing({-5, 5, z}, {5, -2.5f, z}, {0, -5, z}, facing));
        t.push_back(makeFacing({-5, 5, z}, {0, -5, z}, {-5, -2.5f, z}, facing));
    }
    std::vector<CollisionBox> boxes;
    for (std::size_t i = 0; i < t.size(); i += 2) {
        boxes.push_back(makeBox({t.begin() + i, t.begin() + std::min(t.size(), i + 2)}));
    }
    return boxes;
}

bool insideCreaseRoom(const Vector3& p) {
    // Above both slopes y = -5 + |x| / 2 by r (measured along their normals, 1 / sqrt(1.25)).
    const float slack = 1e-3f;
    const float aboveSlope = (p.y + 5.0f - std::fabs(p.x) * 0.5f) / std::sqrt(1.25f);
    return insideRoom(p) && aboveSlope >= ballRadius - slack;
}

std::vector<Shape> shapes() {
    return {
        {"room", closedRoom({-5, -5, -5}, {5, 5, 5}), insideRoom, {0, 0, 0}},
        {"crease", creaseRoom(), insideCreaseRoom, {0, 0, 0}},
        // The same room entered near a corner, where three walls meet.
        {"corner", closedRoom({-5, -5, -5}, {5, 5, 5}), insideRoom, {3.9f, 3.9f, 3.9f}},
    };
}

TEST(PhysicalOutcomes, BallNeverLeavesClosedShapesAndKeepsItsSpeed) {
    std::mt19937 random(42);
    std::normal_distribution<float> gaussian;
    const float speeds[] = {1.0f, 7.0f, 54.3f, 500.0f, 5000.0f};
    const double frameTimes[] = {0.0, 0.001, 1.0 / 60.0, 0.1, 1.0};
    for (const Shape& shape : shapes()) {
        for (float speed : speeds) {
            for (double dt : frameTimes) {
                SimulationSettings settings;
                std::ostringstream collides;
                settings.setCollideStream(collides);
                Ball ball{Ball::withoutTexture};
                Vector3 direction(gaussian(random), gaussian(random), gaussian(random));
                if (shape.start != Vector3()) {
                    direction = Vector3(1, 1, 1) + direction * 0.2f; // into the corner
                }
                direction.normalize();
                ball.setPosition(shape.start);
                ball.setVelocity(direction * speed);
                ::testing::internal::CaptureStderr();
                for (int frame = 0; frame < 60; ++frame) {
                    settings.step(ball, shape.boxes, dt);
                    const Vector3 p = ball.position();
                    ASSERT_TRUE(p.isFinite() && ball.velocity().isFinite())
                        << shape.name << " speed " << speed << " dt " << dt;
                    ASSERT_TRUE(shape.inside(p)) << shape.name << " speed " << speed << " dt " << dt
                                                 << " frame " << frame << " at " << p;
                    ASSERT_NEAR(ball.velocity().length() / speed, 1.0f, speedTolerance)
                        << shape.name << " speed " << speed << " dt " << dt;
                }
                EXPECT_EQ(::testing::internal::GetCapturedStderr(), "")
                    << shape.name << " speed " << speed << " dt " << dt;
                if (dt * speed >= 20.0) {
                    EXPECT_FALSE(collides.str().empty()) << "flew 60 frames without a bounce";
                }
            }
        }
    }
}

// A double-sided wall: the same quad facing +x and facing -x, top edge along z at y = 0.
std::vector<CollisionBox> doubleSidedWall() {
    std::vector<Triangle*> wall;
    addQuad(wall, {0, -5, -5}, {0, 0, -5}, {0, 0, 5}, {0, -5, 5}, {1, 0, 0});
    addQuad(wall, {0, -5, -5}, {0, 0, -5}, {0, 0, 5}, {0, -5, 5}, {-1, 0, 0});
    return {makeBox(wall)};
}

TEST(PhysicalOutcomes, GlancingOffTheTopOfADoubleSidedWallGoesOnInTheSameFrame) {
    SimulationSettings settings;
    std::ostringstream collides;
    settings.setCollideStream(collides);
    Ball ball{Ball::withoutTexture};
    // Wedged on the top edge from the +x side, moving down and across it.
    ball.setPosition({0.36f, 0.48f, 0.0f}); // 0.6 from the edge
    ball.setVelocity({-3.0f, -3.0f, 0.0f});
    ::testing::internal::CaptureStderr();
    settings.step(ball, doubleSidedWall(), 1.0 / 60.0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "ran into the pass limit";
    EXPECT_EQ(collides.str(), "collide!\n");
    // Mirrored about the edge-to-centre direction (0.6, 0.8, 0): away from the wall, upwards.
    const Vector3 v = ball.velocity();
    EXPECT_NEAR(v.length(), std::sqrt(18.0f), 1e-4f);
    EXPECT_GT(v.y, 0.0f);
    EXPECT_GT(v.dot({0.6f, 0.8f, 0.0f}), 0.0f);

    // Skimming over the top from -x to +x just within reach of the edge.
    ball.setPosition({-3.0f, 0.55f, 0.0f});
    ball.setVelocity({6.0f, -0.1f, 0.0f});
    collides.str("");
    ::testing::internal::CaptureStderr();
    settings.step(ball, doubleSidedWall(), 1.0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(collides.str().empty());
    EXPECT_NEAR(ball.velocity().length(), std::sqrt(36.01f), 1e-4f);
    EXPECT_TRUE(ball.position().isFinite());
}

// A floor of 400 small triangles in y = 0 against one big quad in the same plane.
std::vector<CollisionBox> tiledFloor() {
    std::vector<CollisionBox> tiles;
    for (int i = -5; i < 5; ++i) {
        std::vector<Triangle*> row;
        for (int j = -10; j < 10; ++j) {
            const float x0 = 2.0f * i, x1 = x0 + 2.0f, z0 = float(j), z1 = z0 + 1.0f;
            addQuad(row, {x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}, {0, 1, 0});
        }
        tiles.push_back(makeBox(row));
    }
    return tiles;
}

std::vector<CollisionBox> wholeFloor() {
    std::vector<Triangle*> floor;
    addQuad(floor, {-10, 0, -10}, {10, 0, -10}, {10, 0, 10}, {-10, 0, 10}, {0, 1, 0});
    return {makeBox(floor)};
}

TEST(PhysicalOutcomes, SkimmingATiledFloorBouncesAsOffOneSurface) {
    // Shallow paths landing on a tile's face, on a seam between tiles, and on a grid vertex.
    const Vector3 landings[] = {{0.3f, 0, 0.4f}, {0.0f, 0, 0.37f}, {2.0f, 0, 3.0f}, {-4, 0, -2}};
    for (const Vector3& landing : landings) {
        Vector3 results[2][2];
        int collideCounts[2] = {0, 0};
        const std::vector<CollisionBox> floors[2] = {tiledFloor(), wholeFloor()};
        for (int f = 0; f < 2; ++f) {
            SimulationSettings settings;
            std::ostringstream collides;
            settings.setCollideStream(collides);
            Ball ball{Ball::withoutTexture};
            const Vector3 velocity(8.0f, -0.5f, 3.0f);
            // Start so that the ball touches down (centre at height r) right above `landing`.
            ball.setPosition(landing + Vector3(0, ballRadius, 0) - velocity * 0.5f);
            ball.setVelocity(velocity);
            for (int frame = 0; frame < 60; ++frame) {
                settings.step(ball, floors[f], 1.0 / 60.0);
            }
            results[f][0] = ball.position();
            results[f][1] = ball.velocity();
            collideCounts[f] = static_cast<int>(collides.str().size() / 9);
        }
        EXPECT_EQ(collideCounts[0], 1) << "landing at " << landing;
        EXPECT_EQ(collideCounts[0], collideCounts[1]) << "landing at " << landing;
        EXPECT_NEAR(distance(results[0][0], results[1][0]), 0.0f, 1e-4f) << landing;
        EXPECT_NEAR(distance(results[0][1], results[1][1]), 0.0f, 1e-4f) << landing;
        EXPECT_NEAR(distance(results[1][1], Vector3(8.0f, 0.5f, 3.0f)), 0.0f, 1e-5f);
    }
}

} // namespace
