// make-course [--help] [OUTPUT]: writes the bundled course (assets/clobox.txt) to OUTPUT, or to
// standard output without an argument. The course itself is described in CourseModel.
#include "CourseModel.h"
#include "ToolCommandLine.h"
#include "ToolFile.h"

#include <CLI/CLI.hpp>

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
    return writeOutputFile(output, text) ? 0 : 1;
}
