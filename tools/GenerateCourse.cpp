#include "tools/GenerateCourse.h"

#include "tools/CourseGenerator.h"
#include "tools/ToolCommandLine.h"
#include "tools/ToolCourse.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

bool writeText(const std::string& fileName, const std::string& text) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (out) {
        out << text;
        out.close();
    }
    if (!out) {
        std::cerr << "minigolf-course generate: cannot write " << fileName << " ("
                  << std::strerror(errno) << ")\n";
        return false;
    }
    return true;
}

GeneratedCourse generated(const GenerateOptions& options) {
    if (options.kind == "terrain") {
        return generateTerrain(options.cells, options.tiles);
    }
    if (options.kind == "awkward") {
        return generateAwkward(options.triangles, options.seed);
    }
    return generateRoom(options.cells, options.tiles);
}

} // namespace

int generateCourse(const GenerateOptions& options) {
    if (!writeText(options.output, generatedCourseText(generated(options)))) {
        return exitUsage;
    }
    if (options.sweeps == 0) {
        return 0;
    }
    // The sweeps are drawn in the course as the program reads it back from the file.
    Course course;
    if (!loadCourse(options.output, course)) {
        return exitUsage;
    }
    const std::vector<Sweep> sweeps = generateSweeps(
        course.boxes, options.sweeps, options.sweepLength, options.clearance, options.seed);
    if (static_cast<int>(sweeps.size()) < options.sweeps) {
        std::cerr << "minigolf-course generate: warning: only " << sweeps.size() << " of "
                  << options.sweeps << " sweeps found a start " << options.clearance
                  << " from every triangle\n";
    }
    return writeText(options.sweepsOutput, sweepsText(sweeps)) ? 0 : exitUsage;
}
