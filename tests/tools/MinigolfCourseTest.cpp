// minigolf-course run as a process: OBJ models made by the tests imported as courses and read
// back with the program's own course reader, courses exported and imported again, and the
// faults it must refuse.
#include "physics/LoadedCourse.h"
#include "support/ScratchDirectory.h"
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string courseTool = MINIGOLF_COURSE;
const std::string simTool = MINIGOLF_SIM;
const std::string fixtures = FIXTURES_DIR;
const std::string assetsDir = ASSETS_DIR;

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory("minigolf-course-test");
    return directory;
}

std::string writeFile(const std::string& name, const std::string& text) {
    return writeWholeFile(scratch(), name, text);
}

ToolRun runCourseTool(const std::vector<std::string>& arguments) {
    return runTool(scratch(), courseTool, arguments);
}

// A course as the program's reader loads it; indexed only when read up to its "end".
LoadedCourse load(const std::string& file) {
    LoadedCourse course;
    std::ostringstream console;
    course.read(file, console);
    return course;
}

bool loaded(const LoadedCourse& course) {
    return course.index() != nullptr;
}

std::vector<float> colourOf(const CollisionBox& box) {
    return {box.colour(), box.colour() + 4};
}

// The OBJ's number as a float, and how far the course may lie from it: the course keeps the
// float the model gives (tinyobjloader's reading, which may differ from strtof by an ulp) unless
// no file number gives that float exactly, when it is one step away.
void expectNearModel(float course, const char* modelNumber) {
    const float model = std::strtof(modelNumber, nullptr);
    const float step = std::nextafter(std::fabs(model), INFINITY) - std::fabs(model);
    EXPECT_LE(std::fabs(course - model), 2.0f * step) << modelNumber;
}

void expectVertex(const Triangle* t, int v, const char* x, const char* y, const char* z) {
    SCOPED_TRACE("vertex " + std::to_string(v));
    expectNearModel(t->vertex(v)->x, x);
    expectNearModel(t->vertex(v)->y, y);
    expectNearModel(t->vertex(v)->z, z);
}

// Two materials; a quad; a pentagon (convex) by relative indices; a face without area; a face
// of two corners. Coordinates that no binary float holds exactly.
const char* const materialText = "newmtl red\nKd 0.9 0.1 0.1\nd 0.5\n\n"
                                 "newmtl green\nKd 0.1 0.7 0.2\n";
const char* const modelText = "mtllib parts.mtl\n"
                              "v 0.1 0 0.1\n"
                              "v 0.1 0 10.3\n"
                              "v 10.7 0 10.3\n"
                              "v 10.7 0 0.1\n"
                              "usemtl red\n"
                              "f 1 2 3 4\n" // line 7: normal (v1 - v0) x (v2 - v0) along +y
                              "v 0 5 -1.5\n"
                              "v 2 6.3 -1.5\n"
                              "v 4 5 -1.5\n"
                              "v 3 3 -1.5\n"
                              "v 1 3 -1.5\n"
                              "usemtl green\n"
                              "f -1 -2 -3 -4 -5\n" // line 14: counter-clockwise seen from +z
                              "f 1 2 1\n"          // line 15: no area
                              "f 3 4\n";           // line 16: two corners

TEST(MinigolfCourseImport, MaterialsBecomeBoxesWithTheFacesWindingAndColour) {
    writeFile("parts.mtl", materialText);
    const std::string model = writeFile("parts.obj", modelText);
    const std::string output = scratch().path("parts.txt").string();
    const ToolRun run = runCourseTool({"import", model, "-o", output});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> warnings = linesOf(run.err);
    ASSERT_EQ(warnings.size(), 2u) << run.err;
    EXPECT_NE(run.err.find(model + ":15: warning: the face has no area; left out"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(model + ":16: warning: a face of fewer than three corners"),
              std::string::npos)
        << run.err;

    const LoadedCourse course = load(output);
    ASSERT_TRUE(loaded(course));
    ASSERT_EQ(course.boxes().size(), 2u);
    ASSERT_EQ(course.triangles().size(), 5u);
    EXPECT_EQ(colourOf(course.boxes()[0]), (std::vector<float>{0.9f, 0.1f, 0.1f, 0.5f}));
    EXPECT_EQ(colourOf(course.boxes()[1]), (std::vector<float>{0.1f, 0.7f, 0.2f, 1.0f}));
    ASSERT_EQ(course.boxes()[0].triangleCount(), 2u);
    ASSERT_EQ(course.boxes()[1].triangleCount(), 3u);

    // The quad as a fan from its first corner, (1 2 3) and (1 3 4), both facing +y.
    const Triangle* quad0 = course.boxes()[0].triangle(0);
    const Triangle* quad1 = course.boxes()[0].triangle(1);
    expectVertex(quad0, 0, "0.1", "0", "0.1");
    expectVertex(quad0, 1, "0.1", "0", "10.3");
    expectVertex(quad0, 2, "10.7", "0", "10.3");
    expectVertex(quad1, 0, "0.1", "0", "0.1");
    expectVertex(quad1, 1, "10.7", "0", "10.3");
    expectVertex(quad1, 2, "10.7", "0", "0.1");
    // The pentagon, listed 11 10 9 8 7: counter-clockwise seen from +z, so facing +z.
    const Triangle* pentagon0 = course.boxes()[1].triangle(0);
    expectVertex(pentagon0, 0, "1", "3", "-1.5");
    expectVertex(pentagon0, 1, "3", "3", "-1.5");
    expectVertex(pentagon0, 2, "4", "5", "-1.5");
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(course.boxes()[0].triangle(t)->normal(), Vector3(0.0f, 1.0f, 0.0f));
    }
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(course.boxes()[1].triangle(t)->normal(), Vector3(0.0f, 0.0f, 1.0f));
    }

    // --scale: two course units per model unit.
    const std::string scaled = scratch().path("parts-scaled.txt").string();
    ASSERT_EQ(runCourseTool({"import", model, "-o", scaled, "--scale", "2"}).status, 0);
    const LoadedCourse doubled = load(scaled);
    ASSERT_EQ(doubled.triangles().size(), 5u);
    expectVertex(doubled.triangles()[0], 1, "0.2", "0", "20.6");
}

