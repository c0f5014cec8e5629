// minigolf-sim run as a process on small generated courses: what it prints, its exit statuses
// and the physical outcomes it reports (bounces in a closed room, balls lost through a hole).
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string simTool = MINIGOLF_SIM;

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory("minigolf-sim-test");
    return directory;
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = scratch().path(name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (const char ch : word) {
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return quoted + "'";
}

struct ToolRun {
    int status = -1; // exit status, or -1 when the tool did not exit normally (a crash)
    std::string out;
    std::string err;
};

// Runs the tool with the arguments; `feed`, when given, is a shell pipeline stage put before it
// ("cat file | ").
ToolRun runSim(const std::vector<std::string>& arguments, const std::string& feed = "") {
    const std::string errorFile = scratch().path("stderr.txt").string();
    std::string command = feed + shellQuoted(simTool);
    for (const std::string& argument : arguments) {
        command += " " + shellQuoted(argument);
    }
    command += " 2>" + shellQuoted(errorFile);

    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    std::array<char, 4096> chunk{};
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        run.out.append(chunk.data(), got);
    }
    const int waitStatus = pclose(pipe);
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    run.err = readFile(errorFile);
    return run;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A cube room of course half-width 25 around the origin (the course file holds five times the
// numbers), one box per wall, every triangle facing inward. Walls are named by the outward
// direction: axis 0, 1, 2 and side -1 or +1. `leaveOut` names one wall to omit, or none.
struct Wall {
    int axis;
    int side;
};

std::string roomCourse(const Wall* leaveOut = nullptr, const std::string& extraBoxes = "") {
    constexpr double half = 125.0; // file units
    std::ostringstream text;
    for (int axis = 0; axis < 3; ++axis) {
        for (const int side : {-1, 1}) {
            if (leaveOut != nullptr && leaveOut->axis == axis && leaveOut->side == side) {
                continue;
            }
            const int u = (axis + 1) % 3;
            const int v = (axis + 2) % 3;
            // Corners of the wall's square; (a, b, c) winds a triangle, whose normal
            // (b - a) x (c - a) must point inward, that is against `side` on `axis`.
            const auto corner = [&](double du, double dv) {
                std::array<double, 3> p{};
                p[axis] = side * half;
                p[u] = du * half;
                p[v] = dv * half;
                return p;
            };
            const auto triangle = [&](std::array<double, 3> a, std::array<double, 3> b,
                                      std::array<double, 3> c) {
                const std::array<double, 3> e1 = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
                const std::array<double, 3> e2 = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
                const std::array<double, 3> n = {e1[1] * e2[2] - e1[2] * e2[1],
                                                 e1[2] * e2[0] - e1[0] * e2[2],
                                                 e1[0] * e2[1] - e1[1] * e2[0]};
                if (n[axis] * side > 0.0) {
                    std::swap(b, c);
                }
                for (const auto& p : {a, b, c}) {
                    text << p[0] << " " << p[1] << " " << p[2] << "  ";
                }
                text << "\n";
            };
            text << "start\n0.5 0.5 0.5 1\n";
            triangle(corner(-1, -1), corner(1, -1), corner(1, 1));
            triangle(corner(-1, -1), corner(1, 1), corner(-1, 1));
        }
    }
    text << extraBoxes << "end\n";
    return text.str();
}

// The last line of simulate: steps N collides C respawns R position X Y Z velocity X Y Z.
struct Summary {
    long long steps = -1;
    long long collides = -1;
    long long respawns = -1;
    std::array<double, 3> position{};
    std::array<double, 3> velocity{};
};

Summary parseSummary(const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    Summary summary;
    const std::vector<std::string> keys = {"steps", "collides", "respawns", "position", "velocity"};
    if (words.size() != 14 || words[0] != keys[0] || words[2] != keys[1] || words[4] != keys[2] ||
        words[6] != keys[3] || words[10] != keys[4]) {
        ADD_FAILURE() << "not a summary line: " << line;
        return summary;
    }
    summary.steps = std::stoll(words[1]);
    summary.collides = std::stoll(words[3]);
    summary.respawns = std::stoll(words[5]);
    for (int i = 0; i < 3; ++i) {
        summary.position[i] = std::stod(words[7 + i]);
        summary.velocity[i] = std::stod(words[11 + i]);
    }
    return summary;
}

double length(const std::array<double, 3>& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The program's ball: speed |(-50, -15, 15)|, radius 0.6.
const double programSpeed = std::sqrt(50.0 * 50.0 + 15.0 * 15.0 + 15.0 * 15.0);
constexpr double ballRadius = 0.6;
constexpr double roomHalfWidth = 25.0;
// Bounces keep the speed up to float rounding of the mirror, a few ulps per bounce.
constexpr double speedTolerance = 1e-4;

TEST(MinigolfSimSimulate, BouncesInAClosedRoomKeepTheBallInsideAndItsSpeed) {
    const std::string room = writeFile("room.txt", roomCourse());
    const ToolRun run = runSim({"simulate", room});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    const Summary summary = parseSummary(lines[0]);
    EXPECT_EQ(summary.steps, 600);
    // 10 s at about 54 units a second cross the 50-unit room many times.
    EXPECT_GT(summary.collides, 5);
    EXPECT_EQ(summary.respawns, 0);
    for (const double coordinate : summary.position) {
        EXPECT_LE(std::fabs(coordinate), roomHalfWidth - ballRadius + 1e-3) << lines[0];
    }
    EXPECT_NEAR(length(summary.velocity), programSpeed, programSpeed * speedTolerance);
}

TEST(MinigolfSimSimulate, TraceHasOneLinePerStepThatAddUpToTheLastLine) {
    const std::string room = writeFile("room.txt", roomCourse());
    const int steps = 240;
    const ToolRun run =
        runSim({"simulate", room, "--trace", "--steps", std::to_string(steps), "--dt", "0.01",
                "--pos", "1", "2", "3", "--vel", "40", "-30", "20"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(steps) + 1);

    long long bounces = 0;
    std::vector<std::string> last;
    for (int step = 1; step <= steps; ++step) {
        last = wordsOf(lines[step - 1]);
        ASSERT_EQ(last.size(), 8u) << lines[step - 1];
        EXPECT_EQ(last[0], std::to_string(step));
        bounces += std::stoll(last[7]);
    }
    const Summary summary = parseSummary(lines.back());
    EXPECT_EQ(summary.steps, steps);
    EXPECT_GT(summary.collides, 0);
    EXPECT_EQ(bounces, summary.collides);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::stod(last[1 + i]), summary.position[i]);
        EXPECT_EQ(std::stod(last[4 + i]), summary.velocity[i]);
    }

    // The first step meets no wall: the start and the velocity given move by v dt.
    const std::vector<std::string> first = wordsOf(lines[0]);
    EXPECT_NEAR(std::stod(first[1]), 1.4, 1e-5);
    EXPECT_NEAR(std::stod(first[2]), 1.7, 1e-5);
    EXPECT_NEAR(std::stod(first[3]), 3.2, 1e-5);
    EXPECT_EQ(first[4] + " " + first[5] + " " + first[6] + " " + first[7], "40 -30 20 0");
}

TEST(MinigolfSimSimulate, ASlowBallRespawnsWhereTheSeedSays) {
    const std::string room = writeFile("room.txt", roomCourse());
    // 0.3 units a second, at most restSpeed, from 0.5 above the floor's contact height.
    const auto slowDrop = [&](const std::string& seed) {
        return runSim({"simulate", room, "--pos", "0", "-23.9", "0", "--vel", "0", "-0.3", "0",
                       "--steps", "180", "--seed", seed});
    };
    const ToolRun first = slowDrop("7");
    ASSERT_EQ(first.status, 0) << first.err;
    const Summary summary = parseSummary(linesOf(first.out).back());
    EXPECT_EQ(summary.collides, 0);
    EXPECT_EQ(summary.respawns, 1);
    EXPECT_EQ(summary.velocity, (std::array<double, 3>{0.0, 0.0, 0.0}));
    EXPECT_EQ(summary.position[1], 10.0);
    for (const int axis : {0, 2}) {
        EXPECT_EQ(summary.position[axis], std::round(summary.position[axis]));
        EXPECT_LE(std::fabs(summary.position[axis]), 20.0);
    }

    EXPECT_EQ(slowDrop("7").out, first.out);
    // Seeds, not the clock, choose the place: a handful of seeds gives more than one place.
    std::set<std::string> places;
    for (int seed = 1; seed <= 6; ++seed) {
        places.insert(linesOf(slowDrop(std::to_string(seed)).out).back());
    }
    EXPECT_GT(places.size(), 1u);
}

// check's report on a room: triangles, boxes, degenerate numbers, seed, the run, the outcome.
struct CheckReport {
    std::vector<std::string> lines;
    long long left = -1;
    long long bounces = -1;
    double largestSpeedChange = -1.0;
    long long nonFinite = -1;
};

CheckReport parseCheck(const std::string& out) {
    CheckReport report;
    report.lines = linesOf(out);
    if (report.lines.empty()) {
        ADD_FAILURE() << "check printed nothing";
        return report;
    }
    const std::vector<std::string> words = wordsOf(report.lines.back());
    if (words.size() != 8 || words[0] != "left" || words[2] != "bounces" ||
        words[4] != "largest-speed-change" || words[6] != "non-finite") {
        ADD_FAILURE() << "not a check outcome: " << report.lines.back();
        return report;
    }
    report.left = std::stoll(words[1]);
    report.bounces = std::stoll(words[3]);
    report.largestSpeedChange = std::stod(words[5]);
    report.nonFinite = std::stoll(words[7]);
    return report;
}

TEST(MinigolfSimCheck, EveryBallStaysInAClosedRoom) {
    const std::string room = writeFile("room.txt", roomCourse());
    const std::vector<std::string> arguments = {"check",  room, "--balls", "20", "--seconds", "10",
                                                "--from", "0",  "0",       "0",  "--seed",    "3"};
    const ToolRun run = runSim(arguments);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const CheckReport report = parseCheck(run.out);
    ASSERT_EQ(report.lines.size(), 4u) << run.out;
    EXPECT_EQ(report.lines[0], "triangles 12 boxes 6");
    EXPECT_EQ(report.lines[1], "seed 3");
    EXPECT_EQ(report.lines[2].rfind("balls 20 steps 600 ", 0), 0u) << report.lines[2];
    EXPECT_EQ(report.left, 0);
    EXPECT_EQ(report.nonFinite, 0);
    // 20 balls for 10 s each at about 54 units a second in a 50-unit room.
    EXPECT_GT(report.bounces, 20 * 5);
    EXPECT_LT(report.largestSpeedChange, speedTolerance);
    EXPECT_EQ(runSim(arguments).out, run.out);
}

TEST(MinigolfSimCheck, BallsLeaveThroughAMissingWall) {
    const Wall missing{0, 1};
    const std::string room = writeFile("open-room.txt", roomCourse(&missing));
    const ToolRun run = runSim({"check", room, "--balls", "20", "--seconds", "10", "--from", "0",
                                "0", "0", "--seed", "3"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const CheckReport report = parseCheck(run.out);
    EXPECT_EQ(report.lines.front(), "triangles 10 boxes 5");
    EXPECT_GT(report.left, 0);
    EXPECT_LE(report.left, 20);
    EXPECT_EQ(report.nonFinite, 0);
}

TEST(MinigolfSimCheck, DegenerateTrianglesAreNamedByTheirNumber) {
    // Triangles 1 (two equal vertices) and 3 (collinear) have no area.
    const std::string course = writeFile("degenerate.txt", "start 1 1 1 1\n"
                                                           "0 0 0  0 0 5  5 0 0\n"
                                                           "0 0 0  0 0 0  5 0 0\n"
                                                           "start 1 1 1 1\n"
                                                           "0 0 0  0 5 0  5 0 0\n"
                                                           "0 0 0  1 1 1  2 2 2\n"
                                                           "end\n");
    const ToolRun run = runSim({"check", course, "--balls", "1", "--seconds", "0", "--seed", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_GE(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[0], "triangles 4 boxes 2");
    EXPECT_EQ(lines[1], "degenerate 1");
    EXPECT_EQ(lines[2], "degenerate 3");
    EXPECT_EQ(lines[3], "seed 1");
}

TEST(MinigolfSimCommandLine, BadArgumentsExitWithStatusTwoAndSayWhy) {
    const std::string room = writeFile("room.txt", roomCourse());
    struct Case {
        std::vector<std::string> arguments;
        std::string message; // a part of the one line on standard error
    };
    const std::vector<Case> cases = {
        {{}, "missing the command"},
        {{"fly", room}, "unknown command \"fly\""},
        {{"simulate"}, "missing the course"},
        {{"simulate", room, room}, "unexpected argument"},
        {{"simulate", room, "--bogus"}, "unknown option \"--bogus\""},
        {{"simulate", room, "-x"}, "unknown option \"-x\""},
        {{"simulate", room, "--dt"}, "--dt: missing SECONDS"},
        {{"simulate", room, "--dt", "abc"}, "--dt: expected a number, found \"abc\""},
        {{"simulate", room, "--dt", "0.1s"}, "\"0.1s\""},
        {{"simulate", room, "--dt", " 0.1"}, "\" 0.1\""},
        {{"simulate", room, "--dt", ""}, "--dt: expected a number"},
        {{"simulate", room, "--dt", "0"}, "--dt: must be greater than 0"},
        {{"simulate", room, "--dt", "-0.01"}, "--dt: must be greater than 0"},
        {{"simulate", room, "--dt", "nan"}, "finite"},
        {{"simulate", room, "--dt", "inf"}, "finite"},
        {{"simulate", room, "--dt", "1e999"}, "finite"},
        {{"simulate", room, "--steps", "-1"}, "--steps: must be at least 0"},
        {{"simulate", room, "--steps", "1.5"}, "--steps: expected a whole number"},
        {{"simulate", room, "--steps", "99999999999999999999"}, "out of range"},
        {{"simulate", room, "--pos", "1", "2"}, "--pos: missing Z"},
        {{"simulate", room, "--vel", "1", "x", "3"}, "--vel: expected a number, found \"x\""},
        {{"simulate", room, "--pos", "1", "2", "1e39"}, "out of the range of a float"},
        {{"simulate", room, "--seed", "-1"}, "--seed: must be a whole number from 0"},
        {{"simulate", room, "--seed", "4294967296"}, "--seed: must be a whole number from 0"},
        {{"check", room, "--balls", "0"}, "--balls: must be at least 1"},
        {{"check", room, "--seconds", "-1"}, "--seconds: must be at least 0"},
        {{"check", room, "--speed", "0"}, "--speed: must be greater than 0"},
        {{"check", room, "--from", "0", "0"}, "--from: missing Z"},
        {{"check", room, "--seconds", "1e300", "--dt", "1e-300"}, "steps per ball"},
        {{"check", room, "--trace"}, "unknown option \"--trace\""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += " [" + argument + "]";
        }
        SCOPED_TRACE("arguments:" + shown);
        const ToolRun run = runSim(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
    }
}

TEST(MinigolfSimCommandLine, UnreadableCoursesExitWithStatusTwoAndTheReadersMessage) {
    const std::string missing = scratch().path("no-such-course.txt").string();
    const std::string broken =
        writeFile("broken.txt", "start 1 1 1 1\n0 0 0 0 0 five 5 0 0\nend\n");
    for (const std::string command : {"simulate", "check"}) {
        SCOPED_TRACE(command);
        const ToolRun absent = runSim({command, missing, "--seed", "1"});
        EXPECT_EQ(absent.status, 2);
        EXPECT_EQ(absent.out, "");
        EXPECT_NE(absent.err.find(missing), std::string::npos) << absent.err;

        const ToolRun unreadable = runSim({command, broken, "--seed", "1"});
        EXPECT_EQ(unreadable.status, 2);
        EXPECT_EQ(unreadable.out, "");
        EXPECT_NE(unreadable.err.find(broken + ":2:11: error: expected a number (z of vertex 1"),
                  std::string::npos)
            << unreadable.err;
    }
}

TEST(MinigolfSimCommandLine, ReadsTheCourseFromAPipeAsFromAFile) {
    const std::string course = writeFile("piped.txt", "start 1 1 1 1\n0 0 0 0 0 5 5 0 0\nend\n");
    const ToolRun fromFile =
        runSim({"check", course, "--balls", "1", "--seconds", "0", "--seed", "1"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    // Standard input as the course: a pipe that can be read only once, front to back.
    const ToolRun piped =
        runSim({"check", "/dev/stdin", "--balls", "1", "--seconds", "0", "--seed", "1"},
               "cat " + shellQuoted(course) + " | ");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, fromFile.out);
    EXPECT_EQ(piped.err, "");
}

TEST(MinigolfSimCommandLine, HelpGoesToStandardOutputWithStatusZero) {
    const std::vector<std::vector<std::string>> requests = {
        {"--help"}, {"simulate", "--help"}, {"check", "-h"}, {"simulate", "--dt", "0", "--help"}};
    for (const auto& request : requests) {
        SCOPED_TRACE(request.size() > 1 ? request[0] + " " + request[1] : request[0]);
        const ToolRun run = runSim(request);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("usage: minigolf-sim", 0), 0u) << run.out;
    }
}

} // namespace
