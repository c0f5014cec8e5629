#pragma once

#include "geometry/Vector3.h"

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
class ParseError;
class Validator;
} // namespace CLI

// What the command lines of the tools share. Each tool declares its options on a CLI11 App,
// bound to the typed fields of its options structs, and catches CLI::ParseError once: a fault is
// one line on standard error, "TOOL: error: ...", and exit status 2; --help and --version print
// to standard output and exit 0.

constexpr int exitUsage = 2; // bad arguments, an unreadable input, failed output

// A refusal found once the command runs (a flight of too many bounces to draw).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The bounds of a real option.
struct RealRange {
    double least = -std::numeric_limits<double>::infinity();
    bool strictly = false; // greater than `least`, not only at least
    double most = std::numeric_limits<double>::infinity();
    bool inFloat = false; // the field is a float: the bounds apply to the float read
};

// The one check of every real option: the whole word is a number (CLI11 would skip leading
// blanks), finite (CLI11 reads "nan", "inf" and an overflow as such), held by a float without
// overflow when `inFloat`, and within `range`. The word is handed on as the exact value read
// ("%a"): CLI11 reads through a long double, which could round a double or a float read from the
// decimal word differently than strtod, by one step.
CLI::Validator finite(RealRange range = {});
// The check of every whole-number option: decimal digits with an optional sign, without
// overflow. CLI11 reads integers in base 0 (010 is 8, 0x10 is 16) and takes an overflow for the
// largest number; the word is handed on in plain decimal.
CLI::Validator whole();
// A file name to write: the empty word names no file.
CLI::Validator fileName();

// What every tool's App has: --version (NAME VERSION), --help, its footer.
void describeTool(CLI::App& app, const std::string& footer);

// A tool of commands: a line names exactly one. (Not CLI11's require_subcommand(1), which would
// answer an unknown command with "a subcommand is required" instead of naming the word.)
void requireCommand(CLI::App& app);

// The end of a command line CLI11 refused: help and --version go to standard output with status
// 0, any fault is one line on standard error with status 2.
int commandLineFault(const CLI::App& app, const CLI::ParseError& error);

// Runs a parsed command: a refusal found while running, or memory running out, is one line on
// standard error and status 2.
int runCommand(const std::string& toolName, const std::function<int()>& run);

// A number to `significantDigits` digits as "%g" writes it (six by default), for usage texts,
// messages and drawings.
std::string formatNumber(double value, int significantDigits = 6);
std::string formatVector(const Vector3& v);
std::string quoted(const std::string& word);

// Whether writing standard output worked; a full disk or a closed pipe is an error, not a
// silently short report. Returns `status`, or exitUsage after a message on standard error.
int finishOutput(const std::string& toolName, int status);
