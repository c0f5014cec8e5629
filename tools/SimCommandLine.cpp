#include "SimCommandLine.h"

#include "CourseGenerator.h"
#include "geometry/DoubleVector.h"
#include "physics/SimulationSettings.h"
#include "scene/BallConstants.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// More steps per ball than this is taken for a mistyped --seconds or --dt: at a microsecond a
// step it would run for weeks, and the count must stay far inside a long long.
constexpr double mostStepsPerBall = 1e12;

// Balls are flown one after the other, a minute of flight at the default step costing about
// 1.3 ms on the bundled course (200 balls in 0.27 s on a 2.45 GHz core): a million balls is
// already 20 minutes to hours on larger courses, and a count beyond that is taken for a mistyped
// one (an extra digit, an exponent) rather than run for days.
constexpr long long mostBalls = 1'000'000;

// More threads than this is taken for a mistyped count: balls are independent, so more
// threads than cores gain nothing, and each holds a copy of the search's scratch.
constexpr unsigned mostThreads = 1024;

// Where the step's arithmetic stays finite, course units. The step adds the move to the
// position and subtracts positions from each other, so no position may be farther from the
// origin than half the largest float; a centre can be no farther from its start than the length
// of its path, speed x dt x steps (a bounce keeps the speed, a respawn puts the ball near the
// origin at rest). The move of one step, part of that path, stays within it too.
constexpr double farthestReach = std::numeric_limits<float>::max() / 2.0;
// The fastest start, course units per second. The step sums the velocities at the ends of its
// pass (twice the speed) and a bounce subtracts 2 n (n . v) from the velocity (a vector up to
// twice the speed long), both in single precision; a quarter of the largest float leaves them
// a factor of two for the rounding of the normal and of the speed, which bounces keep only up
// to a few ulps each. (Beyond half the largest float a flight soon turns NaN.)
constexpr double fastestSpeed = std::numeric_limits<float>::max() / 4.0;
// The step computes dt^2 / 2 in single precision (the acceleration's term); a longer step makes
// it infinite, and zero acceleration times infinity is NaN.
const double longestStep = std::sqrt(2.0 * std::numeric_limits<float>::max());

// The start's largest coordinate, course units.
double largestCoordinate(const Vector3& position) {
    return std::max({std::fabs(double(position.x)), std::fabs(double(position.y)),
                     std::fabs(double(position.z))});
}

// Refuses a flight whose arithmetic would overflow a float: a NaN ball is no answer.
void checkFlightRange(const Vector3& start, double speed, double dt, double steps,
                      const std::string& speedOption) {
    if (dt > longestStep) {
        throw CLI::ValidationError("--dt", formatNumber(dt) +
                                               " s is too long a step: the step's dt^2 / 2 "
                                               "overflows a float (at most " +
                                               formatNumber(longestStep) + " s)");
    }
    const double reach = largestCoordinate(start) + speed * dt * steps;
    if (!(reach <= farthestReach)) {
        throw CLI::ValidationError(
            speedOption + " and --dt",
            "the ball could fly " + formatNumber(reach) +
                " course units from the origin (start + speed x dt x steps), beyond " +
                formatNumber(farthestReach) +
                ", where the step's arithmetic overflows "
                "a float");
    }
    if (!(speed <= fastestSpeed)) {
        throw CLI::ValidationError(
            speedOption, "a speed of " + formatNumber(speed) +
                             " course units per second is beyond " + formatNumber(fastestSpeed) +
                             ", where the step's arithmetic could overflow a float");
    }
}

void addExhaustive(CLI::App& command, bool& exhaustive) {
    command.add_flag("--exhaustive", exhaustive,
                     "search every triangle of every box the ball's sweep overlaps instead of\n"
                     "using the contact index (the same results, bit for bit; for comparison)");
}

void addCourse(CLI::App& command, std::string& course) {
    command.add_option("COURSE", course, "the course file")->required();
}

void addSeed(CLI::App& command, std::optional<unsigned>& seed, const std::string& description) {
    command
        .add_option_function<unsigned>(
            "--seed", [&seed](unsigned n) { seed = n; }, description)
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(0u, std::numeric_limits<unsigned>::max()));
}

void addVector(CLI::App& command, const std::string& name, Vector3& target,
               const std::string& description) {
    command
        .add_option_function<std::vector<float>>(
            name, [&target](const std::vector<float>& v) { target = Vector3(v[0], v[1], v[2]); },
            description + " (default " + formatVector(target) + ")")
        ->expected(3)
        // Not the tools' TakeLast, which would take the last three of "--pos 1 2 3 --pos 4 5".
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->transform(finite({.inFloat = true}));
}

