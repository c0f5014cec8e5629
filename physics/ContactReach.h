#pragma once

#include "physics/Contact.h"
#include "physics/ContactTriangle.h"

#include <algorithm>
#include <cmath>
#include <optional>

// How near the ball's path a triangle must come before any of its seven contact tests can report
// a contact: the culling margin of the contact index.
//
// Claim. If a test of triangle T reports t < 1 on the move from F to F + D of a ball of radius r,
// then some point of the segment [F, F + D] lies within r + delta of T (the closed triangle, in
// world coordinates), where
//
//   delta = 2 eps + theta l + 32 u (Mq + Mt + |D| + r)
//           + 4 u ((2|D| + r)^2 + r^2) / r + 16 u' (Mq^2 + Mt^2) / r
//
// with eps the settings' epsilon taken as a length, l the longest edge of T, Mq and Mt the largest
// coordinate magnitudes of the move and of T, u = 2^-24 (float) and u' = 2^-52 (double rounding),
// and theta = 1e-3 rad. The terms, one source each:
//
// 1. Tolerance bands (2 eps). The face test widens the triangle by eps across edge v0-v2 (and
//    v0-v1 when it lies on the z axis); the touching bands of the edge and vertex tests accept
//    c = d^2 - r^2 <= 2 r eps, that is a distance d <= sqrt(r^2 + 2 r eps) <= r + eps.
// 2. Frame rotation error (theta l). The face and edge tests measure the ball against the frames'
//    picture of the triangle: frame k is rigid (its float rotation is orthogonal to within a few
//    u), but its first rotation angle is acos of a float cosine, and near an axis 1 - cos of an
//    angle a is a^2 / 2, so a cosine off by 2.5 u (the normalisation's rounding) moves the angle
//    by up to sqrt(5 u) = 5.5e-4 rad; the constant 57.295826 over-rotates by 8e-7 of the angle,
//    at most 2.5e-6 rad, and a float angle in degrees rounds by 3e-7 rad. The frame maps the
//    edge's start to its origin and its far end to within (edge length) x (that error) of the +x
//    axis, where the standard copy and the edge test put it; the second rotation is computed
//    from the already rotated third vertex, so the copy and the frame agree on it. Every point of
//    the triangle the tests see is thus within theta l of the true triangle, theta = 1e-3 rad
//    bounding 5.6e-4 rad with room to spare.
// 3. Rounding of coordinates (32 u (Mq + Mt + |D| + r)). Carrying a point into a frame rounds
//    twice (rotation part, translation), by u times magnitudes up to Mq + Mt; the face test's
//    touching centre p + u (q - p) rounds three more times; differences of floats round once.
//    Together under 8 u of those magnitudes; 32 u leaves a factor four.
// 4. Rounding of the quadratics (4 u ((2|D| + r)^2 + r^2) / r). The edge and vertex tests solve
//    a t^2 + b t + c = 0 with coefficients rounded to float, each off by u of its size; at a
//    reported root the true squared distance is off by at most u (|a| + |b| + |c|) <=
//    u ((|D| + d0)^2 + r^2), with d0 <= r + |D| the distance at the move's start, which moves the
//    distance by that over 2 r; the float root itself moves the point by u |D|. 4 u (...) / r
//    covers both with a factor four.
// 5. Double rounding of the vertex test's expanded c (16 u' (Mq^2 + Mt^2) / r): the squares of
//    coordinates summed in double lose 2^-53 of Mq^2 + Mt^2 per operation, a dozen operations,
//    moving the distance by that over 2 r.
//
// So a triangle that lies farther than r + delta from every point of the segment reports no
// contact: its seven tests all return 1.0, which merges as nothing. The index keeps, per
// triangle, its bounds grown by the triangle's share (theta l + 32 u Mt), and grows the move's
// segment by the rest; Mt enters the last term through the largest magnitude of the course.

namespace contact_reach {

// Unit roundoff of a float and of a double.
inline constexpr double floatUnit = 0x1p-24;
inline constexpr double doubleUnit = 0x1p-53;
// Bound on how far a frame's rotation may be off, radians (term 2 above).
inline constexpr double frameAngleError = 1e-3;
// Coordinates beyond this magnitude (course units) are left to the exhaustive search: their
// squares would leave the range where the rounding terms above stay meaningful.
inline constexpr double largestIndexedMagnitude = 1e15;

// The move's share of the margin, with the segment it is measured from.
struct SweepReach {
    // The centre's path from + t delta, t in [0, 1], in double (the floats, exactly).
    double from[3];
    double delta[3];
    double inverseDelta[3];
    // r + the move's share of delta, course units.
    double reach;
    // The segment's bounds grown by reach, rounded outward to float.
    float lower[3];
    float upper[3];
};

// The magnitude of a float triple: the largest absolute component.
inline double magnitude(const float* v) {
    return std::max({std::fabs(double(v[0])), std::fabs(double(v[1])), std::fabs(double(v[2]))});
}

inline float roundedDown(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) > value ? std::nextafter(rounded, -HUGE_VALF) : rounded;
}

inline float roundedUp(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) < value ? std::nextafter(rounded, HUGE_VALF) : rounded;
}

