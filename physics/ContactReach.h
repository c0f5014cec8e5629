#pragma once

#include "physics/Contact.h"
#include "physics/ContactTriangle.h"
#include "physics/SweepReach.h"

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
//           + 4 u ((2|D| + r)^2 + r^2) / r + 32 u' (Mq^2 + Mt^2) / r
//
// with eps the settings' epsilon taken as a length, l the longest edge of T, Mq and Mt the largest
// coordinate magnitudes of the move and of T, u = 2^-24 and u' = 2^-53 (the unit roundoffs of float
// and double), and theta = 1e-3 rad. The terms, one source each:
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
// 5. Double rounding of the vertex test's expanded c (32 u' (Mq^2 + Mt^2) / r): the squares of
//    coordinates summed in double lose u' of Mq^2 + Mt^2 per operation, a dozen operations,
//    moving the distance by that over 2 r.
//
// So a triangle that lies farther than r + delta from every point of the segment reports no
// contact: its seven tests all return 1.0, which merges as nothing. The index keeps, per
// triangle, its bounds grown by the triangle's share (theta l + 32 u Mt), and grows the move's
// segment by the rest; Mt enters the last term through the largest magnitude of the course.
//
// Cheap rejections. With R = r + delta (the sweep's reach plus the triangle's share), the query
// drops a triangle before its seven tests by the first of these that proves all of them return
// 1.0, cheapest first:
//
// a. The move leaves the front (D . n > 0, rounded to float as the tests round it): every test
//    requires D . n <= 0, and a touching start D . n < 0.
// b. The grown-box slab (touchBound): a result's centre lies within R of a point of T, so inside
//    T's vertex bounds grown by R; a segment whose slab interval with that box is empty has none.
// c. The plane's band (earliestNearPlane): the centre's signed height over the plane, as the
//    stored normal n' measures it from v0, is h(t) = n' . (F + t D - v0). A result's centre lies
//    within R of a point P of T, and P lies within l of v0; n' stands at most e (normalError)
//    from the true normal, which turns a height over a distance of at most l + R by at most
//    e (l + R): so |h(t)| <= R + e (l + R), the band. h is linear in t, so when the signed heights
//    at the move's start and end, h(0) and h(1), both lie beyond the band on the same side, no
//    fraction in [0, 1] qualifies. The double arithmetic of h rounds by a few u' of Mq + Mt,
//    far below the 32 u (Mq + Mt) the reach already carries for the frames' rounding.
// d. Earliest first only: the rounded box around T's bounds and the triangle itself
//    (earliestNearBox, earliestNearTriangle, below), which also order the tests.
//
// The tolerances, each with its unit and reason (the settings' epsilon is 1e-5):
//
//   epsilon                 course units      the box test's and the face test's widening (a
//                                             triangle's edge v0-v2 and the sunk-start check)
//   epsilon                 fraction of move  merging: results this close are simultaneous
//   2 r epsilon             squared units     the touching bands of the edge and vertex tests:
//                                             d^2 - r^2 <= 2 r eps, so d <= r + eps (term 1)
//   floatUnit, doubleUnit   relative          unit roundoffs 2^-24 and 2^-53 (terms 3 to 5)
//   frameAngleError         radians           a frame's rotation error, 1e-3 (term 2)
//   normalError             radians           a stored normal's error, per triangle (c)
//   boundRounding           relative, and     2^-22: a double bound rounded to float moved out
//                           fraction of move  by more than a float's rounding; every lower
//                                             bound of a fraction lowered by as much
//   tinyBound               course units      1e-30: the same near zero, where relative is none
//   growthSlack             relative          1e-6: the stored edge lengths' own rounding, and
//                                             that of the growth's sum
//   reachSlack              course units      1e-6: keeps every comparison of the reach clear
//                                             of its own rounding
//   radiusSlack             relative          1e-9: the corner and span balls' radius, against
//                                             the double rounding of their quadratics
//   coneSlack               relative, and     1e-9: a cone's spread (a distance between unit
//                           unit distance     normals) rounded up past its own double rounding
//   frontSlack, tinyFront-  relative, and     1e-12 of |D|, and 1e-37: a bound on D . n that
//   Slack                   course units      must stay positive through the tests' own double
//                                             sum and its rounding to float
//   largestIndexedMagnitude course units      1e15: beyond, squares leave the range where the
//                                             rounding terms above stay meaningful

