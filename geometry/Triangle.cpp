#include "geometry/Triangle.h"

#include <algorithm>
#include <cmath>

namespace {

// Degrees per radian as the course frames use it (not 180/pi = 57.2957795): the frames keep the
// tiny over-rotation this constant gives, about 1e-6 of a degree per degree.
constexpr double degreesPerRadian = 57.295826;
// glRotatef's own conversion of its degrees back to radians.
constexpr double radiansPerDegree = 3.14159265358979323846 / 180.0;

// A 4x4 matrix in GL's column-major layout: row r, column c at m[4c + r].
struct Matrix4 {
    float m[16];
};

// The matrix glRotatef(angle, axis) multiplies onto the identity: a rotation by angle degrees
// about the normalised axis, counter-clockwise when looking from the axis's tip towards the
// origin. Evaluated in double and rounded to float, as glGetFloatv would hand it back.
Matrix4 rotation(float angleDegrees, const Vector3& axis) {
    const double axisLength =
        std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
    const double x = axis.x / axisLength;
    const double y = axis.y / axisLength;
    const double z = axis.z / axisLength;
    const double c = std::cos(angleDegrees * radiansPerDegree);
    const double s = std::sin(angleDegrees * radiansPerDegree);
    const double t = 1.0 - c;
    const double column[16] = {x * x * t + c,
                               y * x * t + z * s,
                               x * z * t - y * s,
                               0.0,
                               x * y * t - z * s,
                               y * y * t + c,
                               y * z * t + x * s,
                               0.0,
                               x * z * t + y * s,
                               y * z * t - x * s,
                               z * z * t + c,
                               0.0,
                               0.0,
                               0.0,
                               0.0,
                               1.0};
    Matrix4 result;
    for (int i = 0; i < 16; ++i) {
        result.m[i] = static_cast<float>(column[i]);
    }
    return result;
}

// a * b, each entry summed in double and rounded to float (a glRotatef after a glRotatef).
Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 result;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int j = 0; j < 4; ++j) {
                sum += double(a.m[4 * j + row]) * b.m[4 * column + j];
            }
            result.m[4 * column + row] = static_cast<float>(sum);
        }
    }
    return result;
}

// matrix * translation(offset): the effect of glTranslatef on the current matrix.
Matrix4 translated(const Matrix4& matrix, const Vector3& offset) {
    Matrix4 result = matrix;
    for (int row = 0; row < 3; ++row) {
        result.m[12 + row] = static_cast<float>(
            double(matrix.m[row]) * offset.x + double(matrix.m[4 + row]) * offset.y +
            double(matrix.m[8 + row]) * offset.z + matrix.m[12 + row]);
    }
    return result;
}

// The upper-left 3x3 part applied to v, each component accumulated in a float from zero in the
// order of v's components x, y, z.
Vector3 rotate(const Matrix4& matrix, const Vector3& v) {
    Vector3 result;
    for (int i = 0; i < 3; ++i) {
        float sum = 0.0f;
        for (int j = 0; j < 3; ++j) {
            sum = static_cast<float>(sum + double(matrix.m[i + 4 * j]) * v[j]);
        }
        result[i] = sum;
    }
    return result;
}

// acos in degrees as a float. The cosine is clamped to [-1, 1] first, so that no rounding of a
// nearly straight or nearly reversed direction can ever hand acos a value just past 1 in
// magnitude and turn a sound triangle's frame into NaN. (With lengths rounded as Vector3 rounds
// them the cosines stay within [-1, 1]; the clamp keeps that from being a silent dependency.) A
// NaN cosine (degenerate triangle) stays NaN.
float angleDegrees(double cosine) {
    return static_cast<float>(std::acos(std::clamp(cosine, -1.0, 1.0)) * degreesPerRadian);
}

