#pragma once

#include "geometry/Vector3.h"
#include "scene/Ball.h"

#include <memory>
#include <ostream>
#include <vector>

// The path of one ball as SimulationSettings::step flies it, for drawing. Course units.
struct FlightPath {
    // Polylines through the centre; a respawn ends one and starts the next. Points that lie on
    // the straight line between their neighbours are left out: with the step's constant
    // velocity between bounces, a free flight is one segment however many steps it takes.
    std::vector<std::vector<Vector3>> pieces;
    // The centre at every bounce, in the order flown.
    std::vector<Vector3> bounces;
    // Where the ball was put back, in the order flown.
    std::vector<Vector3> respawns;
    long long steps = 0;
};

// Records a flight without touching the physics: the settings' collide stream is pointed at the
// recorder, which reads the ball whenever "collide!" is written. At that moment the ball still
// holds the state it had at the start of the pass that found the contact (its position is the
// previous contact point, or the step's start) and the velocity it flew in with. The contact
// point of the last pass of a step is never held at such a moment; it is rebuilt from the time
// that pass had left and the step's end state (see finishStep).
class FlightRecorder {
public:
    explicit FlightRecorder(const Ball& ball);
    FlightRecorder(const FlightRecorder&) = delete;
    FlightRecorder& operator=(const FlightRecorder&) = delete;
    ~FlightRecorder();

    // The stream to give SimulationSettings::setCollideStream.
    std::ostream& collideStream();
    // Bounces written to the collide stream so far.
    long long collides() const;

    // Call before and after every step of dt seconds; `respawned` tells that the step put the
    // ball back.
    void startStep();
    void finishStep(double dt, bool respawned);

    const FlightPath& path() const { return path_; }

private:
    // The ball at the start of a pass that found a contact, with the velocity it flew in with.
    struct PassStart {
        Vector3 position;
        Vector3 velocity;
    };
    class CollideBuffer;

    void addPoint(const Vector3& point, bool corner);
    // The centre at the contact found by `pass`, which had `left` seconds to fly; the ball holds
    // the step's end state.
    Vector3 lastContact(const PassStart& pass, double left) const;

    const Ball& ball_;
    std::unique_ptr<CollideBuffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
    FlightPath path_;
    // Whether the last point of the current piece is a step end that a straight continuation
    // may replace.
    bool lastIsPlain_ = false;
};
