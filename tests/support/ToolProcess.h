#pragma once

#include "support/ScratchDirectory.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// Runs a tool as a process through the shell and collects what it printed, for the tests of the
// command-line tools.

struct ToolRun {
    int status = -1; // exit status, or -1 when the tool did not exit normally (a crash)
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string writeWholeFile(const ScratchDirectory& scratch, const std::string& name,
                                  const std::string& text) {
    const std::string path = scratch.path(name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

inline std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (const char ch : word) {
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return quoted + "'";
}

// `program` with `arguments`, each quoted for the shell; `prefix` goes before it unquoted (a
// wrapper such as "timeout 2").
inline std::string commandLine(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const std::string& prefix = "") {
    std::string command = prefix;
    command += shellQuoted(program);
    for (const std::string& argument : arguments) {
        command += ' ';
        command += shellQuoted(argument);
    }
    return command;
}

// Runs the shell command with standard error in a scratch file; standard output is read from a
// pipe until the command ends.
inline ToolRun runCommand(const ScratchDirectory& scratch, const std::string& command) {
    const std::string errorFile = scratch.path("stderr.txt").string();
    ToolRun run;
    FILE* pipe = popen((command + " 2>" + shellQuoted(errorFile)).c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    std::array<char, 4096> chunk{};
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        run.out.append(chunk.data(), got);
    }
    const int waitStatus = pclose(pipe);
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    run.err = readWholeFile(errorFile);
    return run;
}

inline ToolRun runTool(const ScratchDirectory& scratch, const std::string& program,
                       const std::vector<std::string>& arguments) {
    return runCommand(scratch, commandLine(program, arguments));
}

inline std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}
