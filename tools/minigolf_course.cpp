// minigolf-course: tools for course authors that work on course files as a whole: import a
// model made in a 3D editor as a course, export a course as a model, check a course, generate
// courses for measurements. Each command's usage (minigolf-course COMMAND --help) says what it
// reads and writes.
#include "CourseLint.h"
#include "GenerateCourse.h"
#include "ObjExport.h"
#include "ObjImport.h"
#include "ToolCommandLine.h"

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
        [values](const std::string& o, const std::string& w) {
            values->output = parseFileName(o, w);
        },
        true);
    options->value("--scale", "S", "course units per OBJ unit, greater than 0 (default 1)",
                   [values](const std::string& o, const std::string& w) {
                       values->scale = parseRealAbove(o, w, 0.0, true);
                   });
    options->value("--box-triangles", "N", "most triangles in one box, at least 1 (default 256)",
                   [values](const std::string& o, const std::string& w) {
                       values->boxTriangles =
                           parseIntegerWithin(o, w, 1, std::numeric_limits<long long>::max());
                   });
    options->flag("--flip", "reverse every face's winding: its back becomes the side struck",
                  values->flip);
    options->value("--up", "y|z",
                   "the model's up axis; a Z-up model is turned so +z is up (default y)",
                   [values](const std::string& o, const std::string& w) {
                       if (w != "y" && w != "z") {
                           throw UsageError(o + ": expected y or z, found " + quoted(w));
                       }
                       values->zUp = w == "z";
                   });
    options->flag("--fit", "scale and move the model into the play area (instead of --scale)",
                  values->fit);
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
        "leaves respawn places outside it is imported with a warning; its height is its own.\n",
        "Exit status: 0 written; 2 bad arguments, an unreadable model (or one without any face\n"
        "with an area) or an unwritable course.\n");
    return [options, values] {
        options->convert();
        if (values->fit && options->given("--scale")) {
            throw UsageError("--fit: chooses the scale itself; leave out --scale");
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
        [values](const std::string& o, const std::string& w) {
            values->output = parseFileName(o, w);
        },
        true);
    describeCommand(
        command,
        "Writes a course as a Wavefront OBJ model with its materials in an MTL file beside it, so\n"
        "that any 3D viewer shows it: one group and one material per box (named box_0, box_1,\n"
        "... in the course's order), the material's diffuse and ambient colour the box's colour\n"
        "and its dissolve the box's alpha. One course unit is one OBJ unit, and every number\n"
        "reads back as the same float, so that import gives back the same triangles (with the\n"
        "default scale, and boxes of at most 256 triangles in the course). Vertices shared by\n"
        "triangles are written once; a box without triangles keeps its material only. Both\n"
        "files are written to temporary files beside them and renamed only when both are\n"
        "complete, so a failed export leaves neither changed; MODEL.mtl is replaced if there,\n"
        "and no other file is touched.\n",
        "Exit status: 0 written; 2 bad arguments, an unreadable course or an unwritable model.\n");
    return [options, values] {
        options->convert();
        return exportObj(*values);
    };
}

// The longest sweep, course units: a start lies within the course, whose coordinates are at
// most a fifth of the largest float (file numbers times 0.2), so its end stays a finite float.
constexpr float longestSweep = std::numeric_limits<float>::max() / 2.0f;

// The checks of generate's options against each other.
void checkGenerate(const CommandOptions& options, const GenerateOptions& values) {
    if (values.kind != "room" && values.kind != "terrain" && values.kind != "awkward") {
        throw UsageError("KIND: expected room, terrain or awkward, found " + quoted(values.kind));
    }
    if (values.kind != "awkward" && values.tiles > values.cells) {
        throw UsageError("--tiles: at most --cells (" + std::to_string(values.cells) + ")");
    }
    if (values.sweeps > 0 && values.sweepsOutput.empty()) {
        throw UsageError("--sweeps: needs --sweeps-file");
    }
    if (options.given("--sweeps-file") && !options.given("--sweeps")) {
        throw UsageError("--sweeps-file: needs --sweeps N, the number of sweeps to write");
    }
}