// The triangle's share of the margin (theta l + 32 u Mt), course units; nothing when the
// triangle cannot be culled safely (non-finite or beyond largestIndexedMagnitude).
inline std::optional<double> triangleGrowth(const ContactTriangle& triangle) {
    double longestEdge = 0.0;
    double largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        longestEdge = std::max(longestEdge, std::fabs(double(triangle.edgeLength[k])));
        largest = std::max(largest, magnitude(triangle.vertex[k]));
    }
    // A NaN fails this test too.
    if (!(longestEdge <= largestIndexedMagnitude && largest <= largestIndexedMagnitude)) {
        return std::nullopt;
    }
    // The stored lengths are themselves rounded: one part in a million more covers that.
    return frameAngleError * longestEdge * (1.0 + 1e-6) + 32.0 * floatUnit * largest;
}

// The move's share of the margin; nothing when the move cannot be culled safely (a non-finite
// or huge position, a radius that is not a positive number, a non-finite epsilon).
// `courseMagnitude` is the largest coordinate magnitude of the indexed triangles.
inline std::optional<SweepReach> sweepReach(const BallMove& move, float epsilon,
                                            double courseMagnitude) {
    const float from[3] = {move.from.x, move.from.y, move.from.z};
    const float to[3] = {move.to.x, move.to.y, move.to.z};
    const double moveMagnitude = std::max(magnitude(from), magnitude(to));
    const double r = move.radius;
    if (!(moveMagnitude <= largestIndexedMagnitude) || !(r > 0.0 && r <= largestIndexedMagnitude) ||
        !std::isfinite(epsilon)) {
        return std::nullopt;
    }
    SweepReach sweep;
    double squaredLength = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        sweep.from[axis] = from[axis];
        sweep.delta[axis] = double(to[axis]) - from[axis]; // exact: two floats in double
        sweep.inverseDelta[axis] = sweep.delta[axis] != 0.0 ? 1.0 / sweep.delta[axis] : 0.0;
        squaredLength += sweep.delta[axis] * sweep.delta[axis];
    }
    const double length = std::sqrt(squaredLength);
    const double bands = 2.0 * std::fabs(double(epsilon));
    const double coordinates = 32.0 * floatUnit * (moveMagnitude + length + r);
    const double quadratics =
        4.0 * floatUnit * ((2.0 * length + r) * (2.0 * length + r) + r * r) / r;
    const double squares =
        16.0 * 2.0 * doubleUnit * (moveMagnitude * moveMagnitude + courseMagnitude * courseMagnitude) /
        r;
    // A millionth of a unit more keeps every comparison below clear of its own rounding.
    sweep.reach = r + bands + coordinates + quadratics + squares + 1e-6;
    for (int axis = 0; axis < 3; ++axis) {
        const double low = std::min(double(from[axis]), double(to[axis]));
        const double high = std::max(double(from[axis]), double(to[axis]));
        sweep.lower[axis] = roundedDown(low - sweep.reach);
        sweep.upper[axis] = roundedUp(high + sweep.reach);
    }
    return sweep;
}

// Whether the box [lower, upper] may lie within reach of the segment: first the segment's grown
// bounds against the box, then the segment itself against the box grown by reach (slab by slab,
// the fractions of the move spent inside each slab must overlap within [0, 1]). Conservative:
// the reach carries slack far beyond the rounding of these double comparisons.
inline bool mayReach(const SweepReach& sweep, const float* lower, const float* upper) {
    for (int axis = 0; axis < 3; ++axis) {
        if (lower[axis] > sweep.upper[axis] || upper[axis] < sweep.lower[axis]) {
            return false;
        }
    }
    double enter = 0.0;
    double leave = 1.0;
    for (int axis = 0; axis < 3; ++axis) {
        if (sweep.delta[axis] == 0.0) {
            continue; // the bounds test above has settled this axis
        }
        double first = (double(lower[axis]) - sweep.reach - sweep.from[axis]) * sweep.inverseDelta[axis];
        double second = (double(upper[axis]) + sweep.reach - sweep.from[axis]) * sweep.inverseDelta[axis];
        if (first > second) {
            std::swap(first, second);
        }
        enter = std::max(enter, first);
        leave = std::min(leave, second);
        if (enter > leave) {
            return false;
        }
    }
    return true;
}

// The triangle's bounds grown by its share of the margin, rounded outward; false when it has no
// finite share.
inline bool grownBounds(const ContactTriangle& triangle, float* lower, float* upper) {
    const std::optional<double> growth = triangleGrowth(triangle);
    if (!growth) {
        return false;
    }
    for (int axis = 0; axis < 3; ++axis) {
        const double low = std::min({double(triangle.vertex[0][axis]),
                                     double(triangle.vertex[1][axis]),
                                     double(triangle.vertex[2][axis])});
        const double high = std::max({double(triangle.vertex[0][axis]),
                                      double(triangle.vertex[1][axis]),
                                      double(triangle.vertex[2][axis])});
        lower[axis] = roundedDown(low - *growth);
        upper[axis] = roundedUp(high + *growth);
    }
    return true;
}

// Whether any of the triangle's seven tests could report a contact on the move: false only when
// none can (see the claim above). A triangle without a finite share of the margin may always.
inline bool mayTouch(const ContactTriangle& triangle, const SweepReach& sweep) {
    float lower[3];
    float upper[3];
    return !grownBounds(triangle, lower, upper) || mayReach(sweep, lower, upper);
}

} // namespace contact_reach
