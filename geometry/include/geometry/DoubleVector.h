#pragma once

#include "geometry/Vector3.h"

#include <cmath>

// A point or direction in double precision, for the few computations that must not round to
// float at every step as Vector3 does: a tolerance of 1e-5 of a path's length, the shading of a
// texture computed on the unit sphere. No operation rounds to float.
struct DoubleVector {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline DoubleVector toDouble(const Vector3& v) {
    return {v.x, v.y, v.z};
}

inline DoubleVector operator-(const DoubleVector& a, const DoubleVector& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// a.x*b.x + a.y*b.y + a.z*b.z, summed in that order.
inline double dot(const DoubleVector& a, const DoubleVector& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline double length(const DoubleVector& a) {
    return std::sqrt(dot(a, a));
}
