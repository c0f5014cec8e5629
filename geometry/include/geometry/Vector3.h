#pragma once

#include <cmath>
#include <iosfwd>

// A point or direction with single-precision components.
//
// Every operation evaluates in double precision and rounds once, to float, when it stores a
// component; scalar results (dot, length) are returned as float. Comparison is exact: no
// tolerance, NaN unequal to everything, +0 equal to -0.
//
// The operations are defined inline below: the contact tests run them millions of times a
// second, and a call per addition cost more than the addition.
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
    float& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }

    bool operator==(const Vector3& b) const { return x == b.x && y == b.y && z == b.z; }
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
    bool isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

private:
    // Rounds a double-precision intermediate to the stored single precision.
    static constexpr float store(double value) { return static_cast<float>(value); }
};

inline Vector3& Vector3::operator+=(const Vector3& b) {
    x = store(double(x) + b.x);
    y = store(double(y) + b.y);
    z = store(double(z) + b.z);
    return *this;
}

inline Vector3& Vector3::operator-=(const Vector3& b) {
    x = store(double(x) - b.x);
    y = store(double(y) - b.y);
    z = store(double(z) - b.z);
    return *this;
}

inline Vector3& Vector3::operator*=(const float& s) {
    x = store(double(x) * s);
    y = store(double(y) * s);
    z = store(double(z) * s);
    return *this;
}

inline Vector3 Vector3::operator+(const Vector3& b) const {
    return {store(double(x) + b.x), store(double(y) + b.y), store(double(z) + b.z)};
}

inline Vector3 Vector3::operator-(const Vector3& b) const {
    return {store(double(x) - b.x), store(double(y) - b.y), store(double(z) - b.z)};
}

inline Vector3 Vector3::operator-() const {
    return {store(x * -1.0), store(y * -1.0), store(z * -1.0)};
}

inline float Vector3::dot(const Vector3& b) const {
    return store((double(z) * b.z + double(y) * b.y) + double(x) * b.x);
}

inline Vector3 Vector3::cross(const Vector3& b) const {
    return {store(double(y) * b.z - double(z) * b.y), store(double(z) * b.x - double(x) * b.z),
            store(double(x) * b.y - double(y) * b.x)};
}

inline float Vector3::length() const {
    return store(std::sqrt(double(x) * x + double(y) * y + double(z) * z));
}

inline Vector3& Vector3::normalize() {
    const double reciprocal = 1.0 / double(length());
    x = store(x * reciprocal);
    y = store(y * reciprocal);
    z = store(z * reciprocal);
    return *this;
}

inline Vector3 Vector3::transformPoint(const float* m) const {
    Vector3 result;
    for (int i = 0; i < 3; ++i) {
        float component = 0.0f;
        component =
            store(component + ((double(m[i]) * x + double(m[4 + i]) * y) + double(m[8 + i]) * z));
        component = store(double(component) + m[12 + i]);
        result[i] = component;
    }
    return result;
}

inline Vector3 operator*(const Vector3& a, const float& s) {
    return {static_cast<float>(double(a.x) * s), static_cast<float>(double(a.y) * s),
            static_cast<float>(double(a.z) * s)};
}

inline Vector3 operator*(const float& s, const Vector3& a) {
    return a * s;
}

// Multiplies by 1 / s rounded to float; s = 0 is not checked.
inline Vector3 operator/(const Vector3& a, const float& s) {
    const float reciprocal = static_cast<float>(1.0 / double(s));
    return a * reciprocal;
}

// "x, y, z" with the stream's current float formatting; no brackets, no line end.
std::ostream& operator<<(std::ostream& out, const Vector3& a);
