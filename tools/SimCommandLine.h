#pragma once

#include "geometry/Vector3.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The command line of minigolf-sim: its two commands, their options and the full-string number
// checks behind them. Every fault is thrown as a UsageError whose text is the one line the tool
// writes to standard error before it exits with status 2.

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// simulate COURSE [--pos X Y Z] [--vel X Y Z] [--dt SECONDS] [--steps N] [--seed N] [--trace]
struct SimulateOptions {
    bool help = false;
    std::string course;
    // Course units and course units per second; the defaults are the program's ball.
    Vector3 position;
    Vector3 velocity;
    double dt = 1.0 / 60.0; // seconds per step, > 0
    long long steps = 600;  // >= 0
    // Seeds rand() after the settings have seeded it from the clock; none: the clock's seed.
    std::optional<unsigned> seed;
    bool trace = false;
};

// check COURSE [--balls N] [--seconds S] [--dt SECONDS] [--from X Y Z] [--speed V] [--seed N]
struct CheckOptions {
    bool help = false;
    std::string course;
    long long balls = 100;  // >= 1
    double seconds = 60.0;  // simulated seconds per ball, >= 0
    double dt = 1.0 / 60.0; // seconds per step, > 0
    // Start of every ball, course units; the default is the program's start position.
    Vector3 from;
    // Start speed in course units per second, > 0; the default is the program's start speed.
    float speed = 0.0f;
    // Seeds the direction generator and rand(); none: a seed from the clock.
    std::optional<unsigned> seed;
    // Steps per ball: seconds / dt rounded to the nearest whole number.
    long long steps = 3600;
};

// A finite real number: the whole word must be read by strtod and nothing may overflow.
double parseReal(const std::string& option, const std::string& word);
// A finite real number that a float holds without overflow.
float parseFloat(const std::string& option, const std::string& word);
// A whole decimal number: the whole word must be read by strtoll without overflow.
long long parseInteger(const std::string& option, const std::string& word);
// A seed for srand: a whole number from 0 to the largest unsigned int.
unsigned parseSeed(const std::string& option, const std::string& word);

// The arguments after the command word. Defaults that the options leave come from the program's
// ball (position, velocity, speed).
SimulateOptions parseSimulateOptions(const std::vector<std::string>& arguments);
CheckOptions parseCheckOptions(const std::vector<std::string>& arguments);

// Usage texts, each ending with a line end; the defaults they name are the program's ball.
std::string toolUsage();
std::string simulateUsage();
std::string checkUsage();
