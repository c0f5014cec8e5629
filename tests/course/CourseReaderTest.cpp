#include "course/CourseReader.h"

#include "support/ScratchDirectory.h"
#include "support/StreamCourseReader.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
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

// Everything one parse produced: its result, both lists, both output streams and where each
// box and triangle began. The triangles live in the load's own storage.
struct Load {
    bool ok = false;
    std::unique_ptr<TriangleStorage> storage = std::make_unique<TriangleStorage>();
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    CourseSources sources;
    std::vector<std::string> consoleLines;
    std::string console;
    std::string errors;
};

// Parses a file, or with `bytes` the same course from memory under the name `path`.
Load parseFile(const std::string& path, unsigned threads = 0, const std::string* bytes = nullptr) {
    Load load;
    std::ostringstream console;
    std::ostringstream errors;
    CourseReadOptions options;
    options.diagnostics = &errors;
    options.storage = load.storage.get();
    options.sources = &load.sources;
    options.threads = threads;
    CourseReader& reader = *CourseReader::instance();
    load.ok = bytes != nullptr
                  ? reader.parseBytes(*bytes, path, load.triangles, load.boxes, console, options)
                  : reader.parse(path, load.triangles, load.boxes, console, options);
    load.console = console.str();
    load.consoleLines = linesOf(load.console);
    load.errors = errors.str();
    return load;
}

// The course written to a file and parsed; the same bytes parsed from memory must give the same
// lists, console lines (but for the measured loading time) and messages.
Load parseText(const std::string& name, const std::string& text) {
    const std::string path = writeCourse(name, text);
    Load load = parseFile(path);
    const Load fromMemory = parseFile(path, 0, &text);
    EXPECT_EQ(fromMemory.ok, load.ok);
    EXPECT_EQ(fromMemory.errors, load.errors);
    EXPECT_EQ(fromMemory.triangles.size(), load.triangles.size());
    EXPECT_EQ(fromMemory.boxes.size(), load.boxes.size());
    const std::size_t numbers = std::min(load.triangles.size(), load.consoleLines.size());
    EXPECT_EQ(fromMemory.consoleLines.size(), load.consoleLines.size());
    if (fromMemory.consoleLines.size() == load.consoleLines.size()) {
        EXPECT_TRUE(std::equal(load.consoleLines.begin(), load.consoleLines.begin() + numbers,
                               fromMemory.consoleLines.begin()));
    }
    return load;
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
    const Load example = parseText("example.txt", exampleCourse);
    expectExampleCourse(example);
    // Each box at its "start", each triangle at its first number: line and column from 1.
    ASSERT_EQ(example.sources.boxes.size(), 1u);
    ASSERT_EQ(example.sources.triangles.size(), 2u);
    EXPECT_EQ(example.sources.boxes[0].line, 1);
    EXPECT_EQ(example.sources.boxes[0].column, 1);
    EXPECT_EQ(example.sources.triangles[1].line, 4);
    EXPECT_EQ(example.sources.triangles[1].column, 1);
    // Nothing kept for growth: the lists hold exactly what they list.
    EXPECT_EQ(example.triangles.capacity(), example.triangles.size());
    EXPECT_EQ(example.boxes.capacity(), example.boxes.size());

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
    // A global locale whose decimal point is a comma must not change how "0.1" reads.
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const Load load = parseText("scale.txt", "start 2.5 -1 0.1 1e0\n"
                                             "5 -5 +5   1e1 2.5E1 0.5   -50 10. .5\n"
                                             "end\n");
    std::locale::global(previous);
    ASSERT_TRUE(load.ok) << load.errors;
    const CollisionBox& box = load.boxes[0];
    EXPECT_EQ(box.colour()[0], 2.5f);
    EXPECT_EQ(box.colour()[1], -1.0f);
    EXPECT_EQ(box.colour()[2], 0.1f);
    EXPECT_EQ(box.colour()[3], 1.0f);
    // Each coordinate read as a float, then times the float 0.2 rounded to float.
    expectVertices(load.triangles[0], {1, -1, 1}, {2, 5, 0.5f * 0.2f}, {-10, 2, 0.5f * 0.2f});
}

