// minigolf-sim: the prototype's physics without a window, for course authors and tests. It loads
// a course with the program's CourseReader and moves Ball objects with SimulationSettings::step,
// exactly as the program does, only with time steps given on the command line instead of
// measured frame times. Each command's usage (minigolf-sim COMMAND --help) says what it prints.
#include "CourseGenerator.h"
#include "FlightPlot.h"
#include "FlightRecorder.h"
#include "SimCommandLine.h"
#include "ToolCommandLine.h"
#include "ToolFile.h"
#include "ToolProgress.h"
#include "geometry/Bounds.h"
#include "physics/LoadedCourse.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#include "scene/BallConstants.h"
#include "scene/CollisionBox.h"
#include "scene/MillisecondClock.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string toolName = "minigolf-sim";

constexpr int exitDone = 0;

// A line of the report that a reader of an interrupted run (Ctrl-C, a pipe into head) must
// still see: written through at once, not left in the buffer of a pipe.
[[gnu::format(printf, 1, 2)]] void printHeaderLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
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
    LoadedCourse course;
    if (!loadCourse(options.course, course)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, options.exhaustive);
    Ball ball{Ball::withoutTexture};
    prepareFlight(options, ball);
    std::ostream bounceLines(nullptr); // no buffer: the "collide!" lines are dropped
    settings.setCollideStream(bounceLines);
    StepCounter counts;

    const bool tracing = options.trace || options.csv;
    const char separator = options.csv ? ',' : ' ';
    if (tracing) {
        printHeaderLine(options.csv ? "step,x,y,z,vx,vy,vz,collides\n"
                                    : "step x y z vx vy vz collides\n");
    }
    for (long long step = 1; step <= options.steps; ++step) {
        const long long bouncesBefore = counts.bounces;
        settings.step(ball, course.boxes(), options.dt, counts);
        if (tracing) {
            printTraceLine(separator, step, ball, counts.bounces - bouncesBefore);
        }
    }
    if (!options.csv) {
        const Vector3 p = ball.position();
        const Vector3 v = ball.velocity();
        std::printf("steps %lld collides %lld respawns %lld position %.9g %.9g %.9g velocity %.9g "
                    "%.9g %.9g\n",
                    options.steps, counts.bounces, counts.respawns, p.x, p.y, p.z, v.x, v.y, v.z);
    }
    return finishOutput(toolName, exitDone);
}

int runPlot(const PlotOptions& options) {
    const SimulateOptions& flight = options.flight;
    LoadedCourse course;
    if (!loadCourse(flight.course, course)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, flight.exhaustive);
    Ball ball{Ball::withoutTexture};
    prepareFlight(flight, ball);
    std::ostream bounceLines(nullptr); // no buffer: the "collide!" lines are dropped
    settings.setCollideStream(bounceLines);
    FlightRecorder recorder(ball);
    for (long long step = 1; step <= flight.steps; ++step) {
        settings.step(ball, course.boxes(), flight.dt, recorder);
        recorder.finishStep();
        if (recorder.bounces() > mostPlottedBounces) {
            throw UsageError("the flight bounced more than " + std::to_string(mostPlottedBounces) +
                             " times by step " + std::to_string(step) +
                             ", too many to draw: plot fewer --steps");
        }
    }
    const PlotCaption caption{flight.course, flight.dt, recorder.bounces(), ball.radius()};
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
    CourseRegion(const LoadedCourse& course, float radius)
        : bounds_(course.bounds().grownBy(radius)) {}

    bool contains(const Vector3& centre) const { return bounds_.contains(centre); }

private:
    Bounds bounds_;
};

// A unit vector uniform on the sphere, as a float vector.
Vector3 randomDirectionVector(std::mt19937& generator) {
    const std::array<double, 3> direction = randomDirection(generator);
    return {static_cast<float>(direction[0]), static_cast<float>(direction[1]),
            static_cast<float>(direction[2])};
}

