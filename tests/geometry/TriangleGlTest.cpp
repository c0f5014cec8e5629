#include "geometry/Triangle.h"

#include "TriangleSamples.h"
#include "support/GlContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

// Triangle computes its frames in software. These tests build the same frames through the GL
// matrix stack, step by step as the frames are defined there, and require the two to agree.

using namespace geometry_test;

namespace {

// Degrees per radian as the frames use it (not 180/pi).
constexpr double degreesPerRadian = 57.295826;
// Agreement required of every matrix entry and standard-copy coordinate, per unit of
// max(1, largest |vertex coordinate|).
constexpr double agreementPerUnit = 1e-4;

struct GlFrame {
    float matrix[16];
    Vector3 p, q, r; // the vertices after the frame has carried them
};

float angleDegrees(double cosine) {
    return float(std::acos(std::clamp(cosine, -1.0, 1.0)) * degreesPerRadian);
}

// The upper-left 3x3 part of m times v, each component accumulated in a float from zero in the
// order j = 0, 1, 2.
Vector3 rotateBy(const float* m, const Vector3& v) {
    Vector3 result;
    for (int i = 0; i < 3; ++i) {
        float sum = 0.0f;
        for (int j = 0; j < 3; ++j) {
            sum = float(sum + double(m[i + 4 * j]) * v[j]);
        }
        result[i] = sum;
    }
    return result;
}

// Carries (p, q, r) into standard orientation, p at the origin, r on +x, q in y = 0 with z >= 0,
// through the model-view stack, and returns the matrix read back from GL.
GlFrame glStandardFrame(Vector3 p, Vector3 q, Vector3 r) {
    GlFrame frame;
    const Vector3 origin = p;
    glPushMatrix();
    q -= p;
    r -= p;
    p = Vector3(0.0f, 0.0f, 0.0f);

    const Vector3 xAxis(1.0f, 0.0f, 0.0f);
    const Vector3 negativeXAxis(-1.0f, 0.0f, 0.0f);
    Vector3 direction = r;
    direction.normalize();
    Vector3 axis1(0.0f, 1.0f, 0.0f);
    float angle1 = 0.0f;
    if (direction != xAxis && direction != negativeXAxis) {
        axis1 = direction.cross(xAxis);
        axis1.normalize();
        angle1 = angleDegrees(direction.dot(xAxis));
    } else if (direction == negativeXAxis) {
        angle1 = 180.0f;
    }
    float first[16];
    glLoadIdentity();
    glRotatef(angle1, axis1.x, axis1.y, axis1.z);
    glGetFloatv(GL_MODELVIEW_MATRIX, first);
    q = rotateBy(first, q);
    r = rotateBy(first, r);
    r.y = 0.0f;
    r.z = 0.0f;

    Vector3 projected = q;
    projected.x = 0.0f;
    const float angle2 = angleDegrees(double(projected.z) / double(projected.length()));
    const Vector3 axis2 = projected.y < 0.0f ? negativeXAxis : xAxis;
    float second[16];
    glLoadIdentity();
    glRotatef(angle2, axis2.x, axis2.y, axis2.z);
    glGetFloatv(GL_MODELVIEW_MATRIX, second);
    q = rotateBy(second, q);
    q.y = 0.0f;

    glLoadIdentity();
    glRotatef(angle2, axis2.x, axis2.y, axis2.z);
    glRotatef(angle1, axis1.x, axis1.y, axis1.z);
    glTranslatef(-origin.x, -origin.y, -origin.z);
    glGetFloatv(GL_MODELVIEW_MATRIX, frame.matrix);
    glPopMatrix();
    frame.p = p;
    frame.q = q;
    frame.r = r;
    return frame;
}

// The GL frame k of a triangle: (p, q, r) is (v0, v1, v2) for frame 0, (v0, v2, v1) for frame 1
// and (v1, v0, v2) for frame 2.
GlFrame glFrame(const Corners& c, int k) {
    switch (k) {
    case 0:
        return glStandardFrame(c[0], c[1], c[2]);
    case 1:
        return glStandardFrame(c[0], c[2], c[1]);
    default:
        return glStandardFrame(c[1], c[0], c[2]);
    }
}

struct Agreement {
    double largest = 0.0;         // largest absolute difference
    double largestRelative = 0.0; // largest difference divided by its bound
    std::string where;