std::function<int()> defineGenerate(CLI::App& command) {
    auto options = std::make_shared<CommandOptions>(command);
    auto values = std::make_shared<GenerateOptions>();
    options->positional("KIND", "room, terrain or awkward", values->kind,
                        "missing the kind of course");
    options->value(
        "-o", "COURSE.txt", "the course file to write",
        [values](const std::string& o, const std::string& w) {
            values->output = parseFileName(o, w);
        },
        true);
    options->value("--cells", "N",
                   "room, terrain: cells along a wall's side, 1 to 2000 (default 29)",
                   [values](const std::string& o, const std::string& w) {
                       values->cells = static_cast<int>(parseIntegerWithin(o, w, 1, 2000));
                   });
    options->value("--tiles", "K", "room, terrain: boxes along a wall's side, 1 to N (default 2)",
                   [values](const std::string& o, const std::string& w) {
                       values->tiles = static_cast<int>(parseIntegerWithin(o, w, 1, 2000));
                   });
    options->value("--triangles", "N", "awkward: triangles, 1 to 10000000 (default 3000)",
                   [values](const std::string& o, const std::string& w) {
                       values->triangles = static_cast<int>(parseIntegerWithin(o, w, 1, 10000000));
                   });
    options->value(
        "--seed", "N", "seed of the awkward triangles and of the sweeps (default 1)",
        [values](const std::string& o, const std::string& w) { values->seed = parseSeed(o, w); });
    options->value("--sweeps", "N", "random sweeps to write to --sweeps-file, 0 to 10000000",
                   [values](const std::string& o, const std::string& w) {
                       values->sweeps = static_cast<int>(parseIntegerWithin(o, w, 0, 10000000));
                   });
    options->value("--sweeps-file", "SWEEPS.txt",
                   "where the sweeps go, one a line: FX FY FZ TX TY TZ",
                   [values](const std::string& o, const std::string& w) {
                       values->sweepsOutput = parseFileName(o, w);
                   });
    options->value("--sweep-length", "L",
                   "length of every sweep, course units, 0 to " + formatNumber(longestSweep) +
                       " (default 2)",
                   [values](const std::string& o, const std::string& w) {
                       values->sweepLength = parseFloatAbove(o, w, 0.0f, false);
                       if (values->sweepLength > longestSweep) {
                           throw UsageError(o + ": must be at most " + formatNumber(longestSweep) +
                                            ", found " + quoted(w));
                       }
                   });
    options->value("--clearance", "C",
                   "least distance of a sweep's start from every triangle (default 1)",
                   [values](const std::string& o, const std::string& w) {
                       values->clearance = parseFloatAbove(o, w, 0.0f, false);
                   });
    describeCommand(
        command,
        "Writes a generated course for measuring and testing the contact search:\n"
        "  room     the room of 40 x 20 x 40 course units (x and z from -20 to 20, y from -10 to\n"
        "           10) with six inward walls, each an N x N grid of cells of two triangles, cut\n"
        "           into K x K boxes (N, K = 9, 1; 29, 2; 91, 4; 289, 12 give about 1k, 10k, 100k\n"
        "           and 1M triangles)\n"
        "  terrain  the same room with a floor of smooth bumps up to 2 units high\n"
        "  awkward  triangles of awkward kinds (edges within 1e-6 to 1e-3 rad of an axis,\n"
        "           slivers, huge, tiny and degenerate ones) in boxes of 64\n"
        "With --sweeps, also random sweeps (directions uniform on the sphere, starts at least C\n"
        "from every triangle of the course as the reader reads it back) for minigolf-sim sweep.\n",
        "Exit status: 0 written; 2 bad arguments or an unwritable file.\n");
    return [options, values] {
        options->convert();
        checkGenerate(*options, *values);
        return generateCourse(*values);
    };
}

std::function<int()> defineLint(CLI::App& command) {
    auto options = std::make_shared<CommandOptions>(command);
    auto values = std::make_shared<LintOptions>();
    options->positional("COURSE.txt", "the course file", values->course, "missing the course file");
    options->flag("--closed", "open edges and inconsistent winding are errors, not warnings",
                  values->closed);
    describeCommand(
        command,
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
        "Edges match by the exact floats of their ends, as the course reader builds them.\n",
        "Exit status: 0 no error found; 1 an error found; 2 bad arguments or an unreadable\n"
        "course (the reader's message on standard error, nothing on standard output).\n");
    return [options, values] {
        options->convert();
        return lintCourse(*values);
    };
}

} // namespace

int main(int argc, char** argv) {
    ToolDefinition tool;
    tool.name = toolName;
    tool.description =
        "Tools for course authors: course files to and from 3D models, their checks, and\n"
        "generated courses for measurements.";
    tool.footer =
        "'minigolf-course COMMAND --help' lists the options of a command.\n"
        "Exit status: 0 done; 1 a check found a fault in the course; 2 bad arguments, an\n"
        "unreadable input or an unwritable output.\n";
    tool.commands = {
        {"import", "a Wavefront OBJ model (with its MTL materials) as a course file", defineImport},
        {"export", "a course file as a Wavefront OBJ model with an MTL file", defineExport},
        {"lint", "static checks of a course file, one line per finding", defineLint},
        {"generate", "a generated room, terrain or awkward course, with random sweeps",
         defineGenerate},
    };
    return runTool(tool, argc, argv);
}