namespace contact_reach {

// Unit roundoff of a float and of a double.
inline constexpr double floatUnit = 0x1p-24;
inline constexpr double doubleUnit = 0x1p-53;
// Bound on how far a frame's rotation may be off, radians (term 2 above).
inline constexpr double frameAngleError = 1e-3;
// Coordinates beyond this magnitude (course units) are left to the exhaustive search: their
// squares would leave the range where the rounding terms above stay meaningful.
inline constexpr double largestIndexedMagnitude = 1e15;
// The safety factors of the table above.
inline constexpr double boundRounding = 0x1p-22;
inline constexpr double tinyBound = 1e-30;
inline constexpr double growthSlack = 1e-6;
inline constexpr double reachSlack = 1e-6;
inline constexpr double radiusSlack = 1e-9;
inline constexpr double coneSlack = 1e-9;
inline constexpr double frontSlack = 1e-12;
inline constexpr double tinyFrontSlack = 1e-37;

// The float nearest below (above) a double: bounds rounded outward, once, as the index is built.
inline float roundedDown(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) > value ? std::nextafter(rounded, -HUGE_VALF) : rounded;
}

inline float roundedUp(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) < value ? std::nextafter(rounded, HUGE_VALF) : rounded;
}

// A float at or below (above) the double, without the library call of the two above, for the
// bounds of every pass: the nearest float of the value moved out by more than a float's
// rounding (2^-22 of its size, or 1e-30 near zero).
inline float floatAtOrBelow(double value) {
    return static_cast<float>(value - (std::fabs(value) * boundRounding + tinyBound));
}

inline float floatAtOrAbove(double value) {
    return static_cast<float>(value + (std::fabs(value) * boundRounding + tinyBound));
}

// The smaller root of a t^2 + 2 h t + c = 0 for a moving centre that starts outside (c > 0) and
// closes in (h < 0) far enough to get there (h^2 >= a c), written so that it does not cancel.
inline double smallerRoot(double a, double h, double c) {
    return c / (std::sqrt(h * h - a * c) - h);
}

// The magnitude of a float triple: the largest absolute component.
inline double magnitude(const float* v) {
    return std::max({std::fabs(double(v[0])), std::fabs(double(v[1])), std::fabs(double(v[2]))});
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
    // The stored lengths are themselves rounded: one part in a million more covers that, and
    // so does it the rounding of this sum.
    return (frameAngleError * longestEdge + 32.0 * floatUnit * largest) * (1.0 + growthSlack);
}

// How far, in radians, the triangle's stored normal may stand from the true normal of its
// vertices. The normal is the normalised float cross product of the float edge vectors v1 - v0
// and v2 - v0; each edge vector is off by at most u of its length (a float difference), which
// turns their cross product by at most 2 u / sin(phi), phi the angle between them, and the
// cross product's and the normalisation's own rounding add about 4 u. Twice that, and four times
// the first term, for room.
inline double normalError(const ContactTriangle& triangle) {
    double first[3], second[3];
    for (int axis = 0; axis < 3; ++axis) {
        first[axis] = double(triangle.vertex[1][axis]) - triangle.vertex[0][axis];
        second[axis] = double(triangle.vertex[2][axis]) - triangle.vertex[0][axis];
    }
    const double cross[3] = {first[1] * second[2] - first[2] * second[1],
                             first[2] * second[0] - first[0] * second[2],
                             first[0] * second[1] - first[1] * second[0]};
    const auto length = [](const double* v) {
        return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    };
    const double sine = length(cross) / (length(first) * length(second));
    return 8.0 * floatUnit / sine + 8.0 * floatUnit;
}

