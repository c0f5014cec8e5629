#include "course/CourseWriter.h"

#include "course/CourseReader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

namespace {

std::uint32_t bitsOf(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

// The floats whose file number the naive 5 * c misses: the product with 0.2f lands an ulp off.
bool naiveMisses(float c) {
    return bitsOf(static_cast<float>(5.0f * c) * 0.2f) != bitsOf(c);
}

// Whether any file float reads back as c, searched wider than the writer searches: the sixteen
// floats on each side of the one nearest 5 c.
bool someFileNumberGives(float c) {
    float file = static_cast<float>(5.0 * double(c));
    for (int i = 0; i < 16; ++i) {
        file = std::nextafter(file, -std::numeric_limits<float>::infinity());
    }
    for (int i = 0; i <= 32;
         ++i, file = std::nextafter(file, std::numeric_limits<float>::infinity())) {
        if (bitsOf(file * 0.2f) == bitsOf(c)) {
            return true;
        }
    }
    return false;
}

// Course coordinates of every kind the reader's factor can trip on: any bit pattern whose five
// times is a float, powers of two and their neighbours, the smallest normals and the denormals
// above them, the largest coordinates, zeros of both signs, and as many again of those where a
// naive 5 * c reads back wrong.
std::vector<float> awkwardCoordinates() {
    constexpr float largest = std::numeric_limits<float>::max() / 5.0f;
    constexpr float smallestNormal = std::numeric_limits<float>::min();
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 largest,
                                 -largest,
                                 smallestNormal,
                                 -smallestNormal,
                                 std::numeric_limits<float>::denorm_min()};
    for (int exponent = -149; exponent <= 125; ++exponent) {
        const float power = std::ldexp(1.0f, exponent);
        for (const float c : {power, std::nextafter(power, 0.0f), std::nextafter(power, largest)}) {
            values.push_back(c);
            values.push_back(-c);
        }
    }
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::uint32_t> anyBits;
    std::uniform_real_distribution<float> playArea(-50.0f, 50.0f);
    std::size_t naive = 0;
    while (naive < 20000) {
        float c = std::bit_cast<float>(anyBits(random));
        if (!(std::fabs(c) <= largest)) {
            continue; // NaN, infinite, or beyond what a file number can hold five times over
        }
        values.push_back(c);
        c = playArea(random);
        values.push_back(c);
        naive += naiveMisses(c) ? 1 : 0;
    }
    while (values.size() % 9 != 0) {
        values.push_back(1.0f);
    }
    return values;
}

// The course the writer makes of `values`, read back by the real reader.
std::vector<float> writtenAndRead(const std::vector<float>& values, std::size_t& inexact,
                                  std::vector<float>* colour = nullptr) {
    std::ostringstream text;
    CourseWriter writer(text);
    const std::array<float, 4> grey = {0.3f, 1e-30f, 0.1f, 1.0f};
    constexpr std::size_t perBox = 999;
    for (std::size_t t = 0; t < values.size() / 9; ++t) {
        if (t % perBox == 0) {
            writer.startBox(grey);
        }
        std::array<Vector3, 3> corners;
        for (int v = 0; v < 3; ++v) {
            corners[static_cast<std::size_t>(v)] = Vector3(
                values[9 * t + 3 * v], values[9 * t + 3 * v + 1], values[9 * t + 3 * v + 2]);
        }
        writer.addTriangle(corners);
    }
    writer.finish();
    inexact = writer.inexactCoordinates();

    TriangleStorage storage;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::ostringstream console;
    std::ostringstream diagnostics; // the degenerate ones among the random triangles
    CourseReadOptions options;
    options.storage = &storage;
    options.diagnostics = &diagnostics;
    EXPECT_TRUE(CourseReader::instance()->parseBytes(text.str(), "written.txt", triangles, boxes,
                                                     console, options))
        << diagnostics.str();
    EXPECT_EQ(boxes.size(), (values.size() / 9 + perBox - 1) / perBox);
    std::vector<float> read;
    for (const Triangle* triangle : triangles) {
        for (int v = 0; v < 3; ++v) {
            const Vector3& corner = *triangle->vertex(v);
            read.insert(read.end(), {corner.x, corner.y, corner.z});
        }
    }
    if (colour != nullptr && !boxes.empty()) {
        colour->assign(boxes.front().colour(), boxes.front().colour() + 4);
    }
    return read;
}

// Every coordinate written reads back as the same float to the bit, or, where no file number
// gives it (the writer counts those), as the nearest one there is, one float step away.
TEST(CourseWriter, CoordinatesReadBackToTheBit) {
    const std::vector<float> values = awkwardCoordinates();
    std::size_t inexact = 0;
    std::vector<float> colour;
    const std::vector<float> read = writtenAndRead(values, inexact, &colour);
    ASSERT_EQ(read.size(), values.size());
    std::size_t missed = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (bitsOf(read[i]) == bitsOf(values[i])) {
            continue;
        }
        ++missed;
        EXPECT_FALSE(someFileNumberGives(values[i]))
            << "coordinate " << i << ": " << values[i] << " has an exact file number";
        EXPECT_TRUE(read[i] == std::nextafter(values[i], 0.0f) ||
                    read[i] == std::nextafter(values[i], 2.0f * values[i]))
            << "coordinate " << i << ": " << values[i] << " read back as " << read[i];
    }
    EXPECT_EQ(missed, inexact);
    EXPECT_EQ(colour, (std::vector<float>{0.3f, 1e-30f, 0.1f, 1.0f}));
}

// What the reader loads from a written coordinate (what the OBJ import and the bundled course
// keep in memory) has an exact file number: written again, it reads back unchanged.
TEST(CourseWriter, WhatWasReadBackIsWrittenExactly) {
    for (const float c : awkwardCoordinates()) {
        const CourseWriter::FileNumber first = CourseWriter::fileNumberFor(c);
        const float loaded = CourseWriter::courseValueOf(first.value);
        const CourseWriter::FileNumber again = CourseWriter::fileNumberFor(loaded);
        ASSERT_TRUE(again.exact) << c;
        ASSERT_EQ(bitsOf(CourseWriter::courseValueOf(again.value)), bitsOf(loaded)) << c;
    }
}

} // namespace
