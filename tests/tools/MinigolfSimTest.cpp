// minigolf-sim run as a process on small generated courses: what it prints, its exit statuses
// and the physical outcomes it reports (bounces in a closed room, balls lost through a hole).
#include "scene/BallConstants.h"
#include "support/ScratchDirectory.h"
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
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
    return writeWholeFile(scratch(), name, text);
}

// Runs the tool with the arguments; `feed`, when given, is a shell pipeline stage put before it
// ("cat file | ").
ToolRun runSim(const std::vector<std::string>& arguments, const std::string& feed = "") {
    return runCommand(scratch(), commandLine(simTool, arguments, feed));
}

// A cube room of course half-width 25 (or `half` / 5) around the origin (the course file holds
// five times the numbers), one box per wall, every triangle facing inward. Walls are named by
// the outward direction: axis 0, 1, 2 and side -1 or +1. `leaveOut` names one wall to omit, or
// none.
struct Wall {
    int axis;
    int side;
};

std::string roomCourse(const Wall* leaveOut = nullptr, const std::string& extraBoxes = "",
                       double half = 125.0 /* file units */) {
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
const double programSpeed = ball_constants::startVelocity().length();
constexpr double ballRadius = ball_constants::radius;
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
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(steps) + 2);
    EXPECT_EQ(lines[0], "step x y z vx vy vz collides");

    long long bounces = 0;
    std::vector<std::string> last;
    for (int step = 1; step <= steps; ++step) {
        last = wordsOf(lines[step]);
        ASSERT_EQ(last.size(), 8u) << lines[step];
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
    const std::vector<std::string> first = wordsOf(lines[1]);
    EXPECT_NEAR(std::stod(first[1]), 1.4, 1e-5);
    EXPECT_NEAR(std::stod(first[2]), 1.7, 1e-5);
    EXPECT_NEAR(std::stod(first[3]), 3.2, 1e-5);
    EXPECT_EQ(first[4] + " " + first[5] + " " + first[6] + " " + first[7], "40 -30 20 0");

    // --csv: the same lines with commas under a header of their own, and nothing else.
    const ToolRun csv = runSim({"simulate", room, "--csv", "--steps", std::to_string(steps), "--dt",
                                "0.01", "--pos", "1", "2", "3", "--vel", "40", "-30", "20"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<std::string> rows = linesOf(csv.out);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(steps) + 1);
    EXPECT_EQ(rows[0], "step,x,y,z,vx,vy,vz,collides");
    for (int step = 1; step <= steps; ++step) {
        std::string spaced = rows[step];
        std::replace(spaced.begin(), spaced.end(), ',', ' ');
        EXPECT_EQ(spaced, lines[step]);
    }
}

TEST(MinigolfSimSimulate, AZeroTimeStepMovesNothing) {
    // Two frames within one clock tick: the step gets 0 s. A free ball stays where it is, and
    // one already touching a wall and moving into it neither bounces nor moves.
    const std::string room = writeFile("room.txt", roomCourse());
    for (const std::string x : {"1", "24.40625"}) {
        SCOPED_TRACE("x " + x);
        const ToolRun run = runSim({"simulate", room, "--dt", "0", "--steps", "5", "--pos", x, "2",
                                    "3", "--vel", "10", "0", "0"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  "steps 5 collides 0 respawns 0 position " + x + " 2 3 velocity 10 0 0\n");
    }
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

// What python3's XML parser finds in a plot: per view ("top", "side", "front"), the polygons and
// their classes, the points of the path's polylines in course units, the bounce marks, the marks
// where the path crosses the frame, and the start and end marks.
struct SvgView {
    long long polygons = -1;
    std::vector<std::string> polygonClasses;
    std::vector<std::array<double, 2>> path;
    long long bounces = -1;
    long long crossings = -1;
    std::array<double, 2> start{};
    std::array<double, 2> end{};
};

std::map<std::string, SvgView> readSvg(const std::string& file) {
    const std::string script = R"(
import sys, xml.etree.ElementTree as ET
svg = '{http://www.w3.org/2000/svg}'
for view in ET.parse(sys.argv[1]).getroot().iter(svg + 'g'):
    if view.get('class') != 'view':
        continue
    name = view.get('id')
    print('polygons', name, len(list(view.iter(svg + 'polygon'))))
    print('classes', name, *(p.get('class') for p in view.iter(svg + 'polygon')))
    print('crossings', name, sum(1 for p in view.iter(svg + 'path') if p.get('class') == 'crossing'))
    for line in view.iter(svg + 'polyline'):
        print('path', name, line.get('points'))
    circles = list(view.iter(svg + 'circle'))
    print('bounces', name, sum(1 for c in circles if c.get('class') == 'bounce'))
    for c in circles:
        if c.get('class') in ('start', 'end'):
            print(c.get('class'), name, c.get('cx'), c.get('cy'))
)";
    const ToolRun parsed =
        runCommand(scratch(), "python3 -c " + shellQuoted(script) + " " + shellQuoted(file));
    EXPECT_EQ(parsed.status, 0) << "not XML: " << parsed.err;
    std::map<std::string, SvgView> views;
    for (const std::string& line : linesOf(parsed.out)) {
        const std::vector<std::string> words = wordsOf(line);
        SvgView& view = views[words.at(1)];
        if (words[0] == "polygons" || words[0] == "bounces" || words[0] == "crossings") {
            (words[0] == "polygons"  ? view.polygons
             : words[0] == "bounces" ? view.bounces
                                     : view.crossings) = std::stoll(words.at(2));
        } else if (words[0] == "classes") {
            view.polygonClasses.assign(words.begin() + 2, words.end());
        } else if (words[0] == "path") {
            for (std::size_t i = 2; i < words.size(); ++i) {
                const std::size_t comma = words[i].find(',');
                view.path.push_back(
                    {std::stod(words[i].substr(0, comma)), std::stod(words[i].substr(comma + 1))});
            }
        } else {
            (words[0] == "start" ? view.start : view.end) = {std::stod(words.at(2)),
                                                             std::stod(words.at(3))};
        }
    }
    return views;
}

TEST(MinigolfSimPlot, TheSvgHoldsTheCourseAndThePathThroughEveryBounce) {
    const std::string room = writeFile("room.txt", roomCourse());
    const std::vector<std::string> flight = {room, "--steps", "240",   "--dt", "0.01", "--pos", "1",
                                             "2",  "3",       "--vel", "40",   "-30",  "20"};
    std::vector<std::string> simulate = {"simulate"};
    simulate.insert(simulate.end(), flight.begin(), flight.end());
    const Summary summary = parseSummary(linesOf(runSim(simulate).out).back());
    ASSERT_GT(summary.collides, 2);

    const std::string svg = scratch().path("flight.svg").string();
    std::vector<std::string> plot = {"plot"};
    plot.insert(plot.end(), flight.begin(), flight.end());
    plot.insert(plot.end(), {"-o", svg});
    const ToolRun run = runSim(plot);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");

    std::map<std::string, SvgView> views = readSvg(svg);
    const SvgView& top = views["top"];   // (x, z)
    const SvgView& side = views["side"]; // (x, y)
    for (const SvgView* view : {&top, &side}) {
        EXPECT_EQ(view->polygons, 12); // every triangle of the room
        EXPECT_EQ(view->bounces, summary.collides);
        // A straight flight between bounces is one segment: start, every bounce, end.
        ASSERT_EQ(view->path.size(), static_cast<std::size_t>(summary.collides) + 2);
    }
    EXPECT_EQ(top.path.front(), (std::array<double, 2>{1.0, 3.0}));
    EXPECT_EQ(side.path.front(), (std::array<double, 2>{1.0, 2.0}));
    EXPECT_EQ(top.end, (std::array<double, 2>{summary.position[0], summary.position[2]}));
    EXPECT_EQ(side.end, (std::array<double, 2>{summary.position[0], summary.position[1]}));
    EXPECT_EQ(top.path.back(), top.end);
    // Every bounce touches a wall: the centre a radius inside the room on some axis.
    for (std::size_t i = 1; i + 1 < top.path.size(); ++i) {
        const std::array<double, 3> centre = {top.path[i][0], side.path[i][1], top.path[i][1]};
        EXPECT_EQ(top.path[i][0], side.path[i][0]);
        const double outermost =
            std::max({std::fabs(centre[0]), std::fabs(centre[1]), std::fabs(centre[2])});
        EXPECT_NEAR(outermost, roomHalfWidth - ballRadius, 1e-3) << "bounce " << i;
    }
}

TEST(MinigolfSimPlot, FramesTheCourseAndCutsThePathWhereItLeavesIt) {
    // A wall 4 units square in the plane x = 0, facing +x: edge-on from above and from the side.
    // The ball bounces off it once and flies out of the picture.
    const std::string wall = writeFile("wall.txt", "start\n1 0 0 1\n0 -10 -10  0 10 -10  0 -10 10\n"
                                                   "0 10 10  0 -10 10  0 10 -10\nend\n");
    const std::string svg = scratch().path("wall.svg").string();
    const ToolRun run = runSim({"plot", wall, "--pos", "0.62", "0", "0", "--vel", "-1", "0", "0.5",
                                "--dt", "0.1", "--steps", "40", "-o", svg});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readWholeFile(svg).find(">40 steps of 0.1 s, 1 bounce, 0 respawns;"),
              std::string::npos);

    // The frame is the wall's bounds grown by the ball's radius and 4 % padding on each side:
    // x within 0.648 of the plane, y and z within 2.808 of the centre.
    std::map<std::string, SvgView> views = readSvg(svg);
    const std::map<std::string, std::array<double, 2>> frames = {
        {"top", {0.648, 2.808}}, {"side", {0.648, 2.808}}, {"front", {2.808, 2.808}}};
    for (const auto& [name, frame] : frames) {
        SCOPED_TRACE(name);
        const SvgView& view = views[name];
        EXPECT_EQ(view.polygons, 2);
        ASSERT_FALSE(view.path.empty());
        for (const std::array<double, 2>& p : view.path) {
            EXPECT_LE(std::fabs(p[0]), frame[0] + 1e-6) << p[0] << "," << p[1];
            EXPECT_LE(std::fabs(p[1]), frame[1] + 1e-6) << p[0] << "," << p[1];
        }
    }
    // The ball leaves across x = 0.648 in the two views that show x.
    EXPECT_EQ(views["top"].crossings, 1);
    EXPECT_EQ(views["side"].crossings, 1);
    EXPECT_NEAR(views["top"].path.back()[0], 0.648, 1e-6);
    // Face on in the front view, which looks along +x and so sees the wall from behind.
    EXPECT_EQ(views["front"].polygonClasses, (std::vector<std::string>{"back", "back"}));
    EXPECT_EQ(views["top"].polygonClasses, (std::vector<std::string>{"edge-on", "edge-on"}));
}

TEST(MinigolfSimPlot, FinishesFarFromTheOriginAndStopsAFlightOfTooManyBounces) {
    // A triangle and a ball at rest 3e15 units out, where a double tick counter stops counting.
    const std::string far =
        writeFile("far.txt", "start\n1 0 0 1\n1.5e16 0 0  1.5e16 0 5  1.5e16 5 0\nend\n");
    const std::string svg = scratch().path("far.svg").string();
    const ToolRun run =
        runCommand(scratch(), commandLine(simTool,
                                          {"plot", far, "--pos", "3e15", "0", "0", "--vel", "0",
                                           "0", "0", "--steps", "5", "-o", svg},
                                          "timeout 60 "));
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, SvgView> views = readSvg(svg);
    EXPECT_EQ(views["top"].polygons, 1);
    EXPECT_EQ(views["side"].polygons, 1);

    // Far too fast for the room: every step bounces until the step's pass limit.
    const std::string room = writeFile("room.txt", roomCourse());
    const std::string capped = scratch().path("capped.svg").string();
    const ToolRun fast =
        runSim({"plot", room, "--vel", "1e25", "0", "0", "--steps", "1000", "-o", capped});
    EXPECT_EQ(fast.status, 2);
    EXPECT_EQ(fast.out, "");
    EXPECT_NE(fast.err.find("bounced more than 100000 times"), std::string::npos) << fast.err;
    EXPECT_EQ(readWholeFile(capped), "");
}

TEST(MinigolfSimSimulate, AFlightAtTheFastestSpeedAllowedStaysFinite) {
    // |v| just under a quarter of the largest float, bouncing to the pass limit in every step;
    // a NaN is printed as "nan" or "-nan", an overflow as "inf".
    const std::string room = writeFile("room.txt", roomCourse());
    const ToolRun run = runSim(
        {"simulate", room, "--vel", "4.9e37", "-4.9e37", "4.9e37", "--steps", "3", "--seed", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Summary summary = parseSummary(linesOf(run.out).back());
    EXPECT_GT(summary.collides, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::isfinite(summary.position[i])) << run.out;
        EXPECT_TRUE(std::isfinite(summary.velocity[i])) << run.out;
    }
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

TEST(MinigolfSimCheck, AnInterruptedRunHasShownItsCountsAndSeed) {
    // Far too long to finish: interrupted after a second as Ctrl-C would, with standard output
    // a pipe, the header lines must already have been written.
    const std::string room = writeFile("room.txt", roomCourse());
    const ToolRun run = runCommand(
        scratch(), commandLine(simTool, {"check", room, "--seconds", "100000", "--seed", "5"},
                               "timeout -s INT 1 "));
    EXPECT_EQ(run.status, 124) << "not interrupted: " << run.out; // timeout stopped it
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "triangles 12 boxes 6");
    EXPECT_EQ(lines[1], "seed 5");
    EXPECT_EQ(lines[2].rfind("balls 100 steps 6000000 ", 0), 0u) << lines[2];
}

TEST(MinigolfSimCheck, ProgressOnlyWhenStandardErrorIsATerminal) {
    const std::string room = writeFile("room.txt", roomCourse());
    const std::vector<std::string> arguments = {"check",     room, "--balls", "3",
                                                "--seconds", "1",  "--seed",  "2"};
    const ToolRun piped = runSim(arguments);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    // script(1) runs the tool on a terminal of its own and copies what it shows.
    const ToolRun terminal = runCommand(
        scratch(), "script -qec " + shellQuoted(commandLine(simTool, arguments)) + " /dev/null");
    EXPECT_EQ(terminal.status, 0);
    EXPECT_NE(terminal.out.find("\rchecking room.txt: 0 of 3 balls"), std::string::npos)
        << terminal.out;
    // The report is the same; the progress line was erased before its last line.
    std::string shown = terminal.out;
    shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
    EXPECT_NE(shown.find(linesOf(piped.out).back()), std::string::npos) << terminal.out;
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

TEST(MinigolfSimCheck, TheReportIsTheSameOnOneThreadAsOnTwo) {
    // Slow balls in a room 30 units wide touch a wall and respawn, about half of them outside
    // the room (x or z beyond 14.4), so the count that left depends on every respawn drawn; fast
    // ones bounce off the walls of an open room until they find its missing side.
    const std::string small = writeFile("small-room.txt", roomCourse(nullptr, "", 75.0));
    const Wall missing{2, -1};
    const std::string open = writeFile("open-room.txt", roomCourse(&missing));
    const std::vector<std::vector<std::string>> checks = {
        {"check", small, "--from", "0", "0", "0", "--speed", "0.5", "--balls", "40", "--seed", "7"},
        {"check", open, "--from", "0", "0", "0", "--balls", "40", "--seconds", "10", "--seed",
         "7"}};
    for (const std::vector<std::string>& check : checks) {
        std::vector<std::string> oneThread = check;
        oneThread.insert(oneThread.end(), {"--threads", "1"});
        std::vector<std::string> twoThreads = check;
        twoThreads.insert(twoThreads.end(), {"--threads", "2"});
        const ToolRun one = runSim(oneThread);
        const ToolRun two = runSim(twoThreads);
        EXPECT_EQ(one.status, 1) << one.out << one.err;
        const CheckReport report = parseCheck(one.out);
        EXPECT_GT(report.left, 0) << one.out;
        EXPECT_LT(report.left, 40) << one.out;
        EXPECT_EQ(two.status, one.status);
        EXPECT_EQ(two.out, one.out);
        EXPECT_EQ(two.err, one.err);
    }
}

TEST(MinigolfSimCheck, AFlightCutShortAtThePassLimitLeavesTheCheckIncomplete) {
    // A room 2 units wide (free span 0.8 for the radius 0.6) crossed at 5000 units a second in
    // one step of 10 s: some 60000 bounces, beyond the step's 10000 passes.
    const std::string tiny = writeFile("tiny-room.txt", roomCourse(nullptr, "", 5.0));
    const ToolRun run =
        runSim({"check", tiny, "--from", "0", "0", "0", "--speed", "5000", "--dt", "10",
                "--seconds", "10", "--balls", "3", "--seed", "1", "--threads", "2"});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_EQ(parseCheck(run.out).left, 0) << run.out;
    // Said once, by the check, however many threads met the limit.
    EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("check: 3 of 3 balls had a step that needed more than 10000 contact "
                           "passes"),
              std::string::npos)
        << run.err;
}

TEST(MinigolfSimSweep, AnEndlessOrBinaryInputIsRefusedAtItsFirstLine) {
    // Read whole, either would fill the memory (some 300 MB a second) until the timeout ended
    // the tool.
    const std::string room = writeFile("room.txt", roomCourse());
    const ToolRun zeros =
        runCommand(scratch(), commandLine(simTool, {"sweep", room, "/dev/zero"}, "timeout 10 "));
    EXPECT_EQ(zeros.status, 2) << zeros.err;
    EXPECT_EQ(zeros.err, "/dev/zero:1: error: a NUL byte: not a sweeps file of text lines\n");
    const ToolRun endless =
        runCommand(scratch(), commandLine(simTool, {"sweep", room, "/dev/stdin"},
                                          "tr '\\0' 7 </dev/zero | timeout 10 "));
    EXPECT_EQ(endless.status, 2) << endless.err;
    EXPECT_EQ(endless.err,
              "/dev/stdin:1: error: the line is longer than 1024 characters: not a sweeps file\n");
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

// Each bad line: status 2, nothing on standard output, and one line on standard error that names
// what is wrong (the option, or the word or file), whatever the parser's wording around it.
TEST(MinigolfSimCommandLine, EachBadLineIsOneLineNamingTheOptionWithStatusTwo) {
    const std::string room = writeFile("room.txt", roomCourse());
    const std::string absent = scratch().path("absent.txt").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string named;
    };
    const std::vector<Case> cases = {
        {{}, "COMMAND"},
        {{"fly", room}, "fly"},
        {{"simulate"}, "COURSE"},
        {{"simulate", room, "--bogus"}, "--bogus"},
        {{"simulate", room, "--dt"}, "--dt"},
        // Numbers are whole words, finite, and within the option's bounds.
        {{"simulate", room, "--dt", "0.1s"}, "--dt"},
        {{"simulate", room, "--dt", " 0.1"}, "--dt"},
        {{"simulate", room, "--dt", ""}, "--dt"},
        {{"simulate", room, "--dt", "-0.01"}, "--dt"},
        {{"check", room, "--dt", "0"}, "--dt"},
        {{"simulate", room, "--dt", "nan"}, "--dt"},
        {{"simulate", room, "--dt", "inf"}, "--dt"},
        {{"simulate", room, "--dt", "1e999"}, "--dt"},
        {{"simulate", room, "--steps", "-1"}, "--steps"},
        {{"simulate", room, "--steps", "1.5"}, "--steps"},
        {{"simulate", room, "--steps", "0x10"}, "--steps"},
        {{"simulate", room, "--steps", "99999999999999999999"}, "--steps"},
        {{"simulate", room, "--pos", "1", "2"}, "--pos"},
        {{"simulate", room, "--pos", "1", "2", "3", "--pos", "4", "5"}, "--pos"},
        {{"simulate", room, "--vel", "1", "x", "3"}, "--vel"},
        {{"simulate", room, "--pos", "1", "2", "1e39"}, "--pos"},
        {{"simulate", room, "--seed", "-1"}, "--seed"},
        {{"simulate", room, "--seed", "4294967296"}, "--seed"},
        {{"simulate", room, "--trace", "--csv"}, "--csv"},
        // A move that overflows a float, a step whose dt^2 / 2 does, or a speed whose sums do.
        {{"simulate", room, "--vel", "1e32", "0", "0", "--steps", "1000000000"}, "--vel"},
        {{"simulate", room, "--vel", "0", "0", "0", "--dt", "1e20"}, "--dt"},
        {{"simulate", room, "--vel", "1e38", "1e38", "1e38", "--steps", "1"}, "--vel"},
        {{"check", room, "--speed", "1e38", "--seconds", "1"}, "--speed"},
        // A second command would take the words after it from the first.
        {{"simulate", room, "check", "--steps", "0"}, "check"},
        {{"sweep", room, absent}, absent + ": error: cannot open the sweeps file"},
        {{"sweep", room, room, "--dump", ""}, "--dump"},
        {{"plot", room}, "-o"},
        {{"check", room, "--balls", "0"}, "--balls"},
        {{"check", room, "--balls", "1000001"}, "--balls"},
        {{"check", room, "--seconds", "-1"}, "--seconds"},
        // The float itself must be positive: 1e-50 is 0 in a float.
        {{"check", room, "--speed", "1e-50"}, "--speed"},
        {{"check", room, "--from", "0", "0"}, "--from"},
        {{"check", room, "--seconds", "1e300", "--dt", "1e-300"}, "--seconds"},
        {{"check", room, "--seconds", "0.001"}, "--seconds"},
        {{"check", room, "--threads", "0"}, "--threads"},
        {{"check", room, "--trace"}, "--trace"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(commandLine("minigolf-sim", c.arguments));
        const ToolRun run = runSim(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(": error: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
}

// A number is read as it always was: strtod, then rounded once more to a float where the option
// is one. 1 + 3 * 2^-24 - 1e-17 lies just below the midpoint of two floats and rounds as a double
// onto it, so the float is the even neighbour, 1 + 2^-22; read in long double, it would be the
// other one. An option given twice takes its last value.
TEST(MinigolfSimCommandLine, NumbersAreReadAsBeforeBitForBit) {
    const std::string room = writeFile("numbers.txt", roomCourse());
    const ToolRun run = runSim({"simulate", room, "--steps", "9", "--steps", "0", "--pos",
                                "1.000000178813934316171875", "-0.5", "1e-50"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "steps 0 collides 0 respawns 0 position 1.00000024 -0.5 0 velocity -50 "
                       "-15 15\n");
}

TEST(MinigolfSimCommandLine, UnreadableCoursesExitWithStatusTwoAndTheReadersMessage) {
    const std::string missing = scratch().path("no-such-course.txt").string();
    const std::string broken =
        writeFile("broken.txt", "start 1 1 1 1\n0 0 0 0 0 five 5 0 0\nend\n");
    for (const std::string command : {"simulate", "check", "plot"}) {
        SCOPED_TRACE(command);
        const std::string svg = scratch().path("unread.svg").string();
        const std::vector<std::string> output =
            command == "plot" ? std::vector<std::string>{"-o", svg} : std::vector<std::string>{};
        const auto withCourse = [&](const std::string& course) {
            std::vector<std::string> arguments = {command, course, "--seed", "1"};
            arguments.insert(arguments.end(), output.begin(), output.end());
            return arguments;
        };
        const ToolRun absent = runSim(withCourse(missing));
        EXPECT_EQ(absent.status, 2);
        EXPECT_EQ(absent.out, "");
        EXPECT_NE(absent.err.find(missing), std::string::npos) << absent.err;

        const ToolRun unreadable = runSim(withCourse(broken));
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
    const std::vector<std::vector<std::string>> requests = {{"--help"},
                                                            {"simulate", "--help"},
                                                            {"check", "-h"},
                                                            {"plot", "--help"},
                                                            {"sweep", "x.txt", "--help"}};
    for (const auto& request : requests) {
        SCOPED_TRACE(request.size() > 1 ? request[0] + " " + request[1] : request[0]);
        const ToolRun run = runSim(request);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("Usage: minigolf-sim"), std::string::npos) << run.out;
    }
}

} // namespace
