#pragma once

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"

#include <cstdint>

// What the seven contact tests read of one triangle, in one flat record: the same floats as the
// triangle's own objects (vertices, normal, standard copy, edge ends), so the same results,
// without following a pointer to each of them. The frames stay where the triangle keeps them.
// A plain record: a new one holds nothing defined until of() fills it (so that an index of a
// million of them can be written in place by several threads).
struct ContactTriangle {
    // Frame k's 16 floats (column-major) at frames + 16 k: the triangle's own matrices, which
    // its TriangleParts hold side by side.
    const float* frames;
    // Unit face normal, world axes.
    float normal[3];
    // v0, v1, v2 in world coordinates.
    float vertex[3][3];
    // The standard copy's v1 in frame 0 (x, and z > 0) and its v2 (x = the length of edge 0, and
    // z, which the frame leaves at exactly 0).
    float apexX;
    float apexZ;
    float baseX;
    float baseZ;
    // The x of edgeEnd k: the length of edge k as its own frame measures it.
    float edgeLength[3];
    // The triangle's index in its box: contacts merge in this order.
    std::uint32_t position;
    // Set by the contact index (see ContactReach.h): how far to grow the triangle's bounds for
    // culling (course units), and how far, in radians, the stored normal may stand from the
    // true normal of the three vertices.
    float reachGrowth;
    float normalError;

    // The record of a triangle with frames (a degenerate one reads as NaN, like the triangle).
    static ContactTriangle of(const Triangle& triangle, std::uint32_t position = 0) {
        ContactTriangle record;
        record.frames = triangle.matrix(0);
        const Vector3 n = triangle.normal();
        record.normal[0] = n.x;
        record.normal[1] = n.y;
        record.normal[2] = n.z;
        for (int v = 0; v < 3; ++v) {
            const Vector3& corner = *triangle.vertex(v);
            record.vertex[v][0] = corner.x;
            record.vertex[v][1] = corner.y;
            record.vertex[v][2] = corner.z;
        }
        const Triangle& standard = *triangle.link();
        record.apexX = standard.vertex(1)->x;
        record.apexZ = standard.vertex(1)->z;
        record.baseX = standard.vertex(2)->x;
        record.baseZ = standard.vertex(2)->z;
        for (int k = 0; k < 3; ++k) {
            record.edgeLength[k] = triangle.edgeEnd(k).x;
        }
        record.position = position;
        record.reachGrowth = 0.0f;
        record.normalError = 0.0f;
        return record;
    }

    Vector3 faceNormal() const { return {normal[0], normal[1], normal[2]}; }
    Vector3 corner(int v) const { return {vertex[v][0], vertex[v][1], vertex[v][2]}; }
    const float* matrix(int k) const { return frames + 16 * k; }
};

// What the contact index keeps of a triangle to bound its results before it is tested: the
// floats of its ContactTriangle that the bounds read (the same values, so the same bounds), and
// its place in the course. The rest of the seven tests' record (the standard copy, the edge ends,
// the frames) stays in the triangle's own objects, and the record is made from them when the
// triangle comes to be tested: an index keeps 64 bytes a triangle, one cache line, instead of the
// 100 a full record and its box number take.
struct alignas(64) IndexedTriangle {
    // v0, v1, v2 in world coordinates.
    float vertex[3][3];
    // Unit face normal, world axes.
    float normal[3];
    // The largest of ContactTriangle::edgeLength (as a double, the same value as the largest of
    // the three as doubles).
    float longestEdge;
    // As ContactTriangle's (see ContactReach.h); 0 for a triangle the index cannot cull.
    float reachGrowth;
    float normalError;
    // The triangle's place in merging order among every triangle the boxes list: the boxes in list
    // order, each box's triangles in its list order (so a box and a position in it, which the
    // index tells from this number).
    std::uint32_t listed;

    Vector3 faceNormal() const { return {normal[0], normal[1], normal[2]}; }
};
