#pragma once

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"
#include "scene/Ball.h"
#include "scene/CollisionBox.h"

#include <iostream>
#include <optional>
#include <vector>

// The simulation's constants and the operations that run on them: the step, the per-box contact
// search and the exact swept-sphere contact tests.
//
// Contact times are fractions of the ball's straight move within one pass of a step: 0 at its
// start, values below 1 are contacts, exactly 1.0 means no contact.
class SimulationSettings {
public:
    // Constant acceleration in course units per second squared; none, so flights are straight.
    Vector3 acceleration{0.0f, 0.0f, 0.0f};
    // Speed in course units per second at or below which a ball touching the course is at rest.
    float restSpeed = 0.5f;
    // Tolerance in course units (box test, face test) and in contact-time fractions (merging).
    float epsilon = 1e-5f;
    // Passes of one step after which the rest of the time step is dropped (a safety net; sound
    // flights need a handful).
    static constexpr int maxPassesPerStep = 10000;

    // Seeds the C library's generator once from the millisecond clock.
    SimulationSettings();

    // Advances the ball by dt seconds: flies it to the earliest contact, mirrors its velocity
    // about the contact normal without loss of speed, and goes on with the remaining time, pass
    // after pass. A ball at or below restSpeed that touches the course is put back at rest at a
    // random (x, 10, z), x and z whole numbers in -20..20. Each bounce writes "collide!" to the
    // collide stream.
    void step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt);

    // Runs the seven tests of every triangle of the box on the move from -> to and merges each
    // result into `earliest` and `contactNormal` (the sum of the normals touched at `earliest`).
    void collideBox(Vector3 from, Vector3 to, float radius, const CollisionBox& box,
                    Vector3& contactNormal, float& earliest) const;

    float faceContactTime(Vector3 from, Vector3 to, float radius, const Triangle& triangle,
                          Vector3 normal) const;
    float edgeContactTime(Vector3 from, Vector3 to, float radius, Vector3 edgeEnd,
                          const float* matrix, Vector3 normal) const;
    float vertexContactTime(Vector3 from, Vector3 to, float radius, Vector3 vertex,
                            Vector3 normal) const;
    // The earliest root of a t^2 + b t + c = 0 within [0, 1], or 1.0 when there is none.
    static float earliestRoot(float a, float b, float c);

    // Where "collide!" lines go: standard output unless another stream is given.
    void setCollideStream(std::ostream& stream) { collideStream_ = &stream; }

private:
    // An edge or vertex result with the normal it merges. A sphere that already touches the
    // feature at the start of the move and closes in on it is a contact at 0 whose normal points
    // from the feature to the centre; every other contact merges the triangle's face normal.
    struct FeatureContact {
        float time = 1.0f;
        bool touchingAtStart = false;
        // Unit vector from the feature to the centre, world axes; set when touchingAtStart.
        Vector3 featureNormal;
    };

    FeatureContact edgeContact(Vector3 from, Vector3 to, float radius, Vector3 edgeEnd,
                               const float* matrix, Vector3 normal) const;
    FeatureContact vertexContact(Vector3 from, Vector3 to, float radius, Vector3 vertex,
                                 Vector3 normal) const;
    // Whether t lies within epsilon of the earliest contact so far; "no contact" on either side
    // (exactly 1.0) is never simultaneous with anything.
    bool isSimultaneous(float t, float earliest) const;
    // Flies the ball through one pass of a step of dt seconds; returns the time left to
    // simulate after a bounce, or nothing when the step is over.
    std::optional<double> runPass(Ball& ball, const std::vector<CollisionBox>& boxes, double dt);

    std::ostream* collideStream_ = &std::cout;
    bool passLimitReported_ = false;
};