// The move's share of the margin, written into `sweep`; false when the move cannot be culled
// safely (a non-finite or huge position, a radius that is not a positive number, a non-finite
// epsilon). `courseMagnitude` is the largest coordinate magnitude of the indexed triangles. The
// slab fractions (inverseDelta) are left to prepareSlabs, which only a search that reaches a
// box needs.
inline bool sweepReach(const BallMove& move, float epsilon, double courseMagnitude,
                       SweepReach& sweep) {
    const double from[3] = {move.from.x, move.from.y, move.from.z};
    const double to[3] = {move.to.x, move.to.y, move.to.z};
    const double moveMagnitude =
        std::max({std::fabs(from[0]), std::fabs(from[1]), std::fabs(from[2]), std::fabs(to[0]),
                  std::fabs(to[1]), std::fabs(to[2])});
    const double r = move.radius;
    if (!(moveMagnitude <= largestIndexedMagnitude) || !(r > 0.0 && r <= largestIndexedMagnitude) ||
        !std::isfinite(epsilon)) {
        return false;
    }
    // The sum of the components' magnitudes bounds the move's length without a square root.
    double length = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        sweep.from[axis] = from[axis];
        // Exact unless the two floats' exponents lie more than 29 apart; even then off by
        // u' of the larger, far inside the slack below.
        sweep.delta[axis] = to[axis] - from[axis];
        length += std::fabs(sweep.delta[axis]);
    }
    const double bands = 2.0 * std::fabs(double(epsilon));
    const double coordinates = 32.0 * floatUnit * (moveMagnitude + length + r);
    const double quadratics =
        4.0 * floatUnit * ((2.0 * length + r) * (2.0 * length + r) + r * r) / r;
    const double squares =
        32.0 * doubleUnit * (moveMagnitude * moveMagnitude + courseMagnitude * courseMagnitude) / r;
    // A millionth of a unit more keeps every comparison below clear of its own rounding.
    sweep.reach = r + bands + coordinates + quadratics + squares + reachSlack;
    for (int axis = 0; axis < 3; ++axis) {
        sweep.lower[axis] = std::min(from[axis], to[axis]) - sweep.reach;
        sweep.upper[axis] = std::max(from[axis], to[axis]) + sweep.reach;
        sweep.lowerFloat[axis] = floatAtOrBelow(sweep.lower[axis]);
        sweep.upperFloat[axis] = floatAtOrAbove(sweep.upper[axis]);
    }
    return true;
}

// The reciprocals of the move's components, for the slab tests.
inline void prepareSlabs(SweepReach& sweep) {
    for (int axis = 0; axis < 3; ++axis) {
        sweep.inverseDelta[axis] = sweep.delta[axis] != 0.0 ? 1.0 / sweep.delta[axis] : 0.0;
    }
}

// The fractions [enter, leave] of the move that keep to bounds of the form value + t slope >= 0
// (each a half-line of fractions), starting from the whole move.
struct MoveInterval {
    double enter = 0.0;
    double leave = 1.0;

    void keepAtLeast(double value, double slope) {
        if (slope > 0.0) {
            enter = std::max(enter, -value / slope);
        } else if (slope < 0.0) {
            leave = std::min(leave, -value / slope);
        } else if (value < 0.0) {
            leave = -1.0; // never
        }
    }
    bool empty() const { return enter > leave; }
};

// The fractions of the move the centre spends inside the box [lower, upper] grown by `grow` on
// every side: within each grown slab, the slabs intersected. Conservative: the reach carries
// slack far beyond the rounding of these double comparisons.
inline MoveInterval slabInterval(const SweepReach& sweep, const float* lower, const float* upper,
                                 double grow) {
    MoveInterval inside;
    for (int axis = 0; axis < 3 && !inside.empty(); ++axis) {
        const double low = double(lower[axis]) - grow;
        const double high = double(upper[axis]) + grow;
        if (sweep.delta[axis] == 0.0) {
            if (sweep.from[axis] < low || sweep.from[axis] > high) {
                inside.leave = -1.0; // never within this slab
            }
            continue;
        }
        double first = (low - sweep.from[axis]) * sweep.inverseDelta[axis];
        double second = (high - sweep.from[axis]) * sweep.inverseDelta[axis];
        if (first > second) {
            std::swap(first, second);
        }
        inside.enter = std::max(inside.enter, first);
        inside.leave = std::min(inside.leave, second);
    }
    return inside;
}

// The first fraction of the move at which the segment lies within reach + growth of the box
// [lower, upper]; more than 1 when it never does.
inline double segmentEntry(const SweepReach& sweep, const float* lower, const float* upper,
                           double growth) {
    const MoveInterval inside = slabInterval(sweep, lower, upper, sweep.reach + growth);
    return inside.empty() ? 2.0 : inside.enter;
}

inline bool segmentMayReach(const SweepReach& sweep, const float* lower, const float* upper,
                            double growth) {
    return segmentEntry(sweep, lower, upper, growth) <= 1.0;
}

// Whether the segment's grown bounds overlap the box [lower, upper]: float comparisons only.
inline bool boundsMayReach(const SweepReach& sweep, const float* lower, const float* upper) {
    return lower[0] <= sweep.upperFloat[0] && upper[0] >= sweep.lowerFloat[0] &&
           lower[1] <= sweep.upperFloat[1] && upper[1] >= sweep.lowerFloat[1] &&
           lower[2] <= sweep.upperFloat[2] && upper[2] >= sweep.lowerFloat[2];
}

