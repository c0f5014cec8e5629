#pragma once

// Triangles and their vertices for one test; deques keep every address stable as they grow,
// as the boxes keep pointers to both.

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"

#include <deque>

class TriangleStore {
public:
    Triangle* make(Vector3 a, Vector3 b, Vector3 c) {
        Vector3* v0 = &vertices_.emplace_back(a);
        Vector3* v1 = &vertices_.emplace_back(b);
        Vector3* v2 = &vertices_.emplace_back(c);
        return &triangles_.emplace_back(v0, v1, v2, true);
    }

private:
    std::deque<Vector3> vertices_;
    std::deque<Triangle> triangles_;
};
