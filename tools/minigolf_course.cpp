// minigolf-course: tools for course authors that work on course files as a whole: import a
// model made in a 3D editor as a course, export a course as a model, check a course, generate
// courses for measurements. Each command's usage (minigolf-course COMMAND --help) says what it
// reads and writes.
#include "GenerateCourse.h"
#include "ObjExport.h"
#include "ObjImport.h"
#include "ToolCommandLine.h"
#include "lint/CourseLint.h"

#include <CLI/CLI.hpp>

#include <limits>
#include <string>

namespace {

const std::string toolName = "minigolf-course";

// The course file a command writes, -o COURSE.txt.
void addOutput(CLI::App& command, std::string& output, const std::string& file,
               const std::string& description) {
    command.add_option("-o", output, description)->type_name(file)->required()->check(fileName());
}

CLI::App* addImport(CLI::App& app, ImportOptions& values) {
    CLI::App* command = app.add_subcommand(
        "import", "a Wavefront OBJ model (with its MTL materials) as a course file");
    command
        ->add_option("MODEL.obj", values.model,
                     "the Wavefront OBJ model (its MTL files are looked for in its folder)")
        ->required();
    addOutput(*command, values.output, "COURSE.txt", "the course file to write");
    CLI::Option* scale = command
                             ->add_option("--scale", values.scale,
                                          "course units per OBJ unit, greater than 0 (default 1)")
                             ->type_name("S")
                             ->transform(finite({.least = 0.0, .strictly = true}));
    command
        ->add_option("--box-triangles", values.boxTriangles,
                     "most triangles in one box, at least 1 (default 256)")
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(1LL, std::numeric_limits<long long>::max(), "POSITIVE"));
    command->add_flag("--flip", values.flip,
                      "reverse every face's winding: its back becomes the side struck");
    command
        ->add_option_function<std::string>(
            "--up", [&values](const std::string& up) { values.zUp = up == "z"; },
            "the model's up axis; a Z-up model is turned so +z is up (default y)")
        ->check(CLI::IsMember({"y", "z"}));
    command
        ->add_flag("--fit", values.fit,
                   "scale and move the model into the play area (instead of --scale)")
        ->excludes(scale);
    command->footer(
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
        "on standard error; past five of a kind, the rest are counted in one line. A number\n"
        "that is not a finite float where a coordinate or a colour is expected, or a vertex\n"
        "index beyond the model's vertices, is an error\n"
        "  MODEL.obj:LINE: error: ...   (or MATERIALS.mtl:LINE: error: ...)\n"
        "A material file that cannot be read (missing, a directory, a pipe, a device, over\n"
        "16 MiB) is a warning, and its materials' faces are light grey; a model over 128 MiB is\n"
        "refused. Nothing is printed on standard output.\n"
        "--up z turns a model whose up is +z a quarter turn about x, (x, y, z) -> (x, z, -y),\n"
        "so that its +z is the course's +y (a turn, not a mirror: faces keep their sides).\n"
        "--fit fits the model to the program's play area, course units: the ball starts at\n"
        "(20, 0, 0) with radius 0.6, a ball that comes to rest is put back at x and z from -20 to\n"
        "20 at height 10, and the camera circles the vertical axis at radius 40, height 15. The\n"
        "model is scaled alike along every axis so that its larger horizontal side spans -23 to\n"
        "23 (as the bundled room does, inside the camera's orbit), centred on the vertical axis,\n"
        "with its lowest point at height -2 (2 below the start). A model whose shorter side then\n"
        "leaves respawn places outside it is imported with a warning; its height is its own.\n"
        "Exit status: 0 written; 2 bad arguments, an unreadable model (or one without any face\n"
        "with an area) or an unwritable course.");
    return command;
}