// Whether the box [lower, upper] (already grown by its contents' share of the margin) may lie
// within reach of the segment: the bounds first, then the segment itself.
inline bool mayReach(const SweepReach& sweep, const float* lower, const float* upper) {
    return boundsMayReach(sweep, lower, upper) && segmentMayReach(sweep, lower, upper, 0.0);
}

// Whether the move leaves the front of the triangle's face (D . n > 0, rounded to float as its
// tests round it): then none of its seven tests reports a contact.
inline bool leavesFront(const BallMove& move, const ContactTriangle& triangle) {
    return move.delta.dot(triangle.faceNormal()) > 0.0f;
}

// The bounds of the triangle's vertices.
inline void vertexBounds(const ContactTriangle& triangle, float* lower, float* upper) {
    for (int axis = 0; axis < 3; ++axis) {
        lower[axis] = std::min(
            {triangle.vertex[0][axis], triangle.vertex[1][axis], triangle.vertex[2][axis]});
        upper[axis] = std::max(
            {triangle.vertex[0][axis], triangle.vertex[1][axis], triangle.vertex[2][axis]});
    }
}

// Whether any of the triangle's seven tests could report a contact on the move: more than 1 when
// none can (see the claim above), otherwise a fraction of the move no result of its tests lies
// below (the centre of a result lies within reach + growth of the triangle, so inside its bounds
// grown by that much; 2^-22 is taken off for the rounding here). `growth` is the triangle's
// share of the margin.
inline double touchBound(const ContactTriangle& triangle, double growth, const SweepReach& sweep) {
    constexpr double never = 2.0;
    float lower[3];
    float upper[3];
    vertexBounds(triangle, lower, upper);
    for (int axis = 0; axis < 3; ++axis) {
        if (double(lower[axis]) - growth > sweep.upper[axis] ||
            double(upper[axis]) + growth < sweep.lower[axis]) {
            return never;
        }
    }
    const double entry = segmentEntry(sweep, lower, upper, growth);
    return entry > 1.0 ? never : std::max(0.0, entry - boundRounding);
}

inline bool mayTouch(const ContactTriangle& triangle, double growth, const SweepReach& sweep) {
    return touchBound(triangle, growth, sweep) <= 1.0;
}

// Lower bounds of a triangle's results. Every result t < 1 of its tests has the centre within
// r + delta of the triangle at t itself (see the claim), that is within R = reach + the
// triangle's growth; so t lies no earlier than the first moment the centre comes within R of
// anything that holds the triangle: its bounds (touchBound, earliestNearBox), the band about its
// plane, or the triangle itself, each computed in double with 2^-22 taken off for the rounding
// here. Each returns more than 1 when the path never comes that near.

// The first fraction of the move at which the centre comes within `radius` of the box [lower,
// upper] (the rounded box around it, not the box grown into a larger box). Inside the larger box,
// the squared distance to the box is a piecewise quadratic of the fraction, convex, whose pieces
// end where the centre crosses one of the box's face planes; the first piece that reaches
// radius^2 gives the moment.
inline double earliestNearBox(const SweepReach& sweep, const float* lower, const float* upper,
                              double radius) {
    constexpr double never = 2.0;
    const MoveInterval inside = slabInterval(sweep, lower, upper, radius);
    if (inside.empty()) {
        return never;
    }
    const double enter = inside.enter;
    const double leave = inside.leave;
    double cuts[8];
    int cutCount = 0;
    for (int axis = 0; axis < 3; ++axis) {
        if (sweep.delta[axis] != 0.0) {
            cuts[cutCount++] = (double(lower[axis]) - sweep.from[axis]) * sweep.inverseDelta[axis];
            cuts[cutCount++] = (double(upper[axis]) - sweep.from[axis]) * sweep.inverseDelta[axis];
        }
    }
    cuts[cutCount++] = leave;
    // At most seven: sorted by insertion.
    for (int i = 1; i < cutCount; ++i) {
        for (int j = i; j > 0 && cuts[j] < cuts[j - 1]; --j) {
            std::swap(cuts[j], cuts[j - 1]);
        }
    }
    double start = enter;
    for (int i = 0; i < cutCount; ++i) {
        const double end = cuts[i];
        if (end <= start) {
            continue;
        }
        // On [start, end] each axis keeps to one side of the box (or inside it): distance^2 =
        // sum over the axes outside of (gap + t delta)^2, written a t^2 + 2 h t + c0.
        const double middle = 0.5 * (start + end);
        double a = 0.0, h = 0.0, c0 = -radius * radius;
        for (int axis = 0; axis < 3; ++axis) {
            const double at = sweep.from[axis] + middle * sweep.delta[axis];
            const double face = at < double(lower[axis])   ? double(lower[axis])
                                : at > double(upper[axis]) ? double(upper[axis])
                                                           : at;
            if (face == at) {
                continue; // inside the box's slab along this axis
            }
            const double gap = sweep.from[axis] - face;
            a += sweep.delta[axis] * sweep.delta[axis];
            h += sweep.delta[axis] * gap;
            c0 += gap * gap;
        }
        if ((a * start + 2.0 * h) * start + c0 <= 0.0) {
            return std::max(0.0, start - boundRounding); // within reach where this piece begins
        }
        // Above radius^2 at the piece's start, the piece reaches it at the parabola's smaller
        // root, written so that it does not cancel, when that root comes before the piece's end
        // (a root before the piece's start means a centre moving away: the start is then still
        // no later than any moment within reach, if there is one).
        if (h < 0.0 && h * h - a * c0 >= 0.0) {
            const double root = smallerRoot(a, h, c0);
            if (root <= end) {
                return std::max(0.0, std::max(root, start) - boundRounding);
            }
        }
        start = end;
        if (start >= leave) {
            break;
        }
    }
    return never;
}

