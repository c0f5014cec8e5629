#include "CourseGenerator.h"

#include "course/CourseWriter.h"
#include "geometry/Bounds.h"
#include "physics/ContactIndex.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>

namespace {

// The reader's factor from file units to course units, and its inverse.
constexpr float courseUnitsPerFileUnit = 0.2f;
constexpr double fileUnitsPerCourseUnit = 5.0;

// The room, course units.
constexpr double roomLow[3] = {-20.0, -10.0, -20.0};
constexpr double roomHigh[3] = {20.0, 10.0, 20.0};
// The terrain's bumps: height in course units and bumps along each side.
constexpr double bumpHeight = 2.0;
constexpr double bumpsPerSide = 3.0;

constexpr std::array<std::array<float, 4>, 6> wallColours = {{
    {0.75f, 0.3f, 0.25f, 1.0f},  // x = -20
    {0.8f, 0.55f, 0.3f, 1.0f},   // x = +20
    {0.2f, 0.62f, 0.22f, 1.0f},  // floor, y = -10
    {0.55f, 0.72f, 0.9f, 1.0f},  // ceiling, y = +10
    {0.45f, 0.27f, 0.52f, 1.0f}, // z = -20
    {0.3f, 0.5f, 0.6f, 1.0f},    // z = +20
}};

// A course coordinate as the float the file holds for it.
float fileNumber(double courseValue) {
    return static_cast<float>(courseValue * fileUnitsPerCourseUnit);
}

// The height of the terrain's floor above y = -10 at (x, z): smooth bumps that vanish along the
// walls.
double bump(double x, double z) {
    const double across = std::sin(std::numbers::pi * bumpsPerSide * (x - roomLow[0]) / 40.0);
    const double along = std::sin(std::numbers::pi * bumpsPerSide * (z - roomLow[2]) / 40.0);
    return bumpHeight * across * across * along * along;
}

// The first of the N cells along a wall's side that fall in tile `tile` of K: cell i lies in
// tile i K / N (rounded down), so the tile's cells start at tile N / K rounded up.
int firstCellOf(int tile, int cells, int tiles) {
    return (tile * cells + tiles - 1) / tiles;
}

// One wall of the room: the low (side 0) or high (side 1) end of `axis`, an N x N grid of cells
// cut into K x K boxes, box by box; the floor follows the bumps when `bumpy`. In a box the cells
// come in the order of their first index, then their second.
void generateWall(int axis, int side, int cells, int tiles, bool bumpy, GeneratedCourseSink& sink) {
    // u and v span the wall, in the cyclic order that makes u x v point along +axis.
    const int u = (axis + 1) % 3;
    const int v = (axis + 2) % 3;
    const double plane = side == 0 ? roomLow[axis] : roomHigh[axis];
    const auto corner = [&](int i, int j) {
        double point[3];
        point[axis] = plane;
        point[u] = roomLow[u] + (roomHigh[u] - roomLow[u]) * i / cells;
        point[v] = roomLow[v] + (roomHigh[v] - roomLow[v]) * j / cells;
        if (bumpy && axis == 1 && side == 0) {
            point[1] += bump(point[0], point[2]);
        }
        return std::array<float, 3>{fileNumber(point[0]), fileNumber(point[1]),
                                    fileNumber(point[2])};
    };
    const auto triangle = [](const std::array<float, 3>& p, const std::array<float, 3>& q,
                             const std::array<float, 3>& r) {
        return std::array<float, 9>{p[0], p[1], p[2], q[0], q[1], q[2], r[0], r[1], r[2]};
    };
    for (int tileI = 0; tileI < tiles; ++tileI) {
        for (int tileJ = 0; tileJ < tiles; ++tileJ) {
            sink.startBox(wallColours[static_cast<std::size_t>(2 * axis + side)]);
            for (int i = firstCellOf(tileI, cells, tiles); i < firstCellOf(tileI + 1, cells, tiles);
                 ++i) {
                for (int j = firstCellOf(tileJ, cells, tiles);
                     j < firstCellOf(tileJ + 1, cells, tiles); ++j) {
                    const auto a = corner(i, j), b = corner(i + 1, j), c = corner(i + 1, j + 1),
                               d = corner(i, j + 1);
                    // The low side faces +axis (a b c turns from u to v), the high side -axis.
                    if (side == 0) {
                        sink.addTriangle(triangle(a, b, c));
                        sink.addTriangle(triangle(a, c, d));
                    } else {
                        sink.addTriangle(triangle(a, c, b));
                        sink.addTriangle(triangle(a, d, c));
                    }
                }
            }
        }
    }
}

// The six walls of the room, each an N x N grid split into K x K boxes.
void generateWalls(int cells, int tiles, bool bumpy, GeneratedCourseSink& sink) {
    cells = std::max(cells, 1);
    tiles = std::clamp(tiles, 1, cells);
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            generateWall(axis, side, cells, tiles, bumpy, sink);
        }
    }
}