// The generator of ball `number` of a check: its direction, then its respawn places. Seeded
// from the check's seed and the ball's number alone (std::seed_seq's mixing is the same in every
// standard library), so a ball flies the same whichever thread flies it, and whenever.
std::mt19937 ballGenerator(unsigned seed, long long number) {
    std::seed_seq words{std::uint32_t{seed}, static_cast<std::uint32_t>(number)};
    return std::mt19937(words);
}

// What the balls of a check found. Counts add and the largest change is a maximum, so the tally
// of all the balls is the same in whatever order and on whatever threads they flew.
struct CheckTally {
    long long left = 0;
    long long nonFinite = 0;
    long long bounces = 0;
    // |speed - start speed| / start speed, the largest over every step of every ball.
    double largestSpeedChange = 0.0;
    // Balls of which a step reached the pass limit.
    long long cutShort = 0;

    void add(const CheckTally& other) {
        left += other.left;
        nonFinite += other.nonFinite;
        bounces += other.bounces;
        largestSpeedChange = std::fmax(largestSpeedChange, other.largestSpeedChange);
        cutShort += other.cutShort;
    }
};

// Flies one ball until its steps are done, it leaves the region or its state turns non-finite.
void flyCheckBall(SimulationSettings& settings, const LoadedCourse& course,
                  const CourseRegion& region, const CheckOptions& options, Ball& ball,
                  StepCounter& counts, CheckTally& tally) {
    const double startSpeed = ball.velocity().length();
    for (long long step = 0; step < options.steps; ++step) {
        settings.step(ball, course.boxes(), options.dt, counts);
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

// One thread's share of a check. The contact search keeps its scratch in the settings, so each
// thread has settings of its own, with its own counter of bounces; the course, its index and
// the region are only read.
class CheckWorker {
public:
    CheckWorker(const LoadedCourse& course, const CourseRegion& region, const CheckOptions& options,
                unsigned seed)
        : course_(course), region_(region), options_(options), seed_(seed) {
        course.searchWith(settings_, options.exhaustive);
        settings_.setCollideStream(discarded_);
        // The step's own warning would come once per thread; the check reports cut-short balls
        // itself, once.
        settings_.setWarningStream(discarded_);
        settings_.setRespawnDraw([this] { return static_cast<int>(generator_() >> 1); });
    }
    CheckWorker(const CheckWorker&) = delete;
    CheckWorker& operator=(const CheckWorker&) = delete;

    // Flies the balls not yet taken, taking their numbers from `nextBall`, until none is left;
    // `flying` is called with each ball's number before it flies. A failure (memory running
    // out) is kept for the calling thread.
    template <class Flying> void flyBalls(std::atomic<long long>& nextBall, Flying flying) {
        try {
            for (long long number = nextBall++; number < options_.balls; number = nextBall++) {
                flying(number);
                flyBall(number);
            }
        } catch (...) {
            failure_ = std::current_exception();
            nextBall = options_.balls; // the others stop too
        }
    }

    // What this thread's balls found; rethrows its failure.
    CheckTally tally() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        CheckTally tally = tally_;
        tally.bounces = counts_.bounces;
        return tally;
    }

private:
    void flyBall(long long number) {
        generator_ = ballGenerator(seed_, number);
        ball_.setPosition(options_.from);
        ball_.setVelocity(randomDirectionVector(generator_) * options_.speed);
        const long long cutShortBefore = settings_.passLimitSteps();
        flyCheckBall(settings_, course_, region_, options_, ball_, counts_, tally_);
        if (settings_.passLimitSteps() != cutShortBefore) {
            ++tally_.cutShort;
        }
    }

    const LoadedCourse& course_;
    const CourseRegion& region_;
    const CheckOptions& options_;
    unsigned seed_;
    SimulationSettings settings_;
    // Without a buffer: the "collide!" lines and the step's warning are dropped.
    std::ostream discarded_{nullptr};
    StepCounter counts_;
    std::mt19937 generator_;
    Ball ball_{Ball::withoutTexture};
    CheckTally tally_;
    std::exception_ptr failure_;
};

// Flies every ball of the check on `threads` threads, the calling one included, which also
// keeps the progress line; returns the tally of them all.
CheckTally flyCheck(const LoadedCourse& course, const CourseRegion& region,
                    const CheckOptions& options, unsigned seed, unsigned threads) {
    // Made here, on the calling thread: making settings seeds rand() from the clock.
    std::deque<CheckWorker> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back(course, region, options, seed);
    }
    std::atomic<long long> nextBall{0};
    ProgressLine progress("checking " + std::filesystem::path(options.course).filename().string());
    progress.update(0, options.balls, "balls");
    {
        // A worker keeps its failure (memory running out), which would end the process on its
        // own thread, for tally() to rethrow here.
        std::vector<std::jthread> others;
        for (unsigned i = 1; i < threads; ++i) {
            others.emplace_back(
                [&nextBall, &worker = workers[i]] { worker.flyBalls(nextBall, [](long long) {}); });
        }
        workers[0].flyBalls(
            nextBall, [&](long long number) { progress.update(number, options.balls, "balls"); });
    } // joins the others
    progress.clear();
    CheckTally tally;
    for (const CheckWorker& worker : workers) {
        tally.add(worker.tally());
    }
    return tally;
}

