#include "lint/CourseLint.h"

#include "ContactReach.h"
#include "CourseGenerator.h"
#include "FlatTable.h"
#include "RestingSearch.h"
#include "ToolCommandLine.h"
#include "ToolProgress.h"
#include "TriangleTree.h"
#include "physics/ContactIndex.h"
#include "scene/BallConstants.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <mutex>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

const std::string toolName = "minigolf-course";

// Where a ball that comes to rest is put back (the step's respawn): whole x and z from
// -respawnReach to respawnReach, course units, at height respawnHeight.
using ball_constants::respawnHeight;
using ball_constants::respawnReach;

constexpr std::uint32_t none = 0xffffffffu;

// The outward check: from the ball's start and from the respawn places every outwardStep units
// (x and z from -respawnReach to respawnReach at respawnHeight), rays in outwardRays directions
// spread evenly over the sphere. A place whose rays strike triangles from behind at least
// outwardShare times as often as from the front, at least outwardLeastHits times (an eighth of
// the rays), and in every one of the six cones within 60 degrees of +x, -x, +y, -y, +z and -z,
// is surrounded by a course that faces away from it: inside a closed model facing outward every
// ray strikes a back. The share is high, and the backs must surround the place, because
// triangles that all face one way round an axis (a fan) show mostly their backs from one side
// of it, and one huge triangle facing away fills half of the view.
constexpr int outwardStep = 5;
constexpr int outwardRays = 128;
constexpr int outwardShare = 9;
constexpr int outwardLeastHits = outwardRays / 8;
constexpr double outwardCone = 0.5; // the cosine of 60 degrees
// Hits nearer the place than this, course units, are not counted: a place on a face (the
// start on a room's wall) would see that face from both sides at once.
constexpr double outwardNearest = 1e-6;

// Edges below which the resting check runs on the calling thread alone: starting threads costs
// more than it spares.
constexpr std::size_t edgesForThreads = 4096;

using Point = std::array<double, 3>;

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

