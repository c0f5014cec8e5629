#include "FaceTriangulation.h"

#include <cmath>
#include <numeric>

namespace {

struct Point2 {
    double u, v;
};

// (b - a) x (c - a) in the plane: positive when a, b, c turn counter-clockwise.
double turn(const Point2& a, const Point2& b, const Point2& c) {
    return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

// Whether p lies inside or on the counter-clockwise triangle a, b, c.
bool covers(const Point2& a, const Point2& b, const Point2& c, const Point2& p) {
    return turn(a, b, p) >= 0.0 && turn(b, c, p) >= 0.0 && turn(c, a, p) >= 0.0;
}

bool samePoint(const Point2& a, const Point2& b) {
    return a.u == b.u && a.v == b.v;
}

// The corners in the face's plane, counter-clockwise seen from the side the face's normal
// points to. The normal is Newell's: the sum over the edges of the areas they sweep, which
// points along the face's counter-clockwise side for any planar polygon, convex or not.
// Returns false for a face without area.
bool projectFace(const std::vector<Vector3>& corners, std::vector<Point2>& points) {
    double normal[3] = {0.0, 0.0, 0.0};
    const std::size_t n = corners.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Vector3& a = corners[i];
        const Vector3& b = corners[(i + 1) % n];
        normal[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
        normal[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
        normal[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
    }
    // Drop the axis the normal is most along; the two left, in cyclic order after it, keep the
    // orientation when that component is positive and mirror it otherwise.
    int dropped = 0;
    for (int axis = 1; axis < 3; ++axis) {
        if (std::fabs(normal[axis]) > std::fabs(normal[dropped])) {
            dropped = axis;
        }
    }
    if (!(std::fabs(normal[dropped]) > 0.0)) {
        return false;
    }
    const int first = (dropped + 1) % 3;
    const int second = (dropped + 2) % 3;
    const double mirror = normal[dropped] > 0.0 ? 1.0 : -1.0;
    points.clear();
    for (const Vector3& corner : corners) {
        points.push_back({corner[first], mirror * corner[second]});
    }
    return true;
}

// The ring's corners as a fan from its first one; nothing for fewer than three.
void fan(const std::vector<std::size_t>& ring, std::vector<std::array<std::size_t, 3>>& triangles) {
    for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
        triangles.push_back({ring[0], ring[i], ring[i + 1]});
    }
}

// An ear: a convex corner whose triangle with its two neighbours holds no other corner.
bool isEar(const std::vector<Point2>& points, const std::vector<std::size_t>& ring,
           std::size_t at) {
    const std::size_t n = ring.size();
    const Point2& a = points[ring[(at + n - 1) % n]];
    const Point2& b = points[ring[at]];
    const Point2& c = points[ring[(at + 1) % n]];
    if (!(turn(a, b, c) > 0.0)) {
        return false; // reflex or straight: clipping it would cut outside the face
    }
    for (std::size_t k = 0; k < n; ++k) {
        const Point2& p = points[ring[k]];
        const bool corner = k == at || k == (at + 1) % n || k == (at + n - 1) % n;
        if (!corner && !samePoint(p, a) && !samePoint(p, b) && !samePoint(p, c) &&
            covers(a, b, c, p)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::array<std::size_t, 3>> triangulateFace(const std::vector<Vector3>& corners) {
    std::vector<std::array<std::size_t, 3>> triangles;
    std::vector<std::size_t> ring(corners.size());
    std::iota(ring.begin(), ring.end(), std::size_t{0});
    std::vector<Point2> points;
    if (corners.size() <= 3 || corners.size() > mostClippedCorners ||
        !projectFace(corners, points)) {
        fan(ring, triangles);
        return triangles;
    }
    // Clip ears from the second corner on; after a clip the next corner takes the clipped one's
    // place and is tried first, so a convex face is clipped corner 1, 2, ... in turn: a fan from
    // corner 0. A full round without an ear ends the clipping.
    std::size_t at = 1;
    std::size_t triedSinceClip = 0;
    while (ring.size() > 3 && triedSinceClip < ring.size()) {
        at %= ring.size();
        if (isEar(points, ring, at)) {
            const std::size_t n = ring.size();
            triangles.push_back({ring[(at + n - 1) % n], ring[at], ring[(at + 1) % n]});
            ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(at));
            triedSinceClip = 0;
        } else {
            ++at;
            ++triedSinceClip;
        }
    }
    fan(ring, triangles);
    return triangles;
}
