#pragma once

#include <sstream>
#include <string>
#include <vector>

// The lines of a tool's or the reader's output, without their line ends; a last line without
// one is still a line. No test framework needed, so the fuzz targets use it too.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}
