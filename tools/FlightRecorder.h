#pragma once

#include "geometry/Vector3.h"
#include "physics/StepObserver.h"
#include "scene/Ball.h"

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

// Records a flight as the step tells it (a StepObserver given to every step): each bounce's
// contact point as the step found it, each respawn's place, and the ball's place at the end of
// every step.
class FlightRecorder : public StepObserver {
public:
    explicit FlightRecorder(const Ball& ball);
    FlightRecorder(const FlightRecorder&) = delete;
    FlightRecorder& operator=(const FlightRecorder&) = delete;

    void bounced(const Bounce& bounce) override;
    void respawned(const Respawn& respawn) override;
    // Call after every step.
    void finishStep();

    // Bounces so far.
    long long bounces() const { return static_cast<long long>(path_.bounces.size()); }
    const FlightPath& path() const { return path_; }

private:
    void addPoint(const Vector3& point, bool corner);

    const Ball& ball_;
    FlightPath path_;
    // Whether the last point of the current piece is a step end that a straight continuation
    // may replace.
    bool lastIsPlain_ = false;
    // Whether the current step put the ball back: its piece then starts at the respawn place.
    bool respawnedThisStep_ = false;
};
