#pragma once

#include "course/CourseWriter.h"
#include "geometry/Triangle.h"
#include "geometry/Vector3.h"
#include "physics/LoadedCourse.h"
#include "scene/CollisionBox.h"

#include <array>
#include <istream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// Generated courses for measuring and testing the contact search: rooms of any size, rooms with a
// bumpy floor, and courses of awkward triangles; and random sweeps through them.
//
// Numbers are kept in file units (five times course units) as the floats a course file holds,
// so that the file written and the course built in memory are the same triangles.

struct GeneratedBox {
    // Red, green, blue, alpha, as the course file gives them.
    std::array<float, 4> colour{};
    // x y z of v0, v1, v2 in file units; the normal (v1 - v0) x (v2 - v0) is the struck side.
    std::vector<std::array<float, 9>> triangles;
};

using GeneratedCourse = std::vector<GeneratedBox>;

// Takes a generated course as it is made, box by box in the course's order: each box's colour,
// then its triangles. A course of tens of millions of triangles can so be written out without
// being held whole.
class GeneratedCourseSink {
public:
    virtual void startBox(const std::array<float, 4>& colour) = 0;
    virtual void addTriangle(const std::array<float, 9>& triangle) = 0;

protected:
    ~GeneratedCourseSink() = default;
};

// The room of 40 x 20 x 40 course units (x and z from -20 to 20, y from -10 to 10) whose six
// walls face inward, each an N x N grid of cells of two triangles (N = cells), each wall cut
// into K x K boxes (K = tiles, at most N). N = 9, 29, 91, 289 with K = 1, 2, 4, 12 give about
// 1k, 10k, 100k and 1M triangles.
GeneratedCourse generateRoom(int cells, int tiles);
void generateRoom(int cells, int tiles, GeneratedCourseSink& sink);
// The same room whose floor rises in smooth bumps (up to 2 course units high, flat along the
// walls, so the floor still meets them edge to edge).
GeneratedCourse generateTerrain(int cells, int tiles);
void generateTerrain(int cells, int tiles, GeneratedCourseSink& sink);
// `count` triangles in boxes of 64, of eight kinds in turn: one with an edge within 1e-6 to
// 1e-3 rad of an axis, a sliver (its apex 1e-5 to 1e-2 of its length off its base), a huge one
// (corners 20 units from its centre), a tiny one (two corners 1e-3 to 1e-2 from the third), a
// degenerate one (three points on a line) and three plain ones. Their centres are uniform in x, y,
// z from -15 to 15, so every corner lies within 35 units of the origin along each axis.
GeneratedCourse generateAwkward(int count, unsigned seed);
void generateAwkward(int count, unsigned seed, GeneratedCourseSink& sink);

// The course file text as CourseWriter writes it, the file numbers as they are: every number
// reads back as the same float.
std::string generatedCourseText(const GeneratedCourse& course);

// Writes generatedCourseText's text to a stream as the course is made: the same bytes, one line
// at a time. finish() writes the closing "end".
class CourseTextWriter : public GeneratedCourseSink {
public:
    explicit CourseTextWriter(std::ostream& out) : writer_(out) {}
    void startBox(const std::array<float, 4>& colour) override;
    void addTriangle(const std::array<float, 9>& triangle) override;
    void finish();

private:
    CourseWriter writer_;
};

// A generated course built as the course reader builds it from the file generatedCourseText
// writes (each file number times 0.2f, frames built), with its contact index built on `threads`
// threads (0: one per core).
LoadedCourse buildGenerated(const GeneratedCourse& course, unsigned threads = 0);

// One straight move of the ball's centre, course units.
struct Sweep {
    Vector3 from;
    Vector3 to;
};

// `count` sweeps of the given length in directions uniform on the sphere, whose starts are
// drawn uniformly in the bounds of all the course's triangles and kept only when they lie at
// least `clearance` from every triangle (a start is drawn at most 1000 times a sweep, so a
// course with little room may give fewer). The course's index finds the triangles near a start;
// a course without one is indexed here.
std::vector<Sweep> generateSweeps(const LoadedCourse& course, int count, float length,
                                  float clearance, unsigned seed);

// Sweeps as text, one a line: FX FY FZ TX TY TZ, each written so it reads back as the same float.
std::string sweepsText(const std::vector<Sweep>& sweeps);
// Reads sweepsText's form one sweep at a time, so that an input of any length takes a fixed
// amount of memory; blank lines are skipped. A line longer than longestLine characters, or one
// holding a NUL byte, is no sweep: an endless or binary input (/dev/zero) is refused at its first
// line instead of being read whole.
class SweepReader {
public:
    // Six floats written as sweepsText writes them take at most 6 x 15 characters and five
    // spaces; ten times that leaves room for any spacing a person or a script would use.
    static constexpr std::size_t longestLine = 1024;

    explicit SweepReader(std::istream& in) : in_(in) {}

    // The next sweep; false at the end of the input, or at a line that is not six finite
    // numbers, which fault() then describes with its number ("LINE: error: expected ...").
    bool next(Sweep& sweep);
    const std::string& fault() const { return fault_; }

private:
    // Reads the next line into line_; false at the end of the input or at a line refused.
    bool readLine();

    std::istream& in_;
    long lineNumber_ = 0;
    std::string line_;
    std::string fault_;
    // One line and its terminating zero.
    char buffer_[longestLine + 1];
};

// A unit vector uniform on the sphere: the height uniform in [-1, 1] and the angle round the
// axis uniform in [0, 2 pi) (Archimedes), built from the generator's raw 32-bit words so that a
// seed gives the same directions with every standard library.
std::array<double, 3> randomDirection(std::mt19937& random);

// The distance from p to the closed triangle a b c, in double.
double distanceToTriangle(const Vector3& p, const Vector3& a, const Vector3& b, const Vector3& c);