TEST(MinigolfCourseImport, AConcaveFaceKeepsItsAreaAndItsSide) {
    // An L of three unit squares in y = 0, corners wound so that the face looks up (+y); a fan
    // from the first corner would fold a triangle outside it.
    const std::string model = writeFile("ell.obj", "v 1 0 1\nv 1 0 2\nv 0 0 2\nv 0 0 0\n"
                                                   "v 2 0 0\nv 2 0 1\nf 6 5 4 3 2 1\n");
    const std::string output = scratch().path("ell.txt").string();
    ASSERT_EQ(runCourseTool({"import", model, "-o", output}).status, 0);
    const LoadedCourse course = load(output);
    ASSERT_EQ(course.triangles().size(), 4u);
    double area = 0.0;
    for (const Triangle* t : course.triangles()) {
        EXPECT_EQ(t->normal(), Vector3(0.0f, 1.0f, 0.0f));
        const Vector3 v0 = *t->vertex(0);
        area += 0.5 * (*t->vertex(1) - v0).cross(*t->vertex(2) - v0).length();
    }
    EXPECT_DOUBLE_EQ(area, 3.0);
}

TEST(MinigolfCourseImport, LargeGroupsAreSplitIntoTightBoxes) {
    // Without materials each group is a box colour: a strip of 16 unit quads along x (32
    // triangles) in one group, one more quad in another.
    std::string text = "g strip\n";
    for (int i = 0; i <= 16; ++i) {
        text += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 0 1\n";
    }
    for (int i = 0; i < 16; ++i) {
        const int a = 2 * i + 1;
        text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
                std::to_string(a + 3) + " " + std::to_string(a + 2) + "\n";
    }
    text += "g wall\nv 0 0 5\nv 0 1 5\nv 1 1 5\nf -3 -2 -1\n";
    const std::string model = writeFile("strip.obj", text);
    const std::string output = scratch().path("strip.txt").string();
    const ToolRun run = runCourseTool({"import", model, "-o", output, "--box-triangles", "8"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const LoadedCourse course = load(output);
    ASSERT_EQ(course.boxes().size(), 5u);
    for (std::size_t b = 0; b < 4; ++b) {
        SCOPED_TRACE("box " + std::to_string(b));
        const CollisionBox& box = course.boxes()[b];
        EXPECT_EQ(box.triangleCount(), 8u);
        EXPECT_EQ(colourOf(box), (std::vector<float>{0.8f, 0.8f, 0.8f, 1.0f}));
        // Four quads side by side: a quarter of the strip, not overlapping another box.
        EXPECT_EQ(box.maxCorner().x - box.minCorner().x, 4.0f);
    }
    EXPECT_EQ(course.boxes()[4].triangleCount(), 1u);
    EXPECT_EQ(course.triangles().size(), 33u);
}

// A course of awkward numbers: every file number a random float printed to 9 digits.
std::string randomCourse(std::mt19937& generator) {
    std::uniform_real_distribution<float> coordinate(-600.0f, 600.0f);
    std::uniform_real_distribution<float> colour(0.0f, 1.0f);
    std::string text;
    char number[32];
    for (int box = 0; box < 3; ++box) {
        text += "start\n";
        for (int i = 0; i < 4; ++i) {
            std::snprintf(number, sizeof number, "%.9g ", colour(generator));
            text += number;
        }
        text += "\n";
        for (int triangle = 0; triangle < 60; ++triangle) {
            for (int i = 0; i < 9; ++i) {
                std::snprintf(number, sizeof number, "%.9g ", coordinate(generator));
                text += number;
            }
            text += "\n";
        }
    }
    return text + "end\n";
}

std::vector<std::uint32_t> bitsOf(const LoadedCourse& course) {
    std::vector<std::uint32_t> bits;
    for (const CollisionBox& box : course.boxes()) {
        for (int i = 0; i < 4; ++i) {
            bits.push_back(std::bit_cast<std::uint32_t>(box.colour()[i]));
        }
        for (unsigned t = 0; t < box.triangleCount(); ++t) {
            for (int v = 0; v < 3; ++v) {
                const Vector3 p = *box.triangle(static_cast<int>(t))->vertex(v);
                for (const float c : {p.x, p.y, p.z}) {
                    bits.push_back(std::bit_cast<std::uint32_t>(c));
                }
            }
        }
    }
    return bits;
}

TEST(MinigolfCourseExport, ImportOfAnExportGivesBackTheSameFloats) {
    std::mt19937 generator(20240611);
    const std::vector<std::string> courses = {assetsDir + "/clobox.txt",
                                              writeFile("random.txt", randomCourse(generator))};
    for (const std::string& original : courses) {
        SCOPED_TRACE(original);
        const std::string model = scratch().path("exported.obj").string();
        const ToolRun exported = runCourseTool({"export", original, "-o", model});
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.out + exported.err, "");
        EXPECT_NE(readWholeFile(scratch().path("exported.mtl").string()).find("newmtl box_0"),
                  std::string::npos);

        const std::string back = scratch().path("back.txt").string();
        const ToolRun imported = runCourseTool({"import", model, "-o", back});
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(imported.err, "");
        const LoadedCourse before = load(original);
        const LoadedCourse after = load(back);
        ASSERT_TRUE(loaded(before) && loaded(after));
        EXPECT_EQ(after.boxes().size(), before.boxes().size());
        EXPECT_EQ(bitsOf(after), bitsOf(before));
    }
}

TEST(MinigolfCourseImport, AnEditorsRoomHoldsEveryBallThatFliesInIt) {
    // Quads, objects and groups, a material switched inside a group, texture coordinates and
    // normals on the corners: the room must come out closed, facing inward.
    const std::string course = scratch().path("editor-room.txt").string();
    const ToolRun run = runCourseTool({"import", fixtures + "/editor_room.obj", "-o", course});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const ToolRun check = runTool(scratch(), simTool,
                                  {"check", course, "--from", "-5", "5", "0", "--balls", "100",
                                   "--seconds", "10", "--seed", "4"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const std::vector<std::string> lines = linesOf(check.out);
    ASSERT_FALSE(lines.empty());
    // Four materials, eighteen triangles: the floor, walls of two materials, the ceiling, and
    // the ramp sharing the wood of two walls.
    EXPECT_EQ(lines.front(), "triangles 18 boxes 4");
    EXPECT_EQ(lines.back().rfind("left 0 ", 0), 0u) << lines.back();
}

TEST(MinigolfCourseCommandLine, FaultsExitWithStatusTwoAndOneLine) {
    const std::string good = writeFile("good.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const std::string outOfRange = writeFile("range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
    const std::string relative = writeFile("relative.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -9\n");
    const std::string zeroIndex = writeFile("zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n");
    const std::string noFaces = writeFile("empty.obj", "v 0 0 0\n");
    const std::string huge = writeFile("huge.obj", "v 1e38 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
    const std::string out = scratch().path("out.txt").string();
    const std::string nowhere = scratch().path("no-such-dir/out.txt").string();
    const std::string sweeps = scratch().path("sweeps.txt").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        // Bad command lines: the option or word named, whatever the parser's wording.
        {{}, "COMMAND"},
        {{"convert", good}, "convert"},
        {{"import", "-o", out}, "MODEL.obj"},
        {{"import", good}, "-o"},
        {{"import", good, "-o", out, "--scale", "0"}, "--scale"},
        {{"import", good, "-o", out, "--scale", "2x"}, "--scale"},
        {{"import", good, "-o", out, "--box-triangles", "0"}, "--box-triangles"},
        {{"import", good, "-o", out, "--bogus"}, "--bogus"},
        {{"import", good, "-o", out, "--fit", "--scale", "2"}, "--fit"},
        {{"import", good, "-o", out, "--up", "x"}, "--up"},
        {{"import", scratch().path("absent.obj").string(), "-o", out}, "cannot open the model"},
        {{"import", scratch().path("").string(), "-o", out}, "it is a directory"},
        {{"import", outOfRange, "-o", out}, outOfRange + ":4: error: the face uses vertex 9"},
        {{"import", relative, "-o", out}, relative + ":4: error: the face uses vertex -9,"},
        {{"import", zeroIndex, "-o", out}, zeroIndex + ":4: error: the f statement cannot be read"},
        {{"import", noFaces, "-o", out}, "no face with an area"},
        {{"import", huge, "-o", out, "--scale", "10"},
         "beyond the coordinates a course file holds"},
        {{"import", good, "-o", nowhere}, "cannot open for writing"},
        {{"export", scratch().path("absent.txt").string(), "-o", out}, "cannot open the course"},
        {{"export", assetsDir + "/clobox.txt", "-o", nowhere}, "cannot open"},
        {{"lint"}, "COURSE.txt"},
        {{"lint", scratch().path("absent.txt").string()}, "cannot open the course"},
        {{"lint", writeFile("cut.txt", "start 1 1 1 1 0 0 0 1 1 1\n")},
         "cut.txt:2:1: error: expected a number (x of vertex 2 of triangle 0)"},
        {{"lint", assetsDir + "/clobox.txt", "generate", "room", "-o", out}, "generate"},
        {{"generate", "hall", "-o", out}, "KIND"},
        {{"generate", "room", "-o", out, "--tiles", "30"}, "--tiles"},
        {{"generate", "room", "-o", out, "--sweeps", "3", "--sweeps-file", sweeps, "--sweep-length",
          "1e39"},
         "--sweep-length"},
        {{"generate", "room", "-o", out, "--sweeps-file", sweeps}, "--sweeps"},
        {{"generate", "room", "-o", out, "--sweeps", "3"}, "--sweeps-file"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += " [" + argument + "]";
        }
        SCOPED_TRACE("arguments:" + shown);
        const ToolRun run = runCourseTool(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
    }
    for (const std::string command : {"import", "export", "lint"}) {
        const ToolRun help = runCourseTool({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("Usage: minigolf-course " + command), std::string::npos)
            << help.out;
    }
    EXPECT_FALSE(std::ifstream(sweeps)) << "a refused generate wrote its sweeps";
}

const char* const triangleVertices = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

TEST(MinigolfCourseImport, RefusesWhatItCannotReadFaithfullyAtItsLine) {
    struct Case {
        std::string name;
        std::string model;
        std::string materials; // written as NAME.mtl when not empty
        std::string where;     // the file of the message, and ":LINE"
    };
    const std::string mtl = "mtllib m.mtl\nusemtl red\n";
    const std::vector<Case> cases = {
        {"word", "v 0 0 0\nv 1 abc 0\nv 0 1 0\nf 1 2 3\n", "", ".obj:2"},
        {"nan", "v nan 1 1\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "", ".obj:1"},
        {"inf", "v 0 0 0\nv inf 1 1\nv 0 1 0\nf 1 2 3\n", "", ".obj:2"},
        {"beyond-float", "v 0 0 0\nv 1 0 0\nv 0 1e39 0\nf 1 2 3\n", "", ".obj:3"},
        {"two-coordinates", "v 0 0 0\nv 1 0\nv 0 1 0\nf 1 2 3\n", "", ".obj:2"},
        {"index-wraps", std::string(triangleVertices) + "f 1 3 4294967298\n", "", ".obj:4"},
        {"index-overflows", std::string(triangleVertices) + "f 1 3 99999999999999999999\n", "",
         ".obj:4"},
        {"corner-word", std::string(triangleVertices) + "f 1 2 3x\n", "", ".obj:4"},
        {"diffuse-beyond-float", mtl + triangleVertices + "f 1 2 3\n", "newmtl red\nKd 1e39 0 0\n",
         ".mtl:2"},
        {"dissolve-nan", mtl + triangleVertices + "f 1 2 3\n", "newmtl red\nKd 1 0 0\nd nan\n",
         ".mtl:3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string model = writeFile(c.name + ".obj", c.model);
        if (!c.materials.empty()) {
            writeFile("m.mtl", c.materials);
        }
        const std::string output = scratch().path(c.name + ".txt").string();
        const ToolRun run = runCourseTool({"import", model, "-o", output});
        EXPECT_EQ(run.status, 2);
        ASSERT_EQ(linesOf(run.err).size(), 1u) << run.err;
        const std::string file =
            c.materials.empty() ? scratch().path(c.name).string() : scratch().path("m").string();
        EXPECT_EQ(run.err.rfind(file + c.where + ": error: ", 0), 0u) << run.err;
        EXPECT_FALSE(std::ifstream(output)) << "a refused import wrote its course";
    }
}

TEST(MinigolfCourseImport, AMaterialFileThatIsNoFileIsAWarningAndItsFacesAreGrey) {
    // A FIFO that nobody writes (which a plain open waits on forever), a directory and a device
    // of endless bytes.
    const std::string fifo = scratch().path("fifo.mtl").string();
    const std::string folder = scratch().path("folder.mtl").string();
    const std::string zero = scratch().path("zero.mtl").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink("/dev/zero", zero);
    for (const std::string name : {"fifo.mtl", "folder.mtl", "zero.mtl"}) {
        SCOPED_TRACE(name);
        const std::string model =
            writeFile("uses-" + name + ".obj",
                      "mtllib " + name + "\nusemtl red\n" + triangleVertices + "f 1 2 3\n");
        const std::string output = scratch().path("uses-" + name + ".txt").string();
        const ToolRun run = runCommand(
            scratch(), commandLine(courseTool, {"import", model, "-o", output}, "timeout 20 "));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.rfind(model + ":1: warning: the material file " +
                                    scratch().path(name).string() + " is not read: ",
                                0),
                  0u)
            << run.err;
        const LoadedCourse course = load(output);
        ASSERT_TRUE(loaded(course));
        ASSERT_EQ(course.boxes().size(), 1u);
        EXPECT_EQ(colourOf(course.boxes()[0]), (std::vector<float>{0.8f, 0.8f, 0.8f, 1.0f}));
    }
}

TEST(MinigolfCourseImport, WarningsOfAKindPastFiveAreCountedInOneLine) {
    // A face of 2000 corners on a line: 1998 triangles without area.
    std::string face = "f";
    for (int corner = 0; corner < 2000; ++corner) {
        face += corner % 2 == 0 ? " 1" : " 2";
    }
    const std::string model =
        writeFile("long-face.obj", std::string(triangleVertices) + "f 1 2 3\n" + face + "\n");
    const std::string output = scratch().path("long-face.txt").string();
    const ToolRun run = runCourseTool({"import", model, "-o", output});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = linesOf(run.err);
    ASSERT_EQ(lines.size(), 6u) << run.err;
    EXPECT_EQ(lines[4],
              model + ":5: warning: triangle 5 of 1998 of the face has no area; left out");
    EXPECT_EQ(lines[5], model + ": warning: 1993 more warnings of faces without area not listed");
}

TEST(MinigolfCourseExport, AFailedExportLeavesNothingBehind) {
    const std::string folder = scratch().path("export-folder").string();
    std::filesystem::create_directory(folder);
    std::filesystem::remove("/dev/full.mtl");
    for (const std::string& target : {folder, std::string("/dev/full")}) {
        SCOPED_TRACE(target);
        const ToolRun run = runCourseTool({"export", assetsDir + "/clobox.txt", "-o", target});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_FALSE(std::filesystem::exists(target + ".mtl"));
    }
    // No temporary file is left in the folder of a failed export either.
    for (const auto& entry : std::filesystem::directory_iterator(scratch().path(""))) {
        EXPECT_NE(entry.path().filename().string().rfind(".export-folder", 0), 0u);
    }
    std::filesystem::remove("/dev/full.mtl");
}

// Every vertex of a course, triangle after triangle.
std::vector<Vector3> verticesOf(const LoadedCourse& course) {
    std::vector<Vector3> vertices;
    for (const Triangle* t : course.triangles()) {
        for (int v = 0; v < 3; ++v) {
            vertices.push_back(*t->vertex(v));
        }
    }
    return vertices;
}

TEST(MinigolfCourseImport, FlipUpAndFitTurnScaleAndMoveTheModel) {
    // Two faces, one a quad, with whole and half coordinates that every step keeps exact.
    const std::string model =
        writeFile("shape.obj", "v 0 1 0\nv 4 1 0\nv 4 1 4\nv 0 1 4\nv 1 3 2\nv 3 1.5 2\n"
                               "f 1 4 3 2\nf 1 5 6\n");
    const auto imported = [&](const std::string& name, std::vector<std::string> extra) {
        const std::string output = scratch().path(name + ".txt").string();
        std::vector<std::string> arguments = {"import", model, "-o", output};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const ToolRun run = runCourseTool(arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const LoadedCourse course = load(output);
        EXPECT_TRUE(loaded(course));
        return verticesOf(course);
    };
    const std::vector<Vector3> plain = imported("shape-plain", {});
    ASSERT_EQ(plain.size(), 9u);

    // --flip: each triangle's second and third corners swapped.
    const std::vector<Vector3> flipped = imported("shape-flipped", {"--flip"});
    ASSERT_EQ(flipped.size(), plain.size());
    for (std::size_t t = 0; t < plain.size(); t += 3) {
        EXPECT_EQ(flipped[t], plain[t]);
        EXPECT_EQ(flipped[t + 1], plain[t + 2]);
        EXPECT_EQ(flipped[t + 2], plain[t + 1]);
    }

    // --up z: (x, y, z) -> (x, z, -y), a turn, so every normal turns along.
    const std::vector<Vector3> turned = imported("shape-turned", {"--up", "z"});
    ASSERT_EQ(turned.size(), plain.size());
    for (std::size_t v = 0; v < plain.size(); ++v) {
        EXPECT_EQ(turned[v], Vector3(plain[v].x, plain[v].z, -plain[v].y));
    }

    // --fit: a square footprint 4 wide scaled by 46 / 4 to x and z from -23 to 23 around the
    // axis, the lowest point (y = 1) at -2.
    const std::vector<Vector3> fitted = imported("shape-fitted", {"--fit"});
    ASSERT_EQ(fitted.size(), plain.size());
    for (std::size_t v = 0; v < plain.size(); ++v) {
        const Vector3 expected((plain[v].x - 2.0f) * 11.5f, (plain[v].y - 1.0f) * 11.5f - 2.0f,
                               (plain[v].z - 2.0f) * 11.5f);
        EXPECT_EQ(fitted[v], expected) << v;
    }

    // A footprint narrower than the respawn square is still fitted, with a warning.
    const std::string narrow = writeFile("narrow.obj", "v 0 0 0\nv 4 0 0\nv 0 0 1\nf 1 3 2\n");
    const ToolRun warned =
        runCourseTool({"import", narrow, "-o", scratch().path("narrow.txt").string(), "--fit"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_NE(warned.err.find(narrow + ": warning: fitted at scale 11.5, the model spans x from "
                                       "-23 to 23 and z from -5.75 to 5.75"),
              std::string::npos)
        << warned.err;
}

TEST(MinigolfCourseGenerate, SweepsThroughAGeneratedRoomMeetTheSameContactsWithoutTheIndex) {
    const std::string room = scratch().path("generated-room.txt").string();
    const std::string sweeps = scratch().path("generated-sweeps.txt").string();
    const ToolRun generated =
        runCourseTool({"generate", "room", "--cells", "9", "--tiles", "2", "-o", room, "--sweeps",
                       "400", "--sweeps-file", sweeps, "--sweep-length", "10", "--seed", "3"});
    ASSERT_EQ(generated.status, 0) << generated.err;
    EXPECT_EQ(generated.out + generated.err, "");

    std::vector<std::string> dumps;
    for (const bool exhaustive : {false, true}) {
        SCOPED_TRACE(exhaustive ? "exhaustive" : "index");
        const std::string dump =
            scratch().path(exhaustive ? "exhaustive-dump.txt" : "index-dump.txt").string();
        std::vector<std::string> arguments = {"sweep", room, sweeps, "--dump", dump};
        if (exhaustive) {
            arguments.push_back("--exhaustive");
        }
        const ToolRun run = runTool(scratch(), simTool, arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> last = wordsOf(linesOf(run.out).back());
        ASSERT_EQ(last.size(), 8u) << run.out;
        EXPECT_EQ(last[0] + " " + last[1] + " " + last[2], "sweeps 400 hits");
        EXPECT_EQ(last[4] + " " + last[6], "seconds sweeps-per-second");
        EXPECT_GE(std::stod(last[5]), 0.0);
        EXPECT_GE(std::stod(last[7]), 0.0);
        // Hits are the dump's contacts, a fraction of the move below 1.
        dumps.push_back(readWholeFile(dump));
        const std::vector<std::string> contacts = linesOf(dumps.back());
        ASSERT_EQ(contacts.size(), 400u);
        const long long hits = std::count_if(contacts.begin(), contacts.end(), [](auto& line) {
            return std::stod(wordsOf(line).at(0)) < 1.0;
        });
        EXPECT_GT(hits, 0);
        EXPECT_EQ(std::stoll(last[3]), hits);
    }
    EXPECT_EQ(dumps[0], dumps[1]);
}

} // namespace

// --- lint ---

using FileTriangle = std::array<float, 9>; // x y z of three vertices, file units

// A closed room around the ball's start and the respawn places, course units x and z from -25 to
// 25 and y from -5 to 15: each of its six walls two triangles, facing inward.
std::vector<FileTriangle> closedRoom() {
    constexpr float low[3] = {-125.0f, -25.0f, -125.0f}; // file units
    constexpr float high[3] = {125.0f, 75.0f, 125.0f};
    std::vector<FileTriangle> triangles;
    for (int axis = 0; axis < 3; ++axis) {
        // u and v span the wall, in the cyclic order that makes u x v point along +axis.
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        for (const bool lowSide : {true, false}) {
            const auto corner = [&](int i, int j) {
                std::array<float, 3> p{};
                p[axis] = lowSide ? low[axis] : high[axis];
                p[u] = i == 0 ? low[u] : high[u];
                p[v] = j == 0 ? low[v] : high[v];
                return p;
            };
            const auto triangle = [](auto p, auto q, auto r) {
                return FileTriangle{p[0], p[1], p[2], q[0], q[1], q[2], r[0], r[1], r[2]};
            };
            const auto a = corner(0, 0), b = corner(1, 0), c = corner(1, 1), d = corner(0, 1);
            if (lowSide) {
                triangles.push_back(triangle(a, b, c));
                triangles.push_back(triangle(a, c, d));
            } else {
                triangles.push_back(triangle(a, c, b));
                triangles.push_back(triangle(a, d, c));
            }
        }
    }
    return triangles;
}

// One box per list; triangle N of the file on line 3 + N (+ 2 for each box before it).
std::string lintCourseText(const std::vector<std::vector<FileTriangle>>& boxes) {
    std::string text;
    char number[32];
    for (const auto& box : boxes) {
        text += "start\n0.5 0.5 0.5 1\n";
        for (const FileTriangle& triangle : box) {
            for (const float c : triangle) {
                std::snprintf(number, sizeof number, "%.9g ", c);
                text += number;
            }
            text += "\n";
        }
    }
    return text + "end\n";
}

ToolRun lint(const std::string& name, const std::vector<std::vector<FileTriangle>>& boxes,
             bool closed) {
    const std::string course = writeFile(name, lintCourseText(boxes));
    std::vector<std::string> arguments = {"lint", course};
    if (closed) {
        arguments.push_back("--closed");
    }
    return runCourseTool(arguments);
}

// The findings without the course's name, and the summary line apart.
struct LintReport {
    std::vector<std::string> findings;
    std::string summary;
};

LintReport reportOf(const ToolRun& run, const std::string& name) {
    LintReport report;
    const std::string prefix = scratch().path(name).string() + ":";
    for (const std::string& line : linesOf(run.out)) {
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
        report.findings.push_back(line.substr(prefix.size()));
    }
    if (!report.findings.empty()) {
        report.summary = report.findings.back();
        report.findings.pop_back();
    }
    return report;
}

TEST(MinigolfCourseLint, AClosedRoomIsCleanAndEachEdgeFaultIsNamedOnce) {
    const std::vector<FileTriangle> room = closedRoom();
    const ToolRun clean = lint("room.txt", {room}, true);
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    EXPECT_EQ(clean.err, "");
    EXPECT_EQ(reportOf(clean, "room.txt").summary, " 0 errors, 0 warnings in 12 triangles");

    // Triangle 0 (a b c of the wall x = -25) left out: its partner across a-c (now triangle
    // 0), the ceiling (across b-c) and the wall z = -25 (across a-b) each keep one edge without
    // a neighbour.
    const std::vector<FileTriangle> holed(room.begin() + 1, room.end());
    for (const bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "--closed" : "open");
        const ToolRun run = lint("holed.txt", {holed}, closed);
        EXPECT_EQ(run.status, closed ? 1 : 0) << run.err;
        const LintReport report = reportOf(run, "holed.txt");
        const std::string kind = closed ? " error: " : " warning: ";
        const std::string open = ": no other triangle runs along it, so a ball can leave there";
        EXPECT_EQ(report.findings,
                  (std::vector<std::string>{
                      "3:1:" + kind +
                          "triangle 0 has an open edge from vertex 0 (-25, -5, -25) to vertex 1 "
                          "(-25, 15, 25)" +
                          open,
                      "8:1:" + kind +
                          "triangle 5 has an open edge from vertex 2 (-25, 15, 25) to vertex 0 "
                          "(-25, 15, -25)" +
                          open,
                      "11:1:" + kind +
                          "triangle 8 has an open edge from vertex 2 (-25, 15, -25) to vertex 0 "
                          "(-25, -5, -25)" +
                          open}));
        EXPECT_EQ(report.summary, closed ? " 3 errors, 0 warnings in 11 triangles"
                                         : " 0 errors, 3 warnings in 11 triangles");
    }

    // Triangle 5 flipped: each of its three neighbours runs a shared edge its way.
    std::vector<FileTriangle> flipped = room;
    std::swap_ranges(flipped[5].begin() + 3, flipped[5].begin() + 6, flipped[5].begin() + 6);
    const ToolRun run = lint("flipped.txt", {flipped}, true);
    EXPECT_EQ(run.status, 1);
    const LintReport report = reportOf(run, "flipped.txt");
    ASSERT_EQ(report.findings.size(), 3u) << run.out;
    for (const std::string& finding : report.findings) {
        EXPECT_NE(finding.find(" the same way as triangle "), std::string::npos) << finding;
        const bool atFlipped = finding.rfind("8:1: error: triangle 5 runs its edge", 0) == 0;
        const bool namesFlipped = finding.find("as triangle 5 (at 8:1)") != std::string::npos;
        EXPECT_TRUE(atFlipped != namesFlipped) << finding;
    }
    EXPECT_EQ(report.summary, " 3 errors, 0 warnings in 12 triangles");
}

// A closed tetrahedron facing outward whose lowest corner is (20, 0.5, 0), right above the
// ball's start (20, 0, 0); course units times 5.
std::vector<FileTriangle> tetrahedronAboveTheStart() {
    const std::array<float, 3> bottom = {100.0f, 2.5f, 0.0f}, left = {95.0f, 10.0f, -5.0f},
                               right = {105.0f, 10.0f, -5.0f}, back = {100.0f, 10.0f, 5.0f};
    const auto triangle = [](auto p, auto q, auto r) {
        return FileTriangle{p[0], p[1], p[2], q[0], q[1], q[2], r[0], r[1], r[2]};
    };
    return {triangle(bottom, left, right), triangle(bottom, right, back),
            triangle(bottom, back, left), triangle(left, back, right)};
}

// An open-bottomed pyramid standing on the floor of the room (y = -5), faces outward, lifted by
// `lift` file units. Its base, x from -2 to 2 and z from -1 to 3, has two edges that cross the
// diagonal x = z between the floor's two triangles, so each lies on both of them in part.
std::vector<FileTriangle> tentOnTheFloor(float lift) {
    const float floor = -25.0f + lift;
    const std::array<std::array<float, 3>, 4> base = {{{-10.0f, floor, -5.0f},
                                                       {10.0f, floor, -5.0f},
                                                       {10.0f, floor, 15.0f},
                                                       {-10.0f, floor, 15.0f}}};
    const std::array<float, 3> apex = {0.0f, floor + 20.0f, 5.0f};
    std::vector<FileTriangle> sides;
    for (std::size_t k = 0; k < base.size(); ++k) {
        const auto& p = base[k];
        const auto& q = base[(k + 1) % base.size()];
        // Counter-clockwise seen from outside: the base corners run clockwise seen from above.
        sides.push_back({q[0], q[1], q[2], p[0], p[1], p[2], apex[0], apex[1], apex[2]});
    }
    return sides;
}

TEST(MinigolfCourseLint, PlacesInsideTheCourseCopiesAndDegenerateTrianglesAreNamed) {
    const std::vector<FileTriangle> room = closedRoom();

    const ToolRun inside = lint("inside.txt", {room, tetrahedronAboveTheStart()}, true);
    EXPECT_EQ(inside.status, 1) << inside.err;
    const LintReport near = reportOf(inside, "inside.txt");
    // Three faces meet at the corner 0.5 above the start; the first of them is named.
    EXPECT_EQ(near.findings, (std::vector<std::string>{
                                 "17:1: error: the ball's start (20, 0, 0) is 0.5 from triangle "
                                 "12, closer than the ball's radius 0.6: the ball starts inside "
                                 "the course"}));
    EXPECT_EQ(near.summary, " 1 error, 0 warnings in 16 triangles");

    // A ceiling 0.25 below the respawn height: every respawn place is inside.
    std::vector<FileTriangle> low = room;
    for (FileTriangle& triangle : low) {
        for (std::size_t y = 1; y < triangle.size(); y += 3) {
            triangle[y] = triangle[y] == 75.0f ? 48.75f : triangle[y];
        }
    }
    const ToolRun ceiling = lint("ceiling.txt", {low}, false);
    EXPECT_EQ(ceiling.status, 1);
    const LintReport under = reportOf(ceiling, "ceiling.txt");
    ASSERT_EQ(under.findings.size(), 41u * 41u);
    EXPECT_NE(under.findings.front().find("the respawn place (-20, 10, -20) is 0.25 from triangle"),
              std::string::npos)
        << under.findings.front();

    // A copy of triangle 3 starting at another corner, a triangle without area and one whose
    // normal overflows: one finding each, and the reader's own warnings are not repeated.
    std::vector<FileTriangle> faulty = room;
    const FileTriangle& third = room[3];
    faulty.push_back(
        {third[3], third[4], third[5], third[6], third[7], third[8], third[0], third[1], third[2]});
    faulty.push_back({0, 0, 0, 5, 5, 5, 10, 10, 10});
    faulty.push_back({-3e38f, 0, 0, 3e38f, 1, 0, 0, 3e38f, 1});
    const ToolRun run = lint("faulty.txt", {faulty}, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    const LintReport report = reportOf(run, "faulty.txt");
    EXPECT_EQ(report.findings,
              (std::vector<std::string>{
                  "15:1: warning: triangle 12 repeats triangle 3 (at 6:1)",
                  "16:1: error: triangle 13 is degenerate (zero area: its vertices are equal or "
                  "on one line); it takes part in no contact",
                  "17:1: error: triangle 14 is degenerate (its normal overflows a float: its "
                  "coordinates are too large); it takes part in no contact"}));
    EXPECT_EQ(report.summary, " 2 errors, 1 warning in 15 triangles");
}

TEST(MinigolfCourseLint, AnObstacleStandingOnTheFloorIsClosedByItAndOneAboveItIsNot) {
    const std::vector<FileTriangle> room = closedRoom();
    const ToolRun standing = lint("standing.txt", {room, tentOnTheFloor(0.0f)}, true);
    EXPECT_EQ(standing.status, 0) << standing.out;
    EXPECT_EQ(reportOf(standing, "standing.txt").summary, " 0 errors, 0 warnings in 16 triangles");

    const ToolRun lifted = lint("lifted.txt", {room, tentOnTheFloor(0.05f)}, true);
    EXPECT_EQ(lifted.status, 1);
    const LintReport report = reportOf(lifted, "lifted.txt");
    ASSERT_EQ(report.findings.size(), 4u) << lifted.out;
    for (const std::string& finding : report.findings) {
        EXPECT_NE(finding.find("has an open edge from vertex 0"), std::string::npos) << finding;
    }
}

// The triangles with their winding reversed: each faces the other way.
std::vector<FileTriangle> flippedOver(std::vector<FileTriangle> triangles) {
    for (FileTriangle& triangle : triangles) {
        std::swap_ranges(triangle.begin() + 3, triangle.begin() + 6, triangle.begin() + 6);
    }
    return triangles;
}

TEST(MinigolfCourseLint, ACourseFacingOutwardIsNamedAtEveryPlaceItHolds) {
    const std::string outward = ": error: the course faces outward around ";
    const std::string fix = ": its triangles are struck from behind; import the model with --flip";
    // The room facing outward holds the start and every respawn place looked from (every 5
    // units): each sees only backs. Facing inward, it is clean (as above).
    const ToolRun run = lint("outward.txt", {flippedOver(closedRoom())}, true);
    EXPECT_EQ(run.status, 1) << run.err;
    const LintReport report = reportOf(run, "outward.txt");
    ASSERT_EQ(report.findings.size(), 1u + 9u * 9u) << run.out;
    EXPECT_EQ(report.findings[0], "3:1" + outward + "(20, 0, 0)" + fix);
    EXPECT_EQ(report.findings[1], "3:1" + outward + "(-20, 10, -20)" + fix);
    for (const std::string& finding : report.findings) {
        EXPECT_NE(finding.find(outward), std::string::npos) << finding;
    }
    EXPECT_EQ(report.summary, " 82 errors, 0 warnings in 12 triangles");

    // A hole inside the room (a closed box 4 units wide around the respawn place (0, 10, 0))
    // facing outward: only the place inside it sees it from behind. (Its walls pass through
    // other respawn places, which are named as inside the course.)
    std::vector<FileTriangle> hole = flippedOver(closedRoom());
    for (FileTriangle& triangle : hole) {
        for (std::size_t c = 0; c < triangle.size(); c += 3) {
            triangle[c] *= 10.0f / 125.0f;
            triangle[c + 1] = 50.0f + (triangle[c + 1] - 25.0f) / 5.0f;
            triangle[c + 2] *= 10.0f / 125.0f;
        }
    }
    const ToolRun holed = lint("inverted-hole.txt", {closedRoom(), hole}, true);
    EXPECT_EQ(holed.status, 1) << holed.out;
    const auto outwardFindings = [&](const ToolRun& each, const std::string& name) {
        std::vector<std::string> found;
        for (const std::string& finding : reportOf(each, name).findings) {
            if (finding.find(outward) != std::string::npos) {
                found.push_back(finding.substr(finding.find(outward)));
            }
        }
        return found;
    };
    EXPECT_EQ(outwardFindings(holed, "inverted-hole.txt"),
              std::vector<std::string>{outward + "(0, 10, 0)" + fix});
    // Facing inward, the hole holds the place as a room does.
    const ToolRun inward = lint("hole.txt", {closedRoom(), flippedOver(hole)}, true);
    EXPECT_EQ(outwardFindings(inward, "hole.txt"), std::vector<std::string>{});
}

TEST(MinigolfCourseLint, TheBundledCourseIsClosed) {
    const std::string course = assetsDir + "/clobox.txt";
    const ToolRun run = runCourseTool({"lint", "--closed", course});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, course + ": 0 errors, 0 warnings in 258 triangles\n");
    EXPECT_EQ(run.err, "");
}