CLI::App* addExport(CLI::App& app, ExportOptions& values) {
    CLI::App* command =
        app.add_subcommand("export", "a course file as a Wavefront OBJ model with an MTL file");
    command->add_option("COURSE.txt", values.course, "the course file")->required();
    addOutput(*command, values.output, "MODEL.obj",
              "the OBJ file to write; MODEL.mtl is written beside it");
    command->footer(
        "Writes a course as a Wavefront OBJ model with its materials in an MTL file beside it, so\n"
        "that any 3D viewer shows it: one group and one material per box (named box_0, box_1,\n"
        "... in the course's order), the material's diffuse and ambient colour the box's colour\n"
        "and its dissolve the box's alpha. One course unit is one OBJ unit, and every number\n"
        "reads back as the same float, so that import gives back the same triangles (with the\n"
        "default scale, and boxes of at most 256 triangles in the course). Vertices shared by\n"
        "triangles are written once; a box without triangles keeps its material only. Both\n"
        "files are written to temporary files beside them and renamed only when both are\n"
        "complete, so a failed export leaves neither changed; MODEL.mtl is replaced if there,\n"
        "and no other file is touched.\n"
        "Exit status: 0 written; 2 bad arguments, an unreadable course or an unwritable model.");
    return command;
}

CLI::App* addGenerate(CLI::App& app, GenerateOptions& values) {
    CLI::App* command = app.add_subcommand(
        "generate", "a generated room, terrain or awkward course, with random sweeps");
    command->add_option("KIND", values.kind, "room, terrain or awkward")
        ->required()
        ->check(CLI::IsMember({"room", "terrain", "awkward"}));
    addOutput(*command, values.output, "COURSE.txt", "the course file to write");
    const auto count = [command](const std::string& name, const std::string& value, int& target,
                                 int least, int most, const std::string& description) {
        return command->add_option(name, target, description)
            ->type_name(value)
            ->transform(whole())
            ->check(CLI::Range(least, most));
    };
    count("--cells", "N", values.cells, 1, 2000,
          "room, terrain: cells along a wall's side, 1 to 2000 (default 29)");
    count("--tiles", "K", values.tiles, 1, 2000,
          "room, terrain: boxes along a wall's side, 1 to N (default 2)");
    count("--triangles", "N", values.triangles, 1, 10000000,
          "awkward: triangles, 1 to 10000000 (default 3000)");
    command
        ->add_option("--seed", values.seed,
                     "seed of the awkward triangles and of the sweeps (default 1)")
        ->type_name("N")
        ->transform(whole())
        ->check(CLI::Range(0u, std::numeric_limits<unsigned>::max()));
    CLI::Option* sweeps = count("--sweeps", "N", values.sweeps, 0, 10000000,
                                "random sweeps to write to --sweeps-file, 0 to 10000000");
    command
        ->add_option("--sweeps-file", values.sweepsOutput,
                     "where the sweeps go, one a line: FX FY FZ TX TY TZ")
        ->type_name("SWEEPS.txt")
        ->check(fileName())
        ->needs(sweeps);
    // The longest sweep, course units: a start lies within the course, whose coordinates are at
    // most a fifth of the largest float (file numbers times 0.2), so its end stays a finite float.
    constexpr float longestSweep = std::numeric_limits<float>::max() / 2.0f;
    command
        ->add_option("--sweep-length", values.sweepLength,
                     "length of every sweep, course units, 0 to " + formatNumber(longestSweep) +
                         " (default 2)")
        ->type_name("L")
        ->transform(finite({.least = 0.0, .most = longestSweep, .inFloat = true}));
    command
        ->add_option("--clearance", values.clearance,
                     "least distance of a sweep's start from every triangle (default 1)")
        ->type_name("C")
        ->transform(finite({.least = 0.0, .inFloat = true}));
    command->callback([&values] {
        if (values.kind != "awkward" && values.tiles > values.cells) {
            throw CLI::ValidationError("--tiles",
                                       "at most --cells (" + std::to_string(values.cells) + ")");
        }
        if (values.sweeps > 0 && values.sweepsOutput.empty()) {
            throw CLI::ValidationError("--sweeps", "needs --sweeps-file");
        }
    });
    command->footer(
        "Writes a generated course for measuring and testing the contact search:\n"
        "  room     the room of 40 x 20 x 40 course units (x and z from -20 to 20, y from -10 to\n"
        "           10) with six inward walls, each an N x N grid of cells of two triangles, cut\n"
        "           into K x K boxes (N, K = 9, 1; 29, 2; 91, 4; 289, 12 give about 1k, 10k, 100k\n"
        "           and 1M triangles)\n"
        "  terrain  the same room with a floor of smooth bumps up to 2 units high\n"
        "  awkward  triangles of awkward kinds (edges within 1e-6 to 1e-3 rad of an axis,\n"
        "           slivers, huge, tiny and degenerate ones) in boxes of 64\n"
        "With --sweeps, also random sweeps (directions uniform on the sphere, starts at least C\n"
        "from every triangle of the course as the reader reads it back) for minigolf-sim sweep.\n"
        "Exit status: 0 written; 2 bad arguments or an unwritable file.");
    return command;
}

