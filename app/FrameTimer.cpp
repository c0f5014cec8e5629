#include "app/FrameTimer.h"

#include "scene/MillisecondClock.h"

#include <climits>

namespace {

// Seconds per tick of the millisecond clock.
constexpr double secondsPerTick = 0.001;

// The rate printed for a frame shorter than one tick: one frame per tick.
constexpr int rateOfOneTick = 1000;

} // namespace

FrameTimer::FrameTimer(Clock clock) : clock_(clock != nullptr ? clock : &millisecondClock) {}

void FrameTimer::start() {
    lastTick_ = clock_();
}

double FrameTimer::elapsedSeconds() {
    const std::int32_t now = clock_();
    const double elapsed = millisecondsBetween(lastTick_, now) * secondsPerTick;
    // A fresh reading, not `now`: whatever runs between the two readings belongs to no frame.
    lastTick_ = clock_();
    return elapsed;
}

int framesPerSecond(double elapsedSeconds) {
    if (elapsedSeconds == 0.0) {
        return rateOfOneTick;
    }
    const double rate = 1.0 / elapsedSeconds;
    // The clock never gives less than one tick, but converting a rate outside int's range (or a
    // NaN) would be undefined, so such inputs saturate (NaN reads as 0).
    if (!(rate < static_cast<double>(INT_MAX))) {
        return rate > 0.0 ? INT_MAX : 0;
    }
    if (!(rate > static_cast<double>(INT_MIN))) {
        return INT_MIN;
    }
    return static_cast<int>(rate);
}
