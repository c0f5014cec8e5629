// minigolf-sim: the prototype's physics without a window, for course authors and tests. It loads
// a course with the program's CourseReader and moves Ball objects with SimulationSettings::step,
// exactly as the program does, only with time steps given on the command line instead of
// measured frame times. See toolUsage() and the two command usages for what it prints.
#include "course/CourseReader.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#include "scene/CollisionBox.h"
#include "scene/MillisecondClock.h"
#include "tools/SimCommandLine.h"
#include "tools/SimStreams.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int exitDone = 0;
constexpr int exitBallsLeft = 1;
constexpr int exitUnusable = 2; // bad arguments, an unreadable course, failed output

// The height a respawned ball is put at (course units), as the step does.
constexpr float respawnHeight = 10.0f;

struct Course {
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
};

// Loads with the program's reader; its console lines are discarded, its one failure line goes
// to standard error as the reader writes it.
bool loadCourse(const std::string& fileName, Course& course) {
    DiscardingBuffer discard;
    std::ostream console(&discard);
    return CourseReader::instance()->parse(fileName, course.triangles, course.boxes, console);
}

// Whether writing standard output worked; a full disk or a closed pipe is an error, not a
// silently short report.
int finishOutput(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::cerr << "minigolf-sim: writing standard output failed\n";
        return exitUnusable;
    }
    return status;
}

// With the settings' zero acceleration a step changes the velocity only by mirroring it, which
// keeps its length, or by the respawn, which sets it to exactly zero with the ball at height
// 10. A ball already at rest never takes part in a contact, so it cannot respawn again.
bool isRespawn(const Vector3& velocityBefore, const Ball& ball) {
    const Vector3 rest(0.0f, 0.0f, 0.0f);
    return velocityBefore != rest && ball.velocity() == rest && ball.position().y == respawnHeight;
}

int runSimulate(const SimulateOptions& options) {
    Course course;
    if (!loadCourse(options.course, course)) {
        return exitUnusable;
    }
    SimulationSettings settings; // seeds rand() from the clock, as the program does
    if (options.seed) {
        std::srand(*options.seed);
    }
    LineCountingBuffer bounceLines;
    std::ostream collideStream(&bounceLines);
    settings.setCollideStream(collideStream);

    Ball ball{Ball::withoutTexture};
    ball.setPosition(options.position);
    ball.setVelocity(options.velocity);
    long long respawns = 0;
    for (long long step = 1; step <= options.steps; ++step) {
        const Vector3 velocityBefore = ball.velocity();
        const long long bouncesBefore = bounceLines.lines();
        settings.step(ball, course.boxes, options.dt);
        if (isRespawn(velocityBefore, ball)) {
            ++respawns;
        }
        if (options.trace) {
            const Vector3 p = ball.position();
            const Vector3 v = ball.velocity();
            std::printf("%lld %.9g %.9g %.9g %.9g %.9g %.9g %lld\n", step, p.x, p.y, p.z, v.x, v.y,
                        v.z, bounceLines.lines() - bouncesBefore);
        }
    }
    const Vector3 p = ball.position();
    const Vector3 v = ball.velocity();
    std::printf("steps %lld collides %lld respawns %lld position %.9g %.9g %.9g velocity %.9g %.9g "
                "%.9g\n",
                options.steps, bounceLines.lines(), respawns, p.x, p.y, p.z, v.x, v.y, v.z);
    return finishOutput(exitDone);
}

// The region a ball's centre may occupy: the bounds of all the non-empty boxes together (the
// smallest axis-aligned box around every one of them), grown by the ball's radius on every side.
// The boxes of a course are pieces of its shell (a floor, a wall) and their own bounds are thin
// slabs, so it is their common bounds that enclose the space a ball flies in. An empty box keeps
// corners at the origin that bound nothing, so it is left out; without any triangle the region
// is empty.
class CourseRegion {
public:
    CourseRegion(const std::vector<CollisionBox>& boxes, float radius) {
        for (const CollisionBox& box : boxes) {
            if (box.triangleCount() == 0) {
                continue;
            }
            if (empty_) {
                low_ = box.minCorner();
                high_ = box.maxCorner();
                empty_ = false;
            }
            for (int axis = 0; axis < 3; ++axis) {
                low_[axis] = std::fmin(low_[axis], box.minCorner()[axis]);
                high_[axis] = std::fmax(high_[axis], box.maxCorner()[axis]);
            }
        }
        const Vector3 margin(radius, radius, radius);
        low_ -= margin;
        high_ += margin;
    }

    bool contains(const Vector3& centre) const {
        bool inside = !empty_;
        for (int axis = 0; axis < 3 && inside; ++axis) {
            inside = low_[axis] <= centre[axis] && centre[axis] <= high_[axis];
        }
        return inside;
    }

private:
    bool empty_ = true;
    Vector3 low_;
    Vector3 high_;
};

