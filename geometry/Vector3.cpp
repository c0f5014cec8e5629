#include "geometry/Vector3.h"

#include <cmath>
#include <ostream>

namespace {

// Rounds a double-precision intermediate to the stored single precision.
constexpr float store(double value) { return static_cast<float>(value); }

} // namespace

float& Vector3::operator[](int i) {
    switch (i) {
    case 0:
        return x;
    case 1:
        return y;
    default:
        return z;
    }
}

float Vector3::operator[](int i) const { return const_cast<Vector3&>(*this)[i]; }

bool Vector3::operator==(const Vector3& b) const { return x == b.x && y == b.y && z == b.z; }

Vector3& Vector3::operator+=(const Vector3& b) {
    x = store(double(x) + b.x);
    y = store(double(y) + b.y);
    z = store(double(z) + b.z);
    return *this;
}

Vector3& Vector3::operator-=(const Vector3& b) {
    x = store(double(x) - b.x);
    y = store(double(y) - b.y);
    z = store(double(z) - b.z);
    return *this;
}

Vector3& Vector3::operator*=(const float& s) {
    x = store(double(x) * s);
    y = store(double(y) * s);
    z = store(double(z) * s);
    return *this;
}

Vector3 Vector3::operator+(const Vector3& b) const {
    return {store(double(x) + b.x), store(double(y) + b.y), store(double(z) + b.z)};
}

Vector3 Vector3::operator-(const Vector3& b) const {
    return {store(double(x) - b.x), store(double(y) - b.y), store(double(z) - b.z)};
}

Vector3 Vector3::operator-() const { return {store(x * -1.0), store(y * -1.0), store(z * -1.0)}; }

float Vector3::dot(const Vector3& b) const {
    return store((double(z) * b.z + double(y) * b.y) + double(x) * b.x);
}

Vector3 Vector3::cross(const Vector3& b) const {
    return {store(double(y) * b.z - double(z) * b.y), store(double(z) * b.x - double(x) * b.z),
            store(double(x) * b.y - double(y) * b.x)};
}

float Vector3::length() const {
    return store(std::sqrt(double(x) * x + double(y) * y + double(z) * z));
}

Vector3& Vector3::normalize() {
    const double reciprocal = 1.0 / double(length());
    x = store(x * reciprocal);
    y = store(y * reciprocal);
    z = store(z * reciprocal);
    return *this;
}

Vector3 Vector3::transformPoint(const float* m) const {
    Vector3 result;
    for (int i = 0; i < 3; ++i) {
        float component = 0.0f;
        component = store(component + ((double(m[i]) * x + double(m[4 + i]) * y) + double(m[8 + i]) * z));
        component = store(double(component) + m[12 + i]);
        result[i] = component;
    }
    return result;
}

bool Vector3::isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

Vector3 operator*(const Vector3& a, const float& s) {
    return {store(double(a.x) * s), store(double(a.y) * s), store(double(a.z) * s)};
}

Vector3 operator*(const float& s, const Vector3& a) { return a * s; }

Vector3 operator/(const Vector3& a, const float& s) {
    const float reciprocal = store(1.0 / double(s));
    return a * reciprocal;
}

std::ostream& operator<<(std::ostream& out, const Vector3& a) {
    return out << a.x << ", " << a.y << ", " << a.z;
}
