// make-course [--help] [OUTPUT]: writes the bundled course (assets/clobox.txt) to OUTPUT, or to
// standard output without an argument. The course itself is described in CourseModel.
#include "CourseModel.h"
#include "GeneratorCommandLine.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

constexpr std::string_view usage =
    "usage: make-course [OUTPUT]\n"
    "Writes the bundled course (assets/clobox.txt) to the file OUTPUT, or to standard output.\n";

} // namespace

int main(int argc, char** argv) {
    const GeneratorCommandLine line =
        readGeneratorCommandLine(argc, argv, "make-course", usage, 0, 1);
    if (line.exitStatus) {
        return *line.exitStatus;
    }
    const std::string text = courseFileText(buildCourseModel());
    if (line.fileNames.empty()) {
        std::cout << text << std::flush;
        return std::cout ? 0 : 1;
    }
    const std::string& output = line.fileNames.front();
    std::ofstream out(output, std::ios::binary);
    if (!out) {
        std::cerr << output << ": error: cannot open for writing (" << std::strerror(errno)
                  << ")\n";
        return 1;
    }
    out << text;
    out.close();
    if (!out) {
        std::cerr << output << ": error: writing failed\n";
        return 1;
    }
    return 0;
}