// The threads a check flies its balls on: as asked, or one per core; never more than there are
// balls.
unsigned checkThreads(const CheckOptions& options) {
    const unsigned asked =
        options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<long long>(asked, options.balls));
}

int runCheck(const CheckOptions& options) {
    LoadedCourse course;
    CourseReadOptions reading;
    reading.threads = options.threads; // one per core unless asked: not limited by the balls
    if (!loadCourse(options.course, course, reading)) {
        return exitUsage;
    }
    printHeaderLine("triangles %zu boxes %zu\n", course.triangles().size(), course.boxes().size());
    for (std::size_t number = 0; number < course.triangles().size(); ++number) {
        if (!course.triangles()[number]->hasFiniteNormal()) {
            std::printf("degenerate %zu\n", number);
        }
    }

    const unsigned seed = options.seed ? *options.seed : static_cast<unsigned>(millisecondClock());
    printHeaderLine("seed %u\n", seed);
    printHeaderLine("balls %lld steps %lld dt %.9g speed %.9g\n", options.balls, options.steps,
                    options.dt, options.speed);

    const CourseRegion region(course, ball_constants::radius);
    const CheckTally tally = flyCheck(course, region, options, seed, checkThreads(options));
    std::printf("left %lld bounces %lld largest-speed-change %.9g non-finite %lld\n", tally.left,
                tally.bounces, tally.largestSpeedChange, tally.nonFinite);
    if (tally.cutShort > 0) {
        std::fflush(stdout); // the report first, then what it lacks
        std::cerr << toolName << ": warning: check: " << tally.cutShort << " of " << options.balls
                  << " balls had a step that needed more than "
                  << SimulationSettings::maxPassesPerStep
                  << " contact passes; the rest of such a step is dropped, so their flights were "
                     "cut short and the check is incomplete\n";
    }
    const int status = tally.left != 0 || tally.nonFinite != 0 ? exitBallsLeft
                       : tally.cutShort != 0                   ? exitIncomplete
                                                               : exitDone;
    return finishOutput(toolName, status);
}

// Opens the sweeps file, or says on standard error why it cannot be read.
bool openSweepsFile(const std::string& fileName, std::ifstream& in) {
    std::error_code ignored;
    if (std::filesystem::is_directory(fileName, ignored)) {
        // Opening a directory works; only reading it fails, which a stream takes for its end.
        std::cerr << fileName << ": error: cannot read the sweeps file: it is a directory\n";
        return false;
    }
    in.open(fileName);
    if (!in) {
        std::cerr << fileName << ": error: cannot open the sweeps file (" << std::strerror(errno)
                  << ")\n";
        return false;
    }
    return true;
}

// What the searches of a sweeps file gave so far.
struct SweepTally {
    long long sweeps = 0;
    long long hits = 0;
    double seconds = 0.0; // the searches alone
};

