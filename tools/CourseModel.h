#pragma once

#include "geometry/Vector3.h"

#include <array>
#include <string>
#include <vector>

// The bundled course as a list of collision boxes, in course units (the course file holds five
// times these numbers). make-course writes it; the tests check its promises on the same data.
//
// The course is a closed room (floor, four walls, ceiling) whose triangles all face inward, so a
// ball inside can strike it only from inside and never leaves, and in the room a miniature-golf
// lane: two wooden rails, a ramp hill, two white posts, a red block and the cup with its flag.
// Every obstacle is a convex solid whose triangles face outward; it is closed except where it
// stands on the floor or against a wall.
//
// Every coordinate is snapped to what the file holds (five times it, two decimals) and then
// rebuilt the way the course reader does (the file number as a float, times 0.2f), so these
// vertices are exactly the ones the program loads.

// Where the room lies, in course units. x and z are horizontal, y is up.
struct CourseLayout {
    // The walls stand at x = +-roomHalfWidth and z = +-roomHalfWidth.
    static constexpr float roomHalfWidth = 23.0f;
    static constexpr float floorY = -2.0f;
    static constexpr float ceilingY = 12.5f;
    // Top of the wooden skirting along the walls and of the lane's rails.
    static constexpr float railTopY = -0.5f;
};

enum class BoxRole {
    Room,     // part of the closed shell around the course; its triangles face inward
    Obstacle, // a convex solid inside the room; its triangles face outward
};

// One collision box: a colour and its triangles.
struct ModelBox {
    std::string name; // for messages only: the course file has no names
    BoxRole role = BoxRole::Obstacle;
    // Red, green, blue, alpha in 0..1; the program uses it as material diffuse and ambient.
    std::array<float, 4> colour{};
    // Vertices in course units; the normal is normalize((v1 - v0) x (v2 - v0)) and only the side
    // it points to is solid.
    std::vector<std::array<Vector3, 3>> triangles;
};

// The boxes of the course, room first, in the order they are written.
std::vector<ModelBox> buildCourseModel();

// The course file: "start", the colour, one triangle per line, a blank line between boxes, and
// finally "end" and a line break, as CourseWriter writes it.
std::string courseFileText(const std::vector<ModelBox>& boxes);

// The coordinate, in course units, that a reader rebuilds from the file number the course
// coordinate c is written as.
float snapToFile(double c);