// Keeps a generated course whole, for the callers that build it in memory.
class CourseCollector : public GeneratedCourseSink {
public:
    void startBox(const std::array<float, 4>& colour) override { course.push_back({colour, {}}); }
    void addTriangle(const std::array<float, 9>& triangle) override {
        course.back().triangles.push_back(triangle);
    }

    GeneratedCourse course;
};

// A uniform double in [0, 1) from the generator's raw 32-bit words, the same with every standard
// library.
double uniform(std::mt19937& random) {
    return random() / 4294967296.0;
}

double uniform(std::mt19937& random, double low, double high) {
    return low + (high - low) * uniform(random);
}

using Point = std::array<double, 3>;

Point add(const Point& a, const Point& b, double scale = 1.0) {
    return {a[0] + scale * b[0], a[1] + scale * b[1], a[2] + scale * b[2]};
}

// A unit vector perpendicular to the unit vector d.
Point perpendicular(const Point& d, std::mt19937& random) {
    for (;;) {
        const Point other = randomDirection(random);
        Point cross = {d[1] * other[2] - d[2] * other[1], d[2] * other[0] - d[0] * other[2],
                       d[0] * other[1] - d[1] * other[0]};
        const double length =
            std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
        if (length > 0.1) {
            return {cross[0] / length, cross[1] / length, cross[2] / length};
        }
    }
}

// One awkward triangle (course units) of the given kind, near `centre`.
std::array<Point, 3> awkwardTriangle(int kind, const Point& centre, std::mt19937& random) {
    switch (kind) {
    case 0: { // an edge within 1e-6 to 1e-3 rad of an axis, either way along it
        Point axis = {0.0, 0.0, 0.0};
        axis[random() % 3] = random() % 2 == 0 ? 1.0 : -1.0;
        const double tilt = std::pow(10.0, uniform(random, -6.0, -3.0));
        const Point edge = add(axis, perpendicular(axis, random), tilt);
        const double length = uniform(random, 0.5, 10.0);
        const Point far = add(centre, edge, length);
        const Point apex = add(centre, randomDirection(random), uniform(random, 0.5, 10.0));
        // Any of the three edges may be the near-axis one.
        switch (random() % 3) {
        case 0:
            return {centre, apex, far};
        case 1:
            return {centre, far, apex};
        default:
            return {apex, centre, far};
        }
    }
    case 1: { // a sliver: the apex 1e-5 to 1e-2 of the length off the base
        const Point base = randomDirection(random);
        const double length = uniform(random, 1.0, 10.0);
        const Point end = add(centre, base, length);
        const Point middle = add(centre, base, length * uniform(random, 0.1, 0.9));
        const double offset = length * std::pow(10.0, uniform(random, -5.0, -2.0));
        return {centre, add(middle, perpendicular(base, random), offset), end};
    }
    case 2: // huge: up to 40 units a side
        return {add(centre, randomDirection(random), 20.0),
                add(centre, randomDirection(random), 20.0),
                add(centre, randomDirection(random), 20.0)};
    case 3: { // tiny: 1e-3 to 1e-2 a side
        const double size = std::pow(10.0, uniform(random, -3.0, -2.0));
        return {centre, add(centre, randomDirection(random), size),
                add(centre, randomDirection(random), size)};
    }
    case 4: { // degenerate: three points on one line
        const Point along = randomDirection(random);
        return {centre, add(centre, along, 1.0), add(centre, along, 2.0)};
    }
    default: // plain
        return {add(centre, randomDirection(random), uniform(random, 0.5, 3.0)),
                add(centre, randomDirection(random), uniform(random, 0.5, 3.0)),
                add(centre, randomDirection(random), uniform(random, 0.5, 3.0))};
    }
}

} // namespace

std::array<double, 3> randomDirection(std::mt19937& random) {
    const double height = 1.0 - 2.0 * uniform(random);
    const double angle = 2.0 * std::numbers::pi * uniform(random);
    const double across = std::sqrt(std::max(0.0, 1.0 - height * height));
    return {across * std::cos(angle), height, across * std::sin(angle)};
}

void generateRoom(int cells, int tiles, GeneratedCourseSink& sink) {
    generateWalls(cells, tiles, false, sink);
}

GeneratedCourse generateRoom(int cells, int tiles) {
    CourseCollector collector;
    generateRoom(cells, tiles, collector);
    return std::move(collector.course);
}

