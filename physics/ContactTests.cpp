// The exact tests between the moving ball and one triangle's face, edges and vertices.
//
// The centre moves in a straight line from `from` to `to` during one pass; every result is the
// fraction t of that move (0 at `from`) at which the sphere of radius r first touches the feature,
// exactly 1.0 when it does not. Contacts are one-sided: only a ball moving against the face normal
// n can touch, so a triangle is passed through from behind.
//
// The contact rules, as first written, let a ball slip through the course or stick in it in a
// few cases; seven fixes mend them, each cited where it is applied as "(fix N)":
//
//  1. A result of exactly 1.0 is no contact and is never simultaneous with anything: it never
//     adds its triangle's normal, even when the earliest contact lies within epsilon below 1.0
//     (an untouched triangle would bend the bounce).
//  2. Face test, before its other steps: a centre that starts in front of the face's plane and
//     within r of it (0 <= p.y <= r), closing in (D . n < 0), over the inside of the face at p
//     itself, touches now (0). (A ball placed at a contact by one triangle is judged sunk by more
//     than epsilon by its neighbour's slightly inexact frame, and would slip through.)
//  3. Edge and vertex tests, before the roots: a centre that starts within about epsilon of r of
//     the edge's line or of the vertex (c <= 2 r epsilon) touches now (0) when closing in (b < 0,
//     D . n < 0 and, for an edge, 0 <= p.x <= the edge's length), and otherwise not at all; the
//     later root, where the sphere would leave the feature, is never reported.
//  4. A contact at 0 from fix 3 merges the unit vector from the feature to the centre (for edge
//     k, (0, p.y, p.z) of frame k turned back to world axes with the transpose of the frame's
//     rotation; for a vertex, from - V), or the face normal when that vector has length 0. (With
//     the face normal, a ball wedged on the edge of a double-sided wall bounces between its two
//     sides at t = 0 forever.)
//  5. A merged contact normal of zero length or with a non-finite component sends the ball
//     straight back (minus its average velocity) instead of turning it NaN.
//  6. A triangle whose normal is not finite (degenerate) takes part in no contact test.
//  7. At most SimulationSettings::maxPassesPerStep (10000) passes a step; past that the rest of
//     the step is dropped and standard error says so once.
#include "physics/SimulationSettings.h"

#include <algorithm>
#include <cmath>

