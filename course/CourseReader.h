#pragma once

#include "geometry/Triangle.h"
#include "scene/CollisionBox.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

// Reads a course file: words separated by white space,
//
//   course   := box* "end"
//   box      := "start" colour triangle*
//   colour   := red green blue alpha          (stored as read)
//   triangle := x y z  x y z  x y z           (each times 0.2: file units to course units)
//
// Every triangle is allocated with its frames and appended to `triangles`; every box is appended
// to `boxes` and holds pointers to its own triangles. Nothing after the first "end" is read.
class CourseReader : public std::ifstream {
public:
    // The one reader of the process, made on first use and never destroyed.
    static CourseReader* instance();

    // Appends the course in fileName to the two lists, which must be empty, printing each
    // triangle's running number and, on success, the loading time in seconds to `console`, one
    // per line. True when the course was read up to its "end". On failure nothing more is
    // printed to `console`; standard error gets one line naming the file, where the fault is
    // (line and word) and what was found against what was expected. A degenerate triangle loads
    // and keeps its number, with a warning naming that number on standard error.
    bool parse(std::string fileName, std::vector<Triangle*>& triangles,
               std::vector<CollisionBox>& boxes, std::ostream& console = std::cout);

    // The next word, the read position left where it was; empty when the input has none.
    std::string peekWord();
    // Reads and discards the next word.
    void skipWord();

private:
    CourseReader() = default;

    const std::string startMarker = "start";
    const std::string endMarker = "end";
};
