#pragma once

// Courses built in code for the physics tests: triangles whose normal faces a chosen way, boxes,
// closed rooms, and the contact search over them.

#include "physics/SimulationSettings.h"

#include <cmath>
#include <vector>

namespace physics_test {

// A course triangle (vertices on the heap, frames built; kept for the process like the course's).
inline Triangle* makeTriangle(Vector3 a, Vector3 b, Vector3 c) {
    return new Triangle(new Vector3(a), new Vector3(b), new Vector3(c), false);
}

// The triangle a, b, c with its vertex order chosen so that its normal points along `facing`
// (positive dot product).
inline Triangle* makeFacing(Vector3 a, Vector3 b, Vector3 c, Vector3 facing) {
    const Vector3 normal = (b - a).cross(c - a);
    return normal.dot(facing) >= 0.0f ? makeTriangle(a, b, c) : makeTriangle(a, c, b);
}

// The quad a b c d (in order around it) as two triangles facing `facing`.
inline void addQuad(std::vector<Triangle*>& out, Vector3 a, Vector3 b, Vector3 c, Vector3 d,
                    Vector3 facing) {
    out.push_back(makeFacing(a, b, c, facing));
    out.push_back(makeFacing(a, c, d, facing));
}

inline CollisionBox makeBox(const std::vector<Triangle*>& triangles) {
    CollisionBox box;
    box.setColour(1.0f, 1.0f, 1.0f, 1.0f);
    for (Triangle* t : triangles) {
        box.addTriangle(t);
    }
    return box;
}

// The six inward-facing walls of the box [lo, hi], one collision box per wall.
inline std::vector<CollisionBox> closedRoom(Vector3 lo, Vector3 hi) {
    const Vector3 centre = (lo + hi) / 2.0f;
    std::vector<CollisionBox> walls;
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            const float plane = side == 0 ? lo[axis] : hi[axis];
            const int u = (axis + 1) % 3;
            const int v = (axis + 2) % 3;
            Vector3 corner[4];
            const float us[4] = {lo[u], hi[u], hi[u], lo[u]};
            const float vs[4] = {lo[v], lo[v], hi[v], hi[v]};
            for (int i = 0; i < 4; ++i) {
                corner[i][axis] = plane;
                corner[i][u] = us[i];
                corner[i][v] = vs[i];
            }
            Vector3 inward;
            inward[axis] = centre[axis] - plane;
            std::vector<Triangle*> wall;
            addQuad(wall, corner[0], corner[1], corner[2], corner[3], inward);
            walls.push_back(makeBox(wall));
        }
    }
    return walls;
}

struct Contact {
    float earliest = 1.0f;
    Vector3 normal; // the merged normal, normalised when there is a contact
};

// The earliest contact of the move over all boxes the sweep overlaps, as the step sees it.
inline Contact findContact(const SimulationSettings& settings,
                           const std::vector<CollisionBox>& boxes, Vector3 from, Vector3 to,
                           float radius) {
    Contact contact;
    Vector3 sum;
    for (const CollisionBox& box : boxes) {
        if (box.overlapsSweep(from, to, radius, settings.epsilon)) {
            settings.collideBox(from, to, radius, box, sum, contact.earliest);
        }
    }
    if (contact.earliest < 1.0f) {
        contact.normal = sum;
        contact.normal.normalize();
    }
    return contact;
}

inline float distance(const Vector3& a, const Vector3& b) {
    return (a - b).length();
}

} // namespace physics_test