CLI::App* addLint(CLI::App& app, LintOptions& values) {
    CLI::App* command =
        app.add_subcommand("lint", "static checks of a course file, one line per finding");
    command->add_option("COURSE.txt", values.course, "the course file")->required();
    command->add_flag("--closed", values.closed,
                      "open edges and inconsistent winding are errors, not warnings");
    command->footer(
        "Checks a course file without flying a ball. Each finding is one line on standard\n"
        "output at the first number of the triangle it concerns, in the order of the file:\n"
        "  COURSE.txt:LINE:COLUMN: error: ...\n"
        "  COURSE.txt:LINE:COLUMN: warning: ...\n"
        "and a last line counts them: COURSE.txt: 2 errors, 3 warnings in 258 triangles.\n"
        "Triangles are numbered from 0 in the file's order, their vertices 0 to 2, and points\n"
        "are in course units (the file's numbers times 0.2). The checks:\n"
        "- degenerate triangle (error): zero area, or a normal that overflows a float; the ball\n"
        "  passes through it, so the checks below leave it out.\n"
        "- repeated triangle (warning): the same three vertices in the same cyclic order as an\n"
        "  earlier one, which is named. A copy lets no ball through and leaves a bounce off its\n"
        "  face as it was (normals touched at once are summed and normalised); it only weighs\n"
        "  its face twice where a ball strikes it with a neighbour, and costs its tests. The\n"
        "  checks below leave it out.\n"
        "- open edge: no other triangle runs along the edge, so a ball can leave there; named by\n"
        "  its two vertices. An edge that lies along its whole length on other triangles (within\n"
        "  0.001 units) is closed by them: an obstacle standing on the floor or against a wall,\n"
        "  or smaller triangles meeting a larger one's edge (a T-junction).\n"
        "- inconsistent winding: more triangles run an edge one way than the other way; each\n"
        "  one without a partner running the other way is named with the first that runs it\n"
        "  the same way. One of the two faces the wrong way.\n"
        "  Open edges and inconsistent winding are warnings, or errors with --closed.\n"
        "- start inside (error): the ball's start (20, 0, 0), or a place where a ball that\n"
        "  comes to rest is put back (whole x and z from -20 to 20 at height 10), closer than\n"
        "  the ball's radius 0.6 to a triangle; named with the distance at the nearest one.\n"
        "- course facing outward (error): from the start and the respawn places every 5 units,\n"
        "  rays in 128 directions strike mostly (nine in ten) the backs of the triangles whose\n"
        "  every edge another triangle runs too, in every direction along the axes; named at\n"
        "  the first triangle struck from behind. Reverse the model's faces (import --flip).\n"
        "Edges match by the exact floats of their ends, as the course reader builds them.\n"
        "Exit status: 0 no error found; 1 an error found; 2 bad arguments or an unreadable\n"
        "course (the reader's message on standard error, nothing on standard output).");
    return command;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Tools for course authors: course files to and from 3D models, their checks, and\n"
                 "generated courses for measurements.",
                 toolName);
    describeTool(app,
                 "'minigolf-course COMMAND --help' lists the options of a command.\n"
                 "Exit status: 0 done; 1 a check found a fault in the course; 2 bad arguments, an\n"
                 "unreadable input or an unwritable output.");
    requireCommand(app);
    ImportOptions import;
    ExportOptions exportOptions;
    LintOptions lint;
    GenerateOptions generate;
    const CLI::App* importCommand = addImport(app, import);
    const CLI::App* exportCommand = addExport(app, exportOptions);
    const CLI::App* lintCommand = addLint(app, lint);
    addGenerate(app, generate);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return commandLineFault(app, error);
    }
    return runCommand(toolName, [&] {
        return importCommand->parsed()   ? importObj(import)
               : exportCommand->parsed() ? exportObj(exportOptions)
               : lintCommand->parsed()   ? lintCourse(lint)
                                         : generateCourse(generate);
    });
}
