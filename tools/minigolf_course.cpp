// minigolf-course: tools for course authors that work on course files as a whole: import a
// model made in a 3D editor as a course, export a course as a model. Each command's usage
// (minigolf-course COMMAND --help) says what it reads and writes.
#include "tools/ObjExport.h"
#include "tools/ObjImport.h"
#include "tools/ToolCommandLine.h"

#include <limits>
#include <memory>
#include <string>

namespace {

const std::string toolName = "minigolf-course";

std::function<int()> defineImport(CLI::App& command) {
    auto options = std::make_shared<CommandOptions>(command);
    auto values = std::make_shared<ImportOptions>();
    options->positional("MODEL.obj",
                        "the Wavefront OBJ model (its MTL files are looked for in "
                        "its folder)",
                        values->model, "missing the model file");
    options->value(
        "-o", "COURSE.txt", "the course file to write",
        [values](const std::string&, const std::string& w) { values->output = w; }, true);
    options->value("--scale", "S", "course units per OBJ unit, greater than 0 (default 1)",
                   [values](const std::string& o, const std::string& w) {
                       values->scale = parseRealAbove(o, w, 0.0, true);
                   });
    options->value("--box-triangles", "N", "most triangles in one box, at least 1 (default 256)",
                   [values](const std::string& o, const std::string& w) {
                       values->boxTriangles =
                           parseIntegerWithin(o, w, 1, std::numeric_limits<long long>::max());
                   });
    describeCommand(
        command,
        "Reads a Wavefront OBJ model with its MTL materials and writes it as a course file.\n"
        "Faces of more than three corners are split into triangles with their winding kept:\n"
        "the side from which a face's corners run counter-clockwise (its front in the OBJ) is\n"
        "the side the ball strikes. Each material becomes boxes of at most N triangles, split at\n"
        "the median of the triangles' centres along their widest spread until each is small\n"
        "enough; without materials, each group or object does. A box's colour is its material's\n"
        "diffuse colour (Kd) with its dissolve (d) as alpha; faces without a material are light\n"
        "grey (0.8 0.8 0.8 1). One OBJ unit becomes S course units, and each coordinate is\n"
        "written as the shortest number that the course reader turns back into that float (times\n"
        "5, as the file holds it); a coordinate no file number gives exactly is written as its\n"
        "nearest neighbour, one float step away, and counted in a warning. Faces without area\n"
        "(and faces of fewer than three corners) are left out with a warning\n"
        "  MODEL.obj:LINE: warning: ...\n"
        "on standard error. Nothing is printed on standard output.\n",
        "Exit status: 0 written; 2 bad arguments, an unreadable model (or one without any face\n"
        "with an area) or an unwritable course.\n");
    return [options, values] {
        options->convert();
        if (values->output.empty()) {
            throw UsageError("-o: expected a file name, found \"\"");
        }
        return importObj(*values);
    };
}

std::function<int()> defineExport(CLI::App& command) {
    auto options = std::make_shared<CommandOptions>(command);
    auto values = std::make_shared<ExportOptions>();
    options->positional("COURSE.txt", "the course file", values->course, "missing the course file");
    options->value(
        "-o", "MODEL.obj", "the OBJ file to write; MODEL.mtl is written beside it",
        [values](const std::string&, const std::string& w) { values->output = w; }, true);
    describeCommand(
        command,
        "Writes a course as a Wavefront OBJ model with its materials in an MTL file beside it, so\n"
        "that any 3D viewer shows it: one group and one material per box (named box_0, box_1,\n"
        "... in the course's order), the material's diffuse and ambient colour the box's colour\n"
        "and its dissolve the box's alpha. One course unit is one OBJ unit, and every number\n"
        "reads back as the same float, so that import gives back the same triangles (with the\n"
        "default scale, and boxes of at most 256 triangles in the course). Vertices shared by\n"
        "triangles are written once; a box without triangles keeps its material only.\n",
        "Exit status: 0 written; 2 bad arguments, an unreadable course or an unwritable model.\n");
    return [options, values] {
        options->convert();
        if (values->output.empty()) {
            throw UsageError("-o: expected a file name, found \"\"");
        }
        return exportObj(*values);
    };
}

} // namespace

int main(int argc, char** argv) {
    ToolDefinition tool;
    tool.name = toolName;
    tool.description = "Tools for course authors: course files to and from 3D models.";
    tool.footer =
        "'minigolf-course COMMAND --help' lists the options of a command.\n"
        "Exit status: 0 done; 1 a check found a fault in the course; 2 bad arguments, an\n"
        "unreadable input or an unwritable output.\n";
    tool.commands = {
        {"import", "a Wavefront OBJ model (with its MTL materials) as a course file", defineImport},
        {"export", "a course file as a Wavefront OBJ model with an MTL file", defineExport},
    };
    return runTool(tool, argc, argv);
}
