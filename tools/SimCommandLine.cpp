#include "tools/SimCommandLine.h"

#include "scene/Ball.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>

namespace {

// More steps per ball than this is taken for a mistyped --seconds or --dt: at a microsecond a
// step it would run for weeks, and the count must stay far inside a long long.
constexpr double mostStepsPerBall = 1e12;

std::string quoted(const std::string& word) {
    return "\"" + word + "\"";
}

// strtod and strtoll skip leading white space themselves; a word of the command line must be
// the number and nothing else.
void requireNumberShape(const std::string& option, const std::string& word, const char* kind) {
    if (word.empty() || std::isspace(static_cast<unsigned char>(word.front())) != 0) {
        throw UsageError(option + ": expected " + kind + ", found " + quoted(word));
    }
}

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string formatVector(const Vector3& v) {
    return formatNumber(v.x) + " " + formatNumber(v.y) + " " + formatNumber(v.z);
}

// Walks the words after the command: options with their values and one course file.
class ArgumentCursor {
public:
    explicit ArgumentCursor(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool done() const { return next_ >= arguments_.size(); }
    const std::string& take() { return arguments_[next_++]; }

    // The next value word of `option`; its absence is a usage fault naming what was expected.
    const std::string& value(const std::string& option, const char* what) {
        if (done()) {
            throw UsageError(option + ": missing " + what);
        }
        return take();
    }
    Vector3 vector(const std::string& option) {
        const float x = parseFloat(option, value(option, "X"));
        const float y = parseFloat(option, value(option, "Y"));
        const float z = parseFloat(option, value(option, "Z"));
        return {x, y, z};
    }

private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

bool isOption(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

bool isHelp(const std::string& word) {
    return word == "--help" || word == "-h";
}

// One pass over the arguments: each option word is looked up in `handlers`, anything else is the
// course (exactly one). A help option anywhere asks for the usage and nothing else is checked.
using Handlers = std::map<std::string, std::function<void(ArgumentCursor&, const std::string&)>>;

bool parseArguments(const std::vector<std::string>& arguments, const Handlers& handlers,
                    std::string& course) {
    if (std::any_of(arguments.begin(), arguments.end(), isHelp)) {
        return true;
    }
    ArgumentCursor cursor(arguments);
    bool haveCourse = false;
    while (!cursor.done()) {
        const std::string& word = cursor.take();
        if (isOption(word)) {
            const auto handler = handlers.find(word);
            if (handler == handlers.end()) {
                throw UsageError("unknown option " + quoted(word));
            }
            handler->second(cursor, word);
        } else if (haveCourse) {
            throw UsageError("unexpected argument " + quoted(word) + " after the course " +
                             quoted(course));
        } else {
            course = word;
            haveCourse = true;
        }
    }
    if (!haveCourse) {
        throw UsageError("missing the course file");
    }
    return false;
}

double positiveReal(const std::string& option, const std::string& word) {
    const double value = parseReal(option, word);
    if (!(value > 0.0)) {
        throw UsageError(option + ": must be greater than 0, found " + quoted(word));
    }
    return value;
}

long long integerAtLeast(const std::string& option, const std::string& word, long long least) {
    const long long value = parseInteger(option, word);
    if (value < least) {
        throw UsageError(option + ": must be at least " + std::to_string(least) + ", found " +
                         quoted(word));
    }
    return value;
}

} // namespace

double parseReal(const std::string& option, const std::string& word) {
    requireNumberShape(option, word, "a number");
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') {
        throw UsageError(option + ": expected a number, found " + quoted(word));
    }
    // nan, inf and overflow alike; an underflow to a tiny or zero value is accepted as read.
    if (!std::isfinite(value)) {
        throw UsageError(option + ": expected a finite number, found " + quoted(word));
    }
    return value;
}

float parseFloat(const std::string& option, const std::string& word) {
    const double value = parseReal(option, word);
    if (std::fabs(value) > std::numeric_limits<float>::max()) {
        throw UsageError(option + ": " + quoted(word) + " is out of the range of a float");
    }
    return static_cast<float>(value);
}

long long parseInteger(const std::string& option, const std::string& word) {
    requireNumberShape(option, word, "a whole number");
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0') {
        throw UsageError(option + ": expected a whole number, found " + quoted(word));
    }
    if (errno == ERANGE) {
        throw UsageError(option + ": " + quoted(word) + " is out of range");
    }
    return value;
}

unsigned parseSeed(const std::string& option, const std::string& word) {
    const long long value = parseInteger(option, word);
    if (value < 0 || static_cast<unsigned long long>(value) > UINT_MAX) {
        throw UsageError(option + ": must be a whole number from 0 to " + std::to_string(UINT_MAX) +
                         ", found " + quoted(word));
    }
    return static_cast<unsigned>(value);
}

SimulateOptions parseSimulateOptions(const std::vector<std::string>& arguments) {
    SimulateOptions options;
    const Ball ball{Ball::withoutTexture};
    options.position = ball.position();
    options.velocity = ball.velocity();
    const Handlers handlers = {
        {"--pos", [&](ArgumentCursor& c, const std::string& o) { options.position = c.vector(o); }},
        {"--vel", [&](ArgumentCursor& c, const std::string& o) { options.velocity = c.vector(o); }},
        {"--dt",
         [&](ArgumentCursor& c, const std::string& o) {
             options.dt = positiveReal(o, c.value(o, "SECONDS"));
         }},
        {"--steps",
         [&](ArgumentCursor& c, const std::string& o) {
             options.steps = integerAtLeast(o, c.value(o, "N"), 0);
         }},
        {"--seed", [&](ArgumentCursor& c,
                       const std::string& o) { options.seed = parseSeed(o, c.value(o, "N")); }},
        {"--trace", [&](ArgumentCursor&, const std::string&) { options.trace = true; }},
    };
    options.help = parseArguments(arguments, handlers, options.course);
    return options;
}

CheckOptions parseCheckOptions(const std::vector<std::string>& arguments) {
    CheckOptions options;
    const Ball ball{Ball::withoutTexture};
    options.from = ball.position();
    options.speed = ball.velocity().length();
    const Handlers handlers = {
        {"--balls",
         [&](ArgumentCursor& c, const std::string& o) {
             options.balls = integerAtLeast(o, c.value(o, "N"), 1);
         }},
        {"--seconds",
         [&](ArgumentCursor& c, const std::string& o) {
             const std::string& word = c.value(o, "S");
             options.seconds = parseReal(o, word);
             if (options.seconds < 0.0) {
                 throw UsageError(o + ": must be at least 0, found " + quoted(word));
             }
         }},
        {"--dt",
         [&](ArgumentCursor& c, const std::string& o) {
             options.dt = positiveReal(o, c.value(o, "SECONDS"));
         }},
        {"--from", [&](ArgumentCursor& c, const std::string& o) { options.from = c.vector(o); }},
        {"--speed",
         [&](ArgumentCursor& c, const std::string& o) {
             const std::string& word = c.value(o, "V");
             options.speed = parseFloat(o, word);
             if (!(options.speed > 0.0f)) {
                 throw UsageError(o + ": must be greater than 0, found " + quoted(word));
             }
         }},
        {"--seed", [&](ArgumentCursor& c,
                       const std::string& o) { options.seed = parseSeed(o, c.value(o, "N")); }},
    };
    options.help = parseArguments(arguments, handlers, options.course);
    if (options.help) {
        return options;
    }
    const double steps = std::round(options.seconds / options.dt);
    if (!(steps <= mostStepsPerBall)) {
        throw UsageError("--seconds / --dt: " + formatNumber(steps) +
                         " steps per ball are more than this tool runs");
    }
    options.steps = static_cast<long long>(steps);
    return options;
}

std::string toolUsage() {
    return "usage: minigolf-sim COMMAND COURSE [OPTIONS]\n"
           "Runs the ball physics of the prototype on a course file, without a window.\n"
           "\n"
           "commands:\n"
           "  simulate   fly one ball and print its last state (with --trace, every step)\n"
           "  check      fly many balls in random directions and report whether any left the\n"
           "             course\n"
           "\n"
           "'minigolf-sim COMMAND --help' lists the options of a command.\n"
           "Exit status: 2 for bad arguments or a course that cannot be read.\n";
}

std::string simulateUsage() {
    const Ball ball{Ball::withoutTexture};
    return "usage: minigolf-sim simulate COURSE [--pos X Y Z] [--vel X Y Z] [--dt SECONDS]\n"
           "                             [--steps N] [--seed N] [--trace]\n"
           "Flies the ball through COURSE and prints, as the last line,\n"
           "  steps N collides C respawns R position X Y Z velocity X Y Z\n"
           "\n"
           "  --pos X Y Z    start position, course units (default " +
           formatVector(ball.position()) +
           ")\n"
           "  --vel X Y Z    start velocity, course units per second (default " +
           formatVector(ball.velocity()) +
           ")\n"
           "  --dt SECONDS   time step, greater than 0 (default 1/60)\n"
           "  --steps N      steps to simulate, at least 0 (default 600)\n"
           "  --seed N       srand(N) after the settings have seeded rand() from the clock, so\n"
           "                 that respawn places repeat (default: the clock's seed)\n"
           "  --trace        before the last line, one line per step:\n"
           "                   STEP PX PY PZ VX VY VZ COLLIDES\n"
           "                 the state after step STEP (from 1) and the bounces in it\n"
           "  --help         this text\n"
           "\n"
           "A respawn is a step that turns a non-zero velocity into exactly (0, 0, 0) with the\n"
           "ball at height 10. Exit status: 0 done; 2 bad arguments or an unreadable course.\n";
}

std::string checkUsage() {
    const Ball ball{Ball::withoutTexture};
    return "usage: minigolf-sim check COURSE [--balls N] [--seconds S] [--dt SECONDS]\n"
           "                          [--from X Y Z] [--speed V] [--seed N]\n"
           "Loads COURSE and prints its triangle and box counts and the number of every\n"
           "degenerate triangle; then flies balls from one point in random directions (uniform\n"
           "on the sphere) and reports how many left the course (centre outside the bounds of\n"
           "all the boxes together, grown by the ball's radius), the bounces in all, the largest\n"
           "relative change of speed and how many balls reached a non-finite state. A ball\n"
           "stops flying when it leaves or turns non-finite.\n"
           "\n"
           "  --balls N      balls to fly, at least 1 (default 100)\n"
           "  --seconds S    simulated seconds per ball, at least 0 (default 60)\n"
           "  --dt SECONDS   time step, greater than 0 (default 1/60); round(S / dt) steps a ball\n"
           "  --from X Y Z   start of every ball, course units (default " +
           formatVector(ball.position()) +
           ")\n"
           "  --speed V      start speed, greater than 0 (default " +
           formatNumber(ball.velocity().length()) +
           ")\n"
           "  --seed N       seed of the directions and of rand() (default: from the clock; the\n"
           "                 seed used is printed)\n"
           "  --help         this text\n"
           "\n"
           "Exit status: 0 no ball left and every state stayed finite; 1 otherwise; 2 bad\n"
           "arguments or an unreadable course.\n";
}
