#pragma once

#include "geometry/Vector3.h"

// One face of the course, with three precomputed standard-orientation frames.
//
// Frame k is a rigid transform (column-major GL matrix) that puts edge k on the positive x axis,
// starting at the origin, and the triangle in the plane y = 0 on the side z >= 0:
//
//   k | to the origin | onto +x | into y = 0, z >= 0 | face normal in the frame
//   0 |      v0       |   v2    |        v1          |        +y
//   1 |      v0       |   v1    |        v2          |        -y
//   2 |      v1       |   v2    |        v0          |        -y
//
// So edge 0 runs v0 -> v2, edge 1 v0 -> v1, edge 2 v1 -> v2. The frames are computed in software,
// with the rotations that glRotatef defines rounded to float where GL would hand them back, so
// building a triangle needs no GL context.
//
// Ownership: the vertices belong to whoever built the triangle. Its standard copy (link) with
// that copy's vertices, the edge ends and the three frame matrices are kept together in one
// TriangleParts: a new heap object the triangle never frees (course triangles live until the
// process ends), or one the caller owns (the constructor taking `parts`). Copies are shallow,
// sharing those objects (the frames are never changed after the constructor, so sharing them
// reads the same 48 floats a copy by value would hold).
struct TriangleParts;

class Triangle {
public:
    // Normal (0, 0, 0), no standard copy, no frames: a local to be assigned later.
    Triangle();
    // Stores the three heap vertices and the normal normalize((v1 - v0) x (v2 - v0)); unless
    // withoutFrames, also builds the three frames, the edge ends and the standard copy. A
    // degenerate triangle (equal or collinear vertices) builds without fault but has a non-finite
    // normal and non-finite frames; hasFiniteNormal() tells it apart.
    Triangle(Vector3* v0, Vector3* v1, Vector3* v2, bool withoutFrames);
    // The same triangle with frames, its parts built into `parts` instead of new heap objects,
    // so that a course can keep many triangles in a few large blocks. `parts` must outlive the
    // triangle and every copy of it.
    Triangle(Vector3* v0, Vector3* v1, Vector3* v2, TriangleParts& parts);
    Triangle(const Triangle&) = default;
    Triangle& operator=(const Triangle&) = default;
    ~Triangle() = default;

    // v0, v1 or v2 for i = 0, 1, 2; no range check. Inline: loading a course and building its
    // contact index read every vertex several times.
    Vector3* vertex(int i) const { return i == 0 ? v0_ : i == 1 ? v1_ : v2_; }
    Vector3 normal() const { return normal_; }
    // The far end of edge k in frame k: (length of edge k, 0, 0).
    Vector3 edgeEnd(int k) const { return *edgeEnd_[k]; }
    // The 16 floats of frame k, column-major (row r, column c at index 4c + r); all zero for a
    // triangle built without frames.
    const float* matrix(int k) const;
    // The triangle carried into frame 0: v0 = (0, 0, 0), v1 = (x, 0, z >= 0), v2 = (L0, 0, 0).
    // Only its vertices are set. Null for a triangle built without frames.
    Triangle* link() const { return link_; }

    // False for a degenerate triangle, which must take part in no contact.
    bool hasFiniteNormal() const { return normal_.isFinite(); }

private:
    void buildFrames(TriangleParts& parts);

    Vector3* v0_ = nullptr;
    Vector3* v1_ = nullptr;
    Vector3* v2_ = nullptr;
    Vector3* edgeEnd_[3] = {nullptr, nullptr, nullptr};
    Vector3 normal_;
    // The three frames, in the TriangleParts that hold them; null without frames.
    const float (*matrix_)[16] = nullptr;
    Triangle* link_ = nullptr;
};

// Everything a triangle with frames owns besides its own fields, side by side: the three frame
// matrices, the standard copy with its three vertices, and the far ends of edges 1 and 2 (the
// far end of edge 0 is the standard copy's v2). One object per triangle instead of seven heap
// objects; a course reader can place them in blocks.
struct TriangleParts {
    float matrix[3][16] = {};
    Vector3 edgeEnd[2];
    Vector3 standardVertex[3];
    Triangle standardCopy;
};