TEST(CourseReader, DegenerateTriangleLoadsWithAWarningSayingWhereAndWhy) {
    const std::string path = writeCourse("degenerate.txt", "start 1 1 1 1\n"
                                                           "0 0 0 0 0 5 5 0 0\n"
                                                           "  0 0 0 5 5 5 10 10 10\n"
                                                           "1 1 1 1 1 1 1 1 1\n"
                                                           "-3e38 0 0  3e38 0 0  0 3e38 0\n"
                                                           "end\n");
    const Load load = parseFile(path);
    ASSERT_TRUE(load.ok) << load.errors;
    expectNumbersThenTime(load, 4);
    ASSERT_EQ(load.boxes[0].triangleCount(), 4u);
    EXPECT_FALSE(load.triangles[1]->hasFiniteNormal());
    const std::string noContact = "; it takes part in no contact\n";
    const std::string zeroArea =
        " is degenerate (zero area: its vertices are equal or on one line)";
    EXPECT_EQ(load.errors, path + ":3:3: warning: triangle 1" + zeroArea + noContact + path +
                               ":4:1: warning: triangle 2" + zeroArea + noContact + path +
                               ":5:1: warning: triangle 3 is degenerate (its normal overflows a "
                               "float: its coordinates are too large)" +
                               noContact);
}

