#include "GenerateCourse.h"

#include "CourseGenerator.h"
#include "ToolCommandLine.h"
#include "ToolFile.h"
#include "ToolProgress.h"

#include <iostream>

namespace {

// The course, made as it is written: the largest rooms allowed are tens of millions of
// triangles, gigabytes as text.
void writeGenerated(const GenerateOptions& options, std::ostream& out) {
    CourseTextWriter writer(out);
    if (options.kind == "terrain") {
        generateTerrain(options.cells, options.tiles, writer);
    } else if (options.kind == "awkward") {
        generateAwkward(options.triangles, options.seed, writer);
    } else {
        generateRoom(options.cells, options.tiles, writer);
    }
    writer.finish();
}

} // namespace

int generateCourse(const GenerateOptions& options) {
    if (!writeOutputFile(options.output,
                         [&options](std::ostream& out) { writeGenerated(options, out); })) {
        return exitUsage;
    }
    if (options.sweepsOutput.empty()) {
        return 0;
    }
    // The sweeps are drawn in the course as the program reads it back from the file.
    LoadedCourse course;
    if (!loadCourse(options.output, course)) {
        return exitUsage;
    }
    const std::vector<Sweep> sweeps = generateSweeps(course, options.sweeps, options.sweepLength,
                                                     options.clearance, options.seed);
    if (static_cast<int>(sweeps.size()) < options.sweeps) {
        std::cerr << "minigolf-course: warning: generate: only " << sweeps.size() << " of "
                  << options.sweeps << " sweeps found a start " << options.clearance
                  << " from every triangle\n";
    }
    return writeOutputFile(options.sweepsOutput, sweepsText(sweeps)) ? 0 : exitUsage;
}
