// minigolf-sim: the prototype's physics without a window, for course authors and tests. It loads
// a course with the program's CourseReader and moves Ball objects with SimulationSettings::step,
// exactly as the program does, only with time steps given on the command line instead of
// measured frame times. Each command's usage (minigolf-sim COMMAND --help) says what it prints.
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#include "scene/CollisionBox.h"
#include "scene/MillisecondClock.h"
#include "tools/CourseGenerator.h"
#include "tools/FlightPlot.h"
#include "tools/FlightRecorder.h"
#include "tools/LineStreams.h"
#include "tools/SimCommandLine.h"
#include "tools/ToolCommandLine.h"
#include "tools/ToolCourse.h"
#include "tools/ToolFile.h"
#include "tools/ToolProgress.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string toolName = "minigolf-sim";

constexpr int exitDone = 0;
constexpr int exitBallsLeft = 1;

// The height a respawned ball is put at (course units), as the step does.
constexpr float respawnHeight = 10.0f;

// A line of the report that a reader of an interrupted run (Ctrl-C, a pipe into head) must
// still see: written through at once, not left in the buffer of a pipe.
[[gnu::format(printf, 1, 2)]] void printHeaderLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}

// With the settings' zero acceleration a step changes the velocity only by mirroring it, which
// keeps its length, or by the respawn, which sets it to exactly zero with the ball at height
// 10. A ball already at rest never takes part in a contact, so it cannot respawn again.
bool isRespawn(const Vector3& velocityBefore, const Ball& ball) {
    const Vector3 rest(0.0f, 0.0f, 0.0f);
    return velocityBefore != rest && ball.velocity() == rest && ball.position().y == respawnHeight;
}

// Puts the ball at the start the options give and seeds rand() as they say; `settings` must be
// made first, since making them seeds rand() from the clock, as the program does.
void prepareFlight(const SimulateOptions& options, Ball& ball) {
    if (options.seed) {
        std::srand(*options.seed);
    }
    ball.setPosition(options.position);
    ball.setVelocity(options.velocity);
}

// One line of --trace or --csv: the state after `step` and the bounces in it.
void printTraceLine(char separator, long long step, const Ball& ball, long long bounces) {
    const Vector3 p = ball.position();
    const Vector3 v = ball.velocity();
    const char s = separator;
    std::printf("%lld%c%.9g%c%.9g%c%.9g%c%.9g%c%.9g%c%.9g%c%lld\n", step, s, p.x, s, p.y, s, p.z, s,
                v.x, s, v.y, s, v.z, s, bounces);
}

int runSimulate(const SimulateOptions& options) {
    Course course;
    if (!loadCourse(options.course, course)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, options.exhaustive);
    Ball ball{Ball::withoutTexture};
    prepareFlight(options, ball);
    LineCountingBuffer bounceLines;
    std::ostream collideStream(&bounceLines);
    settings.setCollideStream(collideStream);

    const bool tracing = options.trace || options.csv;
    const char separator = options.csv ? ',' : ' ';
    if (tracing) {
        printHeaderLine(options.csv ? "step,x,y,z,vx,vy,vz,collides\n"
                                    : "step x y z vx vy vz collides\n");
    }
    long long respawns = 0;
    for (long long step = 1; step <= options.steps; ++step) {
        const Vector3 velocityBefore = ball.velocity();
        const long long bouncesBefore = bounceLines.lines();
        settings.step(ball, course.boxes, options.dt);
        if (isRespawn(velocityBefore, ball)) {
            ++respawns;
        }
        if (tracing) {
            printTraceLine(separator, step, ball, bounceLines.lines() - bouncesBefore);
        }
    }
    if (!options.csv) {
        const Vector3 p = ball.position();
        const Vector3 v = ball.velocity();
        std::printf("steps %lld collides %lld respawns %lld position %.9g %.9g %.9g velocity %.9g "
                    "%.9g %.9g\n",
                    options.steps, bounceLines.lines(), respawns, p.x, p.y, p.z, v.x, v.y, v.z);
    }
    return finishOutput(toolName, exitDone);
}

