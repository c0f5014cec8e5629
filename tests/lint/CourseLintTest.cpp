// The lint in this process: its search for the triangles an open edge rests on against the
// straightforward one through the contact index, on the shapes where a search through boxes
// that span the course meets every triangle.
#include "lint/CourseLint.h"
#include "GenerateCourse.h"
#include "LintShapes.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

using lint_shapes::Shape;

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory("course-lint-test");
    return directory;
}

struct LintRun {
    int status;
    std::string out;
};

LintRun lint(const std::string& course, bool reference, bool closed = false) {
    LintOptions options;
    options.course = course;
    options.closed = closed;
    options.referenceSearch = reference;
    testing::internal::CaptureStdout();
    const int status = lintCourse(options);
    return {status, testing::internal::GetCapturedStdout()};
}

std::string writeShape(Shape shape, int count, std::uint32_t seed) {
    const std::string file = scratch()
                                 .path(std::string(lint_shapes::nameOf(shape)) + "-" +
                                       std::to_string(count) + "-" + std::to_string(seed) + ".txt")
                                 .string();
    std::ofstream(file) << lint_shapes::courseText(lint_shapes::trianglesOf(shape, count, seed));
    return file;
}

std::string lastLine(const std::string& text) {
    const std::size_t end = text.size() - 1; // the newline closing the summary
    return text.substr(text.rfind('\n', end - 1) + 1, end - text.rfind('\n', end - 1) - 1);
}

// Every finding, and the order of them, as the straightforward search gives them: on small
// courses of each shape from a few seeds, and on awkward generated ones (slivers, huge and tiny
// triangles, edges near an axis), whose edges rest on nothing or on triangles of every kind.
TEST(CourseLint, FindsWhatTheStraightforwardSearchFinds) {
    for (const Shape shape : {Shape::random, Shape::coplanar, Shape::fan, Shape::nested}) {
        for (const std::uint32_t seed : {1u, 2u, 3u}) {
            const std::string course = writeShape(shape, 300, seed);
            SCOPED_TRACE(course);
            const LintRun fast = lint(course, false, seed == 2);
            const LintRun reference = lint(course, true, seed == 2);
            EXPECT_EQ(fast.status, reference.status);
            EXPECT_EQ(fast.out, reference.out);
        }
    }
    // A fan so dense that each blade's far corner lies within the tolerance of its neighbours':
    // the shared corners hold more triangles than a look at one point measures.
    std::vector<lint_shapes::ShapeTriangle> dense;
    for (int i = 0; i < 300; ++i) {
        const double turn = 1e-2 * i / 300;
        dense.push_back(
            {{{-5.0, 0.0, 0.0}, {5.0, 0.0, 0.0}, {0.0, 10 * std::cos(turn), 10 * std::sin(turn)}}});
    }
    const std::string denseFan = scratch().path("dense-fan.txt").string();
    std::ofstream(denseFan) << lint_shapes::courseText(dense);
    EXPECT_EQ(lint(denseFan, false).out, lint(denseFan, true).out);

    for (const unsigned seed : {1u, 2u}) {
        GenerateOptions awkward;
        awkward.kind = "awkward";
        awkward.triangles = 1500;
        awkward.seed = seed;
        awkward.output = scratch().path("awkward-" + std::to_string(seed) + ".txt").string();
        ASSERT_EQ(generateCourse(awkward), 0);
        SCOPED_TRACE(awkward.output);
        const LintRun fast = lint(awkward.output, false);
        EXPECT_EQ(fast.out, lint(awkward.output, true).out);
        EXPECT_NE(fast.out.find(" has an open edge "), std::string::npos);
    }
}

// Slivers one thousandth of a radian sharp, their tips at (-0.1, 0, 0) and their bodies along
// -x, each turned about the x axis: a point up to two units beyond the tip lies within the
// tolerance of each one's plane and outside its edges, but 0.1 or more from the sliver, beyond
// the ball swept along an edge there, so that no search may count it.
std::vector<lint_shapes::ShapeTriangle> sliversAlongX(int count) {
    std::vector<lint_shapes::ShapeTriangle> slivers;
    for (int i = 0; i < count; ++i) {
        const double turn = std::numbers::pi * i / count;
        const double y = 5e-3 * std::cos(turn), z = 5e-3 * std::sin(turn);
        slivers.push_back({{{-0.1, 0.0, 0.0}, {-10.0, y, z}, {-10.0, -y, -z}}});
    }
    return slivers;
}

LintRun lintTriangles(const std::string& name, bool reference,
                      const std::vector<lint_shapes::ShapeTriangle>& triangles) {
    const std::string course = scratch().path(name + ".txt").string();
    std::ofstream(course) << lint_shapes::courseText(triangles);
    return lint(course, reference);
}

// A wall whose bottom edge (0, 0, 0) to (1, 0, 0) lies wholly in what the slivers' tips would
// cover: open beside one sliver, and, when so many crowd both ends that a look at a point
// measures only slivers, resting on a floor under it all the same.
TEST(CourseLint, CountsOnlyTheTrianglesTheStraightforwardSearchMeasures) {
    const lint_shapes::ShapeTriangle wall = {{{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.5, 1.0, 0.0}}};
    std::vector<lint_shapes::ShapeTriangle> lone = sliversAlongX(1);
    lone.push_back(wall);
    const LintRun fast = lintTriangles("one-sliver", false, lone);
    EXPECT_EQ(fast.out, lintTriangles("one-sliver", true, lone).out);
    EXPECT_NE(fast.out.find("triangle 1 has an open edge from vertex 0 (0, 0, 0) to vertex 1"),
              std::string::npos);

    std::vector<lint_shapes::ShapeTriangle> crowded = sliversAlongX(64);
    crowded.push_back(wall);
    crowded.push_back({{{-1.0, 0.0, -0.5}, {2.0, 0.0, -0.5}, {0.5, 0.0, 1.0}}}); // the floor
    const LintRun onFloor = lintTriangles("crowded-slivers", false, crowded);
    const LintRun reference = lintTriangles("crowded-slivers", true, crowded);
    EXPECT_EQ(onFloor.status, reference.status);
    EXPECT_EQ(onFloor.out, reference.out);
    EXPECT_EQ(onFloor.out.find("triangle 64 has an open edge from vertex 0 (0, 0, 0) to vertex 1"),
              std::string::npos);
}

// The summaries of 10^4 triangles of each shape as the straightforward search gives them (it
// takes minutes on the fan and the nested edges): every random triangle's edges open; the fan's
// shared edge run the same way by all but the first, and the blades' other edges open (their
// far corners lie 6e-3 apart, beyond the tolerance); the nested edges each within the next,
// and only the blades' edges open. The errors are places inside the course.
TEST(CourseLint, TheShapesOfTenThousandTrianglesKeepTheirFindings) {
    const std::pair<Shape, std::string> expected[] = {
        {Shape::random, "469 errors, 30000 warnings in 10000 triangles"},
        {Shape::coplanar, "1 error, 967 warnings in 10000 triangles"},
        {Shape::fan, "7 errors, 29999 warnings in 10000 triangles"},
        {Shape::nested, "5 errors, 20000 warnings in 10000 triangles"},
    };
    for (const auto& [shape, summary] : expected) {
        const std::string course = writeShape(shape, 10000, 1);
        const LintRun run = lint(course, false);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(lastLine(run.out), course + ": " + summary);
    }
}

} // namespace
