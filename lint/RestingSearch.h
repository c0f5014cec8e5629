#pragma once

#include "TriangleTree.h"
#include "geometry/Triangle.h"
#include "physics/ContactIndex.h"
#include "physics/ContactTriangle.h"
#include "scene/CollisionBox.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// Whether an open edge lies, along its whole length, within the resting tolerance of triangles
// other than its owner: an obstacle's open edge where it stands on the floor or against a wall,
// which the floor or the wall closes, or an edge along which smaller triangles meet it (a
// T-junction), where no ball can pass either. Each triangle near the edge covers an interval of
// it (partOnTriangle); the intervals must leave no gap.
//
// The triangles an edge is measured against are those that take part in the lint's checks and
// lie within restingMagnitude, which the contact index finds near the segment: a ball four
// tolerances wide swept along it both ways, through boxes of those triangles box by box as the
// course has them. Two searches give the same answer on every edge:
// - ReferenceRestingSearch asks the contact index, and measures every triangle it names;
// - RestingSearch holds the same triangles in one tree of their own (whatever the boxes), asks
//   of each the index's own questions, and looks first at single points of the edge from both
//   ends: a point no triangle covers settles the edge as open, and a chain of intervals from one
//   end to the other settles it as resting, after a few triangles, where the index's answer
//   would be thousands of them (a fan of triangles on one edge, edges nested on one line).

// The triangles of a course as the lint sees them.
struct RestingCourse {
    const std::vector<Triangle*>& triangles;
    const std::vector<CollisionBox>& boxes;
    // Whether each triangle takes part in the edge checks (sound and not a copy).
    const std::vector<bool>& takesPart;
};

// The straightforward search, through the contact index over the course's own boxes.
class ReferenceRestingSearch {
public:
    explicit ReferenceRestingSearch(const RestingCourse& course) : course_(course) {}

    bool restsOnOtherTriangles(std::uint32_t owner, const Vector3& a, const Vector3& b);

private:
    const std::vector<std::uint32_t>& trianglesNear(const Vector3& a, const Vector3& b,
                                                    double distance);
    void indexRestingTriangles();

    const RestingCourse course_;
    // Built on the first open edge: the triangles an edge may rest on, by box; their numbers,
    // box after box; where each box's numbers begin.
    std::vector<CollisionBox> restingBoxes_;
    std::vector<std::uint32_t> restingNumbers_;
    std::vector<std::uint32_t> restingBoxFirst_;
    std::optional<ContactIndex> restingIndex_;
    ContactCandidates near_;
    std::vector<std::uint32_t> nearby_;
};

// The fast search; restsOnOtherTriangles may run on many threads at once.
class RestingSearch {
public:
    explicit RestingSearch(const RestingCourse& course);

    bool restsOnOtherTriangles(std::uint32_t owner, const Vector3& a, const Vector3& b) const;

private:
    struct Edge;
    struct Stab {
        double reached; // how far the covering intervals reach from the point
        bool complete;  // every triangle near the point was measured
    };

    bool isCandidate(std::uint32_t resting, const Edge& edge) const;
    Stab stab(const Edge& edge, double at, double goal, bool forward) const;
    bool coveredByEveryCandidate(const Edge& edge) const;

    const RestingCourse course_;
    // The resting triangles: their course numbers, their records (as the index keeps them),
    // and their boxes among restingBoxes_.
    std::vector<std::uint32_t> numbers_;
    std::vector<ContactTriangle> records_;
    std::vector<std::uint32_t> boxOf_;
    // How many tolerances a point of each one's intervals may lie outside its bounds, below and
    // above along x, y and z.
    std::vector<std::array<double, 6>> spreads_;
    std::vector<CollisionBox> restingBoxes_;
    double magnitude_ = 0.0; // the largest coordinate magnitude of the resting triangles
    // No edge's tolerance is larger, course units.
    double largestTolerance_ = 0.0;
    // Over the resting triangles (ids index numbers_): each one's vertex bounds, grown by its
    // share of the culling margin (grow), and the bounds of its intervals' points at the
    // largest tolerance (outer).
    std::optional<TriangleTree> tree_;
};