// A unit vector uniform on the sphere: the height uniform in [-1, 1] and the angle round the
// axis uniform in [0, 2 pi) (Archimedes). Built from the generator's raw 32-bit words so that a
// seed gives the same directions with every standard library.
Vector3 randomDirection(std::mt19937& generator) {
    constexpr double wordRange = 4294967296.0; // 2^32: one draw as a fraction in [0, 1)
    const double height = 1.0 - 2.0 * (generator() / wordRange);
    const double angle = 2.0 * std::numbers::pi * (generator() / wordRange);
    const double across = std::sqrt(std::fmax(0.0, 1.0 - height * height));
    return {static_cast<float>(across * std::cos(angle)), static_cast<float>(height),
            static_cast<float>(across * std::sin(angle))};
}

struct CheckTally {
    long long left = 0;
    long long nonFinite = 0;
    // |speed - start speed| / start speed, the largest over every step of every ball.
    double largestSpeedChange = 0.0;
};

// Flies one ball until its steps are done, it leaves the region or its state turns non-finite.
void flyCheckBall(SimulationSettings& settings, const Course& course, const CourseRegion& region,
                  const CheckOptions& options, Ball& ball, CheckTally& tally) {
    const double startSpeed = ball.velocity().length();
    for (long long step = 0; step < options.steps; ++step) {
        settings.step(ball, course.boxes, options.dt);
        if (!ball.position().isFinite() || !ball.velocity().isFinite()) {
            ++tally.nonFinite;
            return;
        }
        const double change = std::fabs(ball.velocity().length() - startSpeed) / startSpeed;
        tally.largestSpeedChange = std::fmax(tally.largestSpeedChange, change);
        if (!region.contains(ball.position())) {
            ++tally.left;
            return;
        }
    }
}

int runCheck(const CheckOptions& options) {
    Course course;
    if (!loadCourse(options.course, course)) {
        return exitUnusable;
    }
    std::printf("triangles %zu boxes %zu\n", course.triangles.size(), course.boxes.size());
    for (std::size_t number = 0; number < course.triangles.size(); ++number) {
        if (!course.triangles[number]->hasFiniteNormal()) {
            std::printf("degenerate %zu\n", number);
        }
    }

    SimulationSettings settings;
    const unsigned seed = options.seed ? *options.seed : static_cast<unsigned>(millisecondClock());
    std::srand(seed); // respawn places
    std::mt19937 directions(seed);
    LineCountingBuffer bounceLines;
    std::ostream collideStream(&bounceLines);
    settings.setCollideStream(collideStream);
    std::printf("seed %u\n", seed);
    std::printf("balls %lld steps %lld dt %.9g speed %.9g\n", options.balls, options.steps,
                options.dt, options.speed);

    Ball ball{Ball::withoutTexture};
    const CourseRegion region(course.boxes, ball.radius());
    CheckTally tally;
    for (long long flight = 0; flight < options.balls; ++flight) {
        ball.setPosition(options.from);
        ball.setVelocity(randomDirection(directions) * options.speed);
        flyCheckBall(settings, course, region, options, ball, tally);
    }
    std::printf("left %lld bounces %lld largest-speed-change %.9g non-finite %lld\n", tally.left,
                bounceLines.lines(), tally.largestSpeedChange, tally.nonFinite);
    return finishOutput(tally.left == 0 && tally.nonFinite == 0 ? exitDone : exitBallsLeft);
}

int runCommand(const std::string& command, const std::vector<std::string>& arguments) {
    if (command == "simulate") {
        const SimulateOptions options = parseSimulateOptions(arguments);
        if (options.help) {
            std::cout << simulateUsage();
            return finishOutput(exitDone);
        }
        return runSimulate(options);
    }
    const CheckOptions options = parseCheckOptions(arguments);
    if (options.help) {
        std::cout << checkUsage();
        return finishOutput(exitDone);
    }
    return runCheck(options);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (words.empty()) {
        std::cerr << "minigolf-sim: missing the command (simulate or check; see minigolf-sim "
                     "--help)\n";
        return exitUnusable;
    }
    const std::string& command = words.front();
    if (command == "--help" || command == "-h") {
        std::cout << toolUsage();
        return finishOutput(exitDone);
    }
    if (command != "simulate" && command != "check") {
        std::cerr << "minigolf-sim: unknown command \"" << command
                  << "\" (expected simulate or check; see minigolf-sim --help)\n";
        return exitUnusable;
    }
    try {
        return runCommand(command, std::vector<std::string>(words.begin() + 1, words.end()));
    } catch (const UsageError& error) {
        std::cerr << "minigolf-sim " << command << ": " << error.what() << " (see minigolf-sim "
                  << command << " --help)\n";
    } catch (const std::exception& error) {
        // Only an allocation can throw here: a course too big for the memory.
        std::cerr << "minigolf-sim " << command << ": " << error.what() << "\n";
    }
    return exitUnusable;
}