namespace {

bool withinMove(float t) {
    return t >= 0.0f && t <= 1.0f;
}

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
// standard copy has v0 at the origin, v1 at (apexX, 0, apexZ) with apexZ > 0 and v2 at
// (baseX, 0, baseZ) on the +x axis. Widened by `tolerance` only across the edge v0-v2 (the x
// axis), and across v0-v1 when that edge lies exactly on the z axis.
bool insideFace(const Vector3& c, float apexX, float apexZ, float baseX, float baseZ,
                float tolerance) {
    // Edge v0 -> v1: the interior lies towards +x of the line x = apexX * z / apexZ.
    const bool insideFirstEdge =
        apexX == 0.0f ? c.x > -tolerance : double(apexX) * c.z / apexZ < c.x;
    // Edge v1 -> v2: the interior lies towards -x of the line through v1 and v2.
    const bool insideSecondEdge =
        double(baseX) + (double(apexX) - baseX) * (double(c.z) - baseZ) / (double(apexZ) - baseZ) >
        c.x;
    // Edge v0 -> v2 (the x axis) and the apex height apexZ bound z.
    return insideFirstEdge && insideSecondEdge && c.z > -tolerance && c.z < apexZ;
}

// The face test on a move already carried into frame 0 (p to q), where the triangle lies in
// y = 0 with its normal along +y, so a centre's height above the face's plane is its y.
// `approach` is D . n, the world move against the face normal.
float faceTime(const Vector3& p, const Vector3& q, float radius, float approach, float apexX,
               float apexZ, float baseX, float baseZ, float epsilon) {
    // Resting on the face (fix 2): the centre starts in front of the plane and within r of it,
    // over the inside, closing in. A neighbour's slightly different frame can judge a ball placed
    // exactly at contact as sunk by more than epsilon; without this the ball would slip through.
    if (p.y >= 0.0f && p.y <= radius && approach < 0.0f &&
        insideFace(p, apexX, apexZ, baseX, baseZ, epsilon)) {
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
    if (!insideFace(centre, apexX, apexZ, baseX, baseZ, epsilon)) {
        return noContact; // the touching point lies off the face: left to the edges and vertices
    }
    return u;
}

// A contact at `time` that merges `normal`. An edge or vertex touched at the start of the move,
// closing in, merges the direction from the feature to the centre (fix 4); every other contact
// merges the triangle's face normal.
ContactResult contactAt(float time, const Vector3& normal) {
    ContactResult contact;
    contact.time = time;
    contact.normal[0] = normal.x;
    contact.normal[1] = normal.y;
    contact.normal[2] = normal.z;
    return contact;
}

// The edge test on a move already carried into the edge's frame (p to q), where the edge runs
// along +x from the origin to x = edgeLength, so the centre's distance from the edge's line is
// the length of its (y, z). `matrix` is that frame, to carry a touching normal back to world axes.
ContactResult edgeContact(const Vector3& p, const Vector3& q, float radius, float approach,
                          float edgeLength, const float* matrix, const Vector3& normal,
                          float epsilon) {
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const float dz = q.z - p.z;

    // (p.y + t dy)^2 + (p.z + t dz)^2 = r^2
    const float a = static_cast<float>(double(dz) * dz + double(dy) * dy);
    const float b = static_cast<float>(2.0 * (double(dz) * p.z + double(dy) * p.y));
    const float c =
        static_cast<float>(double(p.y) * p.y + double(p.z) * p.z - double(radius) * radius);

    // Already touching the edge (within about epsilon of r, the touching band): a contact now if
    // closing in over the edge's span, otherwise none (fix 3). The later root, where the sphere
    // would leave the edge, is never reported.
    if (c <= 2.0 * radius * epsilon) {
        if (b < 0.0f && approach < 0.0f && p.x >= 0.0f && p.x <= edgeLength) {
            // (0, p.y, p.z) back to world axes with the transpose of the frame's rotation (fix 4).
            Vector3 outward;
            for (int i = 0; i < 3; ++i) {
                outward[i] = static_cast<float>(double(matrix[4 * i + 1]) * p.y +
                                                double(matrix[4 * i + 2]) * p.z);
            }
            return contactAt(0.0f, outward.length() > 0.0f ? outward.normalize() : normal);
        }
        return {};
    }

    const float t = SimulationSettings::earliestRoot(a, b, c);
    if (t >= 1.0f) {
        return {};
    }
    const float along = static_cast<float>(p.x + double(t) * dx);
    if (along < 0.0f || along > edgeLength) {
        return {}; // the touching point lies beyond an end: left to the vertex tests
    }
    if (approach >= 0.0f) {
        return {}; // moving away from the face or parallel to it never touches an edge
    }
    return contactAt(t, normal);
}

// The vertex test in world coordinates: |from + t d - V|^2 = r^2 with d = to - from.
ContactResult vertexContact(const Vector3& from, const Vector3& d, float radius, float approach,
                            const Vector3& vertex, const Vector3& normal, float epsilon) {
    const double fx = from.x, fy = from.y, fz = from.z;
    const double vx = vertex.x, vy = vertex.y, vz = vertex.z;
    const float a = static_cast<float>(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
    const float b = static_cast<float>(2.0 * ((fx - vx) * d.x + (fz - vz) * d.z + (fy - vy) * d.y));
    const float c = static_cast<float>(
        ((vx * vx + fx * fx) - 2.0 * fx * vx) + ((vy * vy + fy * fy) - 2.0 * fy * vy) +
        ((vz * vz + fz * fz) - 2.0 * fz * vz) - double(radius) * radius);

    // Already touching the vertex: a contact now if closing in, otherwise none (fix 3; the later
    // root is the moment the sphere would leave it). The contact merges the direction from the
    // vertex to the centre (fix 4).
    if (c <= 2.0 * radius * epsilon) {
        if (b < 0.0f && approach < 0.0f) {
            Vector3 outward = from - vertex;
            return contactAt(0.0f, outward.length() > 0.0f ? outward.normalize() : normal);
        }
        return {};
    }

    const float t = SimulationSettings::earliestRoot(a, b, c);
    if (t == noContact || approach > 0.0f) {
        return {};
    }
    return contactAt(t, normal);
}

} // namespace

TriangleContacts SimulationSettings::contactsOf(const BallMove& move,
                                                const ContactTriangle& triangle) const {
    TriangleContacts contacts;
    const Vector3 normal = triangle.faceNormal();
    const float approach = move.delta.dot(normal);
    if (approach > 0.0f) {
        // Moving away from the front of the face: every one of the seven tests below reports no
        // contact (each requires D . n <= 0, and a touching start requires D . n < 0).
        return contacts;
    }
    const float radius = move.radius;

    // Frame 0 serves the face test and edge 0 alike.
    const Vector3 p0 = move.from.transformPoint(triangle.matrix(0));
    const Vector3 q0 = move.to.transformPoint(triangle.matrix(0));
    contacts.setFace(contactAt(faceTime(p0, q0, radius, approach, triangle.apexX, triangle.apexZ,
                                        triangle.baseX, triangle.baseZ, epsilon),
                               normal));
    for (int v = 0; v < 3; ++v) {
        contacts.setVertex(v, vertexContact(move.from, move.delta, radius, approach,
                                            triangle.corner(v), normal, epsilon));
    }
    for (int k = 0; k < 3; ++k) {
        const float* frame = triangle.matrix(k);
        const Vector3 p = k == 0 ? p0 : move.from.transformPoint(frame);
        const Vector3 q = k == 0 ? q0 : move.to.transformPoint(frame);
        contacts.setEdge(
            k, edgeContact(p, q, radius, approach, triangle.edgeLength[k], frame, normal, epsilon));
    }
    return contacts;
}

void SimulationSettings::collideTriangle(const BallMove& move, const ContactTriangle& triangle,
                                         ContactAccumulator& contacts) const {
    contactsOf(move, triangle).mergeInto(contacts);
}

float SimulationSettings::faceContactTime(Vector3 from, Vector3 to, float radius,
                                          const Triangle& triangle, Vector3 normal) const {
    const float* frame = triangle.matrix(0);
    const Vector3& apex = *triangle.link()->vertex(1);
    const Vector3& base = *triangle.link()->vertex(2);
    return faceTime(from.transformPoint(frame), to.transformPoint(frame), radius,
                    (to - from).dot(normal), apex.x, apex.z, base.x, base.z, epsilon);
}

float SimulationSettings::edgeContactTime(Vector3 from, Vector3 to, float radius, Vector3 edgeEnd,
                                          const float* matrix, Vector3 normal) const {
    return edgeContact(from.transformPoint(matrix), to.transformPoint(matrix), radius,
                       (to - from).dot(normal), edgeEnd.x, matrix, normal, epsilon)
        .time;
}

float SimulationSettings::vertexContactTime(Vector3 from, Vector3 to, float radius, Vector3 vertex,
                                            Vector3 normal) const {
    const Vector3 d = to - from;
    return vertexContact(from, d, radius, d.dot(normal), vertex, normal, epsilon).time;
}
