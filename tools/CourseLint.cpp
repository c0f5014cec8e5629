#include "tools/CourseLint.h"

#include "physics/ContactIndex.h"
#include "physics/ContactReach.h"
#include "scene/Ball.h"
#include "tools/CourseGenerator.h"
#include "tools/FlatTable.h"
#include "tools/ToolCommandLine.h"
#include "tools/ToolCourse.h"
#include "tools/ToolProgress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {

const std::string toolName = "minigolf-course";

// Where a ball that comes to rest is put back (the step's respawn): whole x and z from
// -respawnReach to respawnReach, course units, at height respawnHeight.
constexpr int respawnReach = 20;
constexpr float respawnHeight = 10.0f;

// How far an open edge may lie from the triangles it rests on, course units: a thousandth of a
// unit, far below any gap the ball (radius 0.6) could pass, and far above the rounding of a
// coordinate put onto a sloping face within a thousand units of the origin (6e-5); farther out,
// a millionth of the edge's coordinates (eight steps of a float).
constexpr double restingTolerance = 1e-3;
constexpr double restingRelativeTolerance = 1e-6;

// How far from the origin an open edge is looked at for the triangles it rests on, and those
// triangles lie, course units: within a quarter of what the contact index culls, so that their
// edges stay within it too. An edge farther out is open.
constexpr double restingMagnitude = 0.25 * contact_reach::largestIndexedMagnitude;

constexpr std::uint32_t none = 0xffffffffu;

using Point = std::array<double, 3>;

Point pointOf(const Vector3& v) {
    return {v.x, v.y, v.z};
}

