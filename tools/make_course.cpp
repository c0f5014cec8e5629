// make-course [--help] [OUTPUT]: writes the bundled course (assets/clobox.txt) to OUTPUT, or to
// standard output without an argument. The course itself is described in CourseModel.
#include "CourseModel.h"
#include "ToolCommandLine.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    CLI::App app("Writes the bundled course (assets/clobox.txt) to the file OUTPUT, or to "
                 "standard output.",
                 "make-course");
    describeTool(app, "\"--\" ends the options, so that OUTPUT may start with \"-\".");
    std::string output;
    app.add_option("OUTPUT", output, "the course file to write")->check(fileName());
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return commandLineFault(app, error);
    }
    const std::string text = courseFileText(buildCourseModel());
    if (output.empty()) {
        std::cout << text << std::flush;
        return std::cout ? 0 : 1;
    }
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