void generateTerrain(int cells, int tiles, GeneratedCourseSink& sink) {
    generateWalls(cells, tiles, true, sink);
}

GeneratedCourse generateTerrain(int cells, int tiles) {
    CourseCollector collector;
    generateTerrain(cells, tiles, collector);
    return std::move(collector.course);
}

GeneratedCourse generateAwkward(int count, unsigned seed) {
    CourseCollector collector;
    generateAwkward(count, seed, collector);
    return std::move(collector.course);
}

void generateAwkward(int count, unsigned seed, GeneratedCourseSink& sink) {
    constexpr int trianglesPerBox = 64;
    constexpr int kinds = 8; // kinds 5 to 7 are plain
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
        if (i % trianglesPerBox == 0) {
            sink.startBox({static_cast<float>(uniform(random)), static_cast<float>(uniform(random)),
                           static_cast<float>(uniform(random)), 1.0f});
        }
        const Point centre = {uniform(random, -15.0, 15.0), uniform(random, -15.0, 15.0),
                              uniform(random, -15.0, 15.0)};
        const std::array<Point, 3> corners = awkwardTriangle(i % kinds, centre, random);
        std::array<float, 9> triangle{};
        for (int v = 0; v < 3; ++v) {
            for (int axis = 0; axis < 3; ++axis) {
                triangle[static_cast<std::size_t>(3 * v + axis)] = fileNumber(
                    corners[static_cast<std::size_t>(v)][static_cast<std::size_t>(axis)]);
            }
        }
        sink.addTriangle(triangle);
    }
}

std::string generatedCourseText(const GeneratedCourse& course) {
    std::ostringstream text;
    CourseTextWriter writer(text);
    for (const GeneratedBox& box : course) {
        writer.startBox(box.colour);
        for (const std::array<float, 9>& triangle : box.triangles) {
            writer.addTriangle(triangle);
        }
    }
    writer.finish();
    return text.str();
}

void CourseTextWriter::startBox(const std::array<float, 4>& colour) {
    writer_.startBox(colour);
}

void CourseTextWriter::addTriangle(const std::array<float, 9>& triangle) {
    writer_.addFileTriangle(triangle);
}

void CourseTextWriter::finish() {
    writer_.finish();
}

LoadedCourse buildGenerated(const GeneratedCourse& course, unsigned threads) {
    LoadedCourse built;
    for (const GeneratedBox& generated : course) {
        built.startBox(generated.colour[0], generated.colour[1], generated.colour[2],
                       generated.colour[3]);
        for (const std::array<float, 9>& numbers : generated.triangles) {
            Vector3 corner[3];
            for (std::size_t v = 0; v < 3; ++v) {
                corner[v] = Vector3(numbers[3 * v] * courseUnitsPerFileUnit,
                                    numbers[3 * v + 1] * courseUnitsPerFileUnit,
                                    numbers[3 * v + 2] * courseUnitsPerFileUnit);
            }
            built.addTriangle(corner[0], corner[1], corner[2]);
        }
    }
    built.buildIndex(threads);
    return built;
}

double distanceToTriangle(const Vector3& p, const Vector3& a, const Vector3& b, const Vector3& c) {
    // The closest point by regions (Ericson, Real-Time Collision Detection, 5.1.5), in double.
    const auto sub = [](const Vector3& x, const Vector3& y) {
        return Point{double(x.x) - y.x, double(x.y) - y.y, double(x.z) - y.z};
    };
    const auto dot = [](const Point& x, const Point& y) {
        return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
    };
    const Point ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
    const auto distanceTo = [&](const Point& closestFromA) {
        const Point gap = {ap[0] - closestFromA[0], ap[1] - closestFromA[1],
                           ap[2] - closestFromA[2]};
        return std::sqrt(dot(gap, gap));
    };
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0) {
        return distanceTo({0.0, 0.0, 0.0});
    }
    const Point bp = sub(p, b);
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0.0 && d4 <= d3) {
        return distanceTo(ab);
    }
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
        return distanceTo(add({0.0, 0.0, 0.0}, ab, d1 / (d1 - d3)));
    }
    const Point cp = sub(p, c);
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0.0 && d5 <= d6) {
        return distanceTo(ac);
    }
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
        return distanceTo(add({0.0, 0.0, 0.0}, ac, d2 / (d2 - d6)));
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0) {
        const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return distanceTo(add(ab, sub(c, b), w));
    }
    const double denominator = 1.0 / (va + vb + vc);
    return distanceTo(add(add({0.0, 0.0, 0.0}, ab, vb * denominator), ac, vc * denominator));
}

