#pragma once

#include "geometry/Vector3.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

// The command line shared by the course tools (minigolf-sim, minigolf-course): a tool is a list
// of commands, each a CLI11 subcommand whose options are declared through CommandOptions; a line
// names one command. Every fault is one line on standard error and exit status 2. --help (or -h),
// alone or after a known command, prints the usage of the tool or of the command on standard
// output and exits 0 even when other words of the line are wrong, unless an option takes it as
// its value ("--dt --help" is a --dt of "--help", which is not a number).
//
// Option words are kept as typed and converted by the tools' own full-word checks once the whole
// line has been read, so that a number is a number to the last character, every value is finite,
// and a help request wins over a bad value.

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr int exitUsage = 2; // bad arguments, an unreadable input, failed output

// A finite real number: the whole word must be read by strtod and nothing may overflow.
double parseReal(const std::string& option, const std::string& word);
// A finite real number that a float holds without overflow.
float parseFloat(const std::string& option, const std::string& word);
// A whole decimal number: the whole word must be read by strtoll without overflow.
long long parseInteger(const std::string& option, const std::string& word);
// A seed for srand: a whole number from 0 to the largest unsigned int.
unsigned parseSeed(const std::string& option, const std::string& word);
// A finite real number >= least, or > least when `strictly`.
double parseRealAbove(const std::string& option, const std::string& word, double least,
                      bool strictly);
// A whole number from least to most.
long long parseIntegerWithin(const std::string& option, const std::string& word, long long least,
                             long long most);
// parseFloat's float, >= least or > least when `strictly`; the float itself is compared, so a
// word that underflows to 0 is no positive number.
float parseFloatAbove(const std::string& option, const std::string& word, float least,
                      bool strictly);
// A file name to write: any word but the empty one, which names no file.
std::string parseFileName(const std::string& option, const std::string& word);

// A number to `significantDigits` digits as "%g" writes it (six by default), for usage texts,
// messages and drawings.
std::string formatNumber(double value, int significantDigits = 6);
std::string formatVector(const Vector3& v);
std::string quoted(const std::string& word);

// The options of one command, declared on its CLI11 subcommand. Values are converted, in the
// order they were declared, by convert() after parsing; a converter throws UsageError.
class CommandOptions {
public:
    explicit CommandOptions(CLI::App& command);
    CommandOptions(const CommandOptions&) = delete;
    CommandOptions& operator=(const CommandOptions&) = delete;
    ~CommandOptions();

    // The command's one positional argument (a file); `missing` is the message when absent.
    void positional(const std::string& name, const std::string& description, std::string& target,
                    const std::string& missing);
    // --name VALUE: `convert(option, word)` runs on the word of the last occurrence. A required
    // option shows without brackets in the usage line and is missed when left out.
    void value(const std::string& name, const std::string& valueName,
               const std::string& description,
               std::function<void(const std::string&, const std::string&)> convert,
               bool required = false);
    // --name X Y Z: three floats in the range of a float.
    void vector(const std::string& name, const std::string& description, Vector3& target);
    void flag(const std::string& name, const std::string& description, bool& target);
    // Whether the option was given on the command line.
    bool given(const std::string& name) const;

    // Runs every converter; throws UsageError for the first fault met while parsing or
    // converting (a value missing from an option, a word that is not a number).
    void convert() const;

private:
    struct Entry;
    Entry& add(const std::string& name);

    CLI::App& command_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

// One command of a tool. `define` declares the command's options on its subcommand and returns
// the function that runs it once the command line has been parsed and converted; that function
// returns the exit status.
struct ToolCommand {
    std::string name;
    std::string summary; // one line in the tool's usage
    std::function<std::function<int()>(CLI::App& command)> define;
};

struct ToolDefinition {
    std::string name;        // "minigolf-sim"
    std::string description; // what the tool does, a few lines
    std::string footer;      // exit statuses and the like, after the list of commands
    std::vector<ToolCommand> commands;
};

// Parses the command line, runs the chosen command and returns the process's exit status.
int runTool(const ToolDefinition& tool, int argc, char** argv);

// Sets the usage text of a command: its description (what it prints, above the options) and
// footer (below them). Every line ends with a line break.
void describeCommand(CLI::App& command, const std::string& description, const std::string& footer);

// Whether writing standard output worked; a full disk or a closed pipe is an error, not a
// silently short report. Returns `status`, or exitUsage after a message on standard error.
int finishOutput(const std::string& toolName, int status);