inline double longestEdge(const ContactTriangle& triangle) {
    return std::max({double(triangle.edgeLength[0]), double(triangle.edgeLength[1]),
                     double(triangle.edgeLength[2])});
}

// The half-width of the band about the triangle's plane, as the stored normal measures heights
// from v0, that holds the centre of every result: R + e (l + R), R being `within`, e the normal's
// angular error and l the longest edge (the centre of a result lies within l + R of v0).
inline double planeBand(const ContactTriangle& triangle, double within) {
    return within + double(triangle.normalError) * (longestEdge(triangle) + within);
}

// The first fraction of the move at which the centre's height over the triangle's plane lies
// within the plane's band (planeBand).
inline double earliestNearPlane(const ContactTriangle& triangle, const SweepReach& sweep) {
    constexpr double never = 2.0;
    const double band = planeBand(triangle, sweep.reach + triangle.reachGrowth);
    double start = 0.0;
    double rise = 0.0; // the height's change over the move
    for (int axis = 0; axis < 3; ++axis) {
        start += double(triangle.normal[axis]) * (sweep.from[axis] - triangle.vertex[0][axis]);
        rise += double(triangle.normal[axis]) * sweep.delta[axis];
    }
    if (std::fabs(start) <= band) {
        return 0.0;
    }
    // Only a move towards the plane can come within the band.
    const double gap = std::fabs(start) - band;
    const double closing = start > 0.0 ? -rise : rise;
    if (!(closing > 0.0)) {
        return never;
    }
    return std::max(0.0, gap / closing - boundRounding);
}

// The first fraction of the move at which the centre comes within `radius` of the point, or more
// than 1 when it never does: |from + t delta - point|^2 = radius^2, written a t^2 + 2 h t + c0 = 0.
// Double arithmetic on the floats, rounding far below any slack used with it (as below).
inline double earliestNearPoint(const SweepReach& sweep, const float* point, double radius) {
    constexpr double never = 2.0;
    double a = 0.0, h = 0.0, c0 = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        const double gap = sweep.from[axis] - point[axis];
        a += sweep.delta[axis] * sweep.delta[axis];
        h += sweep.delta[axis] * gap;
        c0 += gap * gap;
    }
    c0 -= radius * radius;
    if (c0 <= 0.0) {
        return 0.0;
    }
    if (h >= 0.0 || h * h - a * c0 < 0.0) {
        return never;
    }
    return smallerRoot(a, h, c0);
}

