#pragma once

#include "geometry/Vector3.h"

// Watches what a step does to one ball, as it happens: told of every bounce and every respawn,
// so that a tool need not read the "collide!" lines or guess a respawn from the ball's state.
// Given per call of SimulationSettings::step, so balls flown on several threads each have their
// own; called on the thread that runs the step. Course units and seconds, world axes.
class StepObserver {
public:
    // A bounce, told after the step has resolved it and written its "collide!" line.
    struct Bounce {
        // The centre at the moment of contact, where the step has just put the ball.
        Vector3 contact;
        // The velocity the ball flew in with, and the one it leaves with (the step's average
        // velocity of the pass mirrored about the contact plane).
        Vector3 velocityIn;
        Vector3 velocityOut;
        // Seconds of the step left to fly from the contact.
        double remainingTime = 0.0;
    };
    // A respawn: the ball touched the course at or below the rest speed and was put back.
    struct Respawn {
        // The centre where the pass that touched the course began (the ball is not moved to the
        // contact), and the place it was put back at, at rest.
        Vector3 restedAt;
        Vector3 place;
    };

    virtual void bounced(const Bounce& bounce) = 0;
    virtual void respawned(const Respawn& respawn) = 0;

protected:
    ~StepObserver() = default;
};

// Counts bounces and respawns, the tally the batch tools report.
class StepCounter final : public StepObserver {
public:
    long long bounces = 0;
    long long respawns = 0;

    void bounced(const Bounce&) override { ++bounces; }
    void respawned(const Respawn&) override { ++respawns; }
};
