#pragma once

#include <string>

// Number texts that read back to exactly the float meant, through the readers that will read
// them: the course reader (strtof of the word, times 0.2f) and tinyobjloader (its own decimal
// parser into a double, then a float).

// The file number of a course coordinate: `fileValue` is the float, among those whose product
// with 0.2f (in single precision, as the course reader computes it) is `courseValue` (course
// units), with the shortest text (shortestFloatText). Not every float is such a product: the
// file floats near 5 c lie 4 to 8 ulps of c apart, so their products step by 0.8 to 1.6 ulps of c
// and can skip one. Then `exact` is false and `fileValue` gives the nearest product there is, an
// ulp of c away. `courseValue` must be finite with |5 c| within the range of a float.
struct FileCoordinate {
    float fileValue = 0.0f;
    bool exact = true;
};
FileCoordinate fileCoordinateFor(float courseValue);

// What the course reader makes of a file number: fileValue * 0.2f, rounded to float.
float courseValueOf(float fileValue);

// The shortest decimal that strtof reads back as exactly `value` (a colour, stored as read).
std::string shortestFloatText(float value);

// A decimal that tinyobjloader reads back as exactly `value`: the shortest one when it lies well
// inside the float's rounding interval, more digits otherwise. tinyobjloader sums the digits in
// double precision with an error of about 1e-15 of the value; a float's rounding interval is
// 6e-8 of it wide, so a text within a quarter of an ulp of the float cannot be read as another.
std::string objNumberText(float value);
