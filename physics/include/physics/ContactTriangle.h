#pragma once

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"

#include <cstdint>

// What the seven contact tests read of one triangle, in one flat record: the same floats as the
// triangle's own objects (vertices, normal, standard copy, edge ends), so the same results,
// without following a pointer to each of them. The frames stay where the triangle keeps them.
// A plain record: a new one holds nothing defined until of() fills it (so that an index of a
// million of them can be written in place by several threads). The contact index keeps one for
// each of its triangles, which its bounds and then the tests read where it lies: 96 bytes,
// aligned so that a record spans two cache lines, never three.
struct alignas(32) ContactTriangle {
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
    // The triangle's place in merging order, as the contact index numbers its triangles: among
    // every triangle the boxes list, the boxes in list order and each box's triangles in its list
    // order (so a box and a position in it, which the index tells from this number).
    std::uint32_t listed;
    // Set by the contact index (see ContactReach.h): how far to grow the triangle's bounds for
    // culling (course units), and how far, in radians, the stored normal may stand from the
    // true normal of the three vertices.
    float reachGrowth;
    float normalError;

    // The record of a triangle with frames (a degenerate one reads as NaN, like the triangle).
    static ContactTriangle of(const Triangle& triangle, std::uint32_t listed = 0) {
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
        record.listed = listed;
        record.reachGrowth = 0.0f;
        record.normalError = 0.0f;
        return record;
    }

    Vector3 faceNormal() const { return {normal[0], normal[1], normal[2]}; }
    Vector3 corner(int v) const { return {vertex[v][0], vertex[v][1], vertex[v][2]}; }
    const float* matrix(int k) const { return frames + 16 * k; }
};