// The first fraction of the move at which the centre comes within `radius` of the segment from
// a to b in its span (entering the cylinder around the segment's line where it projects between
// a and b), or more than 1 when it never does; the ends' balls are left to earliestNearPoint.
inline double earliestNearSpan(const SweepReach& sweep, const float* a, const float* b,
                               double radius) {
    constexpr double never = 2.0;
    double edge[3], start[3];
    double edgeSquared = 0.0, startAlong = 0.0, moveAlong = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        edge[axis] = double(b[axis]) - a[axis];
        start[axis] = sweep.from[axis] - a[axis];
        edgeSquared += edge[axis] * edge[axis];
        startAlong += start[axis] * edge[axis];
        moveAlong += sweep.delta[axis] * edge[axis];
    }
    if (!(edgeSquared > 0.0)) {
        return never;
    }
    // The parts of the start and of the move across the edge's line:
    // |across(start) + t across(delta)|^2 = radius^2, written a t^2 + 2 h t + c0 = 0.
    double qa = 0.0, qh = 0.0, qc = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        const double startAcross = start[axis] - startAlong / edgeSquared * edge[axis];
        const double moveAcross = sweep.delta[axis] - moveAlong / edgeSquared * edge[axis];
        qa += moveAcross * moveAcross;
        qh += moveAcross * startAcross;
        qc += startAcross * startAcross;
    }
    qc -= radius * radius;
    double entry = never;
    if (qc <= 0.0) {
        entry = 0.0; // already within radius of the line
    } else if (qh < 0.0 && qh * qh - qa * qc >= 0.0) {
        entry = smallerRoot(qa, qh, qc);
    }
    if (entry <= 1.0) {
        const double along = (startAlong + entry * moveAlong) / edgeSquared;
        if (along >= 0.0 && along <= 1.0) {
            return entry;
        }
    }
    // Entering the cylinder beyond an end, the path is within reach of that end's ball first,
    // or never within reach of the span's part of the cylinder before it.
    return never;
}

// The first fraction of the move at which the centre comes within R of the triangle, R being
// reach + the triangle's growth, found as the earliest of two ways in:
// - over the face: inside the band of half-width R + e (l + R) about the plane (as the stored
//   normal measures it, see earliestNearPlane) while the centre lies, across each edge, no more
//   than tau = 2 e (l + band) outside the triangle (the stored normal's tilt moves a point
//   within R of the triangle by at most that much across an edge);
// - over an edge or a vertex: within R of one of the three edges (end balls included).
// A point within R of the triangle is found one way or the other, so no result of the
// triangle's tests lies below this bound (2^-22 is taken off for the rounding here). More than
// 1 when the path never comes that near.
inline double earliestNearTriangle(const ContactTriangle& triangle, const SweepReach& sweep) {
    constexpr double never = 2.0;
    const double within = sweep.reach + triangle.reachGrowth;
    const double band = planeBand(triangle, within);
    const double tolerance = 2.0 * double(triangle.normalError) * (longestEdge(triangle) + band);

    // Over the face: the fractions spent within the band and inside each edge.
    MoveInterval face;
    double height = 0.0, rise = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        height += double(triangle.normal[axis]) * (sweep.from[axis] - triangle.vertex[0][axis]);
        rise += double(triangle.normal[axis]) * sweep.delta[axis];
    }
    // height + t rise within [-band, band]: a half-line bound each side.
    face.keepAtLeast(band - height, -rise);
    face.keepAtLeast(band + height, rise);
    for (int k = 0; k < 3 && !face.empty(); ++k) {
        const float* a = triangle.vertex[k];
        const float* b = triangle.vertex[(k + 1) % 3];
        // Inward across the edge a -> b, in the plane: n x (b - a), of length |b - a|.
        const double edge[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double n[3] = {triangle.normal[0], triangle.normal[1], triangle.normal[2]};
        const double inward[3] = {n[1] * edge[2] - n[2] * edge[1], n[2] * edge[0] - n[0] * edge[2],
                                  n[0] * edge[1] - n[1] * edge[0]};
        const double length = std::sqrt(edge[0] * edge[0] + edge[1] * edge[1] + edge[2] * edge[2]);
        double offset = 0.0, slope = 0.0;
        for (int axis = 0; axis < 3; ++axis) {
            offset += inward[axis] * (sweep.from[axis] - a[axis]);
            slope += inward[axis] * sweep.delta[axis];
        }
        face.keepAtLeast(offset + tolerance * length, slope);
    }
    double earliest = face.empty() ? never : face.enter;
    if (earliest > 0.0) {
        // Over an edge: within reach of its span, or of one of the three corners' balls.
        const double radius = within * (1.0 + radiusSlack);
        for (int k = 0; k < 3; ++k) {
            earliest = std::min({earliest, earliestNearPoint(sweep, triangle.vertex[k], radius),
                                 earliestNearSpan(sweep, triangle.vertex[k],
                                                  triangle.vertex[(k + 1) % 3], radius)});
        }
    }
    return earliest > 1.0 ? never : std::max(0.0, earliest - boundRounding);
}

} // namespace contact_reach
