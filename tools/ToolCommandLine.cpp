#include "ToolCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>

namespace {

// Usage lines are wrapped before this column; option descriptions start at the second one.
constexpr std::size_t usageWidth = 96;
constexpr std::size_t descriptionColumn = 18;

// strtod and strtoll skip leading white space themselves; a word of the command line must be
// the number and nothing else.
void requireNumberShape(const std::string& option, const std::string& word, const char* kind) {
    if (word.empty() || std::isspace(static_cast<unsigned char>(word.front())) != 0) {
        throw UsageError(option + ": expected " + kind + ", found " + quoted(word));
    }
}

bool isHelpWord(const std::string& word) {
    return word == "--help" || word == "-h";
}

bool isOptionWord(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

// CLI11 reads "-.5" as the short option "-." and would leave the option before it without its
// value; the same number spelt "-0.5" is taken as a value. Every other word is kept as typed.
std::string spellNegativeFraction(const std::string& word) {
    if (word.size() > 2 && word[0] == '-' && word[1] == '.' &&
        std::isdigit(static_cast<unsigned char>(word[2])) != 0) {
        return "-0" + word.substr(1);
    }
    return word;
}

// Usage first, as "usage: tool command ARGUMENTS [--option VALUE]...", then the description,
// the arguments, the options, the commands and the footer.
class ToolHelpFormatter : public CLI::Formatter {
public:
    explicit ToolHelpFormatter(std::map<std::string, std::string> summaries)
        : summaries_(std::move(summaries)) {
        column_width(descriptionColumn);
        label("Positionals", "arguments");
    }

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub) {
            return make_expanded(app);
        }
        std::ostringstream out;
        out << make_usage(app, name) << make_description(app) << make_positionals(app)
            << make_groups(app, mode) << make_subcommands(app, mode);
        const std::string footer = make_footer(app);
        if (!footer.empty()) {
            out << "\n" << footer;
        }
        return out.str();
    }

    std::string make_usage(const CLI::App* app, std::string) const override {
        std::string command = app->get_name();
        for (const CLI::App* parent = app->get_parent(); parent != nullptr;
             parent = parent->get_parent()) {
            command = parent->get_name() + " " + command;
        }
        std::vector<std::string> parts;
        if (!app->get_subcommands({}).empty()) {
            parts.push_back("COMMAND [ARGUMENTS]");
        }
        for (const CLI::Option* option : app->get_options()) {
            if (option->get_positional()) {
                parts.push_back(option->get_name());
            }
        }
        for (const CLI::Option* option : app->get_options()) {
            if (!option->get_positional() && option != app->get_help_ptr()) {
                const std::string text = option->get_option_text();
                const std::string part = option->get_name() + (text.empty() ? "" : " " + text);
                parts.push_back(option->get_required() ? part : "[" + part + "]");
            }
        }
        return wrapUsage("usage: " + command, parts);
    }

    std::string make_footer(const CLI::App* app) const override { return app->get_footer(); }

    // A command in the tool's list: its one-line summary, not its whole description.
    std::string make_subcommand(const CLI::App* sub) const override {
        const auto summary = summaries_.find(sub->get_name());
        std::ostringstream out;
        CLI::detail::format_help(out, sub->get_name(),
                                 summary != summaries_.end() ? summary->second : "", column_width_);
        return out.str();
    }

private:
    std::map<std::string, std::string> summaries_;

    // The parts after the command, wrapped so that continuation lines start under the first.
    static std::string wrapUsage(const std::string& lead, const std::vector<std::string>& parts) {
        std::string text = lead;
        std::size_t lineStart = 0;
        const std::string indent(lead.size() + 1, ' ');
        for (const std::string& part : parts) {
            if (text.size() - lineStart + 1 + part.size() > usageWidth &&
                text.size() - lineStart > indent.size()) {
                text += "\n";
                lineStart = text.size();
                text += indent + part;
            } else {
                text += " " + part;
            }
        }
        return text + "\n";
    }
};

