// minigolf-course run as a process: OBJ models made by the tests imported as courses and read
// back with the program's own course reader, courses exported and imported again, and the
// faults it must refuse.
#include "course/CourseReader.h"
#include "support/ScratchDirectory.h"
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// A course as the program's reader loads it.
struct LoadedCourse {
    bool loaded = false;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
};

LoadedCourse load(const std::string& file) {
    LoadedCourse course;
    std::ostringstream console;
    course.loaded = CourseReader::instance()->parse(file, course.triangles, course.boxes, console);
    return course;
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
    ASSERT_TRUE(course.loaded);
    ASSERT_EQ(course.boxes.size(), 2u);
    ASSERT_EQ(course.triangles.size(), 5u);
    EXPECT_EQ(colourOf(course.boxes[0]), (std::vector<float>{0.9f, 0.1f, 0.1f, 0.5f}));
    EXPECT_EQ(colourOf(course.boxes[1]), (std::vector<float>{0.1f, 0.7f, 0.2f, 1.0f}));
    ASSERT_EQ(course.boxes[0].triangleCount(), 2u);
    ASSERT_EQ(course.boxes[1].triangleCount(), 3u);

    // The quad as a fan from its first corner, (1 2 3) and (1 3 4), both facing +y.
    const Triangle* quad0 = course.boxes[0].triangle(0);
    const Triangle* quad1 = course.boxes[0].triangle(1);
    expectVertex(quad0, 0, "0.1", "0", "0.1");
    expectVertex(quad0, 1, "0.1", "0", "10.3");
    expectVertex(quad0, 2, "10.7", "0", "10.3");
    expectVertex(quad1, 0, "0.1", "0", "0.1");
    expectVertex(quad1, 1, "10.7", "0", "10.3");
    expectVertex(quad1, 2, "10.7", "0", "0.1");
    // The pentagon, listed 11 10 9 8 7: counter-clockwise seen from +z, so facing +z.
    const Triangle* pentagon0 = course.boxes[1].triangle(0);
    expectVertex(pentagon0, 0, "1", "3", "-1.5");
    expectVertex(pentagon0, 1, "3", "3", "-1.5");
    expectVertex(pentagon0, 2, "4", "5", "-1.5");
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(course.boxes[0].triangle(t)->normal(), Vector3(0.0f, 1.0f, 0.0f));
    }
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(course.boxes[1].triangle(t)->normal(), Vector3(0.0f, 0.0f, 1.0f));
    }

    // --scale: two course units per model unit.
    const std::string scaled = scratch().path("parts-scaled.txt").string();
    ASSERT_EQ(runCourseTool({"import", model, "-o", scaled, "--scale", "2"}).status, 0);
    const LoadedCourse doubled = load(scaled);
    ASSERT_EQ(doubled.triangles.size(), 5u);
    expectVertex(doubled.triangles[0], 1, "0.2", "0", "20.6");
}

TEST(MinigolfCourseImport, AConcaveFaceKeepsItsAreaAndItsSide) {
    // An L of three unit squares in y = 0, corners wound so that the face looks up (+y); a fan
    // from the first corner would fold a triangle outside it.
    const std::string model = writeFile("ell.obj", "v 1 0 1\nv 1 0 2\nv 0 0 2\nv 0 0 0\n"
                                                   "v 2 0 0\nv 2 0 1\nf 6 5 4 3 2 1\n");
    const std::string output = scratch().path("ell.txt").string();
    ASSERT_EQ(runCourseTool({"import", model, "-o", output}).status, 0);
    const LoadedCourse course = load(output);
    ASSERT_EQ(course.triangles.size(), 4u);
    double area = 0.0;
    for (const Triangle* t : course.triangles) {
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
    ASSERT_EQ(course.boxes.size(), 5u);
    for (std::size_t b = 0; b < 4; ++b) {
        SCOPED_TRACE("box " + std::to_string(b));
        const CollisionBox& box = course.boxes[b];
        EXPECT_EQ(box.triangleCount(), 8u);
        EXPECT_EQ(colourOf(box), (std::vector<float>{0.8f, 0.8f, 0.8f, 1.0f}));
        // Four quads side by side: a quarter of the strip, not overlapping another box.
        EXPECT_EQ(box.maxCorner().x - box.minCorner().x, 4.0f);
    }
    EXPECT_EQ(course.boxes[4].triangleCount(), 1u);
    EXPECT_EQ(course.triangles.size(), 33u);
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
    for (const CollisionBox& box : course.boxes) {
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
        ASSERT_TRUE(before.loaded && after.loaded);
        EXPECT_EQ(after.boxes.size(), before.boxes.size());
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
    const std::string zeroIndex = writeFile("zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n");
    const std::string noFaces = writeFile("empty.obj", "v 0 0 0\n");
    const std::string huge = writeFile("huge.obj", "v 1e38 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
    const std::string out = scratch().path("out.txt").string();
    const std::string nowhere = scratch().path("no-such-dir/out.txt").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, "missing the command"},
        {{"convert", good}, "unknown command \"convert\""},
        {{"import", "-o", out}, "missing the model file"},
        {{"import", good}, "missing -o COURSE.txt"},
        {{"import", good, "-o", out, "--scale", "0"}, "--scale: must be greater than 0"},
        {{"import", good, "-o", out, "--scale", "2x"}, "--scale: expected a number"},
        {{"import", good, "-o", out, "--box-triangles", "0"},
         "--box-triangles: must be at least 1"},
        {{"import", good, "-o", out, "--bogus"}, "unknown option \"--bogus\""},
        {{"import", scratch().path("absent.obj").string(), "-o", out}, "cannot open the model"},
        {{"import", scratch().path("").string(), "-o", out}, "it is a directory"},
        {{"import", outOfRange, "-o", out}, outOfRange + ":4: error: the face uses vertex 9"},
        {{"import", zeroIndex, "-o", out}, zeroIndex + ": error: Failed parse `f' line"},
        {{"import", noFaces, "-o", out}, "no face with an area"},
        {{"import", huge, "-o", out, "--scale", "10"},
         "beyond the coordinates a course file holds"},
        {{"import", good, "-o", nowhere}, "cannot open for writing"},
        {{"export", scratch().path("absent.txt").string(), "-o", out}, "cannot open the course"},
        {{"export", assetsDir + "/clobox.txt", "-o", nowhere}, "cannot open"},
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
    for (const std::string command : {"import", "export"}) {
        const ToolRun help = runCourseTool({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: minigolf-course " + command, 0), 0u) << help.out;
    }
}

} // namespace
