#include "course/CourseReader.h"

#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_view_literals;

namespace {

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory("course-test");
    return directory;
}

std::string writeCourse(const std::string& name, const std::string& text) {
    const std::string path = scratch().path(name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

// Everything one parse produced: its result, both lists and both output streams.
struct Load {
    bool ok = false;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::vector<std::string> consoleLines;
    std::string console;
    std::string errors;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

Load parseFile(const std::string& path) {
    Load load;
    std::ostringstream console;
    std::ostringstream errors;
    std::streambuf* const standardError = std::cerr.rdbuf(errors.rdbuf());
    load.ok = CourseReader::instance()->parse(path, load.triangles, load.boxes, console);
    std::cerr.rdbuf(standardError);
    load.console = console.str();
    load.consoleLines = linesOf(load.console);
    load.errors = errors.str();
    return load;
}

Load parseText(const std::string& name, const std::string& text) {
    return parseFile(writeCourse(name, text));
}

// The console after a success: the triangle numbers 0 .. count - 1, then one loading time.
void expectNumbersThenTime(const Load& load, int count) {
    ASSERT_EQ(load.consoleLines.size(), static_cast<std::size_t>(count) + 1) << load.console;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(load.consoleLines[static_cast<std::size_t>(i)], std::to_string(i));
    }
    const std::string& time = load.consoleLines.back();
    std::istringstream in(time);
    float seconds = -1.0f;
    in >> seconds;
    EXPECT_TRUE(in.eof() && !in.fail() && seconds >= 0.0f) << "loading time line: " << time;
    EXPECT_EQ(load.console.back(), '\n');
}

void expectVertices(const Triangle* t, Vector3 a, Vector3 b, Vector3 c) {
    EXPECT_EQ(*t->vertex(0), a) << *t->vertex(0);
    EXPECT_EQ(*t->vertex(1), b) << *t->vertex(1);
    EXPECT_EQ(*t->vertex(2), c) << *t->vertex(2);
}

const std::string exampleCourse = "start\n"
                                  "0.1 0.6 0.1 1.0\n"
                                  "0 0 0    0 0 50   50 0 0\n"
                                  "50 0 0   0 0 50   50 0 50\n"
                                  "end\n";

// The example course's one box and two triangles, whatever the layout of its words.
void expectExampleCourse(const Load& load) {
    ASSERT_TRUE(load.ok) << load.errors;
    EXPECT_EQ(load.errors, "");
    expectNumbersThenTime(load, 2);
    ASSERT_EQ(load.boxes.size(), 1u);
    ASSERT_EQ(load.triangles.size(), 2u);
    const CollisionBox& box = load.boxes[0];
    EXPECT_EQ(box.colour()[0], 0.1f);
    EXPECT_EQ(box.colour()[1], 0.6f);
    EXPECT_EQ(box.colour()[2], 0.1f);
    EXPECT_EQ(box.colour()[3], 1.0f);
    EXPECT_EQ(box.minCorner(), Vector3(0, 0, 0));
    EXPECT_EQ(box.maxCorner(), Vector3(10, 0, 10));
    ASSERT_EQ(box.triangleCount(), 2u);
    EXPECT_EQ(box.triangle(0), load.triangles[0]);
    EXPECT_EQ(box.triangle(1), load.triangles[1]);
    expectVertices(load.triangles[0], {0, 0, 0}, {0, 0, 10}, {10, 0, 0});
    expectVertices(load.triangles[1], {10, 0, 0}, {0, 0, 10}, {10, 0, 10});
    for (const Triangle* t : load.triangles) {
        EXPECT_EQ(t->normal(), Vector3(0, 1, 0));
        EXPECT_NE(t->link(), nullptr) << "built without its frames";
    }
}

} // namespace

TEST(CourseReader, LoadsTheExampleCourseWhateverTheLayout) {
    expectExampleCourse(parseText("example.txt", exampleCourse));

    std::string onePerLine = exampleCourse;
    std::string allOnOneLine = exampleCourse;
    for (std::size_t i = 0; i < exampleCourse.size(); ++i) {
        if (exampleCourse[i] == ' ' || exampleCourse[i] == '\n') {
            onePerLine[i] = '\n';
            allOnOneLine[i] = ' ';
        }
    }
    {
        SCOPED_TRACE("one word per line");
        expectExampleCourse(parseText("one-per-line.txt", onePerLine));
    }
    {
        SCOPED_TRACE("all on one line");
        expectExampleCourse(parseText("one-line.txt", allOnOneLine));
    }
    {
        SCOPED_TRACE("tabs, CR LF line ends, no line end after the final end");
        expectExampleCourse(parseText("crlf.txt", "start\r\n0.1\t0.6\t0.1\t1.0\r\n"
                                                  "0 0 0\t0 0 50\t50 0 0\r\n"
                                                  "50 0 0 0 0 50 50 0 50\r\nend"));
    }
    {
        // A box written after the end, and then bytes that are no words at all, are never read.
        SCOPED_TRACE("words after the final end");
        expectExampleCourse(parseText("after-end.txt", exampleCourse + exampleCourse +
                                                           "start 1 1 \x01\xff garbage"));
    }
}

TEST(CourseReader, NumbersBoxesAndTrianglesInFileOrder) {
    const Load empty = parseText("only-end.txt", "end\n");
    ASSERT_TRUE(empty.ok);
    EXPECT_TRUE(empty.triangles.empty());
    EXPECT_TRUE(empty.boxes.empty());
    expectNumbersThenTime(empty, 0);

    // Two boxes of two and three triangles: numbers run on across boxes.
    const Load two = parseText("two-boxes.txt", "start 1 0 0 1\n"
                                                "0 0 0 0 0 5 5 0 0\n"
                                                "5 0 0 0 0 5 5 0 5\n"
                                                "start 0 0 1 1\n"
                                                "0 5 0 0 5 5 5 5 0\n"
                                                "5 5 0 0 5 5 5 5 5\n"
                                                "0 10 0 0 10 5 5 10 0\n"
                                                "end\n");
    ASSERT_TRUE(two.ok) << two.errors;
    expectNumbersThenTime(two, 5);
    ASSERT_EQ(two.boxes.size(), 2u);
    ASSERT_EQ(two.triangles.size(), 5u);
    ASSERT_EQ(two.boxes[0].triangleCount(), 2u);
    ASSERT_EQ(two.boxes[1].triangleCount(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(two.boxes[1].triangle(i), two.triangles[static_cast<std::size_t>(i) + 2]);
    }
    EXPECT_EQ(two.boxes[1].colour()[2], 1.0f);
    EXPECT_EQ(two.boxes[1].minCorner(), Vector3(0, 1, 0));
    EXPECT_EQ(two.boxes[1].maxCorner(), Vector3(1, 2, 1));

    // Boxes without triangles, closed by the next box and by the end: corners stay at 0.
    const Load bare = parseText("bare-boxes.txt", "start 1 1 1 1 start 0.5 0.5 0.5 1 end");
    ASSERT_TRUE(bare.ok) << bare.errors;
    ASSERT_EQ(bare.boxes.size(), 2u);
    for (const CollisionBox& box : bare.boxes) {
        EXPECT_EQ(box.triangleCount(), 0u);
        EXPECT_EQ(box.minCorner(), Vector3());
        EXPECT_EQ(box.maxCorner(), Vector3());
    }
    EXPECT_EQ(bare.boxes[1].colour()[0], 0.5f);
    expectNumbersThenTime(bare, 0);
}

TEST(CourseReader, ScalesCoordinatesButNotColoursAndReadsNumbersInTheClassicLocale) {
    // A locale whose decimal point is a comma must not change how "0.1" reads.
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    CourseReader::instance()->imbue(std::locale(std::locale::classic(), new CommaDecimal));

    const Load load = parseText("scale.txt", "start 2.5 -1 0.1 1e0\n"
                                             "5 -5 +5   1e1 2.5E1 0.5   -50 10. .5\n"
                                             "end\n");
    ASSERT_TRUE(load.ok) << load.errors;
    const CollisionBox& box = load.boxes[0];
    EXPECT_EQ(box.colour()[0], 2.5f);
    EXPECT_EQ(box.colour()[1], -1.0f);
    EXPECT_EQ(box.colour()[2], 0.1f);
    EXPECT_EQ(box.colour()[3], 1.0f);
    // Each coordinate read as a float, then times the float 0.2 rounded to float.
    expectVertices(load.triangles[0], {1, -1, 1}, {2, 5, 0.5f * 0.2f}, {-10, 2, 0.5f * 0.2f});
}

TEST(CourseReader, DegenerateTriangleLoadsWithAWarningNamingIt) {
    const Load load = parseText("degenerate.txt", "start 1 1 1 1\n"
                                                  "0 0 0 0 0 5 5 0 0\n"
                                                  "0 0 0 5 5 5 10 10 10\n"
                                                  "1 1 1 1 1 1 1 1 1\n"
                                                  "end\n");
    ASSERT_TRUE(load.ok) << load.errors;
    expectNumbersThenTime(load, 3);
    ASSERT_EQ(load.boxes[0].triangleCount(), 3u);
    EXPECT_FALSE(load.triangles[1]->hasFiniteNormal());
    const std::string path = scratch().path("degenerate.txt").string();
    EXPECT_EQ(load.errors,
              path + ": triangle 1 is degenerate (zero area); it takes part in no contact\n" +
                  path + ": triangle 2 is degenerate (zero area); it takes part in no contact\n");
}

TEST(CourseReader, EveryFailureReturnsFalseWithOneLineSayingWhereAndWhat) {
    struct Case {
        const char* name;
        std::string_view text;
        // What follows "<file>: " on standard error.
        const char* error;
        // Triangle numbers printed before the fault was met.
        int trianglesPrinted;
    };
    const Case cases[] = {
        {"empty.txt", "",
         "line 1, word 1: expected \"start\" or \"end\", found the end of the file", 0},
        {"blank.txt", " \n\t\n  ",
         "line 3, word 1: expected \"start\" or \"end\", found the end of the file", 0},
        {"other-word.txt", "begin 1 1 1 1 end\n",
         "line 1, word 1: expected \"start\" or \"end\", found \"begin\"", 0},
        {"capital-end.txt", "End\n", "line 1, word 1: expected \"start\" or \"end\", found \"End\"",
         0},
        {"bad-colour.txt", "start\n1 1 green 1\nend\n",
         "line 2, word 4: expected a number (blue of the colour of box 0), found \"green\"", 0},
        {"capital-start.txt", "start\n1 1 1 1\nStart\n1 1 1 1\nend\n",
         "line 3, word 6: expected a number (x of vertex 0 of triangle 0), found \"Start\" "
         "(markers "
         "are written in lower case)",
         0},
        {"cut-short.txt", "start 1 1 1 1\n0 0 0  0 0 50\nstart 1 1 1 1\nend\n",
         "line 3, word 12: expected a number (x of vertex 2 of triangle 0), found \"start\" (cut "
         "short by a marker)",
         0},
        {"not-a-number.txt",
         "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\n0 0 50 50 0 50 50\n0 strat\nend\n",
         "line 4, word 23: expected a number (z of vertex 2 of triangle 1), found \"strat\"", 1},
        {"too-large.txt", "start 1 1 1 1\n0 0 1e50 0 0 50 50 0 0\nend\n",
         "line 2, word 8: expected a number (z of vertex 0 of triangle 0), found \"1e50\" (out of "
         "the range of a float)",
         0},
        {"glued.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0x1\nend\n",
         "line 2, word 14: expected a number (x of vertex 0 of triangle 1), found \"x1\"", 1},
        {"nul-byte.txt", "start 1 1 1 1\n0 0 \0 0\nend\n"sv,
         "line 2, word 8: expected a number (z of vertex 0 of triangle 0), found \"\\x00\"", 0},
        {"no-end.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\n",
         "line 3, word 15: expected a triangle, \"start\" or \"end\", found the end of the file",
         1},
        {"no-end-no-newline.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0",
         "line 2, word 15: expected a triangle, \"start\" or \"end\", found the end of the file",
         1},
        {"stops-in-triangle.txt", "start 1 1 1 1 0 0 0 0",
         "line 1, word 10: expected a number (y of vertex 1 of triangle 0), found the end of the "
         "file",
         0},
        {"stops-in-colour.txt", "start\n1 1",
         "line 2, word 4: expected a number (blue of the colour of box 0), found the end of the "
         "file",
         0},
        {"second-box-broken.txt",
         "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\nstart 1 1 1 1\n0 0 0 0 0 50 50 0 0\n5 5 end\n",
         "line 5, word 31: expected a number (z of vertex 0 of triangle 2), found \"end\" (cut "
         "short "
         "by a marker)",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeCourse(c.name, std::string(c.text));
        const Load load = parseFile(path);
        EXPECT_FALSE(load.ok);
        EXPECT_EQ(load.errors, path + ": " + c.error + "\n");
        std::string printed;
        for (int i = 0; i < c.trianglesPrinted; ++i) {
            printed += std::to_string(i) + "\n";
        }
        EXPECT_EQ(load.console, printed) << "no loading time after a failure";
    }

    const std::string missing = scratch().path("missing.txt").string();
    const Load load = parseFile(missing);
    EXPECT_FALSE(load.ok);
    EXPECT_EQ(load.console, "");
    EXPECT_EQ(load.errors, missing + ": cannot open the course file (No such file or directory)\n");

    // A directory opens but cannot be read: said so, not taken for an empty course.
    const std::string directory = scratch().path("").string();
    const Load unreadable = parseFile(directory);
    EXPECT_FALSE(unreadable.ok);
    EXPECT_EQ(unreadable.errors, directory + ": cannot read the course file (read error)\n");
}

TEST(CourseReader, ParsesAgainAfterAFailureFromAFreshStream) {
    // A failure leaves the stream open and failed midway; the next parse must not inherit it.
    EXPECT_FALSE(parseText("broken.txt", "start 1 1 1 1\n0 0 0 0 oops\n").ok);
    expectExampleCourse(parseText("example-again.txt", exampleCourse));
    EXPECT_FALSE(parseFile(scratch().path("missing-again.txt").string()).ok);
    expectExampleCourse(parseText("example-once-more.txt", exampleCourse));
}

TEST(CourseReader, PeekLeavesThePositionAndSkipConsumes) {
    CourseReader& reader = *CourseReader::instance();
    reader.close();
    reader.clear();
    reader.open(writeCourse("words.txt", "  start\n\tend"));
    ASSERT_TRUE(reader.is_open());
    EXPECT_EQ(reader.peekWord(), "start");
    EXPECT_EQ(reader.peekWord(), "start");
    reader.skipWord();
    EXPECT_EQ(reader.peekWord(), "end");
    // "end" runs up to the end of the input: looking at it must not lose it.
    EXPECT_EQ(reader.peekWord(), "end");
    reader.skipWord();
    EXPECT_EQ(reader.peekWord(), "");
    reader.close();
}