void addFlight(CLI::App& command, SimulateOptions& target) {
    target.position = ball_constants::startPosition();
    target.velocity = ball_constants::startVelocity();
    addCourse(command, target.course);
    addVector(command, "--pos", target.position, "start position, course units");
    addVector(command, "--vel", target.velocity, "start velocity, course units per second");
    command
        .add_option("--dt", target.dt,
                    "time step, at least 0 (default 1/60); 0 replays two frames that fell\n"
                    "within one tick of the clock")
        ->type_name("SECONDS")
        ->transform(finite({.least = 0.0}));
    command.add_option("--steps", target.steps, "steps to simulate, at least 0 (default 600)")
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(0LL, std::numeric_limits<long long>::max(), "NONNEGATIVE"));
    addSeed(command, target.seed,
            "srand(N) after the settings have seeded rand() from the clock, so\n"
            "that respawn places repeat (default: the clock's seed)");
    addExhaustive(command, target.exhaustive);
}

void checkSimulate(const SimulateOptions& options) {
    // In double: Vector3::length rounds to a float, which overflows for velocities whose every
    // component does not.
    checkFlightRange(options.position, length(toDouble(options.velocity)), options.dt,
                     static_cast<double>(options.steps), "--vel");
}

void completeCheck(CheckOptions& options) {
    const double steps = std::round(options.seconds / options.dt);
    if (!(steps <= mostStepsPerBall)) {
        throw CLI::ValidationError("--seconds / --dt", formatNumber(steps) +
                                                           " steps per ball are more than this "
                                                           "tool runs");
    }
    if (steps == 0.0 && options.seconds > 0.0) {
        // A flight asked for and none flown would pass every ball unchecked.
        throw CLI::ValidationError("--seconds " + formatNumber(options.seconds) + " at --dt " +
                                   formatNumber(options.dt) +
                                   " is no step (round(S / dt) is 0), so no ball would be "
                                   "checked; --seconds 0 only loads the course");
    }
    options.steps = static_cast<long long>(steps);
    checkFlightRange(options.from, options.speed, options.dt, steps, "--speed");
}

} // namespace

CLI::App* addSimulate(CLI::App& app, SimulateOptions& target) {
    CLI::App* command = app.add_subcommand(
        "simulate", "fly one ball and print its last state (every step with --trace or --csv)");
    command->footer(
        "Flies the ball through COURSE and prints, as the last line,\n"
        "  steps N collides C respawns R position X Y Z velocity X Y Z\n"
        "Numbers are printed with 9 significant digits (%.9g), enough to give back every\n"
        "float.\n"
        "A respawn is a step that turns a non-zero velocity into exactly (0, 0, 0) with the\n"
        "ball at height 10. A flight whose arithmetic would overflow a float (a speed beyond\n"
        "8.5e37 course units per second, start + speed x dt x steps beyond 1.7e38 course\n"
        "units, or dt beyond 2.6e19 s) is refused.\n"
        "Exit status: 0 done; 2 bad arguments or an unreadable course.");
    addFlight(*command, target);
    CLI::Option* trace = command->add_flag("--trace", target.trace,
                                           "before the last line, the header line\n"
                                           "  step x y z vx vy vz collides\n"
                                           "and one line per step: the state after step STEP "
                                           "(from 1) and the\n"
                                           "bounces in it, numbers as in the last line");
    command
        ->add_flag("--csv", target.csv,
                   "instead of everything else, the trace as CSV: the header line\n"
                   "  step,x,y,z,vx,vy,vz,collides\n"
                   "and one line per step with the numbers of --trace")
        ->excludes(trace);
    command->callback([&target] { checkSimulate(target); });
    return command;
}

CLI::App* addPlot(CLI::App& app, PlotOptions& target) {
    CLI::App* command = app.add_subcommand(
        "plot", "fly one ball as simulate does and draw the flight over the course as SVG");
    command->footer(
        "Flies the ball through COURSE as simulate does and draws the flight as an SVG\n"
        "picture: the course seen from above (x to the right, z down), from the side (x to\n"
        "the right, y up) and from the front (z to the right, y up), on one scale, in course\n"
        "units, framed on the course. Triangles are filled in their box's colour, nearer ones\n"
        "over farther ones; a triangle seen from behind (a wall or the ceiling between the\n"
        "eye and the course) is drawn as an outline only, as the program draws back faces.\n"
        "The ball's path is a line through its centre after every step and at every bounce,\n"
        "cut at the frame, with a diamond where it leaves or enters; bounces are circles of\n"
        "the ball's radius at the contact, respawns are crosses, the start and the end are\n"
        "dots. Nothing is printed on standard output.\n"
        "A flight is refused as simulate refuses it, and stopped when it has bounced more\n"
        "than " +
        std::to_string(mostPlottedBounces) +
        " times (too many marks to draw, and memory that grows with them).\n"
        "Exit status: 0 written; 2 bad arguments, an unreadable course, a flight of too many\n"
        "bounces or an unwritable output.");
    addFlight(*command, target.flight);
    command->add_option("-o", target.output, "the SVG file to write")
        ->type_name("FLIGHT.svg")
        ->required()
        ->check(fileName());
    command->callback([&target] { checkSimulate(target.flight); });
    return command;
}

