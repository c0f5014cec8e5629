#pragma once

#include "geometry/Triangle.h"
#include "geometry/Vector3.h"
#include "physics/Contact.h"
#include "physics/ContactIndex.h"
#include "physics/ContactTriangle.h"
#include "physics/StepObserver.h"
#include "scene/Ball.h"
#include "scene/CollisionBox.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

// The simulation's constants and the operations that run on them: the step, the contact search
// over the boxes and the exact swept-sphere contact tests.
//
// Contact times are fractions of the ball's straight move within one pass of a step: 0 at its
// start, values below 1 are contacts, exactly 1.0 (noContact) means no contact.
class SimulationSettings {
public:
    // Constant acceleration in course units per second squared; none, so flights are straight.
    Vector3 acceleration{0.0f, 0.0f, 0.0f};
    // Speed in course units per second at or below which a ball touching the course is at rest.
    float restSpeed = 0.5f;
    // Tolerance in course units (box test, face test) and in contact-time fractions (merging).
    float epsilon = 1e-5f;
    // Passes of one step after which the rest of the time step is dropped (a safety net; sound
    // flights need a handful; fix 7 of the contact rules, listed in ContactTests.cpp).
    static constexpr int maxPassesPerStep = 10000;

    // Seeds the C library's generator once from the millisecond clock.
    SimulationSettings();

    // Advances the ball by dt seconds: flies it to the earliest contact, mirrors its velocity
    // about the contact normal without loss of speed, and goes on with the remaining time, pass
    // after pass. A ball at or below restSpeed that touches the course is put back at rest at a
    // random (x, 10, z), x and z whole numbers in -20..20. Each bounce writes "collide!" to the
    // collide stream.
    void step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt);
    // The same, telling `observer` of every bounce (after its "collide!" line) and every respawn.
    void step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt,
              StepObserver& observer);
    // The same, searching through the contact index with the caller's context: so one index,
    // and one course, serve a ball on every thread (each thread with its own settings and
    // context). The plain call uses a context of the calling thread's own. The observer, when
    // given, is told of every bounce and respawn.
    void step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt, ContactSearch& search,
              StepObserver* observer = nullptr);

    // The contact search of one pass: merges into `earliest` and `contactNormal` every contact of
    // the move from -> to with the triangles of the boxes, in the boxes' order and in each box
    // in its triangles' order. Through the contact index given to useContactIndex when it was
    // built for these boxes, otherwise by testing every triangle of every box whose bounds the
    // sweep overlaps; both give the same result, bit for bit.
    void findEarliestContact(Vector3 from, Vector3 to, float radius,
                             const std::vector<CollisionBox>& boxes, Vector3& contactNormal,
                             float& earliest) const;
    // The same with the caller's context for the index's query (its statistics count this
    // search too).
    void findEarliestContact(Vector3 from, Vector3 to, float radius,
                             const std::vector<CollisionBox>& boxes, ContactSearch& search,
                             Vector3& contactNormal, float& earliest) const;

    // Runs the seven tests of every triangle of the box on the move from -> to and merges each
    // result into `earliest` and `contactNormal` (the sum of the normals touched at `earliest`).
    void collideBox(Vector3 from, Vector3 to, float radius, const CollisionBox& box,
                    Vector3& contactNormal, float& earliest) const;

    // The seven tests of one triangle (face, vertices v0 v1 v2, edges 0 1 2), merged into
    // `contacts` in that order.
    void collideTriangle(const BallMove& move, const ContactTriangle& triangle,
                         ContactAccumulator& contacts) const;
    // The seven results of one triangle, unmerged.
    TriangleContacts contactsOf(const BallMove& move, const ContactTriangle& triangle) const;

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
    // Where the warning about a step cut short at maxPassesPerStep goes (once): standard error
    // unless another stream is given.
    void setWarningStream(std::ostream& stream) { warningStream_ = &stream; }
    // Steps so far whose rest was dropped at maxPassesPerStep; each such flight is cut short.
    long long passLimitSteps() const { return passLimitSteps_; }

    // The generator a respawn draws its two whole numbers from (each at least 0, taken modulo
    // 41), in place of the C library's rand(); an empty function gives rand() back. Batch tools
    // give each ball a generator of its own, so that its respawns do not depend on the order in
    // which balls fly.
    void setRespawnDraw(std::function<int()> draw) { respawnDraw_ = std::move(draw); }

    // The index the contact search picks its candidates from (none: every triangle of every box
    // the sweep overlaps). It is used only for the box list it was built for; it must outlive
    // its use here and stay unchanged, as must the boxes.
    void useContactIndex(const ContactIndex* index) { index_ = index; }

private:
    // Candidates up to which a search tests every one in turn: below, ordering them earliest
    // first costs more than the tests it spares.
    static constexpr std::size_t testInTurnUpTo = 16;

    // Flies the ball through one pass of a step of dt seconds; returns the time left to
    // simulate after a bounce, or nothing when the step is over.
    std::optional<double> runPass(Ball& ball, const std::vector<CollisionBox>& boxes, double dt,
                                  ContactSearch& search, StepObserver* observer);
    // One draw for a respawn place: respawnDraw_ when given, otherwise rand().
    int drawRespawn() const { return respawnDraw_ ? respawnDraw_() : std::rand(); }

    std::ostream* warningStream_ = &std::cerr;
    long long passLimitSteps_ = 0;
    std::function<int()> respawnDraw_;

    std::ostream* collideStream_ = &std::cout;
    bool passLimitReported_ = false;
    const ContactIndex* index_ = nullptr;
    // Set by the first search given a box list the index was not built for, so that the warning
    // is said once; atomic, since settings shared by threads search at the same time.
    mutable std::atomic<bool> foreignBoxesReported_ = false;
};