int runPlot(const PlotOptions& options) {
    const SimulateOptions& flight = options.flight;
    Course course;
    if (!loadCourse(flight.course, course)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, flight.exhaustive);
    Ball ball{Ball::withoutTexture};
    prepareFlight(flight, ball);
    FlightRecorder recorder(ball);
    settings.setCollideStream(recorder.collideStream());
    for (long long step = 1; step <= flight.steps; ++step) {
        const Vector3 velocityBefore = ball.velocity();
        recorder.startStep();
        settings.step(ball, course.boxes, flight.dt);
        recorder.finishStep(flight.dt, isRespawn(velocityBefore, ball));
        if (recorder.collides() > mostPlottedBounces) {
            throw UsageError("the flight bounced more than " + std::to_string(mostPlottedBounces) +
                             " times by step " + std::to_string(step) +
                             ", too many to draw: plot fewer --steps");
        }
    }
    const PlotCaption caption{flight.course, flight.dt, recorder.collides(), ball.radius()};
    return writeOutputFile(options.output, flightSvg(course, recorder.path(), caption)) ? exitDone
                                                                                        : exitUsage;
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

// A unit vector uniform on the sphere, as a float vector.
Vector3 randomDirectionVector(std::mt19937& generator) {
    const std::array<double, 3> direction = randomDirection(generator);
    return {static_cast<float>(direction[0]), static_cast<float>(direction[1]),
            static_cast<float>(direction[2])};
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
        return exitUsage;
    }
    printHeaderLine("triangles %zu boxes %zu\n", course.triangles.size(), course.boxes.size());
    for (std::size_t number = 0; number < course.triangles.size(); ++number) {
        if (!course.triangles[number]->hasFiniteNormal()) {
            std::printf("degenerate %zu\n", number);
        }
    }

    SimulationSettings settings;
    course.searchWith(settings, options.exhaustive);
    const unsigned seed = options.seed ? *options.seed : static_cast<unsigned>(millisecondClock());
    std::srand(seed); // respawn places
    std::mt19937 directions(seed);
    LineCountingBuffer bounceLines;
    std::ostream collideStream(&bounceLines);
    settings.setCollideStream(collideStream);
    printHeaderLine("seed %u\n", seed);
    printHeaderLine("balls %lld steps %lld dt %.9g speed %.9g\n", options.balls, options.steps,
                    options.dt, options.speed);

    Ball ball{Ball::withoutTexture};
    const CourseRegion region(course.boxes, ball.radius());
    CheckTally tally;
    ProgressLine progress("checking " + std::filesystem::path(options.course).filename().string());
    for (long long flight = 0; flight < options.balls; ++flight) {
        progress.update(flight, options.balls, "balls");
        ball.setPosition(options.from);
        ball.setVelocity(randomDirectionVector(directions) * options.speed);
        flyCheckBall(settings, course, region, options, ball, tally);
    }
    progress.clear();
    std::printf("left %lld bounces %lld largest-speed-change %.9g non-finite %lld\n", tally.left,
                bounceLines.lines(), tally.largestSpeedChange, tally.nonFinite);
    return finishOutput(toolName,
                        tally.left == 0 && tally.nonFinite == 0 ? exitDone : exitBallsLeft);
}

// Reads the sweeps, or says on standard error what is wrong with the file: "SWEEPS: ..." when it
// cannot be read, "SWEEPS:LINE: ..." at a line that is not a sweep.
bool readSweepsFile(const std::string& fileName, std::vector<Sweep>& sweeps) {
    std::error_code ignored;
    if (std::filesystem::is_directory(fileName, ignored)) {
        // Opening a directory works; only reading it fails, which a stream takes for its end.
        std::cerr << fileName << ": cannot read the sweeps file: it is a directory\n";
        return false;
    }
    std::ifstream in(fileName);
    if (!in) {
        std::cerr << fileName << ": cannot open the sweeps file (" << std::strerror(errno) << ")\n";
        return false;
    }
    std::string fault;
    if (!readSweeps(in, sweeps, fault)) {
        std::cerr << fileName << ":" << fault << "\n";
        return false;
    }
    return true;
}