// Carries the triangle (p, q, r) in place into standard orientation, p at the origin, r on the
// positive x axis and q in the plane y = 0 with z >= 0, and returns the matrix that does so.
Matrix4 standardFrame(Vector3& p, Vector3& q, Vector3& r) {
    const Vector3 origin = p;
    q -= p;
    r -= p;
    p = Vector3(0.0f, 0.0f, 0.0f);

    // First rotation: the edge direction p -> r onto +x, about an axis perpendicular to both.
    const Vector3 xAxis(1.0f, 0.0f, 0.0f);
    Vector3 direction = r;
    direction.normalize();
    Vector3 axis1(0.0f, 1.0f, 0.0f);
    float angle1 = 0.0f;
    if (direction != xAxis && direction != -xAxis) {
        axis1 = direction.cross(xAxis);
        axis1.normalize();
        angle1 = angleDegrees(direction.dot(xAxis));
    } else if (direction == -xAxis) {
        angle1 = 180.0f; // along -x: half a turn about +y
    }
    const Matrix4 first = rotation(angle1, axis1);
    q = rotate(first, q);
    r = rotate(first, r);
    r.y = 0.0f;
    r.z = 0.0f;

    // Second rotation: about the x axis until q lies in the xz plane on the side z >= 0.
    Vector3 projected = q;
    projected.x = 0.0f;
    const float angle2 = angleDegrees(double(projected.z) / double(projected.length()));
    const Vector3 axis2(projected.y < 0.0f ? -1.0f : 1.0f, 0.0f, 0.0f);
    const Matrix4 second = rotation(angle2, axis2);
    q = rotate(second, q);
    q.y = 0.0f;

    // world point w -> second * first * (w - origin)
    return translated(multiply(second, first), -origin);
}

void store(const Matrix4& matrix, float (&target)[16]) {
    std::copy_n(matrix.m, 16, target);
}

} // namespace

Triangle::Triangle() = default;

Triangle::Triangle(Vector3* v0, Vector3* v1, Vector3* v2, bool withoutFrames)
    : v0_(v0), v1_(v1), v2_(v2) {
    normal_ = (*v1 - *v0).cross(*v2 - *v0);
    normal_.normalize();
    if (!withoutFrames) {
        buildFrames(*new TriangleParts);
    }
}

Triangle::Triangle(Vector3* v0, Vector3* v1, Vector3* v2, TriangleParts& parts)
    : v0_(v0), v1_(v1), v2_(v2) {
    normal_ = (*v1 - *v0).cross(*v2 - *v0);
    normal_.normalize();
    buildFrames(parts);
}

void Triangle::buildFrames(TriangleParts& parts) {
    // Frames 2 and 1 work on scratch copies; frame 0, built last, keeps its copy as the link.
    Vector3 p = *v1_, q = *v0_, r = *v2_;
    store(standardFrame(p, q, r), parts.matrix[2]);
    parts.edgeEnd[1] = r;
    edgeEnd_[2] = &parts.edgeEnd[1];

    p = *v0_, q = *v2_, r = *v1_;
    store(standardFrame(p, q, r), parts.matrix[1]);
    parts.edgeEnd[0] = r;
    edgeEnd_[1] = &parts.edgeEnd[0];

    Vector3* const copy = parts.standardVertex;
    copy[0] = *v0_;
    copy[1] = *v1_;
    copy[2] = *v2_;
    parts.standardCopy = Triangle(&copy[0], &copy[1], &copy[2], true);
    link_ = &parts.standardCopy;
    store(standardFrame(copy[0], copy[1], copy[2]), parts.matrix[0]);
    edgeEnd_[0] = &copy[2];
    matrix_ = parts.matrix;
}

const float* Triangle::matrix(int k) const {
    // Three frames of zeros, so that reading frame k as the 16 floats at matrix(0) + 16 k, as
    // the contact records do, stays inside them too.
    static constexpr float noFrames[48] = {};
    return matrix_ != nullptr ? matrix_[k] : noFrames + 16 * k;
}
