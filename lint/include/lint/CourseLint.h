#pragma once

#include <string>

// minigolf-course lint: static checks of a course file, read with the program's own reader.
//
// Every finding is one line on standard output, in the form editors jump to, at the first number
// of the triangle it concerns, in the order of the file:
//
//   COURSE:LINE:COLUMN: error: triangle 3 is degenerate (zero area: ...)
//   COURSE:LINE:COLUMN: warning: triangle 12 repeats triangle 7 (at 9:1)
//
// followed by one summary line, "COURSE: 2 errors, 3 warnings in 258 triangles". The checks:
// - degenerate triangles (errors);
// - triangles that repeat an earlier one, the same three vertices in the same cyclic order
//   (warnings);
// - open edges, which no other triangle runs along and which do not rest on other triangles (an
//   obstacle standing on the floor, a T-junction), and inconsistent winding, an edge that more
//   triangles run one way than the other (warnings, or errors for a course meant to be closed);
// - the ball's start and its respawn places closer than the ball's radius to a triangle (errors);
// - a course that faces away from the ball's start or a respawn place: rays cast from there
//   strike mostly the back of the triangles (errors).
// Edges match by the exact floats of their ends, as the reader builds them.
struct LintOptions {
    std::string course;
    // Open edges and inconsistent winding are errors: the course is meant to hold the ball.
    bool closed = false;
    // Whether an edge rests on other triangles is decided by the straightforward search through
    // the contact index, on one thread: the reference the fast search is tested against.
    bool referenceSearch = false;
};

// Returns 0 when no finding is an error, 1 when one is, and 2 when the course cannot be read
// (after the reader's one line on standard error, and with nothing on standard output) or
// standard output cannot be written.
int lintCourse(const LintOptions& options);
