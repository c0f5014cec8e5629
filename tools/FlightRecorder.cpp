#include "tools/FlightRecorder.h"

#include "geometry/DoubleVector.h"
#include "tools/LineStreams.h"

#include <algorithm>
#include <cmath>
#include <streambuf>

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

// Takes the ball's state at every "collide!" line.
class FlightRecorder::CollideBuffer : public LineEndBuffer {
public:
    explicit CollideBuffer(const Ball& ball) : ball_(ball) {}

    // The ball at every "collide!" line of the current step.
    std::vector<PassStart> passes;
    long long lines = 0;

protected:
    void lineEnded() override {
        ++lines;
        passes.push_back({ball_.position(), ball_.velocity()});
    }

private:
    const Ball& ball_;
};

FlightRecorder::FlightRecorder(const Ball& ball)
    : ball_(ball), buffer_(std::make_unique<CollideBuffer>(ball)),
      stream_(std::make_unique<std::ostream>(buffer_.get())) {
    path_.pieces.push_back({ball.position()});
}

FlightRecorder::~FlightRecorder() = default;

std::ostream& FlightRecorder::collideStream() {
    return *stream_;
}

long long FlightRecorder::collides() const {
    return buffer_->lines;
}

void FlightRecorder::startStep() {
    buffer_->passes.clear();
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

// passes[k] is the ball at the start of the pass that found contact k (from 0): the step's start
// for k = 0, the point contact k - 1 put it at otherwise. Passes fly at constant velocity (the
// settings have no acceleration), so pass k took its length over its speed; the last contact,
// whose point no later pass shows, lies where its pass's straight line meets the straight line
// back from the step's end along the final velocity, after the time that was left:
//   end = start + v_in s + v_out (left - s)   =>   s = (end - start - v_out left).(v_in - v_out)
//                                                       / |v_in - v_out|^2
void FlightRecorder::finishStep(double dt, bool respawned) {
    ++path_.steps;
    const std::vector<PassStart>& passes = buffer_->passes;
    double elapsed = 0.0;
    for (std::size_t k = 1; k < passes.size(); ++k) {
        const Vector3 contact = passes[k].position;
        const double speed = length(toDouble(passes[k - 1].velocity));
        const double flown = length(toDouble(contact) - toDouble(passes[k - 1].position));
        elapsed += speed > 0.0 ? flown / speed : 0.0;
        path_.bounces.push_back(contact);
        addPoint(contact, true);
    }
    if (!passes.empty()) {
        const Vector3 contact = lastContact(passes.back(), std::max(0.0, dt - elapsed));
        path_.bounces.push_back(contact);
        addPoint(contact, true);
    }
    if (respawned) {
        // The step put the ball back without flying it: the piece ends where the step began.
        path_.respawns.push_back(ball_.position());
        path_.pieces.push_back({ball_.position()});
        lastIsPlain_ = false;
        return;
    }
    addPoint(ball_.position(), false);
}

Vector3 FlightRecorder::lastContact(const PassStart& pass, double left) const {
    const DoubleVector start = toDouble(pass.position);
    const DoubleVector in = toDouble(pass.velocity);
    const DoubleVector out = toDouble(ball_.velocity());
    const DoubleVector end = toDouble(ball_.position());
    const DoubleVector change = in - out;
    const DoubleVector gap = {end.x - start.x - out.x * left, end.y - start.y - out.y * left,
                              end.z - start.z - out.z * left};
    const double changeSquared = dot(change, change);
    const double s =
        changeSquared > 0.0 ? std::clamp(dot(gap, change) / changeSquared, 0.0, left) : 0.0;
    return {static_cast<float>(start.x + in.x * s), static_cast<float>(start.y + in.y * s),
            static_cast<float>(start.z + in.z * s)};
}
