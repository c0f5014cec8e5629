#include "ToolCommandLine.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

CLI::Validator finite(RealRange range) {
    auto check = [range](std::string& word) -> std::string {
        const bool blank = word.empty() || std::isspace(static_cast<unsigned char>(word[0])) != 0;
        char* end = nullptr;
        const double read = blank ? 0.0 : std::strtod(word.c_str(), &end);
        if (blank || *end != '\0') {
            return "expected a number, found " + ::quoted(word);
        }
        // nan, inf and overflow alike; an underflow to a tiny or zero value is taken as read.
        if (!std::isfinite(read) ||
            (range.inFloat && std::fabs(read) > std::numeric_limits<float>::max())) {
            return "expected a finite number" + std::string(range.inFloat ? " in a float" : "") +
                   ", found " + ::quoted(word);
        }
        const double value = range.inFloat ? double(static_cast<float>(read)) : read;
        if (range.strictly ? !(value > range.least) : !(value >= range.least)) {
            return std::string(range.strictly ? "must be greater than " : "must be at least ") +
                   formatNumber(range.least) + ", found " + ::quoted(word);
        }
        if (!(value <= range.most)) {
            return "must be at most " + formatNumber(range.most) + ", found " + ::quoted(word);
        }
        char exact[40];
        std::snprintf(exact, sizeof exact, "%a", value);
        word = exact;
        return "";
    };
    return CLI::Validator(check, "", "finite");
}

CLI::Validator whole() {
    auto check = [](std::string& word) -> std::string {
        const std::size_t digits = word.find_first_not_of("+-") == 1 ? 1 : 0;
        if (word.size() == digits || word.find_first_not_of("0123456789", digits) != word.npos) {
            return "expected a whole number, found " + ::quoted(word);
        }
        errno = 0;
        const long long value = std::strtoll(word.c_str(), nullptr, 10);
        if (errno == ERANGE) {
            return ::quoted(word) + " is out of range";
        }
        word = std::to_string(value);
        return "";
    };
    return CLI::Validator(check, "", "whole");
}

CLI::Validator fileName() {
    return CLI::Validator(
        [](const std::string& word) { return word.empty() ? "expected a file name" : ""; }, "",
        "file name");
}

void describeTool(CLI::App& app, const std::string& footer) {
    app.set_version_flag("--version", app.get_name() + " " + MINIGOLF_VERSION);
    app.footer(footer);
    // As the tools always did: an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // The column of option names in the help: most fit, with their values, before it.
    app.get_formatter()->column_width(28);
}

void requireCommand(CLI::App& app) {
    app.require_subcommand(0, 1);
    app.callback([&app] {
        if (app.get_subcommands().empty()) {
            throw CLI::RequiredError("COMMAND");
        }
    });
}

int commandLineFault(const CLI::App& app, const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) { // --help, --version
        return finishOutput(app.get_name(), app.exit(error));
    }
    std::string what = error.what();
    for (char& c : what) {
        c = c == '\n' ? ' ' : c;
    }
    std::string command = app.get_name();
    for (const CLI::App* chosen : app.get_subcommands()) {
        command += " " + chosen->get_name();
    }
    std::cerr << app.get_name() << ": error: " << what << " (see " << command << " --help)\n";
    return exitUsage;
}

int runCommand(const std::string& toolName, const std::function<int()>& run) {
    try {
        return run();
    } catch (const std::exception& error) {
        std::cerr << toolName << ": error: " << error.what() << "\n";
        return exitUsage;
    }
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

int finishOutput(const std::string& toolName, int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::cerr << toolName << ": error: writing standard output failed\n";
        return exitUsage;
    }
    return status;
}