// Runs each sweep of `reader` as one pass of the step's contact search and writes its contact to
// `dump` when there is one. The sweeps are read, searched and written a batch at a time, so that
// the memory stays the same for any length of input; only the searches are timed. Returns false
// at a line that is not a sweep (reader.fault() says which), the sweeps before it done.
bool searchSweeps(const SimulationSettings& settings, const LoadedCourse& course,
                  SweepReader& reader, std::ostream* dump, SweepTally& tally) {
    constexpr std::size_t batchSize = 4096;
    const float radius = ball_constants::radius;
    struct Result {
        float earliest = noContact;
        Vector3 normal;
    };
    std::vector<Sweep> sweeps;
    std::vector<Result> results;
    sweeps.reserve(batchSize);
    for (bool more = true; more;) {
        sweeps.clear();
        Sweep sweep;
        while (sweeps.size() < batchSize && (more = reader.next(sweep))) {
            sweeps.push_back(sweep);
        }
        results.assign(sweeps.size(), Result{});
        const auto started = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < sweeps.size(); ++i) {
            settings.findEarliestContact(sweeps[i].from, sweeps[i].to, radius, course.boxes(),
                                         results[i].normal, results[i].earliest);
        }
        tally.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        tally.sweeps += static_cast<long long>(sweeps.size());
        for (Result& result : results) {
            if (result.earliest < noContact) {
                ++tally.hits;
                result.normal.normalize(); // as the step normalises the merged normal
            } else {
                result.normal = Vector3(0.0f, 0.0f, 0.0f);
            }
            if (dump != nullptr) {
                char line[128];
                std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g\n", result.earliest,
                              result.normal.x, result.normal.y, result.normal.z);
                *dump << line;
            }
        }
    }
    return reader.fault().empty();
}

// Each sweep as one pass of the step's contact search; the searches alone are timed.
int runSweep(const SweepOptions& options) {
    LoadedCourse course;
    if (!loadCourse(options.course, course)) {
        return exitUsage;
    }
    std::ifstream in;
    if (!openSweepsFile(options.sweeps, in)) {
        return exitUsage;
    }
    SimulationSettings settings;
    course.searchWith(settings, options.exhaustive);
    SweepReader reader(in);
    SweepTally tally;
    bool read = true;
    if (options.dump.empty()) {
        read = searchSweeps(settings, course, reader, nullptr, tally);
    } else if (!writeOutputFile(options.dump,
                                [&](std::ostream& out) {
                                    read = searchSweeps(settings, course, reader, &out, tally);
                                }) &&
               read) {
        return exitUsage;
    }
    if (!read) {
        std::cerr << options.sweeps << ":" << reader.fault() << "\n";
        return exitUsage;
    }
    std::printf("sweeps %lld hits %lld seconds %.9g sweeps-per-second %.9g\n", tally.sweeps,
                tally.hits, tally.seconds,
                tally.seconds > 0.0 ? double(tally.sweeps) / tally.seconds : 0.0);
    return finishOutput(toolName, exitDone);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Runs the ball physics of the prototype on a course file, without a window.",
                 toolName);
    describeTool(app, "'minigolf-sim COMMAND --help' lists the options of a command.\n"
                      "Exit status: 2 for bad arguments or a course that cannot be read.");
    requireCommand(app);
    SimulateOptions simulate;
    CheckOptions check;
    PlotOptions plot;
    SweepOptions sweep;
    const CLI::App* simulateCommand = addSimulate(app, simulate);
    const CLI::App* checkCommand = addCheck(app, check);
    const CLI::App* plotCommand = addPlot(app, plot);
    addSweep(app, sweep);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return commandLineFault(app, error);
    }
    return runCommand(toolName, [&] {
        return simulateCommand->parsed() ? runSimulate(simulate)
               : checkCommand->parsed()  ? runCheck(check)
               : plotCommand->parsed()   ? runPlot(plot)
                                         : runSweep(sweep);
    });
}