    void note(double difference, double bound, const std::string& triangle, const char* part,
              int index) {
        largest = std::max(largest, difference);
        if (difference / bound > largestRelative || where.empty()) {
            largestRelative = difference / bound;
            where = triangle + ", " + part + " " + std::to_string(index);
        }
    }
};

double difference(const Vector3& a, const Vector3& b) {
    return std::max(
        {std::fabs(double(a.x) - b.x), std::fabs(double(a.y) - b.y), std::fabs(double(a.z) - b.z)});
}

// Compares every matrix entry, edge end and standard-copy vertex of the software triangle with
// the GL stack's, reports each one outside the bound, and tells whether all were inside.
bool agrees(const Corners& corners, const std::string& name, Agreement& matrices,
            Agreement& copies) {
    const Triangle* t = buildTriangle(corners);
    const double bound = agreementPerUnit * std::max(1.0, largestAbsCoordinate(corners));
    bool ok = true;
    for (int k = 0; k < 3; ++k) {
        const GlFrame gl = glFrame(corners, k);
        for (int i = 0; i < 16; ++i) {
            const double entry = std::fabs(double(t->matrix(k)[i]) - gl.matrix[i]);
            matrices.note(entry, bound, name, "frame", k);
            if (!(entry <= bound)) {
                ADD_FAILURE() << name << ", frame " << k << ", entry " << i << ": software "
                              << t->matrix(k)[i] << ", GL " << gl.matrix[i] << ", bound " << bound;
                ok = false;
            }
        }
        const double end = difference(t->edgeEnd(k), gl.r);
        copies.note(end, bound, name, "edge end", k);
        if (!(end <= bound)) {
            ADD_FAILURE() << name << ", edge end " << k << ": software " << t->edgeEnd(k) << ", GL "
                          << gl.r;
            ok = false;
        }
        if (k == 0) {
            const Vector3 glCopy[3] = {gl.p, gl.q, gl.r};
            for (int v = 0; v < 3; ++v) {
                const double vertex = difference(*t->link()->vertex(v), glCopy[v]);
                copies.note(vertex, bound, name, "standard copy vertex", v);
                if (!(vertex <= bound)) {
                    ADD_FAILURE() << name << ", standard copy v" << v << ": software "
                                  << *t->link()->vertex(v) << ", GL " << glCopy[v];
                    ok = false;
                }
            }
        }
    }
    return ok;
}

std::string asText(double value) {
    std::ostringstream out;
    out.precision(3);
    out << value;
    return out.str();
}

void readModelView(float (&m)[16]) {
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
}

} // namespace

TEST(TriangleGlFrames, SoftwareFramesMatchTheGlMatrixStack) {
    ensureGlContext();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const Vector3 offset(37.5f, -81.25f, 12.0f);
    const std::vector<std::pair<std::string, Corners>> examples = {
        {"axis-aligned example", {Vector3(0, 0, 0), Vector3(0, 0, 1), Vector3(1, 0, 0)}},
        {"tilted example", {Vector3(1, 2, 3), Vector3(1, 3, 3), Vector3(1, 2, 4)}},
        {"edge along -x", {Vector3(5, 1, 2), Vector3(4, 1, 0.5f), Vector3(2, 1, 2)}},
        {"third vertex below", {Vector3(0, 0, 0), Vector3(1, -1, 1), Vector3(2, 0, 0)}},
        {"third vertex behind", {Vector3(0, 0, 0), Vector3(1, 0, -1), Vector3(2, 0, 0)}},
        // Cosines within rounding of +-1 for both rotations.
        {"edge a hair off +x",
         {offset, offset + Vector3(2.0f, 1e-4f, 4.0f), offset + Vector3(5.0f, 5e-4f, -3e-4f)}},
        {"edge a hair off -x",
         {offset, offset + Vector3(-2.0f, 1e-6f, -4.0f), offset + Vector3(-5.0f, 5e-6f, -3e-6f)}},
    };
    Agreement matrices, copies;
    for (const auto& [name, corners] : examples) {
        EXPECT_TRUE(agrees(corners, name, matrices, copies));
    }

    constexpr int randomTriangles = 2000;
    TriangleSampler sampler;
    for (int i = 0; i < randomTriangles; ++i) {
        if (!agrees(sampler.next(), "random triangle " + std::to_string(i), matrices, copies)) {
            break;
        }
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    std::cout << "GL vs software, " << examples.size() << " examples and " << randomTriangles
              << " random triangles: largest matrix entry difference " << asText(matrices.largest)
              << ", largest relative to its bound " << asText(matrices.largestRelative) << " ("
              << matrices.where << "); edge ends and standard copy: " << asText(copies.largest)
              << ", relative " << asText(copies.largestRelative) << std::endl;
    RecordProperty("largest_matrix_difference", asText(matrices.largest));
    RecordProperty("largest_matrix_difference_relative_to_bound", asText(matrices.largestRelative));
    RecordProperty("largest_standard_copy_difference", asText(copies.largest));
    RecordProperty("largest_standard_copy_difference_relative_to_bound",
                   asText(copies.largestRelative));
}

TEST(TriangleGlFrames, BuildingTrianglesKeepsTheModelViewMatrix) {
    ensureGlContext();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1.5f, -2.0f, 7.0f);
    glRotatef(33.0f, 0.3f, -1.0f, 0.2f);
    glScalef(2.0f, 0.5f, 1.25f);
    float before[16];
    readModelView(before);
    GLint depthBefore = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);

    TriangleSampler sampler;
    for (int i = 0; i < 20; ++i) {
        const Corners corners = sampler.next();
        buildTriangle(corners);
        // The reference frames too: the comparison above relies on them leaving no trace.
        for (int k = 0; k < 3; ++k) {
            glFrame(corners, k);
        }
    }

    float after[16];
    readModelView(after);
    GLint depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(after[i], before[i]) << "entry " << i;
    }
    EXPECT_EQ(depthAfter, depthBefore);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
