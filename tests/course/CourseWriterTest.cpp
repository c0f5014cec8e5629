#include "course/CourseWriter.h"

#include "course/CourseReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// Whether any file float reads back as c, searched wider than the writer searches: the sixteen
// floats on each side of the one nearest 5 c.
bool someFileNumberGives(float c) {
    constexpr float up = std::numeric_limits<float>::infinity();
    float file = static_cast<float>(5.0 * double(c));
    for (int i = 0; i < 16; ++i) {
        file = std::nextafter(file, -up);
    }
    for (int i = 0; i <= 32; ++i, file = std::nextafter(file, up)) {
        if (bitsOf(file * 0.2f) == bitsOf(c)) {
            return true;
        }
    }
    return false;
}

// Course coordinates of every kind the reader's factor can trip on: zeros of both signs, the
// largest coordinates, every power of two (the denormals among them) and its neighbours, random
// bit patterns of any magnitude, and random values in the play area (for about 7 % of those a
// naive 5 * c reads back an ulp off although an exact file number exists).
std::vector<float> awkwardCoordinates() {
    constexpr float largest = std::numeric_limits<float>::max() / 5.0f;
    std::vector<float> values = {0.0f, -0.0f, largest, -largest};
    for (int exponent = -149; exponent <= 125; ++exponent) {
        const float power = std::ldexp(1.0f, exponent);
        for (const float c : {power, std::nextafter(power, 0.0f), std::nextafter(power, largest)}) {
            values.insert(values.end(), {c, -c});
        }
    }
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::uint32_t> anyBits;
    std::uniform_real_distribution<float> playArea(-50.0f, 50.0f);
    while (values.size() < 90000) {
        const float c = std::bit_cast<float>(anyBits(random));
        if (std::fabs(c) <= largest) { // not NaN, infinite, or beyond five times a file number
            values.insert(values.end(), {c, playArea(random)});
        }
    }
    values.resize(values.size() / 9 * 9);
    return values;
}

// Every coordinate written reads back through the reader as the same float to the bit, or,
// where no file number gives it (the writer counts those), as the nearest one there is, one
// float step away. Colours are stored as read.
TEST(CourseWriter, CoordinatesReadBackToTheBit) {
    const std::vector<float> values = awkwardCoordinates();
    const std::array<float, 4> colour = {0.3f, 1e-30f, 0.1f, 1.0f};
    std::ostringstream text;
    CourseWriter writer(text);
    for (std::size_t t = 0; 9 * t < values.size(); ++t) {
        if (t % 1000 == 0) {
            writer.startBox(colour);
        }
        const float* c = &values[9 * t];
        writer.addTriangle(
            {Vector3(c[0], c[1], c[2]), Vector3(c[3], c[4], c[5]), Vector3(c[6], c[7], c[8])});
    }
    writer.finish();

    TriangleStorage storage;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::ostringstream console;
    std::ostringstream diagnostics; // the degenerate ones among the random triangles
    CourseReadOptions options;
    options.storage = &storage;
    options.diagnostics = &diagnostics;
    ASSERT_TRUE(CourseReader::instance()->parseBytes(text.str(), "written.txt", triangles, boxes,
                                                     console, options))
        << diagnostics.str();
    ASSERT_EQ(3 * triangles.size(), values.size() / 3);
    std::size_t missed = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float c = values[i];
        const float read = (*triangles[i / 9]->vertex(static_cast<int>(i / 3 % 3)))[int(i % 3)];
        if (bitsOf(read) == bitsOf(c)) {
            continue;
        }
        ++missed;
        EXPECT_FALSE(someFileNumberGives(c)) << c << " has a file number that reads back exactly";
        EXPECT_TRUE(read == std::nextafter(c, 0.0f) || read == std::nextafter(c, 2.0f * c))
            << c << " read back as " << read;
    }
    EXPECT_EQ(missed, writer.inexactCoordinates());
    for (const CollisionBox& box : boxes) {
        EXPECT_TRUE(std::equal(colour.begin(), colour.end(), box.colour()));
    }
}

// What the reader loads from a written coordinate (what the OBJ import and the bundled course
// keep in memory) has an exact file number: written again, it reads back unchanged.
TEST(CourseWriter, WhatWasReadBackIsWrittenExactly) {
    for (const float c : awkwardCoordinates()) {
        const float loaded = CourseWriter::courseValueOf(CourseWriter::fileNumberFor(c).value);
        const CourseWriter::FileNumber again = CourseWriter::fileNumberFor(loaded);
        ASSERT_TRUE(again.exact) << c;
        ASSERT_EQ(bitsOf(CourseWriter::courseValueOf(again.value)), bitsOf(loaded)) << c;
    }
}

} // namespace