Point minus(const Point& a, const Point& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double dot(const Point& a, const Point& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Point cross(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Three 32-bit words: a vertex by the exact value of its floats (+0 and -0 are one key, as they
// are one coordinate), or a triangle by its three vertex numbers, the smallest first (the
// cyclic order kept). Compared word by word.
struct Triple {
    std::uint32_t a, b, c;
    bool operator==(const Triple&) const = default;
};

// Keys that never occur, marking free slots: no vertex or triangle number reaches `none`, and
// the bits of a NaN are no coordinate the reader builds.
constexpr Triple noTriple = {none, none, none};
constexpr std::uint64_t noEdge = ~std::uint64_t{0};

Triple vertexKey(const Vector3& v) {
    const auto bits = [](float c) { return std::bit_cast<std::uint32_t>(c == 0.0f ? 0.0f : c); };
    return {bits(v.x), bits(v.y), bits(v.z)};
}

// The 64-bit finaliser of MurmurHash3: every input bit moves every output bit.
std::uint64_t mixBits(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

struct TripleHash {
    std::size_t operator()(const Triple& k) const {
        return mixBits((std::uint64_t{k.a} << 32 | k.b) ^ mixBits(k.c));
    }
};

struct EdgeHash {
    std::size_t operator()(std::uint64_t key) const { return mixBits(key); }
};

// The triangles that run along one edge (between two vertices, either way).
struct EdgeUse {
    // Index 0 runs from the lower vertex number to the higher, 1 the other way.
    std::uint32_t first[2] = {none, none}; // the first such triangle in the file
    std::uint32_t count[2] = {0, 0};
    std::uint32_t passed[2] = {0, 0}; // how many the report has passed so far
};

enum class Shape : std::uint8_t {
    sound,
    zeroArea,          // vertices equal or on one line
    overflowingNormal, // the cross product of its edges overflows a float
};

// The ball's start or a respawn place, and the nearest triangle closer than the ball's radius.
struct Place {
    Vector3 centre;
    bool isStart = false;
    std::uint32_t nearest = none;
    double distance = std::numeric_limits<double>::infinity();
};

// The number in the list of places of the respawn place (x, respawnHeight, z): after the start,
// x by x and, for each x, z by z.
std::size_t respawnPlace(int x, int z) {
    constexpr int side = 2 * respawnReach + 1;
    return 1 + static_cast<std::size_t>((x + respawnReach) * side + (z + respawnReach));
}

bool withinRestingMagnitude(const Vector3& p) {
    return std::fabs(p.x) <= restingMagnitude && std::fabs(p.y) <= restingMagnitude &&
           std::fabs(p.z) <= restingMagnitude;
}

std::string plural(std::uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string pointText(const Vector3& v) {
    // Appended piece by piece: GCC 12 at -O3 warns (wrongly) of overlapping copies in a chain of
    // literal + string.
    std::string text = "(";
    text += formatNumber(v.x);
    text += ", ";
    text += formatNumber(v.y);
    text += ", ";
    text += formatNumber(v.z);
    text += ')';
    return text;
}

std::string positionText(const SourcePosition& at) {
    return std::to_string(at.line) + ":" + std::to_string(at.column);
}

// The part [enter, leave] of the segment from + s along, s in [0, 1], that lies within
// `tolerance` of the triangle's plane and no farther than `tolerance` outside any of its edges;
// empty (enter > leave) when there is none. Double arithmetic on the floats.
std::pair<double, double> partOnTriangle(const Triangle& triangle, const Point& from,
                                         const Point& along, double tolerance) {
    const Point corner[3] = {pointOf(*triangle.vertex(0)), pointOf(*triangle.vertex(1)),
                             pointOf(*triangle.vertex(2))};
    Point normal = cross(minus(corner[1], corner[0]), minus(corner[2], corner[0]));
    const double twiceArea = std::sqrt(dot(normal, normal));
    if (!(twiceArea > 0.0 && std::isfinite(twiceArea))) {
        return {1.0, 0.0}; // its corners on one line after all: it covers nothing
    }
    for (double& component : normal) {
        component /= twiceArea;
    }
    contact_reach::MoveInterval part;
    // Height over the plane h + s rise within [-tolerance, tolerance].
    const double height = dot(normal, minus(from, corner[0]));
    const double rise = dot(normal, along);
    part.keepAtLeast(tolerance - height, -rise);
    part.keepAtLeast(tolerance + height, rise);
    for (int k = 0; k < 3; ++k) {
        // Inward across the edge k -> k+1, in the plane: n x edge, as long as the edge.
        const Point edge = minus(corner[(k + 1) % 3], corner[k]);
        const Point inward = cross(normal, edge);
        const double length = std::sqrt(dot(edge, edge));
        part.keepAtLeast(dot(inward, minus(from, corner[k])) + tolerance * length,
                         dot(inward, along));
    }
    return {part.enter, part.leave};
}

class CourseLinter {
public:
    CourseLinter(const Course& course, const CourseSources& sources, const std::string& name,
                 bool closed)
        : course_(course), sources_(sources), name_(name), closed_(closed),
          progress_("checking " + std::filesystem::path(name).filename().string()) {}

    // Prints every finding in the order of the file, then the summary; the exit status.
    int report();

private:
    void classifyTriangles();
    void findCopies();
    void countEdges();
    void findPlacesInside();
    void reportTriangle(std::uint32_t t);
    void reportEdges(std::uint32_t t);
    void reportPlaces(std::uint32_t t);
    bool restsOnOtherTriangles(std::uint32_t owner, const Vector3& a, const Vector3& b);
    const std::vector<std::uint32_t>& trianglesNear(const Vector3& a, const Vector3& b,
                                                    double distance);
    void indexRestingTriangles();
    void print(std::uint32_t t, bool error, const std::string& message);

    // Whether the triangle takes part in the edge and place checks: not degenerate (the ball
    // passes through it) and not a copy (reported once, as a copy).
    bool takesPart(std::uint32_t t) const {
        return shape_[t] == Shape::sound && copyOf_[t] == none;
    }
    const Triangle& triangle(std::uint32_t t) const { return *course_.triangles[t]; }
    static std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
        return std::uint64_t{std::min(a, b)} << 32 | std::max(a, b);
    }

    const Course& course_;
    const CourseSources& sources_;
    const std::string& name_;
    const bool closed_;

    std::vector<Shape> shape_;
    std::vector<std::array<std::uint32_t, 3>> corners_; // vertex numbers of each triangle
    std::vector<std::uint32_t> copyOf_;                 // the earlier triangle it repeats
    FlatTable<std::uint64_t, EdgeUse, EdgeHash> edges_{noEdge, 0};
    // The ball's start, then the respawn places (see respawnPlace).
    std::vector<Place> places_;
    float ballRadius_ = 0.0f;
    // (triangle, place) for every place inside the course, by triangle.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> placesInside_;
    std::size_t nextPlace_ = 0;

    // Built on the first open edge (see indexRestingTriangles): the triangles an edge may rest
    // on, by box; their numbers, box after box; where each box's numbers begin.
    std::vector<CollisionBox> restingBoxes_;
    std::vector<std::uint32_t> restingNumbers_;
    std::vector<std::uint32_t> restingBoxFirst_;
    std::optional<ContactIndex> restingIndex_;
    ContactCandidates near_;
    std::vector<std::uint32_t> nearby_;

    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
    std::string line_;
    // On a terminal: the report's way through the triangles, which many open edges slow down.
    ProgressLine progress_;
};

// The shape of every triangle, and its vertices numbered by their exact floats.
void CourseLinter::classifyTriangles() {
    const std::size_t count = course_.triangles.size();
    shape_.resize(count);
    corners_.resize(count);
    // A closed mesh has about half as many vertices as triangles.
    FlatTable<Triple, std::uint32_t, TripleHash> numbers(noTriple, count / 2);
    for (std::size_t t = 0; t < count; ++t) {
        const Triangle& each = *course_.triangles[t];
        if (!each.hasFiniteNormal()) {
            // As the reader tells them apart: a cross product that is zero or overflows.
            const Vector3 v0 = *each.vertex(0);
            const Vector3 edgeCross = (*each.vertex(1) - v0).cross(*each.vertex(2) - v0);
            shape_[t] = edgeCross.isFinite() ? Shape::zeroArea : Shape::overflowingNormal;
        }
        for (int v = 0; v < 3; ++v) {
            const auto number = static_cast<std::uint32_t>(numbers.size());
            const auto [entry, added] = numbers.insert(vertexKey(*each.vertex(v)));
            if (added) {
                *entry = number;
            }
            corners_[t][static_cast<std::size_t>(v)] = *entry;
        }
    }
}

void CourseLinter::findCopies() {
    const std::size_t count = course_.triangles.size();
    copyOf_.assign(count, none);
    FlatTable<Triple, std::uint32_t, TripleHash> firsts(noTriple, count);
    for (std::uint32_t t = 0; t < count; ++t) {
        if (shape_[t] != Shape::sound) {
            continue; // its vertices need not be distinct; it is reported as degenerate
        }
        const auto& c = corners_[t];
        const auto low = static_cast<std::size_t>(std::min_element(c.begin(), c.end()) - c.begin());
        const Triple key = {c[low], c[(low + 1) % 3], c[(low + 2) % 3]};
        const auto [entry, added] = firsts.insert(key);
        if (added) {
            *entry = t;
        } else {
            copyOf_[t] = *entry;
        }
    }
}

void CourseLinter::countEdges() {
    // A closed mesh has one and a half edges per triangle.
    edges_ = FlatTable<std::uint64_t, EdgeUse, EdgeHash>(noEdge, course_.triangles.size() * 3 / 2);
    for (std::uint32_t t = 0; t < course_.triangles.size(); ++t) {
        if (!takesPart(t)) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t from = corners_[t][static_cast<std::size_t>(k)];
            const std::uint32_t to = corners_[t][static_cast<std::size_t>((k + 1) % 3)];
            EdgeUse& use = *edges_.insert(edgeKey(from, to)).first;
            const int way = from < to ? 0 : 1;
            if (use.first[way] == none) {
                use.first[way] = t;
            }
            ++use.count[way];
        }
    }
}

// For every place, the nearest triangle closer than the ball's radius, if any. The places lie on
// a grid of whole numbers, so each triangle looks only at the places within its bounds grown by
// the radius: the few near it, or none when it lies away from height 10 and from the start.
void CourseLinter::findPlacesInside() {
    const Ball ball(Ball::withoutTexture);
    ballRadius_ = ball.radius();
    const double radius = ballRadius_;
    places_.push_back({ball.position(), true});
    // In the order respawnPlace numbers them.
    for (int x = -respawnReach; x <= respawnReach; ++x) {
        for (int z = -respawnReach; z <= respawnReach; ++z) {
            places_.push_back(
                {Vector3(static_cast<float>(x), respawnHeight, static_cast<float>(z)), false});
        }
    }
    const auto measure = [&](std::uint32_t t, std::size_t place) {
        const Triangle& near = triangle(t);
        const double distance = distanceToTriangle(places_[place].centre, *near.vertex(0),
                                                   *near.vertex(1), *near.vertex(2));
        // The earlier triangle stays on a tie.
        if (distance < radius && distance < places_[place].distance) {
            places_[place].distance = distance;
            places_[place].nearest = t;
        }
    };
    for (std::uint32_t t = 0; t < course_.triangles.size(); ++t) {
        if (!takesPart(t)) {
            continue;
        }
        Point lower, upper;
        for (int axis = 0; axis < 3; ++axis) {
            const Triangle& each = triangle(t);
            const double a = (*each.vertex(0))[axis], b = (*each.vertex(1))[axis],
                         c = (*each.vertex(2))[axis];
            lower[axis] = std::min({a, b, c}) - radius;
            upper[axis] = std::max({a, b, c}) + radius;
        }
        const auto within = [&](const Vector3& p) {
            return p.x >= lower[0] && p.x <= upper[0] && p.y >= lower[1] && p.y <= upper[1] &&
                   p.z >= lower[2] && p.z <= upper[2];
        };
        if (within(places_[0].centre)) {
            measure(t, 0);
        }
        if (!(respawnHeight >= lower[1] && respawnHeight <= upper[1])) {
            continue;
        }
        // Whole numbers within the grown bounds, inside the respawn square. A whole number
        // stays on its side of a bound that was rounded to double.
        const auto firstFrom = [](double low) {
            return static_cast<int>(
                std::clamp(std::ceil(low), -1.0 * respawnReach, respawnReach + 1.0));
        };
        const auto lastUpTo = [](double high) {
            return static_cast<int>(
                std::clamp(std::floor(high), -respawnReach - 1.0, 1.0 * respawnReach));
        };
        for (int x = firstFrom(lower[0]); x <= lastUpTo(upper[0]); ++x) {
            for (int z = firstFrom(lower[2]); z <= lastUpTo(upper[2]); ++z) {
                measure(t, respawnPlace(x, z));
            }
        }
    }
    for (std::uint32_t place = 0; place < places_.size(); ++place) {
        if (places_[place].nearest != none) {
            placesInside_.emplace_back(places_[place].nearest, place);
        }
    }
    std::sort(placesInside_.begin(), placesInside_.end());
}

// Whether the segment a-b lies, along its whole length, within the resting tolerance of
// triangles other than its owner: an obstacle's open edge where it stands on the floor or
// against a wall, which the floor or the wall closes, or an edge along which smaller triangles
// meet it (a T-junction), where no ball can pass either. Each triangle near it covers an
// interval of it; the intervals must leave no gap.
bool CourseLinter::restsOnOtherTriangles(std::uint32_t owner, const Vector3& a, const Vector3& b) {
    const Point from = pointOf(a);
    const Point along = minus(pointOf(b), from);
    const double magnitude =
        std::max({std::fabs(from[0]), std::fabs(from[1]), std::fabs(from[2]),
                  double(std::fabs(b.x)), double(std::fabs(b.y)), double(std::fabs(b.z))});
    if (!withinRestingMagnitude(a) || !withinRestingMagnitude(b)) {
        return false;
    }
    const double tolerance = restingTolerance + restingRelativeTolerance * magnitude;
    std::vector<std::pair<double, double>> parts;
    for (const std::uint32_t t : trianglesNear(a, b, tolerance)) {
        if (t == owner) {
            continue;
        }
        const auto part = partOnTriangle(triangle(t), from, along, tolerance);
        if (part.first <= part.second) {
            parts.push_back(part);
        }
    }
    std::sort(parts.begin(), parts.end());
    double covered = 0.0; // the segment is covered from its start up to here
    for (const auto& [enter, leave] : parts) {
        if (enter > covered) {
            return false;
        }
        covered = std::max(covered, leave);
    }
    return covered >= 1.0;
}

// The numbers of the triangles that may lie within `distance` of the segment a-b, from the
// contact index: a ball as wide as a few times the distance swept along the segment. (A point
// no more than `distance` outside each edge of a triangle can lie farther from the triangle near
// a sharp corner; the margin takes in all but the sharpest slivers.) The index leaves out the
// triangles whose face a move leaves, so the segment is swept both ways.
const std::vector<std::uint32_t>& CourseLinter::trianglesNear(const Vector3& a, const Vector3& b,
                                                              double distance) {
    constexpr double sweptWidths = 4.0;
    if (!restingIndex_) {
        indexRestingTriangles();
    }
    nearby_.clear();
    const auto radius = static_cast<float>(sweptWidths * distance);
    for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
        restingIndex_->collectCandidates(BallMove(from, to, radius), 0.0f, restingBoxes_, near_);
        for (const ContactCandidate& candidate : near_.triangles) {
            const std::uint32_t box = static_cast<std::uint32_t>(candidate.order >> 32);
            const auto position = static_cast<std::uint32_t>(candidate.order & 0xffffffffu);
            nearby_.push_back(restingNumbers_[restingBoxFirst_[box] + position]);
        }
    }
    std::sort(nearby_.begin(), nearby_.end());
    nearby_.erase(std::unique(nearby_.begin(), nearby_.end()), nearby_.end());
    return nearby_;
}

// The contact index over the triangles an edge may rest on, box by box as in the course: those
// that take part in the checks and lie within restingMagnitude. The index tests a triangle
// farther out than it can cull on every query, which would make the check quadratic.
void CourseLinter::indexRestingTriangles() {
    // The reader appends each box's triangles to the list in turn.
    std::uint32_t t = 0;
    for (const CollisionBox& box : course_.boxes) {
        restingBoxFirst_.push_back(static_cast<std::uint32_t>(restingNumbers_.size()));
        CollisionBox& resting = restingBoxes_.emplace_back();
        for (unsigned position = 0; position < box.triangleCount(); ++position, ++t) {
            Triangle* const each = box.triangle(static_cast<int>(position));
            if (takesPart(t) && withinRestingMagnitude(*each->vertex(0)) &&
                withinRestingMagnitude(*each->vertex(1)) &&
                withinRestingMagnitude(*each->vertex(2))) {
                resting.addTriangle(each);
                restingNumbers_.push_back(t);
            }
        }
        resting.compact();
    }
    restingIndex_.emplace(restingBoxes_);
}

void CourseLinter::print(std::uint32_t t, bool error, const std::string& message) {
    const SourcePosition at = sources_.triangles[t];
    progress_.clear();
    line_ = name_ + ":" + positionText(at) + (error ? ": error: " : ": warning: ") + message + "\n";
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    ++(error ? errors_ : warnings_);
}

void CourseLinter::reportTriangle(std::uint32_t t) {
    const std::string number = "triangle " + std::to_string(t);
    switch (shape_[t]) {
    case Shape::zeroArea:
        print(t, true,
              number + " is degenerate (zero area: its vertices are equal or on one line); it "
                       "takes part in no contact");
        return;
    case Shape::overflowingNormal:
        print(t, true,
              number + " is degenerate (its normal overflows a float: its coordinates are too "
                       "large); it takes part in no contact");
        return;
    case Shape::sound:
        break;
    }
    if (copyOf_[t] != none) {
        print(t, false,
              number + " repeats triangle " + std::to_string(copyOf_[t]) + " (at " +
                  positionText(sources_.triangles[copyOf_[t]]) + ")");
        return;
    }
    reportEdges(t);
    reportPlaces(t);
}

// An edge that more triangles run one way than the other: every one beyond the first that has
// no partner running the other way (with no partner at all, the second onwards) is named with
// the first. An edge that no other triangle runs along at all is open, unless it rests on
// other triangles.
void CourseLinter::reportEdges(std::uint32_t t) {
    for (int k = 0; k < 3; ++k) {
        const int next = (k + 1) % 3;
        const std::uint32_t from = corners_[t][static_cast<std::size_t>(k)];
        const std::uint32_t to = corners_[t][static_cast<std::size_t>(next)];
        EdgeUse& use = *edges_.find(edgeKey(from, to));
        const int way = from < to ? 0 : 1;
        const std::uint32_t passed = ++use.passed[way];
        const Vector3 a = *triangle(t).vertex(k);
        const Vector3 b = *triangle(t).vertex(next);
        const auto edge = [&] {
            return "edge from vertex " + std::to_string(k) + " " + pointText(a) + " to vertex " +
                   std::to_string(next) + " " + pointText(b);
        };
        if (passed >= 2 && passed > use.count[1 - way]) {
            const std::uint32_t other = use.first[way];
            print(t, closed_,
                  "triangle " + std::to_string(t) + " runs its " + edge() +
                      " the same way as triangle " + std::to_string(other) + " (at " +
                      positionText(sources_.triangles[other]) +
                      "): one of the two faces the wrong way");
        } else if (use.count[0] + use.count[1] == 1 && !restsOnOtherTriangles(t, a, b)) {
            print(t, closed_,
                  "triangle " + std::to_string(t) + " has an open " + edge() +
                      ": no other triangle runs along it, so a ball can leave there");
        }
    }
}

void CourseLinter::reportPlaces(std::uint32_t t) {
    for (; nextPlace_ < placesInside_.size() && placesInside_[nextPlace_].first == t;
         ++nextPlace_) {
        const Place& place = places_[placesInside_[nextPlace_].second];
        const std::string what = place.isStart ? "the ball's start " : "the respawn place ";
        print(t, true,
              what + pointText(place.centre) + " is " + formatNumber(place.distance) +
                  " from triangle " + std::to_string(t) + ", closer than the ball's radius " +
                  formatNumber(ballRadius_) +
                  (place.isStart ? ": the ball starts inside the course"
                                 : ": a ball put back there starts inside the course"));
    }
}

int CourseLinter::report() {
    classifyTriangles();
    findCopies();
    countEdges();
    findPlacesInside();
    // Looks at the clock only every so many triangles: most take well under a microsecond.
    constexpr std::uint32_t trianglesPerLook = 1024;
    const auto count = static_cast<long long>(course_.triangles.size());
    for (std::uint32_t t = 0; t < course_.triangles.size(); ++t) {
        if (t % trianglesPerLook == 0) {
            progress_.update(t, count, "triangles");
        }
        reportTriangle(t);
    }
    progress_.clear();
    line_ = name_ + ": " + plural(errors_, "error") + ", " + plural(warnings_, "warning") + " in " +
            plural(course_.triangles.size(), "triangle") + "\n";
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    return errors_ > 0 ? 1 : 0;
}

} // namespace

int lintCourse(const LintOptions& options) {
    Course course;
    CourseSources sources;
    CourseReadOptions reading;
    reading.sources = &sources;
    reading.warnDegenerate = false; // named among the findings, as errors
    if (!loadCourse(options.course, course, reading)) {
        return exitUsage;
    }
    if (course.triangles.size() >= none) {
        std::fprintf(stderr, "%s: %s: more triangles than the linter counts (%u)\n",
                     toolName.c_str(), options.course.c_str(), none - 1);
        return exitUsage;
    }
    CourseLinter linter(course, sources, options.course, options.closed);
    return finishOutput(toolName, linter.report());
}