// Each sweep as one pass of the step's contact search; the searches alone are timed.
int runSweep(const SweepOptions& options) {
    Course course;
    if (!loadCourse(options.course, course)) {
        return exitUsage;
    }
    std::vector<Sweep> sweeps;
    if (!readSweepsFile(options.sweeps, sweeps)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, options.exhaustive);
    const float radius = Ball(Ball::withoutTexture).radius();

    struct Result {
        float earliest = noContact;
        Vector3 normal;
    };
    std::vector<Result> results(sweeps.size());
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < sweeps.size(); ++i) {
        settings.findEarliestContact(sweeps[i].from, sweeps[i].to, radius, course.boxes,
                                     results[i].normal, results[i].earliest);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    long long hits = 0;
    for (Result& result : results) {
        if (result.earliest < noContact) {
            ++hits;
            result.normal.normalize(); // as the step normalises the merged normal
        } else {
            result.normal = Vector3(0.0f, 0.0f, 0.0f);
        }
    }
    const auto writeDump = [&results](std::ostream& out) {
        for (const Result& result : results) {
            char line[128];
            std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g\n", result.earliest,
                          result.normal.x, result.normal.y, result.normal.z);
            out << line;
        }
    };
    if (!options.dump.empty() && !writeOutputFile(options.dump, writeDump)) {
        return exitUsage;
    }
    std::printf("sweeps %zu hits %lld seconds %.9g sweeps-per-second %.9g\n", sweeps.size(), hits,
                seconds, seconds > 0.0 ? double(sweeps.size()) / seconds : 0.0);
    return finishOutput(toolName, exitDone);
}

// A command whose options fill a `Values`: declared on its subcommand, converted and checked
// once the line is parsed, then run.
template <class Values>
std::function<int()> defineCommand(CLI::App& command, void (*declare)(CommandOptions&, Values&),
                                   const std::string& description, const std::string& footer,
                                   int (*run)(Values&)) {
    auto options = std::make_shared<CommandOptions>(command);
    auto values = std::make_shared<Values>();
    declare(*options, *values);
    describeCommand(command, description, footer);
    return [options, values, run] {
        options->convert();
        return run(*values);
    };
}

int checkedSimulate(SimulateOptions& options) {
    checkSimulate(options);
    return runSimulate(options);
}

int checkedPlot(PlotOptions& options) {
    checkPlot(options);
    return runPlot(options);
}

int checkedSweep(SweepOptions& options) {
    return runSweep(options);
}

int checkedCheck(CheckOptions& options) {
    completeCheck(options);
    return runCheck(options);
}

} // namespace

int main(int argc, char** argv) {
    ToolDefinition tool;
    tool.name = toolName;
    tool.description = "Runs the ball physics of the prototype on a course file, without a window.";
    tool.footer = "'minigolf-sim COMMAND --help' lists the options of a command.\n"
                  "Exit status: 2 for bad arguments or a course that cannot be read.\n";
    tool.commands = {
        {"simulate", "fly one ball and print its last state (every step with --trace or --csv)",
         [](CLI::App& command) {
             return defineCommand(command, declareSimulate, simulateDescription(), simulateFooter(),
                                  checkedSimulate);
         }},
        {"check", "fly many balls in random directions and report whether any left the course",
         [](CLI::App& command) {
             return defineCommand(command, declareCheck, checkDescription(), checkFooter(),
                                  checkedCheck);
         }},
        {"plot", "fly one ball as simulate does and draw the flight over the course as SVG",
         [](CLI::App& command) {
             return defineCommand(command, declarePlot, plotDescription(), plotFooter(),
                                  checkedPlot);
         }},
        {"sweep", "run the contact search on sweeps from a file, timed, with their contacts",
         [](CLI::App& command) {
             return defineCommand(command, declareSweep, sweepDescription(), sweepFooter(),
                                  checkedSweep);
         }},
    };
    return runTool(tool, argc, argv);
}