// Runs work(i) for every i below count, on every core when there are many (the calling thread
// among them), in chunks; the calling thread calls done(finished) between its chunks. A worker's
// exception (running out of memory) is rethrown here once all have stopped.
template <class Work, class Done>
void inParallel(std::size_t count, std::size_t forThreads, Work work, Done done) {
    constexpr std::size_t chunk = 256;
    const unsigned threads =
        count < forThreads ? 1u : std::max(1u, std::thread::hardware_concurrency());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto run = [&](bool reports) {
        try {
            for (std::size_t first; (first = next.fetch_add(chunk)) < count;) {
                const std::size_t last = std::min(count, first + chunk);
                for (std::size_t i = first; i < last; ++i) {
                    work(i);
                }
                finished += last - first;
                if (reports) {
                    done(finished.load());
                }
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureMutex);
            failure = failure ? failure : std::current_exception();
            next = count; // no more work for anyone
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(run, false);
        } catch (const std::system_error&) {
            break; // no more threads to be had: those started and this one do the work
        }
    }
    run(true);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// Directions spread evenly over the unit sphere (a Fibonacci lattice): n points at heights
// evenly spaced in (-1, 1), turned by the golden angle from one to the next.
std::vector<Point> sphereDirections(int n) {
    const double goldenAngle = std::numbers::pi * (3.0 - std::sqrt(5.0));
    std::vector<Point> directions;
    for (int i = 0; i < n; ++i) {
        const double height = 1.0 - (2.0 * i + 1.0) / n;
        const double across = std::sqrt(1.0 - height * height);
        const double turn = goldenAngle * i;
        directions.push_back({across * std::cos(turn), height, across * std::sin(turn)});
    }
    return directions;
}

// Where the ray origin + s direction, s >= 0, crosses the triangle (Moller and Trumbore), and
// whether it meets its front (the side its normal (v1 - v0) x (v2 - v0) points to, the side the
// ball strikes): nothing when it misses or runs along the triangle's plane.
struct RayHit {
    double distance;
    bool front;
};

std::optional<RayHit> rayHit(const Point& origin, const Point& direction,
                             const std::array<Point, 3>& corner) {
    const auto minus = [](const Point& a, const Point& b) {
        return Point{a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    };
    const auto dot = [](const Point& a, const Point& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    const auto cross = [](const Point& a, const Point& b) {
        return Point{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                     a[0] * b[1] - a[1] * b[0]};
    };
    const Point v0 = corner[0];
    const Point first = minus(corner[1], v0), second = minus(corner[2], v0);
    // origin + s d = v0 + u first + v second, solved by Cramer's rule; det = -d . normal.
    const Point p = cross(direction, second);
    const double det = dot(first, p);
    if (!(det != 0.0) || !std::isfinite(det)) {
        return std::nullopt; // along the plane
    }
    const Point offset = minus(origin, v0);
    const double u = dot(offset, p) / det;
    if (!(u >= 0.0 && u <= 1.0)) {
        return std::nullopt;
    }
    const Point q = cross(offset, first);
    const double v = dot(direction, q) / det;
    if (!(v >= 0.0 && u + v <= 1.0)) {
        return std::nullopt;
    }
    const double distance = dot(second, q) / det;
    if (!(distance >= 0.0)) {
        return std::nullopt; // behind the origin
    }
    return RayHit{distance, det > 0.0};
}

// Where the ray origin + s direction, s >= 0, enters the box; infinite when it never does.
double rayEntry(const Point& origin, const Point& direction, const TriangleTree::Box& box) {
    constexpr double never = std::numeric_limits<double>::infinity();
    double enter = 0.0, leave = never;
    for (int axis = 0; axis < 3; ++axis) {
        const double lower = box.lower[axis], upper = box.upper[axis];
        if (direction[axis] == 0.0) {
            if (origin[axis] < lower || origin[axis] > upper) {
                return never;
            }
            continue;
        }
        double near = (lower - origin[axis]) / direction[axis];
        double far = (upper - origin[axis]) / direction[axis];
        if (near > far) {
            std::swap(near, far);
        }
        // Widened by a millionth for the rounding of the divisions: only a cull.
        enter = std::max(enter, near - 1e-6 * std::fabs(near));
        leave = std::min(leave, far + 1e-6 * std::fabs(far));
        if (enter > leave) {
            return never;
        }
    }
    return enter;
}

class CourseLinter {
public:
    CourseLinter(const LoadedCourse& course, const CourseSources& sources, const std::string& name,
                 const LintOptions& options)
        : course_(course), sources_(sources), name_(name), closed_(options.closed),
          referenceSearch_(options.referenceSearch),
          progress_("checking " + std::filesystem::path(name).filename().string()) {}

    // Prints every finding in the order of the file, then the summary; the exit status.
    int report();

private:
    void classifyTriangles();
    void findCopies();
    void countEdges();
    void findPlacesInside();
    void findRestingEdges();
    void findOutwardPlaces();
    void reportTriangle(std::uint32_t t);
    void reportEdges(std::uint32_t t);
    void reportPlaces(std::uint32_t t);
    void reportOutward(std::uint32_t t);
    bool meshed(std::uint32_t t);
    void print(std::uint32_t t, bool error, const std::string& message);

    // Whether the triangle takes part in the edge and place checks: not degenerate (the ball
    // passes through it) and not a copy (reported once, as a copy).
    bool takesPart(std::uint32_t t) const {
        return shape_[t] == Shape::sound && copyOf_[t] == none;
    }
    const Triangle& triangle(std::uint32_t t) const { return *course_.triangles()[t]; }
    static std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
        return std::uint64_t{std::min(a, b)} << 32 | std::max(a, b);
    }

    const LoadedCourse& course_;
    const CourseSources& sources_;
    const std::string& name_;
    const bool closed_;
    const bool referenceSearch_;

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

    // For edge k of triangle t at 3 t + k: whether it is run by that triangle alone and rests
    // on other triangles (see RestingSearch.h).
    std::vector<char> resting_;
    // Every place that sees the course from behind, by the first triangle (in the file) it
    // strikes from behind, then by place.
    struct OutwardPlace {
        std::uint32_t triangle;
        std::uint32_t place;
        Vector3 centre;
    };
    std::vector<OutwardPlace> outward_;
    std::size_t nextOutward_ = 0;

    std::uint64_t errors_ = 0;
    std::uint64_t warnings_ = 0;
    std::string line_;
    // On a terminal: the report's way through the triangles, which many open edges slow down.
    ProgressLine progress_;
};

// The shape of every triangle, and its vertices numbered by their exact floats.
void CourseLinter::classifyTriangles() {
    const std::size_t count = course_.triangles().size();
    shape_.resize(count);
    corners_.resize(count);
    // A closed mesh has about half as many vertices as triangles.
    FlatTable<Triple, std::uint32_t, TripleHash> numbers(noTriple, count / 2);
    for (std::size_t t = 0; t < count; ++t) {
        const Triangle& each = *course_.triangles()[t];
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
    const std::size_t count = course_.triangles().size();
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
    edges_ =
        FlatTable<std::uint64_t, EdgeUse, EdgeHash>(noEdge, course_.triangles().size() * 3 / 2);
    for (std::uint32_t t = 0; t < course_.triangles().size(); ++t) {
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
    ballRadius_ = ball_constants::radius;
    const double radius = ballRadius_;
    places_.push_back({ball_constants::startPosition(), true});
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
    for (std::uint32_t t = 0; t < course_.triangles().size(); ++t) {
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

// For every edge that one triangle alone runs: whether it rests on other triangles. The edges
// are independent, so they are shared out among the cores; each answer has its own slot.
void CourseLinter::findRestingEdges() {
    const std::size_t count = course_.triangles().size();
    resting_.assign(3 * count, 0);
    std::vector<std::uint32_t> lone; // 3 t + k for edge k of triangle t
    for (std::uint32_t t = 0; t < count; ++t) {
        if (!takesPart(t)) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t from = corners_[t][static_cast<std::size_t>(k)];
            const std::uint32_t to = corners_[t][static_cast<std::size_t>((k + 1) % 3)];
            const EdgeUse& use = *edges_.find(edgeKey(from, to));
            if (use.count[0] + use.count[1] == 1) {
                lone.push_back(3 * t + static_cast<std::uint32_t>(k));
            }
        }
    }
    if (lone.empty()) {
        return;
    }
    std::vector<bool> takingPart(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        takingPart[t] = takesPart(t);
    }
    const RestingCourse resting{course_.triangles(), course_.boxes(), takingPart};
    const auto ends = [&](std::uint32_t edge) {
        const Triangle& owner = triangle(edge / 3);
        const int k = static_cast<int>(edge % 3);
        return std::pair{*owner.vertex(k), *owner.vertex((k + 1) % 3)};
    };
    const auto total = static_cast<long long>(lone.size());
    if (referenceSearch_) {
        ReferenceRestingSearch search(resting);
        for (const std::uint32_t edge : lone) {
            const auto [a, b] = ends(edge);
            resting_[edge] = search.restsOnOtherTriangles(edge / 3, a, b);
        }
        return;
    }
    const RestingSearch search(resting);
    inParallel(
        lone.size(), edgesForThreads,
        [&](std::size_t i) {
            const auto [a, b] = ends(lone[i]);
            resting_[lone[i]] = search.restsOnOtherTriangles(lone[i] / 3, a, b);
        },
        [&](std::size_t finished) {
            progress_.update(static_cast<long long>(finished), total, "open edges");
        });
    progress_.clear();
}

// Whether every edge of the triangle is run by another triangle too: it belongs to a mesh, as
// the faces of a model do (a lone triangle, or one of a soup of them, faces no way in
// particular).
bool CourseLinter::meshed(std::uint32_t t) {
    for (int k = 0; k < 3; ++k) {
        const std::uint32_t from = corners_[t][static_cast<std::size_t>(k)];
        const std::uint32_t to = corners_[t][static_cast<std::size_t>((k + 1) % 3)];
        const EdgeUse& use = *edges_.find(edgeKey(from, to));
        if (use.count[0] + use.count[1] < 2) {
            return false;
        }
    }
    return true;
}

// The places that see the course from behind: for each, the rays' nearest hits on the meshed
// triangles (others let the rays through), counted by the side they strike. The places are
// independent and shared out among the cores.
void CourseLinter::findOutwardPlaces() {
    std::vector<TriangleTree::Item> items;
    std::vector<std::array<Point, 3>> corners; // by item id
    std::vector<std::uint32_t> numbers;        // the triangle of each item id
    for (std::uint32_t t = 0; t < course_.triangles().size(); ++t) {
        if (!takesPart(t) || !meshed(t)) {
            continue;
        }
        const Triangle& each = triangle(t);
        TriangleTree::Item item{};
        std::array<Point, 3>& corner = corners.emplace_back();
        for (int v = 0; v < 3; ++v) {
            const Vector3& p = *each.vertex(v);
            corner[static_cast<std::size_t>(v)] = {p.x, p.y, p.z};
        }
        for (int axis = 0; axis < 3; ++axis) {
            item.bounds.lower[axis] = std::min(
                {(*each.vertex(0))[axis], (*each.vertex(1))[axis], (*each.vertex(2))[axis]});
            item.bounds.upper[axis] = std::max(
                {(*each.vertex(0))[axis], (*each.vertex(1))[axis], (*each.vertex(2))[axis]});
        }
        item.outer = item.bounds;
        item.id = static_cast<std::uint32_t>(numbers.size());
        numbers.push_back(t);
        items.push_back(item);
    }
    if (items.empty()) {
        return;
    }
    const TriangleTree tree(std::move(items));
    std::vector<Vector3> centres = {places_[0].centre};
    for (int x = -respawnReach; x <= respawnReach; x += outwardStep) {
        for (int z = -respawnReach; z <= respawnReach; z += outwardStep) {
            centres.emplace_back(static_cast<float>(x), respawnHeight, static_cast<float>(z));
        }
    }
    const std::vector<Point> directions = sphereDirections(outwardRays);
    // Hits within a hundred-thousandth of the nearest are ties, as coplanar triangles that
    // overlap give: the ray strikes a front there when any of them shows one (the ball bounces
    // off it), and once one does, the others need not be tested.
    constexpr double tie = 1e-5;
    std::vector<std::uint32_t> firstBehind(centres.size(), none);
    inParallel(
        centres.size(), 0,
        [&](std::size_t place) {
            const Point origin = {centres[place].x, centres[place].y, centres[place].z};
            int front = 0, back = 0;
            std::uint32_t behind = none;
            unsigned surrounding = 0; // bit 2 axis (+ 1 along +axis): a back struck that way
            for (const Point& direction : directions) {
                std::optional<RayHit> nearest;
                std::uint32_t struck = none;
                tree.forEachNearestFirst(
                    [&](const TriangleTree::Node& node) {
                        return rayEntry(origin, direction, node.bounds);
                    },
                    [&] {
                        // Past a front, only a nearer hit matters; past a back, a tie too.
                        return !nearest         ? HUGE_VAL
                               : nearest->front ? nearest->distance * (1.0 - tie)
                                                : nearest->distance * (1.0 + tie);
                    },
                    [&](const TriangleTree::Item& item) {
                        const std::optional<RayHit> hit =
                            rayHit(origin, direction, corners[item.id]);
                        if (!hit || !(hit->distance > outwardNearest)) {
                            return;
                        }
                        if (!nearest || hit->distance < nearest->distance * (1.0 - tie)) {
                            nearest = hit;
                            struck = numbers[item.id];
                        } else if (hit->front && hit->distance <= nearest->distance * (1.0 + tie)) {
                            nearest->front = true;
                        }
                    });
                if (!nearest) {
                    continue;
                }
                if (nearest->front) {
                    ++front;
                } else {
                    ++back;
                    behind = std::min(behind, struck);
                    for (int axis = 0; axis < 3; ++axis) {
                        if (std::fabs(direction[static_cast<std::size_t>(axis)]) > outwardCone) {
                            surrounding |= 1u << (2 * axis + (direction[axis] > 0.0 ? 1 : 0));
                        }
                    }
                }
            }
            if (back >= outwardLeastHits && back >= outwardShare * front && surrounding == 0x3fu) {
                firstBehind[place] = behind;
            }
        },
        [](std::size_t) {});
    for (std::uint32_t place = 0; place < centres.size(); ++place) {
        if (firstBehind[place] != none) {
            outward_.push_back({firstBehind[place], place, centres[place]});
        }
    }
    std::sort(outward_.begin(), outward_.end(), [](const OutwardPlace& a, const OutwardPlace& b) {
        return a.triangle < b.triangle || (a.triangle == b.triangle && a.place < b.place);
    });
}

void CourseLinter::reportOutward(std::uint32_t t) {
    for (; nextOutward_ < outward_.size() && outward_[nextOutward_].triangle == t; ++nextOutward_) {
        print(t, true,
              "the course faces outward around " + pointText(outward_[nextOutward_].centre) +
                  ": its triangles are struck from behind; import the model with --flip");
    }
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
    reportOutward(t);
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
        } else if (use.count[0] + use.count[1] == 1 && !resting_[3 * std::size_t{t} + k]) {
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
    findRestingEdges();
    findOutwardPlaces();
    // Looks at the clock only every so many triangles: most take well under a microsecond.
    constexpr std::uint32_t trianglesPerLook = 1024;
    const auto count = static_cast<long long>(course_.triangles().size());
    for (std::uint32_t t = 0; t < course_.triangles().size(); ++t) {
        if (t % trianglesPerLook == 0) {
            progress_.update(t, count, "triangles");
        }
        reportTriangle(t);
    }
    progress_.clear();
    line_ = name_ + ": " + plural(errors_, "error") + ", " + plural(warnings_, "warning") + " in " +
            plural(course_.triangles().size(), "triangle") + "\n";
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    return errors_ > 0 ? 1 : 0;
}

} // namespace

int lintCourse(const LintOptions& options) {
    LoadedCourse course;
    CourseSources sources;
    CourseReadOptions reading;
    reading.sources = &sources;
    reading.warnDegenerate = false; // named among the findings, as errors
    if (!loadCourse(options.course, course, reading)) {
        return exitUsage;
    }
    if (course.triangles().size() >= none) {
        std::fprintf(stderr, "%s: error: more triangles than the linter counts (%u)\n",
                     options.course.c_str(), none - 1);
        return exitUsage;
    }
    CourseLinter linter(course, sources, options.course, options);
    return finishOutput(toolName, linter.report());
}
