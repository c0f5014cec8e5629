// A loaded course: read from a file or built in memory, the same triangles; its index stays
// tied to its boxes when the course moves.

#include "physics/LoadedCourse.h"
#include "CourseGenerator.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every float a box and its triangles hold (colour, bounds, vertices, normal, frames, edge
// ends), as bits, box after box.
std::vector<std::uint32_t> bitsOf(const LoadedCourse& course) {
    std::vector<std::uint32_t> bits;
    const auto add = [&bits](float value) { bits.push_back(std::bit_cast<std::uint32_t>(value)); };
    const auto addVector = [&add](const Vector3& v) {
        add(v.x);
        add(v.y);
        add(v.z);
    };
    for (const CollisionBox& box : course.boxes()) {
        for (int i = 0; i < 4; ++i) {
            add(box.colour()[i]);
        }
        addVector(box.minCorner());
        addVector(box.maxCorner());
        for (unsigned t = 0; t < box.triangleCount(); ++t) {
            const Triangle& triangle = *box.triangle(static_cast<int>(t));
            for (int k = 0; k < 3; ++k) {
                addVector(*triangle.vertex(k));
                addVector(triangle.edgeEnd(k));
                for (int i = 0; i < 16; ++i) {
                    add(triangle.matrix(k)[i]);
                }
            }
            addVector(triangle.normal());
        }
    }
    return bits;
}

TEST(LoadedCourse, ReadAndBuiltInMemoryAreTheSameCourseAndMovingKeepsTheIndex) {
    const ScratchDirectory scratch("loaded-course-test");
    const GeneratedCourse generated = generateAwkward(300, 11);
    const std::string file = scratch.path("awkward.txt").string();
    std::ofstream(file) << generatedCourseText(generated);

    LoadedCourse read;
    std::ostringstream console;
    ASSERT_TRUE(read.read(file, console));
    const LoadedCourse built = buildGenerated(generated);
    ASSERT_EQ(read.triangles().size(), 300u);
    EXPECT_EQ(built.triangles().size(), read.triangles().size());
    EXPECT_EQ(bitsOf(built), bitsOf(read));
    ASSERT_NE(read.index(), nullptr);
    EXPECT_TRUE(read.index()->isBuiltFor(read.boxes()));

    // Moved, the course keeps the index it built for its own boxes: the step searches through
    // it, without the warning of a foreign box list.
    LoadedCourse moved = std::move(read);
    ASSERT_NE(moved.index(), nullptr);
    EXPECT_TRUE(moved.index()->isBuiltFor(moved.boxes()));
    SimulationSettings settings;
    moved.searchWith(settings);
    Vector3 normal;
    float earliest = 1.0f;
    ::testing::internal::CaptureStderr();
    settings.findEarliestContact({0, 0, 0}, {30, 0, 0}, 0.6f, moved.boxes(), normal, earliest);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    // A course that is not read to its "end" keeps what was read, and has no index.
    const std::string cut = scratch.path("cut.txt").string();
    std::ofstream(cut) << "start\n1 0 0 1\n0 0 0  5 0 0  0 0 5\n";
    LoadedCourse partial;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(partial.read(cut, console));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(partial.triangles().size(), 1u);
    EXPECT_EQ(partial.index(), nullptr);
}

// The course's bounds are those of the boxes that hold triangles: a box without one keeps
// corners at the origin that bound nothing.
TEST(LoadedCourse, BoundsLeaveOutEmptyBoxes) {
    LoadedCourse course;
    course.startBox(1, 0, 0, 1);
    EXPECT_TRUE(course.bounds().empty());
    course.startBox(0, 1, 0, 1);
    course.addTriangle({2, 3, 4}, {5, 3, 4}, {2, 3, 7});
    course.startBox(0, 0, 1, 1);
    course.startBox(0, 1, 1, 1);
    course.addTriangle({-1, 6, 5}, {-1, 8, 5}, {2, 6, 5});
    const Bounds bounds = course.bounds();
    EXPECT_EQ(bounds.lowerCorner(), Vector3(-1, 3, 4));
    EXPECT_EQ(bounds.upperCorner(), Vector3(5, 8, 7));
}

} // namespace
