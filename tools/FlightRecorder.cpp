#include "FlightRecorder.h"

#include "geometry/DoubleVector.h"

#include <algorithm>
#include <cmath>

namespace {

// A point is left out of the path when the line between its neighbours passes this close to
// it: a thousandth of a percent of that line's length (invisible in any drawing; a bounce or
// a curve under acceleration turns far more), plus the float rounding of the positions
// themselves, a few ulps of the largest coordinate (which matters where a step ends within a
// hair of a bounce).
constexpr double straightTolerance = 1e-5;
constexpr double roundingTolerance = 1e-6;

// Whether b lies on the straight segment from a to c, within the tolerances above.
bool continuesStraight(const Vector3& a, const Vector3& b, const Vector3& c) {
    const DoubleVector chord = toDouble(c) - toDouble(a);
    const DoubleVector offset = toDouble(b) - toDouble(a);
    const double chordSquared = dot(chord, chord);
    const double along = chordSquared > 0.0 ? dot(offset, chord) / chordSquared : 0.0;
    if (along < 0.0 || along > 1.0) {
        return false; // b lies before a or beyond c: the path turns back
    }
    const DoubleVector off = {offset.x - chord.x * along, offset.y - chord.y * along,
                              offset.z - chord.z * along};
    double largest = 0.0;
    for (const Vector3* p : {&a, &b, &c}) {
        largest = std::max(
            {largest, std::fabs(double(p->x)), std::fabs(double(p->y)), std::fabs(double(p->z))});
    }
    return length(off) <= straightTolerance * std::sqrt(chordSquared) + roundingTolerance * largest;
}

} // namespace

FlightRecorder::FlightRecorder(const Ball& ball) : ball_(ball) {
    path_.pieces.push_back({ball.position()});
}

void FlightRecorder::bounced(const Bounce& bounce) {
    path_.bounces.push_back(bounce.contact);
    addPoint(bounce.contact, true);
}

void FlightRecorder::respawned(const Respawn& respawn) {
    // The step put the ball back without flying it: the piece ends where the pass began, and
    // the next starts at the place.
    path_.respawns.push_back(respawn.place);
    path_.pieces.push_back({respawn.place});
    lastIsPlain_ = false;
    respawnedThisStep_ = true;
}

void FlightRecorder::finishStep() {
    ++path_.steps;
    if (!respawnedThisStep_) {
        addPoint(ball_.position(), false);
    }
    respawnedThisStep_ = false;
}

void FlightRecorder::addPoint(const Vector3& point, bool corner) {
    std::vector<Vector3>& piece = path_.pieces.back();
    if (lastIsPlain_ && piece.size() >= 2 &&
        continuesStraight(piece[piece.size() - 2], piece.back(), point)) {
        piece.back() = point;
    } else if (piece.empty() || piece.back() != point || corner) {
        piece.push_back(point);
    }
    lastIsPlain_ = !corner;
}
