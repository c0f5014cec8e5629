#include "RestingSearch.h"

#include "ContactReach.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

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

// The width of the ball swept along an edge to find the triangles near it, in tolerances. (A
// point no more than the tolerance outside each edge of a triangle can lie farther from the
// triangle near a sharp corner; the margin takes in all but the sharpest slivers.)
constexpr double sweptWidths = 4.0;

// The fast search's looks at single points: how many triangles near a point it measures before
// it leaves the point as crowded (a fan's shared corner lies in the bounds of every blade), and
// how many points it looks at from each end before it measures every triangle near the edge.
constexpr int trianglesPerPoint = 16;
constexpr int pointsPerEnd = 16;

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

double length(const Point& a) {
    return std::sqrt(dot(a, a));
}

bool withinRestingMagnitude(const Vector3& p) {
    return std::fabs(p.x) <= restingMagnitude && std::fabs(p.y) <= restingMagnitude &&
           std::fabs(p.z) <= restingMagnitude;
}

bool isResting(const RestingCourse& course, std::uint32_t t) {
    const Triangle& each = *course.triangles[t];
    return course.takesPart[t] && withinRestingMagnitude(*each.vertex(0)) &&
           withinRestingMagnitude(*each.vertex(1)) && withinRestingMagnitude(*each.vertex(2));
}

// The tolerance of the edge a-b, course units; nothing when the edge lies too far out to rest.
std::optional<double> restingToleranceOf(const Vector3& a, const Vector3& b) {
    if (!withinRestingMagnitude(a) || !withinRestingMagnitude(b)) {
        return std::nullopt;
    }
    const double magnitude =
        std::max({double(std::fabs(a.x)), double(std::fabs(a.y)), double(std::fabs(a.z)),
                  double(std::fabs(b.x)), double(std::fabs(b.y)), double(std::fabs(b.z))});
    return restingTolerance + restingRelativeTolerance * magnitude;
}