std::vector<Sweep> generateSweeps(const LoadedCourse& course, int count, float length,
                                  float clearance, unsigned seed) {
    const std::vector<CollisionBox>& boxes = course.boxes();
    std::vector<Sweep> sweeps;
    // Starts are drawn from the course's bounds.
    const Bounds bounds = course.bounds();
    if (bounds.empty() || count <= 0) {
        return sweeps;
    }
    // The index finds the triangles near a candidate start: a move that stays where it is, of a
    // ball as wide as the clearance; their exact distances then decide.
    std::optional<ContactIndex> ownIndex;
    const ContactIndex& index =
        course.index() != nullptr ? *course.index() : ownIndex.emplace(boxes);
    ContactCandidates near;
    std::mt19937 random(seed);
    // Up to 1e10 for the 1e7 sweeps the tool allows: beyond an int.
    const long long mostTries = static_cast<long long>(count) * 1000;
    for (long long tries = 0; tries < mostTries && static_cast<int>(sweeps.size()) < count;
         ++tries) {
        const Vector3 start(static_cast<float>(uniform(random, bounds.lower[0], bounds.upper[0])),
                            static_cast<float>(uniform(random, bounds.lower[1], bounds.upper[1])),
                            static_cast<float>(uniform(random, bounds.lower[2], bounds.upper[2])));
        const Point direction = randomDirection(random);
        if (clearance > 0.0f) {
            index.collectCandidates(BallMove(start, start, clearance), 0.0f, boxes, near);
            const bool tooNear = std::any_of(
                near.triangles.begin(), near.triangles.end(), [&](const ContactCandidate& near) {
                    const ContactTriangle& t = *near.triangle;
                    return distanceToTriangle(start, t.corner(0), t.corner(1), t.corner(2)) <
                           clearance;
                });
            if (tooNear) {
                continue;
            }
        }
        const Vector3 end(static_cast<float>(start.x + length * direction[0]),
                          static_cast<float>(start.y + length * direction[1]),
                          static_cast<float>(start.z + length * direction[2]));
        sweeps.push_back({start, end});
    }
    return sweeps;
}

std::string sweepsText(const std::vector<Sweep>& sweeps) {
    std::string text;
    for (const Sweep& sweep : sweeps) {
        const float numbers[6] = {sweep.from.x, sweep.from.y, sweep.from.z,
                                  sweep.to.x,   sweep.to.y,   sweep.to.z};
        for (int i = 0; i < 6; ++i) {
            text += i == 0 ? "" : " ";
            CourseWriter::appendNumber(text, numbers[i]);
        }
        text += "\n";
    }
    return text;
}

bool SweepReader::readLine() {
    in_.getline(buffer_, sizeof buffer_);
    const auto taken = static_cast<std::size_t>(in_.gcount());
    ++lineNumber_;
    if (in_.bad()) {
        fault_ = std::to_string(lineNumber_) + ": error: reading failed";
        return false;
    }
    // Without a failure the line end was taken too, except at a last line that has none.
    const std::size_t length = in_.fail() || in_.eof() ? taken : taken - 1;
    if (std::memchr(buffer_, '\0', length) != nullptr) {
        fault_ =
            std::to_string(lineNumber_) + ": error: a NUL byte: not a sweeps file of text lines";
        return false;
    }
    if (in_.fail()) {
        if (taken == 0 && in_.eof()) {
            return false; // the end
        }
        fault_ = std::to_string(lineNumber_) + ": error: the line is longer than " +
                 std::to_string(longestLine) + " characters: not a sweeps file";
        return false;
    }
    line_.assign(buffer_, length);
    return true;
}

bool SweepReader::next(Sweep& sweep) {
    while (readLine()) {
        std::istringstream words(line_);
        float values[6];
        int count = 0;
        for (std::string word; words >> word;) {
            float value = 0.0f;
            const auto [end, error] =
                std::from_chars(word.data(), word.data() + word.size(), value);
            if (count == 6 || error != std::errc() || end != word.data() + word.size() ||
                !std::isfinite(value)) {
                fault_ = std::to_string(lineNumber_) +
                         ": error: expected six numbers FX FY FZ TX TY TZ, found \"" +
                         line_.substr(0, 80) + "\"";
                return false;
            }
            values[count++] = value;
        }
        if (count == 0) {
            continue;
        }
        if (count != 6) {
            fault_ = std::to_string(lineNumber_) +
                     ": error: expected six numbers FX FY FZ TX TY TZ, found " +
                     std::to_string(count);
            return false;
        }
        sweep = {{values[0], values[1], values[2]}, {values[3], values[4], values[5]}};
        return true;
    }
    return false;
}