// A value missing at the end of the line, which CLI11 reports as "--pos: 1 required X Y Z
// missing", in the tool's words: "--pos: missing X".
std::string missingValueMessage(const CLI::App& command, const std::string& what) {
    const std::size_t colon = what.find(':');
    if (colon == std::string::npos) {
        return what;
    }
    const std::string name = what.substr(0, colon);
    const CLI::Option* option = command.get_option_no_throw(name);
    if (option == nullptr) {
        return what;
    }
    std::istringstream valueNames(option->get_option_text());
    std::string first;
    valueNames >> first;
    return name + ": missing " + (first.empty() ? "its value" : first);
}

// One line for what CLI11 found wrong: a value missing at the end of the line, a required
// option left out, or CLI11's own words for anything else.
std::string parseFaultMessage(const CLI::App& command, const CLI::ParseError& error) {
    const std::string what = error.what();
    if (error.get_name() == "ArgumentMismatch") {
        return missingValueMessage(command, what);
    }
    const std::string required = " is required";
    if (error.get_name() == "RequiredError" && what.size() > required.size() &&
        what.compare(what.size() - required.size(), required.size(), required) == 0) {
        const std::string name = what.substr(0, what.size() - required.size());
        const CLI::Option* option = command.get_option_no_throw(name);
        if (option != nullptr) {
            return "missing " + name + " " + option->get_option_text();
        }
    }
    return what;
}

// The chosen command, or null when the line named none (only --help).
CLI::App* chosenCommand(const CLI::App& app) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
}

bool isCommandName(const ToolDefinition& tool, const std::string& word) {
    return std::any_of(tool.commands.begin(), tool.commands.end(),
                       [&](const ToolCommand& c) { return c.name == word; });
}

// Words the command did not take. A second command name among them is the likeliest slip (two
// command lines run together), and running either half alone would be a silent surprise.
void rejectLeftovers(const ToolDefinition& tool, const CLI::App& command) {
    const std::vector<std::string> left = command.remaining();
    if (left.empty()) {
        return;
    }
    if (isCommandName(tool, left.front())) {
        throw UsageError("a second command " + quoted(left.front()) + ": one command at a time");
    }
    if (isOptionWord(left.front())) {
        throw UsageError("unknown option " + quoted(left.front()));
    }
    throw UsageError("unexpected argument " + quoted(left.front()));
}

int printHelp(const CLI::App& app, const std::string& toolName) {
    const CLI::App* command = chosenCommand(app);
    std::cout << (command != nullptr ? command->help() : app.help());
    return finishOutput(toolName, 0);
}

