#pragma once

// Shared by the unit and the gl tests of Triangle: the frame table, and a reproducible stream of
// random well-shaped triangles.

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>

namespace geometry_test {

using Corners = std::array<Vector3, 3>;

// Which vertex frame k carries to the origin, onto +x and into y = 0 with z >= 0, and the sign of
// the face normal's y component in that frame.
struct FrameRoles {
    int origin;
    int onAxis;
    int inPlane;
    float normalY;
};
constexpr std::array<FrameRoles, 3> frameRoles = {
    {{0, 2, 1, 1.0f}, {0, 1, 2, -1.0f}, {1, 2, 0, -1.0f}}};

// The vertices of Corners on the heap, as the course reader hands them over; a triangle keeps the
// pointers and, like every course triangle, is never freed.
inline Triangle* buildTriangle(const Corners& corners) {
    return new Triangle(new Vector3(corners[0]), new Vector3(corners[1]), new Vector3(corners[2]),
                        false);
}

struct Double3 {
    double x, y, z;
};

inline Double3 toDouble(const Vector3& v) {
    return {v.x, v.y, v.z};
}
inline Double3 operator-(const Double3& a, const Double3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline double dot(const Double3& a, const Double3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double norm(const Double3& a) {
    return std::sqrt(dot(a, a));
}

inline double largestAbsCoordinate(const Corners& corners) {
    double largest = 0.0;
    for (const Vector3& v : corners) {
        largest = std::max(
            {largest, std::fabs(double(v.x)), std::fabs(double(v.y)), std::fabs(double(v.z))});
    }
    return largest;
}

inline double longestEdge(const Corners& corners) {
    double longest = 0.0;
    for (int i = 0; i < 3; ++i) {
        longest = std::max(longest, norm(toDouble(corners[(i + 1) % 3]) - toDouble(corners[i])));
    }
    return longest;
}

// The smallest interior angle in degrees, from the float vertices, in double.
inline double smallestAngleDegrees(const Corners& corners) {
    constexpr double degreesPerRadian = 180.0 / 3.14159265358979323846;
    double smallest = 180.0;
    for (int i = 0; i < 3; ++i) {
        const Double3 apex = toDouble(corners[i]);
        const Double3 u = toDouble(corners[(i + 1) % 3]) - apex;
        const Double3 w = toDouble(corners[(i + 2) % 3]) - apex;
        const double cosine = std::clamp(dot(u, w) / (norm(u) * norm(w)), -1.0, 1.0);
        smallest = std::min(smallest, std::acos(cosine) * degreesPerRadian);
    }
    return smallest;
}

// Random triangles: longest edge log-uniform in [0.1, 100], every vertex within 100 of the
// origin, no interior angle under 1 degree, any orientation. Doubles are made from the raw
// mt19937 output, whose sequence the standard fixes (std::uniform_real_distribution's is not),
// so every standard library draws the same triangles.
class TriangleSampler {
public:
    static constexpr double smallestSize = 0.1;
    static constexpr double largestSize = 100.0;
    static constexpr double reach = 100.0;
    static constexpr double smallestAngle = 1.0; // degrees

    Corners next() {
        for (;;) {
            const Corners corners = draw();
            if (smallestAngleDegrees(corners) >= smallestAngle &&
                largestVertexDistance(corners) <= reach) {
                return corners;
            }
        }
    }

private:
    // Uniform in [0, 1).
    double uniform() { return engine_() / 4294967296.0; }

    Double3 pointInUnitBall() {
        for (;;) {
            const Double3 p{2.0 * uniform() - 1.0, 2.0 * uniform() - 1.0, 2.0 * uniform() - 1.0};
            if (dot(p, p) <= 1.0) {
                return p;
            }
        }
    }

    Corners draw() {
        std::array<Double3, 3> shape = {pointInUnitBall(), pointInUnitBall(), pointInUnitBall()};
        const Double3 centroid = {(shape[0].x + shape[1].x + shape[2].x) / 3.0,
                                  (shape[0].y + shape[1].y + shape[2].y) / 3.0,
                                  (shape[0].z + shape[1].z + shape[2].z) / 3.0};
        double longest = 0.0;
        double radius = 0.0;
        for (int i = 0; i < 3; ++i) {
            longest = std::max(longest, norm(shape[(i + 1) % 3] - shape[i]));
            radius = std::max(radius, norm(shape[i] - centroid));
        }
        const double size = smallestSize * std::pow(largestSize / smallestSize, uniform());
        const double scale = size / longest;
        // The centre stays far enough in that the scaled triangle fits within the reach.
        const Double3 direction = pointInUnitBall();
        const double room = std::max(0.0, reach - radius * scale);
        const Double3 centre = {direction.x * room, direction.y * room, direction.z * room};
        Corners corners;
        for (int i = 0; i < 3; ++i) {
            const Double3 local = shape[i] - centroid;
            corners[i] =
                Vector3(float(centre.x + local.x * scale), float(centre.y + local.y * scale),
                        float(centre.z + local.z * scale));
        }
        return corners;
    }

    static double largestVertexDistance(const Corners& corners) {
        double largest = 0.0;
        for (const Vector3& v : corners) {
            largest = std::max(largest, norm(toDouble(v)));
        }
        return largest;
    }

    std::mt19937 engine_{20240611u};
};

} // namespace geometry_test
