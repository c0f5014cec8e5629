#pragma once

#include "geometry/Vector3.h"

#include <array>
#include <cstddef>
#include <ostream>
#include <string>

// Writes the grammar CourseReader reads: "start", the colour on a line, one triangle a line (the
// three corners apart by two spaces), a blank line closing each box, and "end" with a line break.
//
// The reader multiplies every coordinate by 0.2f in single precision. A course coordinate c is
// therefore written as a file float f with f * 0.2f == c to the bit, the one with the shortest
// text among those (fileNumberFor); the reader gives back exactly the float the caller meant.
// Over floats of every magnitude about 15 % have no such f (see FileNumber), and a naive 5 * c
// misses another 7 % by an ulp. Colours are stored as read, so they are written as their own
// shortest text.
class CourseWriter {
public:
    // A course coordinate as the file holds it. Not every float is the product of a file float
    // with 0.2f: the file floats near 5 c lie 4 to 8 ulps of c apart, so their products step by
    // 0.8 to 1.6 ulps of c and can skip one. Then `exact` is false and `value` gives the nearest
    // product there is, an ulp of c away.
    struct FileNumber {
        float value = 0.0f;
        bool exact = true;
    };

    // The file number of the course coordinate c (course units); c must be finite with |5 c|
    // within the range of a float.
    static FileNumber fileNumberFor(float courseValue);
    // What the reader makes of a file number: fileValue * 0.2f, rounded to float.
    static float courseValueOf(float fileValue);
    // The shortest decimal that the reader (and strtof) reads back as exactly `value`.
    static std::string numberText(float value);
    static void appendNumber(std::string& text, float value);

    explicit CourseWriter(std::ostream& out) : out_(out) {}
    CourseWriter(const CourseWriter&) = delete;
    CourseWriter& operator=(const CourseWriter&) = delete;

    // "start" and the box's red, green, blue and alpha; the box before it, if any, is closed.
    void startBox(const std::array<float, 4>& colour);
    // One triangle of course coordinates, each written as fileNumberFor gives it (and counted
    // in inexactCoordinates when it has no exact file number).
    void addTriangle(const std::array<Vector3, 3>& corners);
    // One triangle whose nine numbers (x y z of each corner) are already file numbers, written
    // as they are: for callers that make their courses in file units.
    void addFileTriangle(const std::array<float, 9>& fileNumbers);
    // Closes the last box and writes "end".
    void finish();

    // Coordinates written so far that read back one float step from what was given.
    std::size_t inexactCoordinates() const { return inexact_; }

private:
    void writeLine();

    std::ostream& out_;
    // One line at a time: a course of millions of triangles is written without being held.
    std::string line_;
    bool boxOpen_ = false;
    std::size_t inexact_ = 0;
};
