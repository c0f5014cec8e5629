#pragma once

#include <iosfwd>

// A point or direction with single-precision components.
//
// Every operation evaluates in double precision and rounds once, to float, when it stores a
// component; scalar results (dot, length) are returned as float. Comparison is exact: no
// tolerance, NaN unequal to everything, +0 equal to -0.
class Vector3 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3() = default;
    Vector3(float x, float y, float z) : x(x), y(y), z(z) {}
    Vector3(const Vector3&) = default;
    Vector3& operator=(const Vector3&) = default;
    virtual ~Vector3() = default;

    // Component 0, 1 or 2 (x, y, z); no range check.
    float& operator[](int i);
    float operator[](int i) const;

    bool operator==(const Vector3& b) const;
    bool operator!=(const Vector3& b) const { return !(*this == b); }

    Vector3& operator+=(const Vector3& b);
    Vector3& operator-=(const Vector3& b);
    Vector3& operator*=(const float& s);

    Vector3 operator+(const Vector3& b) const;
    Vector3 operator-(const Vector3& b) const;
    // Each component times -1.0, so (0, 1, 0) becomes (-0, -1, -0).
    Vector3 operator-() const;

    // (a.z*b.z + a.y*b.y) + a.x*b.x, summed in double in that order.
    float dot(const Vector3& b) const;
    Vector3 cross(const Vector3& b) const;
    float length() const;
    // Multiplies by 1 / length() kept in double. The zero vector becomes NaN: callers that can
    // meet one test for it first.
    Vector3& normalize();

    // The point (x, y, z, 1) through a column-major GL matrix (row r, column c at m[4c + r]),
    // without the fourth row or a division by w. Each output component is accumulated in a float
    // from zero: first the rotation part's three products, then the translation entry.
    Vector3 transformPoint(const float* m) const;

    // True when no component is infinite or NaN.
    bool isFinite() const;
};

Vector3 operator*(const Vector3& a, const float& s);
Vector3 operator*(const float& s, const Vector3& a);
// Multiplies by 1 / s rounded to float; s = 0 is not checked.
Vector3 operator/(const Vector3& a, const float& s);

// "x, y, z" with the stream's current float formatting; no brackets, no line end.
std::ostream& operator<<(std::ostream& out, const Vector3& a);
