#pragma once

// Courses of the shapes on which a search for triangles near an edge, through boxes that each
// span the course, meets every triangle: for the lint's benchmark and tests. Each shape's
// triangles come in a shuffled order, 256 to a box in that order, so that every box spans the
// whole shape.
#include "course/CourseWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace lint_shapes {

enum class Shape {
    random,   // small triangles (corners within half a unit of a centre) in a 40-unit cube
    coplanar, // triangles with corners anywhere in 40 x 40 units of the plane y = 0, overlapping
    fan,      // triangles on one edge (-5, 0, 0) to (5, 0, 0), their third corners around it
    nested,   // triangles whose first edges lie on the x axis, each within the next
};

inline const char* nameOf(Shape shape) {
    switch (shape) {
    case Shape::random:
        return "random";
    case Shape::coplanar:
        return "coplanar";
    case Shape::fan:
        return "fan";
    case Shape::nested:
        return "nested";
    }
    return "";
}

using Corner = std::array<double, 3>; // course units
using ShapeTriangle = std::array<Corner, 3>;

inline std::vector<ShapeTriangle> trianglesOf(Shape shape, int count, std::uint32_t seed) {
    std::mt19937 random(seed);
    // Uniform in [low, high), the same on every standard library.
    const auto uniform = [&](double low, double high) {
        return low + (high - low) * double(random() >> 8) * 0x1p-24;
    };
    std::vector<ShapeTriangle> triangles;
    for (int i = 0; i < count; ++i) {
        switch (shape) {
        case Shape::random: {
            const Corner centre = {uniform(-20, 20), uniform(-20, 20), uniform(-20, 20)};
            ShapeTriangle t;
            for (Corner& corner : t) {
                for (int axis = 0; axis < 3; ++axis) {
                    corner[axis] = centre[axis] + uniform(-0.5, 0.5);
                }
            }
            triangles.push_back(t);
            break;
        }
        case Shape::coplanar: {
            ShapeTriangle t;
            for (Corner& corner : t) {
                corner = {uniform(-20, 20), 0.0, uniform(-20, 20)};
            }
            triangles.push_back(t);
            break;
        }
        case Shape::fan: {
            const double turn = 2.0 * std::numbers::pi * i / count;
            triangles.push_back({{{-5.0, 0.0, 0.0},
                                  {5.0, 0.0, 0.0},
                                  {0.0, 10 * std::cos(turn), 10 * std::sin(turn)}}});
            break;
        }
        case Shape::nested: {
            const double half = 20.0 * (i + 1) / count;
            const double turn = std::numbers::pi * (i + 1) / count;
            triangles.push_back({{{-half, 0.0, 0.0},
                                  {half, 0.0, 0.0},
                                  {0.0, 10 * std::cos(turn), 10 * std::sin(turn)}}});
            break;
        }
        }
    }
    for (std::size_t i = triangles.size(); i > 1; --i) {
        std::swap(triangles[i - 1], triangles[random() % i]);
    }
    return triangles;
}

// The course file: boxes of 256 triangles in the list's order, each corner the float nearest
// its course coordinates.
inline std::string courseText(const std::vector<ShapeTriangle>& triangles) {
    constexpr std::size_t perBox = 256;
    constexpr std::array<float, 4> grey = {0.5f, 0.5f, 0.5f, 1.0f};
    std::ostringstream text;
    CourseWriter writer(text);
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        if (i % perBox == 0) {
            writer.startBox(grey);
        }
        std::array<Vector3, 3> corners;
        for (std::size_t v = 0; v < corners.size(); ++v) {
            const Corner& c = triangles[i][v];
            corners[v] = Vector3(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                 static_cast<float>(c[2]));
        }
        writer.addTriangle(corners);
    }
    writer.finish();
    return text.str();
}

} // namespace lint_shapes