// The part [enter, leave] of the segment from + s along, s in [0, 1], that lies within
// `tolerance` of the triangle's plane and no farther than `tolerance` outside any of its edges;
// empty (enter > leave) when there is none. Double arithmetic on the floats.
std::pair<double, double> partOnTriangle(const std::array<Point, 3>& corner, const Point& from,
                                         const Point& along, double tolerance) {
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

std::array<Point, 3> cornersOf(const Triangle& triangle) {
    return {pointOf(*triangle.vertex(0)), pointOf(*triangle.vertex(1)),
            pointOf(*triangle.vertex(2))};
}

std::array<Point, 3> cornersOf(const ContactTriangle& record) {
    std::array<Point, 3> corners;
    for (std::size_t v = 0; v < 3; ++v) {
        corners[v] = {record.vertex[v][0], record.vertex[v][1], record.vertex[v][2]};
    }
    return corners;
}

// Whether the point may lie in an interval of the triangle's (see partOnTriangle): within the
// tolerance of its plane and no farther than that outside any of its edges, with a millionth of
// the tolerance and a billionth of the point's magnitude to spare for the rounding of both.
bool mayHoldPoint(const std::array<Point, 3>& corner, const Point& point, double tolerance) {
    Point normal = cross(minus(corner[1], corner[0]), minus(corner[2], corner[0]));
    const double twiceArea = length(normal);
    if (!(twiceArea > 0.0 && std::isfinite(twiceArea))) {
        return true; // measured by partOnTriangle, which finds it covers nothing
    }
    for (double& component : normal) {
        component /= twiceArea;
    }
    const double magnitude =
        std::max({std::fabs(point[0]), std::fabs(point[1]), std::fabs(point[2])});
    const double within = tolerance * (1.0 + 1e-6) + 1e-9 * (1.0 + magnitude);
    if (std::fabs(dot(normal, minus(point, corner[0]))) > within) {
        return false;
    }
    for (std::size_t k = 0; k < 3; ++k) {
        const Point edge = minus(corner[(k + 1) % 3], corner[k]);
        if (dot(cross(normal, edge), minus(point, corner[k])) + within * length(edge) < 0.0) {
            return false;
        }
    }
    return true;
}

// Whether the intervals cover [0, 1]: sorted, each must begin where the ones before it reach.
bool coverTheSegment(std::vector<std::pair<double, double>>& parts) {
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

// How many tolerances a point of the triangle's intervals may lie outside the triangle's bounds,
// below and above along each axis. Such a point lies within the tolerance of the plane, and its
// foot in the plane within the tolerance outside each edge's line: inside the triangle grown by
// the tolerance across every edge, whose corner k stands at v_k + tolerance w_k, with
// w_k = -(a + b) / |a x b| for the unit vectors a and b along the two edges from v_k (on the
// bisector, 1 / sin(phi_k / 2) long). Where the angle is nearly straight, the bisector's
// direction is lost to rounding, and the corner may move 1 / sin(phi_k / 2) along every axis. A
// millionth more, and a millionth of a tolerance, cover the rounding of these measurements and
// of partOnTriangle; infinite for a triangle without a measurable angle.
std::array<double, 6> pointSpread(const Triangle& triangle) {
    std::array<double, 6> spread = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0}; // below x y z, above x y z
    constexpr double infinite = std::numeric_limits<double>::infinity();
    for (int k = 0; k < 3; ++k) {
        const Point corner = pointOf(*triangle.vertex(k));
        const Point toNext = minus(pointOf(*triangle.vertex((k + 1) % 3)), corner);
        const Point toLast = minus(pointOf(*triangle.vertex((k + 2) % 3)), corner);
        const double nextLength = length(toNext), lastLength = length(toLast);
        Point sum, gap;
        for (int axis = 0; axis < 3; ++axis) {
            const double a = toNext[axis] / nextLength, b = toLast[axis] / lastLength;
            sum[axis] = a + b;
            gap[axis] = a - b;
        }
        const double halfSine = 0.5 * length(gap); // sin(phi / 2)
        const double bisector = length(sum);       // 2 cos(phi / 2)
        if (!(halfSine > 0.0)) {
            spread.fill(infinite);
            return spread;
        }
        for (int axis = 0; axis < 3; ++axis) {
            // The corner's move along the axis, per tolerance.
            const double along =
                bisector > 1e-3 ? -sum[axis] / bisector / halfSine : 1.0 / halfSine;
            const double against = bisector > 1e-3 ? -along : 1.0 / halfSine;
            spread[static_cast<std::size_t>(axis)] =
                std::max(spread[static_cast<std::size_t>(axis)], against);
            spread[static_cast<std::size_t>(axis) + 3] =
                std::max(spread[static_cast<std::size_t>(axis) + 3], along);
        }
    }
    for (double& each : spread) {
        // The plane's band adds a tolerance along any axis.
        each = (each + 1.0) * (1.0 + 1e-6) + 1e-6;
    }
    return spread;
}

} // namespace

// --- the reference: the contact index over the course's boxes ---

bool ReferenceRestingSearch::restsOnOtherTriangles(std::uint32_t owner, const Vector3& a,
                                                   const Vector3& b) {
    const std::optional<double> tolerance = restingToleranceOf(a, b);
    if (!tolerance) {
        return false;
    }
    const Point from = pointOf(a);
    const Point along = minus(pointOf(b), from);
    std::vector<std::pair<double, double>> parts;
    for (const std::uint32_t t : trianglesNear(a, b, *tolerance)) {
        if (t == owner) {
            continue;
        }
        const auto part = partOnTriangle(cornersOf(*course_.triangles[t]), from, along, *tolerance);
        if (part.first <= part.second) {
            parts.push_back(part);
        }
    }
    return coverTheSegment(parts);
}