// The tool's own check before CLI11 sees the line: a command must come first. Returns the
// message for a line that names none, empty when the line is fine.
std::string commandWordFault(const ToolDefinition& tool, const std::vector<std::string>& words) {
    std::string names;
    for (std::size_t i = 0; i < tool.commands.size(); ++i) {
        const bool last = i + 1 == tool.commands.size();
        names += (i == 0 ? "" : last ? " or " : ", ") + tool.commands[i].name;
    }
    const std::string hint = " (expected " + names + "; see " + tool.name + " --help)";
    if (words.empty()) {
        return "missing the command" + hint;
    }
    const std::string& first = words.front();
    if (isCommandName(tool, first) || isHelpWord(first)) {
        return "";
    }
    return (isOptionWord(first) ? "unknown option " : "unknown command ") + quoted(first) + hint;
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

double parseRealAbove(const std::string& option, const std::string& word, double least,
                      bool strictly) {
    const double value = parseReal(option, word);
    if (strictly ? !(value > least) : !(value >= least)) {
        throw UsageError(option + ": must be " + (strictly ? "greater than " : "at least ") +
                         formatNumber(least) + ", found " + quoted(word));
    }
    return value;
}

long long parseIntegerWithin(const std::string& option, const std::string& word, long long least,
                             long long most) {
    const long long value = parseInteger(option, word);
    if (value < least) {
        throw UsageError(option + ": must be at least " + std::to_string(least) + ", found " +
                         quoted(word));
    }
    if (value > most) {
        throw UsageError(option + ": must be at most " + std::to_string(most) + ", found " +
                         quoted(word));
    }
    return value;
}

float parseFloatAbove(const std::string& option, const std::string& word, float least,
                      bool strictly) {
    const float value = parseFloat(option, word);
    if (strictly ? !(value > least) : !(value >= least)) {
        throw UsageError(option + ": must be " + (strictly ? "greater than " : "at least ") +
                         formatNumber(least) + ", found " + quoted(word));
    }
    return value;
}

std::string parseFileName(const std::string& option, const std::string& word) {
    if (word.empty()) {
        throw UsageError(option + ": expected a file name, found \"\"");
    }
    return word;
}

std::string formatNumber(double value, int significantDigits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", significantDigits, value);
    return text;
}

std::string formatVector(const Vector3& v) {
    return formatNumber(v.x) + " " + formatNumber(v.y) + " " + formatNumber(v.z);
}

std::string quoted(const std::string& word) {
    return "\"" + word + "\"";
}

// One declared option: the words of its last occurrence, the first fault met while it was
// parsed, and the converter of its words.
struct CommandOptions::Entry {
    std::string name;
    CLI::Option* option = nullptr;
    std::vector<std::string> valueNames;
    std::vector<std::string> words;
    std::string fault;
    std::function<void(const std::vector<std::string>&)> convert;

    // Called by CLI11 once per occurrence, with the words it took (1 to valueNames.size()).
    bool take(const CLI::results_t& taken) {
        if (taken.size() < valueNames.size() && fault.empty()) {
            fault = name + ": missing " + valueNames[taken.size()];
        }
        words = taken;
        return true;
    }
};

CommandOptions::CommandOptions(CLI::App& command) : command_(command) {}

CommandOptions::~CommandOptions() = default;

CommandOptions::Entry& CommandOptions::add(const std::string& name) {
    entries_.push_back(std::make_unique<Entry>());
    entries_.back()->name = name;
    return *entries_.back();
}

void CommandOptions::positional(const std::string& name, const std::string& description,
                                std::string& target, const std::string& missing) {
    Entry& entry = add(name);
    entry.option = command_.add_option(name, target, description)->type_name("");
    entry.convert = [&target, missing](const std::vector<std::string>&) {
        if (target.empty()) {
            throw UsageError(missing);
        }
    };
}

void CommandOptions::value(const std::string& name, const std::string& valueName,
                           const std::string& description,
                           std::function<void(const std::string&, const std::string&)> convert,
                           bool required) {
    Entry& entry = add(name);
    entry.valueNames = {valueName};
    Entry* const held = &entry;
    entry.option = command_
                       .add_option(
                           name, [held](const CLI::results_t& taken) { return held->take(taken); },
                           description)
                       ->expected(1, 1)
                       ->option_text(valueName)
                       ->trigger_on_parse()
                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                       ->required(required);
    entry.convert = [name, convert](const std::vector<std::string>& words) {
        convert(name, words.front());
    };
}

void CommandOptions::vector(const std::string& name, const std::string& description,
                            Vector3& target) {
    Entry& entry = add(name);
    entry.valueNames = {"X", "Y", "Z"};
    Entry* const held = &entry;
    entry.option = command_
                       .add_option(
                           name, [held](const CLI::results_t& taken) { return held->take(taken); },
                           description)
                       ->expected(1, 3)
                       ->option_text("X Y Z")
                       ->trigger_on_parse()
                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    entry.convert = [name, &target](const std::vector<std::string>& words) {
        target = Vector3(parseFloat(name, words[0]), parseFloat(name, words[1]),
                         parseFloat(name, words[2]));
    };
}

void CommandOptions::flag(const std::string& name, const std::string& description, bool& target) {
    Entry& entry = add(name);
    entry.option = command_.add_flag(name, target, description);
}

bool CommandOptions::given(const std::string& name) const {
    const CLI::Option* option = command_.get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

void CommandOptions::convert() const {
    for (const auto& entry : entries_) {
        if (!entry->fault.empty()) {
            throw UsageError(entry->fault);
        }
    }
    for (const auto& entry : entries_) {
        const bool hasValues = !entry->valueNames.empty();
        if (entry->convert && (!hasValues || entry->option->count() > 0)) {
            entry->convert(entry->words);
        }
    }
}

void describeCommand(CLI::App& command, const std::string& description, const std::string& footer) {
    // The formatter adds its own line end after the description.
    std::string text = description;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    command.description(text);
    command.footer(footer);
}

int finishOutput(const std::string& toolName, int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::cerr << toolName << ": error: writing standard output failed\n";
        return exitUsage;
    }
    return status;
}

int runTool(const ToolDefinition& tool, int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        words.push_back(spellNegativeFraction(argv[i]));
    }
    // Asked alone, as before a command it would be a word left over.
    if (words.size() == 1 && words.front() == "--version") {
        std::printf("%s %s\n", tool.name.c_str(), MINIGOLF_VERSION);
        return finishOutput(tool.name, 0);
    }
    const bool helpAsked = std::any_of(words.begin(), words.end(), isHelpWord);
    const std::string fault = commandWordFault(tool, words);
    if (!fault.empty()) {
        std::cerr << tool.name << ": error: " << fault << "\n";
        return exitUsage;
    }
    std::string failedCommand;
    try {
        std::map<std::string, std::string> summaries;
        for (const ToolCommand& command : tool.commands) {
            summaries[command.name] = command.summary;
        }
        CLI::App app(tool.description, tool.name);
        app.formatter(std::make_shared<ToolHelpFormatter>(summaries));
        app.option_defaults()->group("options");
        app.set_help_flag("-h,--help", "this text");
        app.footer(tool.footer);
        // One command a line: once it is chosen, another command's name is no command but a
        // word left over (see rejectLeftovers).
        app.require_subcommand(0, 1);
        std::vector<std::function<int()>> runs;
        for (const ToolCommand& command : tool.commands) {
            CLI::App* sub = app.add_subcommand(command.name, command.summary);
            sub->group("commands");
            sub->option_defaults()->group("options");
            sub->set_help_flag("-h,--help", "this text");
            sub->allow_extras();
            runs.push_back(command.define(*sub));
        }
        failedCommand = words.front();
        try {
            // CLI11 takes the words last to first.
            std::vector<std::string> reversed(words.rbegin(), words.rend());
            app.parse(reversed);
        } catch (const CLI::CallForHelp&) {
            return printHelp(app, tool.name);
        } catch (const CLI::ParseError& error) {
            if (helpAsked) {
                return printHelp(app, tool.name);
            }
            CLI::App* command = chosenCommand(app);
            throw UsageError(command != nullptr ? parseFaultMessage(*command, error)
                                                : std::string(error.what()));
        }
        CLI::App* command = chosenCommand(app);
        rejectLeftovers(tool, *command);
        for (std::size_t i = 0; i < tool.commands.size(); ++i) {
            if (tool.commands[i].name == command->get_name()) {
                return runs[i]();
            }
        }
    } catch (const UsageError& error) {
        const std::string who = failedCommand.empty() ? tool.name : tool.name + " " + failedCommand;
        std::cerr << tool.name << ": error: " << error.what() << " (see " << who << " --help)\n";
    } catch (const std::exception& error) {
        // Only an allocation can throw here: an input too big for the memory.
        std::cerr << tool.name << ": error: " << error.what() << "\n";
    }
    return exitUsage;
}