CLI::App* addCheck(CLI::App& app, CheckOptions& target) {
    CLI::App* command = app.add_subcommand(
        "check", "fly many balls in random directions and report whether any left the course");
    command->footer(
        "Loads COURSE and prints its triangle and box counts and the number of every\n"
        "degenerate triangle; then flies balls from one point in random directions (uniform\n"
        "on the sphere) and reports how many left the course (centre outside the bounds of\n"
        "all the boxes together, grown by the ball's radius), the bounces in all, the largest\n"
        "relative change of speed and how many balls reached a non-finite state. A ball\n"
        "stops flying when it leaves or turns non-finite.\n"
        "  triangles T boxes B\n"
        "  degenerate N              (one line per degenerate triangle)\n"
        "  seed S\n"
        "  balls N steps N dt D speed V\n"
        "  left L bounces B largest-speed-change C non-finite F\n"
        "Each line is written out as soon as it is known, so an interrupted run still shows\n"
        "its seed. When standard error is a terminal, a progress line there counts the balls.\n"
        "Ball K draws its direction and its respawn places from a generator of its own,\n"
        "seeded from S and K, so the balls fly on every core and the report is the same\n"
        "for any --threads. --seconds 0 flies no ball: it only loads the course and prints\n"
        "its counts.\n"
        "A --seconds that gives no step at --dt is refused: nothing would be checked. A step\n"
        "that needs more than " +
        std::to_string(SimulationSettings::maxPassesPerStep) +
        " contact passes has the rest of its time dropped (a safety\n"
        "net); a ball's flight cut short so is not the flight asked for, and a line on\n"
        "standard error counts such balls.\n"
        "Exit status: 0 every ball flew its steps, none left and every state stayed finite;\n"
        "1 a ball left the course or turned non-finite; 2 bad arguments (a --seconds of no\n"
        "step included) or an unreadable course; 3 no ball left, but a step reached the pass\n"
        "limit, so the check is incomplete.");
    target.from = ball_constants::startPosition();
    target.speed = ball_constants::startVelocity().length();
    addCourse(*command, target.course);
    command
        ->add_option("--balls", target.balls,
                     "balls to fly, 1 to " + std::to_string(mostBalls) + " (default 100)")
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(1LL, mostBalls));
    command
        ->add_option("--seconds", target.seconds,
                     "simulated seconds per ball, at least 0 (default 60)")
        ->type_name("S")
        ->transform(finite({.least = 0.0}));
    command
        ->add_option("--dt", target.dt,
                     "time step, greater than 0 (default 1/60); round(S / dt) steps a ball")
        ->type_name("SECONDS")
        ->transform(finite({.least = 0.0, .strictly = true}));
    addVector(*command, "--from", target.from, "start of every ball, course units");
    command
        ->add_option("--speed", target.speed,
                     "start speed, greater than 0 (default " + formatNumber(target.speed) + ")")
        ->type_name("V")
        ->transform(finite({.least = 0.0, .strictly = true, .inFloat = true}));
    addSeed(*command, target.seed,
            "seed of the balls' directions and respawns (default: from the clock;\n"
            "the seed used is printed)");
    command
        ->add_option("--threads", target.threads,
                     "threads that load the course and fly the balls, 1 to " +
                         std::to_string(mostThreads) +
                         " (default: one per\ncore); the report is the same for any number")
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(1u, mostThreads));
    addExhaustive(*command, target.exhaustive);
    command->callback([&target] { completeCheck(target); });
    return command;
}

CLI::App* addSweep(CLI::App& app, SweepOptions& target) {
    CLI::App* command = app.add_subcommand(
        "sweep", "run the contact search on sweeps from a file, timed, with their contacts");
    command->footer(
        "Loads COURSE and runs, for every sweep of SWEEPS (one a line: FX FY FZ TX TY TZ, in\n"
        "course units), one pass of the step's contact search: the ball (radius 0.6) moving\n"
        "from F to T. The last line on standard output is\n"
        "  sweeps N hits H seconds S sweeps-per-second R\n"
        "H counting the sweeps with a contact and S timing the searches alone. --dump writes,\n"
        "per sweep, the contact as a fraction of the move and the contact normal normalised as\n"
        "the step normalises it (1 0 0 0 for no contact), numbers as %.9g.\n"
        "SWEEPS is read a batch at a time, so any length of input takes the same memory. A\n"
        "line that is not six finite numbers, longer than " +
        std::to_string(SweepReader::longestLine) +
        " characters or holding a NUL byte\n"
        "ends the run as SWEEPS:LINE: ..., the sweeps before it searched and dumped.\n"
        "Exit status: 0 done; 2 bad arguments, an unreadable course or sweeps file, a line\n"
        "that is not a sweep, or an unwritable dump.");
    addCourse(*command, target.course);
    command
        ->add_option("SWEEPS", target.sweeps,
                     "the sweeps file: one sweep a line, FX FY FZ TX TY TZ")
        ->required();
    addExhaustive(*command, target.exhaustive);
    command->add_option("--dump", target.dump, "write one line per sweep: T NX NY NZ")
        ->type_name("FILE")
        ->check(fileName());
    return command;
}
