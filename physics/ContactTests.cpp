// The exact tests between the moving ball and one triangle's face, edges and vertices.
//
// The centre moves in a straight line from `from` to `to` during one pass; every result is the
// fraction t of that move (0 at `from`) at which the sphere of radius r first touches the feature,
// exactly 1.0 when it does not. Contacts are one-sided: only a ball moving against the face normal
// n can touch, so a triangle is passed through from behind.
#include "physics/SimulationSettings.h"

#include <cmath>

namespace {

constexpr float noContact = 1.0f;

bool withinMove(float t) { return t >= 0.0f && t <= 1.0f; }

} // namespace

float SimulationSettings::earliestRoot(float a, float b, float c) {
    // a t^2 + b t + c = 0. With a = 0 there is no relative motion: no finite root to report.
    if (a == 0.0f) {
        return noContact;
    }
    const double discriminant = double(b) * b - double(a) * c * 4.0;
    if (discriminant < 0.0) {
        return noContact; // the path never comes within reach
    }
    const double s = std::sqrt(discriminant);
    const float r1 = static_cast<float>((s - b) / (2.0 * a));
    const float r2 = static_cast<float>((-b - s) / (2.0 * a));
    if (withinMove(r1)) {
        return withinMove(r2) && r2 <= r1 ? r2 : r1;
    }
    return withinMove(r2) ? r2 : noContact;
}

namespace {

// Whether the point c of frame 0, dropped onto the plane y = 0, lies inside the triangle whose
// standard copy has v0 at the origin, v1 at l1 (z > 0) and v2 at l2 on the +x axis. Widened by
// `tolerance` only across the edge v0-v2 (the x axis), and across v0-v1 when that edge lies
// exactly on the z axis.
bool insideFace(const Vector3& c, const Vector3& l1, const Vector3& l2, float tolerance) {
    // Edge v0 -> v1: the interior lies towards +x of the line x = l1.x * z / l1.z.
    const bool insideFirstEdge =
        l1.x == 0.0f ? c.x > -tolerance : double(l1.x) * c.z / l1.z < c.x;
    // Edge v1 -> v2: the interior lies towards -x of the line through l1 and l2.
    const bool insideSecondEdge =
        double(l2.x) + (double(l1.x) - l2.x) * (double(c.z) - l2.z) / (double(l1.z) - l2.z) > c.x;
    // Edge v0 -> v2 (the x axis) and the apex height l1.z bound z.
    return insideFirstEdge && insideSecondEdge && c.z > -tolerance && c.z < l1.z;
}

} // namespace

float SimulationSettings::faceContactTime(Vector3 from, Vector3 to, float radius,
                                          const Triangle& triangle, Vector3 normal) const {
    // Frame 0: the triangle in y = 0 with its normal along +y, so a centre's height above the
    // face's plane is its y.
    const float* frame = triangle.matrix(0);
    const Vector3 p = from.transformPoint(frame);
    const Vector3 q = to.transformPoint(frame);
    const Vector3 l1 = *triangle.link()->vertex(1);
    const Vector3 l2 = *triangle.link()->vertex(2);
    const float approach = (to - from).dot(normal);

    // Resting on the face: the centre starts in front of the plane and within r of it, over the
    // inside, closing in. A neighbour's slightly different frame can judge a ball placed exactly
    // at contact as sunk by more than epsilon; without this the ball would slip through.
    if (p.y >= 0.0f && p.y <= radius && approach < 0.0f && insideFace(p, l1, l2, epsilon)) {
        return 0.0f;
    }
    if (approach > 0.0f) {
        return noContact; // moving away from the front of the face
    }
    if (double(radius) - p.y > epsilon) {
        return noContact; // already sunk into the plane at the start: behind or inside the face
    }
    if (q.y == p.y) {
        return noContact; // moving parallel to the plane
    }
    // height(u) = p.y + u (q.y - p.y) = r
    const float u = static_cast<float>((double(radius) - p.y) / (double(q.y) - p.y));
    if (!withinMove(u)) {
        return noContact;
    }
    const Vector3 centre = p + u * (q - p);
    if (!insideFace(centre, l1, l2, epsilon)) {
        return noContact; // the touching point lies off the face: left to the edges and vertices
    }
    return u;
}

