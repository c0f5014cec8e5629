// The step: flight, bounce, respawn, zero time steps and the safety limits.

#include "PhysicsFixtures.h"
#include "scene/BallConstants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using namespace physics_test;

namespace {

int countLines(const std::string& text, const std::string& line) {
    int count = 0;
    std::istringstream lines(text);
    for (std::string read; std::getline(lines, read);) {
        EXPECT_EQ(read, line);
        ++count;
    }
    return count;
}

// A floor at y = 0 spanning x and z in [-50, 50], facing up.
std::vector<CollisionBox> floorCourse() {
    std::vector<Triangle*> floor;
    addQuad(floor, {-50, 0, -50}, {50, 0, -50}, {50, 0, 50}, {-50, 0, 50}, {0, 1, 0});
    return {makeBox(floor)};
}

class SimulationStep : public ::testing::Test {
protected:
    SimulationSettings settings;
    Ball ball{Ball::withoutTexture};
    std::ostringstream collides;

    void SetUp() override { settings.setCollideStream(collides); }
};

TEST_F(SimulationStep, NewSettingsHoldTheConstants) {
    EXPECT_EQ(settings.acceleration, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(settings.restSpeed, 0.5f);
    EXPECT_EQ(settings.epsilon, 1e-5f);
}

TEST_F(SimulationStep, WithoutContactTheBallCompletesTheMove) {
    settings.step(ball, {}, 0.1);
    EXPECT_NEAR(distance(ball.position(), {15.0f, -1.5f, 1.5f}), 0.0f, 1e-5f);
    EXPECT_EQ(ball.velocity(), ball_constants::startVelocity());
    // Acceleration enters as p + v dt + a dt^2 / 2 and v + a dt.
    settings.acceleration = Vector3(0.0f, -10.0f, 0.0f);
    ball.setPosition({0, 0, 0});
    ball.setVelocity({1, 0, 0});
    settings.step(ball, {}, 2.0);
    EXPECT_EQ(ball.position(), Vector3(2.0f, -20.0f, 0.0f));
    EXPECT_EQ(ball.velocity(), Vector3(1.0f, -20.0f, 0.0f));
    EXPECT_TRUE(collides.str().empty());
}

TEST_F(SimulationStep, BounceAtTheContactAndFlyTheRest) {
    const auto course = floorCourse();
    // Contact height is r = 0.6; the move of 1 unit reaches it halfway.
    ball.setPosition({0.0f, 1.1f, 0.0f});
    ball.setVelocity({0.0f, -10.0f, 0.0f});
    settings.step(ball, course, 0.1);
    EXPECT_NEAR(ball.position().y, 1.1f, 1e-5f);
    EXPECT_EQ(ball.velocity(), Vector3(0.0f, 10.0f, 0.0f));
    EXPECT_EQ(countLines(collides.str(), "collide!"), 1);
}

TEST_F(SimulationStep, TwoBouncesInOneFrame) {
    // A corridor between walls at x = -1 and x = 1; the ball crosses it twice within the step.
    std::vector<Triangle*> left, right;
    addQuad(left, {-1, -9, -9}, {-1, 9, -9}, {-1, 9, 9}, {-1, -9, 9}, {1, 0, 0});
    addQuad(right, {1, -9, -9}, {1, 9, -9}, {1, 9, 9}, {1, -9, 9}, {-1, 0, 0});
    const std::vector<CollisionBox> corridor{makeBox(left), makeBox(right)};
    ball.setPosition({0.0f, 0.0f, 0.0f});
    ball.setVelocity({1.0f, 0.0f, 0.0f});
    // Contact at x = +-0.4: 0.4 to the right, 0.8 back across, 0.3 more: ends at x = -0.1.
    settings.step(ball, corridor, 1.5);
    EXPECT_EQ(countLines(collides.str(), "collide!"), 2);
    EXPECT_NEAR(ball.position().x, -0.1f, 1e-5f);
    EXPECT_EQ(ball.velocity(), Vector3(1.0f, 0.0f, 0.0f));
}

TEST_F(SimulationStep, RestSpeedIsTheBoundaryBetweenRespawnAndBounce) {
    const auto course = floorCourse();
    std::srand(7);
    ball.setPosition({0.0f, 0.65f, 0.0f});
    ball.setVelocity({0.0f, -0.5f, 0.0f});
    settings.step(ball, course, 1.0);
    using namespace ball_constants;
    const Vector3 respawned = ball.position();
    EXPECT_EQ(respawned.y, respawnHeight);
    for (float coordinate : {respawned.x, respawned.z}) {
        EXPECT_EQ(coordinate, std::floor(coordinate));
        EXPECT_GE(coordinate, float(-respawnReach));
        EXPECT_LE(coordinate, float(respawnReach));
    }
    EXPECT_EQ(ball.velocity(), Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_TRUE(collides.str().empty()) << "a respawn prints nothing";
    // z is drawn first, then x, each a draw modulo 41 shifted to -20..20.
    std::srand(7);
    const int z = std::rand() % 41 - 20;
    const int x = std::rand() % 41 - 20;
    EXPECT_EQ(respawned, Vector3(float(x), respawnHeight, float(z)));
    // At rest it stays: no acceleration, no velocity.
    settings.step(ball, course, 1.0);
    EXPECT_EQ(ball.position(), respawned);

    ball.setPosition({0.0f, 0.65f, 0.0f});
    ball.setVelocity({0.0f, -0.5001f, 0.0f});
    settings.step(ball, course, 1.0);
    EXPECT_EQ(countLines(collides.str(), "collide!"), 1);
    EXPECT_GT(ball.velocity().y, 0.5f);
}

TEST_F(SimulationStep, ZeroTimeStepChangesNothing) {
    const auto course = floorCourse();
    // Touching the floor and moving into it: a contact at 0 with no time to resolve it.
    ball.setPosition({0.0f, 0.6f, 0.0f});
    ball.setVelocity({0.0f, -3.0f, 0.0f});
    settings.step(ball, course, 0.0);
    EXPECT_EQ(ball.position(), Vector3(0.0f, 0.6f, 0.0f));
    EXPECT_EQ(ball.velocity(), Vector3(0.0f, -3.0f, 0.0f));
    EXPECT_TRUE(collides.str().empty());
    // Far from anything: the end position is the start.
    ball.setPosition({0.0f, 5.0f, 0.0f});
    settings.step(ball, course, 0.0);
    EXPECT_EQ(ball.position(), Vector3(0.0f, 5.0f, 0.0f));
}

// Touched normals that cancel exactly give no plane to mirror about; the ball goes straight back
// instead of turning NaN.
TEST_F(SimulationStep, CancellingNormalsSendTheBallStraightBack) {
    // A floor vertex below and a ceiling vertex above the path, at equal distances, reached at
    // the same moment by a ball moving parallel to both faces.
    Triangle* floor = makeFacing({5, -0.3f, 0}, {9, -0.3f, -3}, {9, -0.3f, 3}, {0, 1, 0});
    Triangle* ceiling = makeFacing({5, 0.3f, 0}, {9, 0.3f, -3}, {9, 0.3f, 3}, {0, -1, 0});
    const std::vector<CollisionBox> course{makeBox({floor, ceiling})};
    ball.setPosition({0.0f, 0.0f, 0.0f});
    ball.setVelocity({4.0f, 0.0f, 0.0f});
    settings.step(ball, course, 2.0);
    EXPECT_EQ(countLines(collides.str(), "collide!"), 1);
    EXPECT_EQ(ball.velocity(), Vector3(-4.0f, 0.0f, 0.0f));
    // Contact where the vertices lie r away, then back for the rest of the 8-unit move.
    const float contactX = 5.0f - std::sqrt(0.6f * 0.6f - 0.3f * 0.3f);
    EXPECT_NEAR(ball.position().x, contactX - (8.0f - contactX), 1e-4f);
}

TEST_F(SimulationStep, PassLimitDropsTheRestOfTheStepAndSaysSoOnce) {
    // Room 2 units wide (free span 0.8 for r = 0.6), ball at 5000 units/s for 10 s: 60000
    // bounces would be needed.
    const auto room = closedRoom({-1, -1, -1}, {1, 1, 1});
    ball.setPosition({0.0f, 0.0f, 0.0f});
    ball.setVelocity({5000.0f, 0.0f, 0.0f});
    ::testing::internal::CaptureStderr();
    settings.step(ball, room, 10.0);
    settings.step(ball, room, 10.0);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("10000"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "said more than once: " << errors;
    EXPECT_EQ(countLines(collides.str(), "collide!"), 2 * SimulationSettings::maxPassesPerStep);
    EXPECT_TRUE(ball.position().isFinite());
    EXPECT_LE(std::fabs(ball.position().x), 0.4f + 1e-3f);
}

// Tells every bounce and respawn, with the "collide!" lines written by the time it was told.
class RecordingObserver : public StepObserver {
public:
    explicit RecordingObserver(const std::ostringstream& collides) : collides_(collides) {}

    struct Told {
        Bounce bounce;
        int linesBefore = 0;
    };
    std::vector<Told> bounces;
    std::vector<Respawn> respawns;

    void bounced(const Bounce& bounce) override {
        bounces.push_back({bounce, countLines(collides_.str(), "collide!")});
    }
    void respawned(const Respawn& respawn) override { respawns.push_back(respawn); }

private:
    const std::ostringstream& collides_;
};

TEST_F(SimulationStep, TheObserverIsToldOfEveryBounceAndRespawnAsTheyHappen) {
    RecordingObserver observer(collides);
    // Two bounces in one step between walls at x = -1 and x = 1: contacts at x = 0.4 after
    // 0.4 s and x = -0.4 after 0.8 s more (each up to the face test's tolerance early), each
    // told after its "collide!" line.
    const auto room = closedRoom({-1, -9, -9}, {1, 9, 9});
    ball.setPosition({0.0f, 0.0f, 0.0f});
    ball.setVelocity({1.0f, 0.0f, 0.0f});
    settings.step(ball, room, 1.5, observer);
    ASSERT_EQ(observer.bounces.size(), 2u);
    const float contactX[] = {0.4f, -0.4f};
    const double remaining[] = {1.1, 0.3};
    for (int k = 0; k < 2; ++k) {
        const StepObserver::Bounce& told = observer.bounces[k].bounce;
        EXPECT_EQ(observer.bounces[k].linesBefore, k + 1);
        EXPECT_NEAR(told.contact.x, contactX[k], 5e-5f);
        EXPECT_EQ(told.velocityIn, Vector3(k == 0 ? 1.0f : -1.0f, 0.0f, 0.0f));
        EXPECT_EQ(told.velocityOut, -told.velocityIn);
        EXPECT_NEAR(told.remainingTime, remaining[k], 5e-5);
    }

    // A long flight through the closed room: as many bounces told as "collide!" lines, each at
    // a place the step put the ball (the next pass starts from it), none outside the room.
    observer.bounces.clear();
    collides.str("");
    ball.setVelocity({37.0f, -23.0f, 11.0f});
    int lines = 0;
    for (int step = 0; step < 200; ++step) {
        settings.step(ball, room, 0.05, observer);
        lines = countLines(collides.str(), "collide!");
        ASSERT_EQ(static_cast<int>(observer.bounces.size()), lines) << "step " << step;
    }
    EXPECT_GT(lines, 100);
    for (const RecordingObserver::Told& told : observer.bounces) {
        EXPECT_LE(std::fabs(told.bounce.contact.x), 0.4f + 1e-4f);
        EXPECT_LE(std::fabs(told.bounce.contact.y), 8.4f + 1e-4f);
        EXPECT_LE(std::fabs(told.bounce.contact.z), 8.4f + 1e-4f);
    }
    EXPECT_TRUE(observer.respawns.empty());

    // A slow ball touching the floor is put back: told once, with the pass's start and the
    // place it now holds; a step that resolves nothing (no time to fly) tells nothing.
    const auto floor = floorCourse();
    ball.setPosition({0.0f, 0.65f, 0.0f});
    ball.setVelocity({0.0f, -0.5f, 0.0f});
    settings.step(ball, floor, 1.0, observer);
    ASSERT_EQ(observer.respawns.size(), 1u);
    EXPECT_EQ(observer.respawns[0].restedAt, Vector3(0.0f, 0.65f, 0.0f));
    EXPECT_EQ(observer.respawns[0].place, ball.position());
    EXPECT_EQ(ball.position().y, ball_constants::respawnHeight);
    ball.setPosition({0.0f, 0.6f, 0.0f});
    ball.setVelocity({0.0f, -3.0f, 0.0f});
    settings.step(ball, floor, 0.0, observer);
    EXPECT_EQ(observer.respawns.size(), 1u);
    EXPECT_EQ(static_cast<int>(observer.bounces.size()), lines);
}

TEST_F(SimulationStep, NonFiniteTimeStepMovesNothing) {
    const Vector3 start = ball.position();
    settings.step(ball, floorCourse(), std::numeric_limits<double>::infinity());
    settings.step(ball, floorCourse(), std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(ball.position(), start);
    EXPECT_TRUE(ball.velocity().isFinite());
}

} // namespace
