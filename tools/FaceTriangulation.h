#pragma once

#include "geometry/Vector3.h"

#include <array>
#include <cstddef>
#include <vector>

// Splits a planar face of n >= 3 corners into n - 2 triangles of its own corners, each wound the
// way the face is (so each triangle's normal (v1 - v0) x (v2 - v0) points to the side the face's
// corners wind counter-clockwise around). Convex or not: ears are clipped in the plane the face
// lies in, so a convex face comes out as a fan from its first corner, (0, 1, 2), (0, 2, 3), ...
// A face that has no ear to clip (its corners cross over each other, or all lie on a line) and
// a face of more than mostClippedCorners corners are fanned from their first corner instead.
constexpr std::size_t mostClippedCorners = 1024;

std::vector<std::array<std::size_t, 3>> triangulateFace(const std::vector<Vector3>& corners);