// The numbers of the triangles that may lie within `distance` of the segment a-b, from the
// contact index: a ball as wide as a few times the distance swept along the segment. The index
// leaves out the triangles whose face a move leaves, so the segment is swept both ways.
const std::vector<std::uint32_t>&
ReferenceRestingSearch::trianglesNear(const Vector3& a, const Vector3& b, double distance) {
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
void ReferenceRestingSearch::indexRestingTriangles() {
    // The reader appends each box's triangles to the list in turn.
    std::uint32_t t = 0;
    for (const CollisionBox& box : course_.boxes) {
        restingBoxFirst_.push_back(static_cast<std::uint32_t>(restingNumbers_.size()));
        CollisionBox& resting = restingBoxes_.emplace_back();
        for (unsigned position = 0; position < box.triangleCount(); ++position, ++t) {
            if (isResting(course_, t)) {
                resting.addTriangle(box.triangle(static_cast<int>(position)));
                restingNumbers_.push_back(t);
            }
        }
        resting.compact();
    }
    restingIndex_.emplace(restingBoxes_);
}

// --- the fast search ---

// One edge's question: its segment, tolerance and the two sweeps the index would make.
struct RestingSearch::Edge {
    std::uint32_t owner;
    Point from;
    Point along;
    double tolerance;
    BallMove moves[2];
    // The moves' shares of the culling margin, when the index would cull them at all.
    std::optional<contact_reach::SweepReach> sweeps[2];
};

RestingSearch::RestingSearch(const RestingCourse& course) : course_(course) {
    // The largest tolerance of any edge that can rest: its ends are corners of triangles that
    // take part, within restingMagnitude.
    double largest = 0.0;
    for (std::uint32_t t = 0; t < course.triangles.size(); ++t) {
        for (int v = 0; v < 3 && course.takesPart[t]; ++v) {
            const Vector3& corner = *course.triangles[t]->vertex(v);
            if (withinRestingMagnitude(corner)) {
                largest = std::max({largest, double(std::fabs(corner.x)),
                                    double(std::fabs(corner.y)), double(std::fabs(corner.z))});
            }
        }
    }
    largestTolerance_ = (restingTolerance + restingRelativeTolerance * largest) * (1.0 + 1e-9);
    std::uint32_t t = 0;
    std::vector<TriangleTree::Corners> corners;
    for (std::uint32_t number = 0; number < course.boxes.size(); ++number) {
        const CollisionBox& box = course.boxes[number];
        CollisionBox& resting = restingBoxes_.emplace_back();
        for (unsigned position = 0; position < box.triangleCount(); ++position, ++t) {
            if (!isResting(course, t)) {
                continue;
            }
            const Triangle& each = *box.triangle(static_cast<int>(position));
            resting.addTriangle(box.triangle(static_cast<int>(position)));
            // The record as the index keeps it (its position plays no part here).
            ContactTriangle record = ContactTriangle::of(each);
            const std::optional<double> growth = contact_reach::triangleGrowth(record);
            record.reachGrowth = contact_reach::roundedUp(growth.value_or(0.0));
            for (const float* corner : record.vertex) {
                magnitude_ = std::max(magnitude_, contact_reach::magnitude(corner));
            }
            corners.push_back(cornersOf(record));
            spreads_.push_back(pointSpread(each));
            numbers_.push_back(t);
            records_.push_back(record);
            boxOf_.push_back(number);
        }
        resting.compact();
    }
    // Large triangles in pieces, each piece an item: a point then lies in the bounds of the few
    // pieces near it rather than in those of every large triangle around.
    const double pieceLength = TriangleTree::pieceLength(corners);
    std::vector<TriangleTree::Item> items;
    for (std::uint32_t resting = 0; resting < corners.size(); ++resting) {
        const std::array<double, 6>& spread = spreads_[resting];
        for (const TriangleTree::Box& piece : TriangleTree::pieces(corners[resting], pieceLength)) {
            TriangleTree::Item item{};
            item.bounds = piece;
            for (int axis = 0; axis < 3; ++axis) {
                const auto a = static_cast<std::size_t>(axis);
                item.outer.lower[axis] =
                    contact_reach::roundedDown(piece.lower[axis] - largestTolerance_ * spread[a]);
                item.outer.upper[axis] =
                    contact_reach::roundedUp(piece.upper[axis] + largestTolerance_ * spread[a + 3]);
            }
            item.grow = records_[resting].reachGrowth;
            item.id = resting;
            items.push_back(item);
        }
    }
    tree_.emplace(std::move(items));
}

// Whether the contact index would name the resting triangle on one of the edge's two sweeps:
// through a box whose sweep test accepts it, and, for a sweep it can cull, facing against the
// move and within the triangle's reach of it, as collectCandidates judges a triangle.
bool RestingSearch::isCandidate(std::uint32_t resting, const Edge& edge) const {
    const ContactTriangle& record = records_[resting];
    const CollisionBox& box = restingBoxes_[boxOf_[resting]];
    for (int way = 0; way < 2; ++way) {
        const BallMove& move = edge.moves[way];
        if (!box.overlapsSweep(move.from, move.to, move.radius, 0.0f)) {
            continue;
        }
        if (!edge.sweeps[way]) {
            return true; // a move the index cannot cull gets every triangle of the box
        }
        if (!contact_reach::leavesFront(move, record) &&
            contact_reach::mayTouch(record, record.reachGrowth, *edge.sweeps[way])) {
            return true;
        }
    }
    return false;
}

// Measures the candidates near the point `at` of the edge whose intervals hold it: how far
// they reach from it forward (the largest leave) or backward (the smallest enter); `at` itself
// when none does. Stops once they reach `goal` (where the cover from the other end begins);
// incomplete when the point is crowded.
RestingSearch::Stab RestingSearch::stab(const Edge& edge, double at, double goal,
                                        bool forward) const {
    Point point;
    for (int axis = 0; axis < 3; ++axis) {
        point[axis] = edge.from[axis] + at * edge.along[axis];
    }
    const double tolerance = edge.tolerance;
    // Room for the rounding of the point itself.
    const auto slack = [&](int axis) { return 1e-9 * (1.0 + std::fabs(point[axis])); };
    Stab found{at, true};
    int measured = 0;
    tree_->forEach(
        [&](const TriangleTree::Node& node) {
            for (int axis = 0; axis < 3; ++axis) {
                if (point[axis] < node.outer.lower[axis] - slack(axis) ||
                    point[axis] > node.outer.upper[axis] + slack(axis)) {
                    return false;
                }
            }
            return true;
        },
        [&](const TriangleTree::Item& item) {
            for (int axis = 0; axis < 3; ++axis) {
                if (point[axis] < item.outer.lower[axis] - slack(axis) ||
                    point[axis] > item.outer.upper[axis] + slack(axis)) {
                    return true; // no interval of it holds the point
                }
            }
            const std::array<double, 6>& spread = spreads_[item.id];
            for (int axis = 0; axis < 3; ++axis) {
                const auto a = static_cast<std::size_t>(axis);
                if (point[a] < item.bounds.lower[a] - (tolerance * spread[a] + slack(axis)) ||
                    point[a] > item.bounds.upper[a] + (tolerance * spread[a + 3] + slack(axis))) {
                    return true; // no interval of it holds the point
                }
            }
            const std::array<Point, 3> corners = cornersOf(records_[item.id]);
            if (numbers_[item.id] == edge.owner || !mayHoldPoint(corners, point, tolerance)) {
                return true;
            }
            if (++measured > trianglesPerPoint) {
                found.complete = false;
                return false;
            }
            const auto [enter, leave] = partOnTriangle(corners, edge.from, edge.along, tolerance);
            if (!(enter <= at && at <= leave) || !isCandidate(item.id, edge)) {
                return true;
            }
            found.reached =
                forward ? std::max(found.reached, leave) : std::min(found.reached, enter);
            return forward ? found.reached < goal : found.reached > goal; // met the other end
        });
    return found;
}

// The reference's way, on the same candidates: every one measured, the intervals chained. Only
// a candidate with an interval counts, and its interval's points lie in the outer bounds of its
// pieces, so the pieces whose outer bounds meet the edge's bounds hold every one that counts.
bool RestingSearch::coveredByEveryCandidate(const Edge& edge) const {
    double lower[3], upper[3];
    for (int axis = 0; axis < 3; ++axis) {
        const double a = edge.from[axis], b = edge.from[axis] + edge.along[axis];
        const double room = 1e-9 * (1.0 + std::max(std::fabs(a), std::fabs(b)));
        lower[axis] = std::min(a, b) - room;
        upper[axis] = std::max(a, b) + room;
    }
    const auto meets = [&](const TriangleTree::Box& box) {
        for (int axis = 0; axis < 3; ++axis) {
            if (box.lower[axis] > upper[axis] || box.upper[axis] < lower[axis]) {
                return false;
            }
        }
        return true;
    };
    std::vector<std::uint32_t> near;
    tree_->forEach([&](const TriangleTree::Node& node) { return meets(node.outer); },
                   [&](const TriangleTree::Item& item) {
                       if (meets(item.outer) && numbers_[item.id] != edge.owner) {
                           near.push_back(item.id);
                       }
                       return true;
                   });
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    std::vector<std::pair<double, double>> parts;
    for (const std::uint32_t resting : near) {
        if (!isCandidate(resting, edge)) {
            continue;
        }
        const auto part =
            partOnTriangle(cornersOf(records_[resting]), edge.from, edge.along, edge.tolerance);
        if (part.first <= 0.0 && part.second >= 1.0) {
            return true; // one interval over the whole edge settles it
        }
        if (part.first <= part.second) {
            parts.push_back(part);
        }
    }
    return coverTheSegment(parts);
}

// The intervals cover [0, 1] exactly when every point of it lies in one. So, from the start,
// the point reached so far must lie in an interval, and the interval reaching farthest from it
// carries the cover on; from the end likewise backwards. A point that no candidate's interval
// holds (measuring every triangle near it) settles the edge as open; covers from both ends that
// meet settle it as resting. When the points looked at stay crowded, every candidate is
// measured, as the reference does.
bool RestingSearch::restsOnOtherTriangles(std::uint32_t owner, const Vector3& a,
                                          const Vector3& b) const {
    const std::optional<double> tolerance = restingToleranceOf(a, b);
    if (!tolerance || tree_->empty()) {
        return false;
    }
    const auto radius = static_cast<float>(sweptWidths * *tolerance);
    Edge edge{owner,
              pointOf(a),
              minus(pointOf(b), pointOf(a)),
              *tolerance,
              {BallMove(a, b, radius), BallMove(b, a, radius)},
              {}};
    for (int way = 0; way < 2; ++way) {
        contact_reach::SweepReach sweep;
        if (contact_reach::sweepReach(edge.moves[way], 0.0f, magnitude_, sweep)) {
            contact_reach::prepareSlabs(sweep);
            edge.sweeps[way] = sweep;
        }
    }
    double forward = 0.0;  // [0, forward] is covered
    double backward = 1.0; // [backward, 1] is covered
    bool forwardCrowded = false, backwardCrowded = false;
    for (int look = 0; look < pointsPerEnd; ++look) {
        // The end whose last point was crowded waits while the other makes way.
        if (!forwardCrowded || backwardCrowded) {
            const Stab ahead = stab(edge, forward, backward, true);
            if (ahead.reached >= backward) {
                return true;
            }
            if (ahead.reached == forward && ahead.complete) {
                return false;
            }
            forwardCrowded = !ahead.complete;
            forward = ahead.reached;
        }
        if (!backwardCrowded || forwardCrowded) {
            const Stab behind = stab(edge, backward, forward, false);
            if (behind.reached <= forward) {
                return true;
            }
            if (behind.reached == backward && behind.complete) {
                return false;
            }
            backwardCrowded = !behind.complete;
            backward = behind.reached;
        }
    }
    return coveredByEveryCandidate(edge);
}
