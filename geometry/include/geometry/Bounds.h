#pragma once

#include "geometry/Vector3.h"

#include <limits>

// An axis-aligned box: per axis x, y, z the closed interval [lower, upper], in the units of the
// points it was grown by (course units everywhere in this code). Plain floats, 24 bytes, where
// two Vector3 corners would take 48 with their vtable pointers: the contact index keeps bounds
// of this shape per triangle and per node.
//
// A default Bounds is empty: lower +infinity and upper -infinity, so the first point grown by
// becomes both corners. Growing only compares, so every corner is a coordinate that was given,
// bit for bit: a coordinate below lower replaces it, one equal to it does not (of -0 and +0, the
// first seen stays), and a NaN compares false and changes nothing. Without NaN corners, growing
// by points one by one or by the bounds of groups of them gives the same bits.
struct Bounds {
    static constexpr float infinity = std::numeric_limits<float>::infinity();

    float lower[3] = {infinity, infinity, infinity};
    float upper[3] = {-infinity, -infinity, -infinity};

    // The box holding just the point: both corners copies of it, a NaN coordinate included.
    static Bounds around(const Vector3& point) {
        return {{point.x, point.y, point.z}, {point.x, point.y, point.z}};
    }

    // Grown by nothing yet (no point lies inside). Bounds with a NaN corner are not empty.
    bool empty() const { return lower[0] > upper[0] || lower[1] > upper[1] || lower[2] > upper[2]; }

    Vector3 lowerCorner() const { return {lower[0], lower[1], lower[2]}; }
    Vector3 upperCorner() const { return {upper[0], upper[1], upper[2]}; }

    // Widens the box to the point, axis by axis.
    void grow(const Vector3& point) {
        for (int axis = 0; axis < 3; ++axis) {
            if (point[axis] < lower[axis]) {
                lower[axis] = point[axis];
            }
            if (upper[axis] < point[axis]) {
                upper[axis] = point[axis];
            }
        }
    }

    // Widens the box to the other's corners (nothing for an empty one): the bounds of both.
    void grow(const Bounds& other) {
        for (int axis = 0; axis < 3; ++axis) {
            if (other.lower[axis] < lower[axis]) {
                lower[axis] = other.lower[axis];
            }
            if (upper[axis] < other.upper[axis]) {
                upper[axis] = other.upper[axis];
            }
        }
    }

    // Whether the point lies in the closed box (never in an empty one, nor with a NaN).
    bool contains(const Vector3& point) const {
        for (int axis = 0; axis < 3; ++axis) {
            if (!(lower[axis] <= point[axis] && point[axis] <= upper[axis])) {
                return false;
            }
        }
        return true;
    }

    // Every side moved out by `margin`, each corner computed in double and rounded to float
    // once, as Vector3's arithmetic does. Empty bounds stay empty.
    Bounds grownBy(float margin) const {
        Bounds grown;
        for (int axis = 0; axis < 3; ++axis) {
            grown.lower[axis] = static_cast<float>(double(lower[axis]) - margin);
            grown.upper[axis] = static_cast<float>(double(upper[axis]) + margin);
        }
        return grown;
    }
};
