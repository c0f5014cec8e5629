#pragma once

// The command line of the asset generators (make-course, make-ball-texture): file names only.
// --help (or -h) prints the usage on standard output, --version the tool's name and version; "--"
// ends the options, so that a file name may start with "-"; any other word starting with "-" is an
// unknown option. A lone "-" is a file name, as it always was.

#include <cstddef>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct GeneratorCommandLine {
    std::vector<std::string> fileNames;
    // Set when the process is to end at once: 0 after the usage was asked for and printed; 1
    // when printing it failed (a closed pipe, a full disk), the generators' status for any
    // output they could not write; 2 after a complaint and the usage on standard error.
    std::optional<int> exitStatus;
};

// `usage` is the whole help text, its first line "usage: ...".
inline GeneratorCommandLine readGeneratorCommandLine(int argc, char** argv, std::string_view tool,
                                                     std::string_view usage,
                                                     std::size_t fewestFileNames,
                                                     std::size_t mostFileNames) {
    GeneratorCommandLine line;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view word = argv[index];
        const bool isOption = !optionsEnded && word.size() > 1 && word.front() == '-';
        if (isOption && word == "--") {
            optionsEnded = true;
        } else if (isOption && (word == "--help" || word == "-h")) {
            std::cout << usage << std::flush;
            line.exitStatus = 0;
            if (!std::cout) {
                std::cerr << tool << ": error: writing standard output failed\n";
                line.exitStatus = 1;
            }
            return line;
        } else if (isOption && word == "--version") {
            std::cout << tool << " " << MINIGOLF_VERSION << std::endl;
            line.exitStatus = std::cout ? 0 : 1;
            return line;
        } else if (isOption) {
            std::cerr << tool << ": error: unknown option " << word << " (see " << tool
                      << " --help)\n";
            line.exitStatus = 2;
            return line;
        } else {
            line.fileNames.emplace_back(word);
        }
    }
    if (line.fileNames.size() < fewestFileNames || line.fileNames.size() > mostFileNames) {
        std::cerr << tool << ": error: "
                  << (line.fileNames.size() < fewestFileNames ? "too few" : "too many")
                  << " file names (see " << tool << " --help)\n";
        line.exitStatus = 2;
    }
    return line;
}