TEST(CourseReader, EveryFailureReturnsFalseWithOneLineSayingWhereAndWhat) {
    struct Case {
        const char* name;
        std::string text;
        // What follows "<file>:" on the diagnostics, line by line.
        std::string error;
        // Triangle numbers printed before the fault was met.
        int trianglesPrinted;
    };
    const std::string cutShort = " (cut short by a marker)";
    const std::string shortTriangles =
        " began here; its triangles take nine numbers each, so one is missing or extra between "
        "here and the marker";
    const std::string gluedMarker = " (a marker is a word of its own: put white space around it)";
    const std::string longWord = " (a word of more than 4096 bytes)";
    const Case cases[] = {
        {"empty.txt", "", "1:1: error: expected \"start\" or \"end\", found the end of the file",
         0},
        {"blank.txt", " \n\t\n  ",
         "3:3: error: expected \"start\" or \"end\", found the end of the file", 0},
        {"other-word.txt", "begin 1 1 1 1 end\n",
         "1:1: error: expected \"start\" or \"end\", found \"begin\"", 0},
        {"capital-end.txt", "End\n", "1:1: error: expected \"start\" or \"end\", found \"End\"", 0},
        {"bad-colour.txt", "start\n1 1 green 1\nend\n",
         "2:5: error: expected a number (blue of the colour of box 0), found \"green\"", 0},
        {"capital-start.txt", "start\n1 1 1 1\nStart\n1 1 1 1\nend\n",
         "3:1: error: expected a number (x of vertex 0 of triangle 0), found \"Start\" (markers "
         "are written in lower case)",
         0},
        {"cut-short.txt", "start 1 1 1 1\n0 0 0  0 0 50\nstart 1 1 1 1\nend\n",
         "3:1: error: expected a number (x of vertex 2 of triangle 0), found \"start\"" + cutShort +
             "\n1:1: note: box 0" + shortTriangles,
         0},
        // The number missing on line 4 shows only at the next marker: the box's start is named.
        {"short.txt",
         "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\nstart 1 1 1 1\n0 0 0 0 0 50 50 0\n\n"
         "start 1 1 1 1\nend\n",
         "6:1: error: expected a number (z of vertex 2 of triangle 1), found \"start\"" + cutShort +
             "\n3:1: note: box 1" + shortTriangles,
         1},
        {"short-colour.txt", "start 1 1 1 1\nstart 1 1\nend\n",
         "3:1: error: expected a number (blue of the colour of box 1), found \"end\"" + cutShort +
             "\n2:1: note: box 1 began here; its colour takes four numbers",
         0},
        {"not-a-number.txt",
         "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\n0 0 50 50 0 50 50\n0 strat\nend\n",
         "4:3: error: expected a number (z of vertex 2 of triangle 1), found \"strat\"", 1},
        {"too-large.txt", "start 1 1 1 1\n0 0 1e50 0 0 50 50 0 0\nend\n",
         "2:5: error: expected a number (z of vertex 0 of triangle 0), found \"1e50\" (out of "
         "the range of a float)",
         0},
        // A number ends inside a word: the word's start and what it was meant to be are named.
        {"typo.txt", "start 1 1 1 1\n0 0 0\n5 -1O 0\n0 0 0\nend\n",
         "3:3: error: expected a number (y of vertex 1 of triangle 0), found \"-1O\"", 0},
        {"glued.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0x1\nend\n",
         "2:19: error: expected a number (z of vertex 2 of triangle 0), found \"0x1\"", 1},
        {"glued-end.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0end\n",
         "2:19: error: expected a number (z of vertex 2 of triangle 0), found \"0end\"" +
             gluedMarker,
         0},
        {"glued-start.txt", "start 1 1 1 1 start1 1 1 1\nend\n",
         "1:15: error: expected a number (x of vertex 0 of triangle 0), found \"start1\"" +
             gluedMarker,
         0},
        {"decimal-comma.txt", "start 1 1 1 1\n0 0 0 0 0 1,5 5 0 0\nend\n",
         "2:11: error: expected a number (z of vertex 1 of triangle 0), found \"1,5\" (a decimal "
         "comma: numbers are written with a point, as in 1.5)",
         0},
        {"crlf.txt", "start\r\n1 1 1 1\r\n0 0 0 five 0 0 5 5 5\r\nend\r\n",
         "3:7: error: expected a number (x of vertex 1 of triangle 0), found \"five\"", 0},
        {"tab.txt", "start 1 1 1 1\n\t0 0 0\t0 0 x 5 5 5\nend\n",
         "2:12: error: expected a number (z of vertex 1 of triangle 0), found \"x\"", 0},
        {"nul-byte.txt", std::string("start 1 1 1 1\n0 0 \0 0\nend\n"sv),
         "2:5: error: expected a number (z of vertex 0 of triangle 0), found \"\\x00\"", 0},
        {"no-end.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\n",
         "3:1: error: expected a triangle, \"start\" or \"end\", found the end of the file", 1},
        {"no-end-no-newline.txt", "start 1 1 1 1\n0 0 0 0 0 50 50 0 0",
         "2:20: error: expected a triangle, \"start\" or \"end\", found the end of the file", 1},
        {"stops-in-triangle.txt", "start 1 1 1 1 0 0 0 0",
         "1:22: error: expected a number (y of vertex 1 of triangle 0), found the end of the "
         "file",
         0},
        {"stops-in-colour.txt", "start\n1 1",
         "2:4: error: expected a number (blue of the colour of box 0), found the end of the file",
         0},
        {"second-box-broken.txt",
         "start 1 1 1 1\n0 0 0 0 0 50 50 0 0\nstart 1 1 1 1\n0 0 0 0 0 50 50 0 0\n5 5 end\n",
         "5:5: error: expected a number (z of vertex 0 of triangle 2), found \"end\"" + cutShort +
             "\n3:1: note: box 1" + shortTriangles,
         2},
        {"long-word.txt", "start 1 1 1 1\n" + std::string(5000, 'x'),
         "2:1: error: expected a triangle, \"start\" or \"end\", found \"" + std::string(40, 'x') +
             "...\"" + longWord,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Load load = parseText(c.name, c.text);
        const std::string path = scratch().path(c.name).string();
        EXPECT_FALSE(load.ok);
        std::string expected = path + ":";
        for (const char ch : c.error) {
            expected += ch == '\n' ? "\n" + path + ":" : std::string(1, ch);
        }
        EXPECT_EQ(load.errors, expected + "\n");
        std::string printed;
        for (int i = 0; i < c.trianglesPrinted; ++i) {
            printed += std::to_string(i) + "\n";
        }
        EXPECT_EQ(load.console, printed) << "no loading time after a failure";
        EXPECT_EQ(load.triangles.size(), static_cast<std::size_t>(c.trianglesPrinted));
    }
}

TEST(CourseReader, FilesThatCannotBeReadAreNamedWithTheReason) {
    // A relative name is looked up in the working folder, which the message names.
    const std::string missing = "no-such-course.txt";
    std::ostringstream errors;
    CourseReadOptions options;
    options.diagnostics = &errors;
    options.missingFileNote = "start the program where its course is";
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::ostringstream console;
    EXPECT_FALSE(CourseReader::instance()->parse(missing, triangles, boxes, console, options));
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(errors.str(), missing + ": error: cannot open the course file in " +
                                std::filesystem::current_path().string() +
                                " (No such file or directory)\n" + missing +
                                ": note: start the program where its course is\n");

    const std::string absent = scratch().path("missing.txt").string();
    EXPECT_EQ(parseFile(absent).errors,
              absent + ": error: cannot open the course file (No such file or directory)\n");

    // A directory opens but cannot be read: said so, not taken for an empty course.
    const std::string directory = scratch().path("").string();
    const Load unreadable = parseFile(directory);
    EXPECT_FALSE(unreadable.ok);
    EXPECT_EQ(unreadable.errors,
              directory + ": error: cannot read the course file (Is a directory)\n");
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

TEST(CourseReader, ParsesAgainAfterAFailureFromAFreshStart) {
    // A failure stops a parse midway; the next parse must not inherit anything of it.
    EXPECT_FALSE(parseText("broken.txt", "start 1 1 1 1\n0 0 0 0 oops\n").ok);
    expectExampleCourse(parseText("example-again.txt", exampleCourse));
    EXPECT_FALSE(parseFile(scratch().path("missing-again.txt").string()).ok);
    expectExampleCourse(parseText("example-once-more.txt", exampleCourse));
}

namespace {

// A course of a few boxes whose words are now and then glued together, mistyped or replaced by
// a marker, so that reads end inside words and markers turn up where numbers were meant.
std::string randomCourse(std::mt19937& random) {
    const auto below = [&random](unsigned n) { return static_cast<unsigned>(random() % n); };
    static const char* const numbers[] = {"0", "5", "-2.5", "1e1", ".5", "10.", "+3", "0.25"};
    static const char* const oddities[] = {"1.5.3", "5start", "0end",  "0x1", "1e", "-1O",
                                           "End",   "1,5",    "start", "end", "e5", "1e5e3"};
    static const char* const separators[] = {" ", "\n", "\t", "\r\n", "  "};
    std::string text;
    const auto add = [&](const char* word) {
        text += below(40) == 0 ? oddities[below(std::size(oddities))] : word;
        text += below(30) == 0 ? "" : separators[below(std::size(separators))];
    };
    for (unsigned box = below(3) + 1; box > 0; --box) {
        add("start");
        for (int i = 0; i < 4; ++i) {
            add(numbers[below(std::size(numbers))]);
        }
        for (unsigned numberCount = 9 * below(4); numberCount > 0; --numberCount) {
            add(numbers[below(std::size(numbers))]);
        }
    }
    add("end");
    return text;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

TEST(CourseReader, AcceptsAndBuildsWhatTheStreamReaderItReplacesDid) {
    std::mt19937 random(7);
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::string text = randomCourse(random);
        SCOPED_TRACE(text);
        const ReferenceLoad expected = referenceLoad(text);
        const Load load = parseFile("random.txt", 0, &text);
        ASSERT_EQ(load.ok, expected.ok) << load.errors;
        accepted += load.ok ? 1 : 0;
        ASSERT_EQ(load.boxes.size(), expected.trianglesPerBox.size());
        std::vector<float> numbers;
        for (std::size_t box = 0; box < load.boxes.size(); ++box) {
            const CollisionBox& loaded = load.boxes[box];
            numbers.insert(numbers.end(), loaded.colour(), loaded.colour() + 4);
            // A box cut short in its colour still holds no triangle.
            ASSERT_EQ(loaded.triangleCount(), static_cast<unsigned>(expected.trianglesPerBox[box]));
            for (unsigned t = 0; t < loaded.triangleCount(); ++t) {
                for (int v = 0; v < 3; ++v) {
                    const Vector3& vertex = *loaded.triangle(static_cast<int>(t))->vertex(v);
                    numbers.insert(numbers.end(), {vertex.x, vertex.y, vertex.z});
                }
            }
        }
        ASSERT_EQ(numbers.size(), expected.numbers.size());
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            ASSERT_EQ(bitsOf(numbers[i]), bitsOf(expected.numbers[i])) << "number " << i;
        }
    }
    // Both sides of the comparison were exercised.
    EXPECT_GT(accepted, 100);
    EXPECT_LT(accepted, 1400);
}

namespace {

// Every float a triangle holds, in a fixed order: vertices, normal, the three frames, the edge
// ends and the standard copy's vertices.
std::vector<std::uint32_t> triangleBits(const Triangle& t) {
    if (t.link() == nullptr) {
        return {}; // its frames were never built
    }
    std::vector<float> floats;
    const auto add = [&floats](const Vector3& v) { floats.insert(floats.end(), {v.x, v.y, v.z}); };
    for (int v = 0; v < 3; ++v) {
        add(*t.vertex(v));
        add(*t.link()->vertex(v));
        add(t.edgeEnd(v));
        floats.insert(floats.end(), t.matrix(v), t.matrix(v) + 16);
    }
    add(t.normal());
    std::vector<std::uint32_t> bits;
    for (const float value : floats) {
        bits.push_back(bitsOf(value));
    }
    return bits;
}

} // namespace

TEST(CourseReader, BuildsTheSameFramesOnAnyNumberOfThreads) {
    // A few thousand random triangles (several batches for the threads), two of them degenerate.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    std::ostringstream text;
    text << "start 1 1 1 1\n";
    constexpr int triangleCount = 3000;
    for (int i = 0; i < triangleCount; ++i) {
        for (int n = 0; n < 9; ++n) {
            text << (i == 100 ? 1.0f : coordinate(random)) << (n == 8 ? "\n" : " ");
        }
    }
    text << "0 0 0 1 1 1 2 2 2\nend\n";
    const std::string course = text.str();

    const Load one = parseFile("threads.txt", 1, &course);
    ASSERT_TRUE(one.ok) << one.errors;
    ASSERT_EQ(one.triangles.size(), triangleCount + 1u);
    // Frames missing on both sides would compare equal below.
    for (const Triangle* t : one.triangles) {
        ASSERT_NE(t->link(), nullptr) << "built without its frames";
    }
    for (const unsigned threads : {2u, 5u}) {
        SCOPED_TRACE(threads);
        const Load many = parseFile("threads.txt", threads, &course);
        ASSERT_EQ(many.triangles.size(), one.triangles.size());
        // The same numbers printed (the loading time, last, is measured anew).
        EXPECT_TRUE(many.consoleLines.size() == one.consoleLines.size() &&
                    std::equal(one.consoleLines.begin(), one.consoleLines.end() - 1,
                               many.consoleLines.begin()));
        EXPECT_EQ(many.errors, one.errors);
        for (std::size_t i = 0; i < one.triangles.size(); ++i) {
            ASSERT_EQ(triangleBits(*many.triangles[i]), triangleBits(*one.triangles[i])) << i;
        }
    }
    // The frames are those the Triangle constructor builds on its own from the same vertices.
    for (std::size_t i = 0; i < one.triangles.size(); ++i) {
        Vector3 vertices[3] = {*one.triangles[i]->vertex(0), *one.triangles[i]->vertex(1),
                               *one.triangles[i]->vertex(2)};
        const Triangle alone(&vertices[0], &vertices[1], &vertices[2], false);
        ASSERT_EQ(triangleBits(alone), triangleBits(*one.triangles[i])) << i;
    }
}

namespace {

// Writes `text` into the FIFO at `path` a few bytes at a time, as a slow program would. Its open
// waits for a reader however long that takes (the test opens one after the parse, so it cannot
// wait forever). A reader that stops early (at a fault) ends the writing with EPIPE, not with the
// signal that would end the test process.
void writeSlowly(const std::string& path, const std::string& text) {
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), O_WRONLY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return;
    }
    constexpr std::size_t piece = 7;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        const std::string bytes = text.substr(at, piece);
        if (::write(descriptor, bytes.data(), bytes.size()) < 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::close(descriptor);
}

} // namespace

TEST(CourseReader, ReadsAFifoAsItReadsAFile) {
    const std::string broken = exampleCourse.substr(0, exampleCourse.size() - 4) +
                               "start 1 1 1 1\n0 0 0  0 0 50\n  5 -1O 0\nend\n";
    for (const std::string& text : {exampleCourse, broken}) {
        const std::string path = scratch().path("course.fifo").string();
        std::filesystem::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        std::thread writer(writeSlowly, path, text);
        const Load load = parseFile(path);
        // The parse opened the FIFO, which let the writer's open return; should it not have, the
        // writer still waits for a reader, and this one, kept open until the writer is done,
        // releases it (its few bytes fit in the FIFO's buffer).
        const int release = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        writer.join();
        ::close(release);
        const Load fromMemory = parseFile(path, 0, &text);
        EXPECT_EQ(load.ok, fromMemory.ok);
        EXPECT_EQ(load.errors, fromMemory.errors);
        EXPECT_EQ(load.triangles.size(), fromMemory.triangles.size());
        if (text == exampleCourse) {
            expectExampleCourse(load);
        } else {
            EXPECT_EQ(load.errors, path + ":7:5: error: expected a number (y of vertex 2 of "
                                          "triangle 2), found \"-1O\"\n");
        }
    }
}

TEST(CourseReader, WordsAreCappedSoDevicesAndBinaryFilesFailPromptly) {
    // Endless NUL bytes are one endless word: refused after the cap, not read into memory.
    std::string quotedNuls;
    for (int i = 0; i < 40; ++i) {
        quotedNuls += "\\x00";
    }
    const Load zeros = parseFile("/dev/zero");
    EXPECT_FALSE(zeros.ok);
    EXPECT_EQ(zeros.errors, "/dev/zero:1:1: error: expected \"start\" or \"end\", found \"" +
                                quotedNuls + "...\" (a word of more than 4096 bytes)\n");
    const Load noise = parseFile("/dev/urandom");
    EXPECT_FALSE(noise.ok);
    EXPECT_NE(noise.errors.find(": error: expected \"start\" or \"end\", found \""),
              std::string::npos)
        << noise.errors;

    // A number of exactly the cap loads; one byte more is refused at the word's own position,
    // also where the word crosses a boundary between two reads (the second read is 128 KiB on).
    const std::string header = "start 1 1 1 1\n";
    for (const std::size_t blanks : {std::size_t{2}, std::size_t{131072 - 2000}}) {
        for (const std::size_t length : {std::size_t{4096}, std::size_t{4097}}) {
            SCOPED_TRACE(std::to_string(blanks) + " blanks, a word of " + std::to_string(length));
            const std::string number = "0." + std::string(length - 2, '0');
            const std::string text =
                header + std::string(blanks, ' ') + number + " 0 0  0 0 5  5 0 0\nend\n";
            const Load load = parseFile("long.txt", 0, &text);
            EXPECT_EQ(load.ok, length == 4096) << load.errors;
            if (length > 4096) {
                EXPECT_EQ(load.errors, "long.txt:2:" + std::to_string(blanks + 1) +
                                           ": error: expected a triangle, \"start\" or \"end\", "
                                           "found \"0." +
                                           std::string(38, '0') +
                                           "...\" (a word of more than 4096 bytes)\n");
            }
        }
    }
}
