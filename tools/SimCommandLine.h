#pragma once

#include "ToolCommandLine.h"
#include "geometry/Vector3.h"

#include <optional>
#include <string>

// The options of minigolf-sim's commands, their defaults (the program's ball) and their usage
// texts. Each add function puts a command on the tool's App, its options bound to the struct;
// the values are in the struct, checked against each other, once CLI11 has parsed the line.

// simulate COURSE [--pos X Y Z] [--vel X Y Z] [--dt SECONDS] [--steps N] [--seed N]
//                 [--trace | --csv]
struct SimulateOptions {
    std::string course;
    // Course units and course units per second; the defaults are the program's ball.
    Vector3 position;
    Vector3 velocity;
    double dt = 1.0 / 60.0; // seconds per step, >= 0 (two frames in one clock tick give 0)
    long long steps = 600;  // >= 0
    // Seeds rand() after the settings have seeded it from the clock; none: the clock's seed.
    std::optional<unsigned> seed;
    bool trace = false;
    bool csv = false;
    // Search every triangle of every box the sweep overlaps instead of using the contact index.
    bool exhaustive = false;
};

// plot COURSE [the flight options of simulate] -o FLIGHT.svg
//
// plot keeps every bounce until it draws it, as a mark in each view (about 300 bytes of SVG a
// bounce in all): past this many the picture is tens of megabytes of marks on top of each other,
// and the memory would grow with the flight (a step may bounce 10000 times), so the flight is
// stopped there.
constexpr long long mostPlottedBounces = 100'000;

struct PlotOptions {
    SimulateOptions flight;
    std::string output;
};

// check COURSE [--balls N] [--seconds S] [--dt SECONDS] [--from X Y Z] [--speed V] [--seed N]
//              [--threads N]
struct CheckOptions {
    std::string course;
    long long balls = 100;  // 1 to mostBalls
    double seconds = 60.0;  // simulated seconds per ball, >= 0
    double dt = 1.0 / 60.0; // seconds per step, > 0
    // Start of every ball, course units; the default is the program's start position.
    Vector3 from;
    // Start speed in course units per second, > 0; the default is the program's start speed.
    float speed = 0.0f;
    // With the ball's number, seeds the ball's own generator of its direction and respawns;
    // none: a seed from the clock.
    std::optional<unsigned> seed;
    // Steps per ball: seconds / dt rounded to the nearest whole number.
    long long steps = 3600;
    bool exhaustive = false;
    // Threads that load the course and fly the balls, the calling one included; 0: one per core.
    unsigned threads = 0;
};

// The exit statuses of check besides 0 (every ball flown, none left) and exitUsage.
constexpr int exitBallsLeft = 1;  // a ball left the course or turned non-finite
constexpr int exitIncomplete = 3; // a step reached the pass limit: a flight was cut short

// sweep COURSE SWEEPS [--exhaustive] [--dump FILE]
struct SweepOptions {
    std::string course;
    // One sweep a line: FX FY FZ TX TY TZ, course units.
    std::string sweeps;
    bool exhaustive = false;
    // Where to write one line per sweep, "T NX NY NZ"; nothing when empty.
    std::string dump;
};

// Add a command, its options bound to `target`, whose defaults are set here (the program's
// ball); the checks that need more than one option run as the command's callback, refusing with
// CLI::ValidationError.
CLI::App* addSimulate(CLI::App& app, SimulateOptions& target);
CLI::App* addPlot(CLI::App& app, PlotOptions& target);
CLI::App* addCheck(CLI::App& app, CheckOptions& target);
CLI::App* addSweep(CLI::App& app, SweepOptions& target);