SimulationSettings::FeatureContact
SimulationSettings::edgeContact(Vector3 from, Vector3 to, float radius, Vector3 edgeEnd,
                                const float* matrix, Vector3 normal) const {
    // Frame of the edge: the edge runs along +x from the origin to edgeEnd, so the centre's
    // distance from the edge's line is the length of its (y, z).
    const Vector3 p = from.transformPoint(matrix);
    const Vector3 q = to.transformPoint(matrix);
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const float dz = q.z - p.z;
    const float approach = (to - from).dot(normal);

    // (p.y + t dy)^2 + (p.z + t dz)^2 = r^2
    const float a = static_cast<float>(double(dz) * dz + double(dy) * dy);
    const float b = static_cast<float>(2.0 * (double(dz) * p.z + double(dy) * p.y));
    const float c =
        static_cast<float>(double(p.y) * p.y + double(p.z) * p.z - double(radius) * radius);

    FeatureContact contact;
    // Already touching the edge (within about epsilon of r): a contact now if closing in over
    // the edge's span, otherwise none. The later root, where the sphere would leave the edge,
    // is never reported.
    if (c <= 2.0 * radius * epsilon) {
        if (b < 0.0f && approach < 0.0f && p.x >= 0.0f && p.x <= edgeEnd.x) {
            contact.time = 0.0f;
            contact.touchingAtStart = true;
            // (0, p.y, p.z) back to world axes with the transpose of the frame's rotation.
            Vector3 outward;
            for (int i = 0; i < 3; ++i) {
                outward[i] = static_cast<float>(double(matrix[4 * i + 1]) * p.y +
                                                double(matrix[4 * i + 2]) * p.z);
            }
            contact.featureNormal = outward.length() > 0.0f ? outward.normalize() : normal;
        }
        return contact;
    }

    const float t = earliestRoot(a, b, c);
    if (t >= 1.0f) {
        return contact;
    }
    const float along = static_cast<float>(p.x + double(t) * dx);
    if (along < 0.0f || along > edgeEnd.x) {
        return contact; // the touching point lies beyond an end: left to the vertex tests
    }
    if (approach >= 0.0f) {
        return contact; // moving away from the face or parallel to it never touches an edge
    }
    contact.time = t;
    return contact;
}

float SimulationSettings::edgeContactTime(Vector3 from, Vector3 to, float radius, Vector3 edgeEnd,
                                          const float* matrix, Vector3 normal) const {
    return edgeContact(from, to, radius, edgeEnd, matrix, normal).time;
}

SimulationSettings::FeatureContact
SimulationSettings::vertexContact(Vector3 from, Vector3 to, float radius, Vector3 vertex,
                                  Vector3 normal) const {
    // World axes: |from + t d - V|^2 = r^2 with d = to - from.
    const Vector3 d = to - from;
    const float approach = d.dot(normal);
    const double fx = from.x, fy = from.y, fz = from.z;
    const double vx = vertex.x, vy = vertex.y, vz = vertex.z;
    const float a = static_cast<float>(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
    const float b = static_cast<float>(
        2.0 * ((fx - vx) * d.x + (fz - vz) * d.z + (fy - vy) * d.y));
    const float c = static_cast<float>(((vx * vx + fx * fx) - 2.0 * fx * vx) +
                                       ((vy * vy + fy * fy) - 2.0 * fy * vy) +
                                       ((vz * vz + fz * fz) - 2.0 * fz * vz) -
                                       double(radius) * radius);

    FeatureContact contact;
    // Already touching the vertex: a contact now if closing in, otherwise none (the later root is
    // the moment the sphere would leave it).
    if (c <= 2.0 * radius * epsilon) {
        if (b < 0.0f && approach < 0.0f) {
            contact.time = 0.0f;
            contact.touchingAtStart = true;
            Vector3 outward = from - vertex;
            contact.featureNormal = outward.length() > 0.0f ? outward.normalize() : normal;
        }
        return contact;
    }

    const float t = earliestRoot(a, b, c);
    if (t == noContact || approach > 0.0f) {
        return contact;
    }
    contact.time = t;
    return contact;
}

float SimulationSettings::vertexContactTime(Vector3 from, Vector3 to, float radius,
                                            Vector3 vertex, Vector3 normal) const {
    return vertexContact(from, to, radius, vertex, normal).time;
}
