#pragma once

#include <cstdint>

// A millisecond stopwatch over a signed 32-bit clock reading (real time by default).
class FrameTimer {
public:
    using Clock = std::int32_t (*)();

    // clock: the millisecond counter to read; tests hand in their own.
    explicit FrameTimer(Clock clock = nullptr);

    // lastTick = a reading of the clock.
    void start();
    // Seconds since lastTick, (now - lastTick) * 0.001 taken across any wrap of the counter;
    // then lastTick = a second, fresh reading (the time between the two readings is counted in
    // no frame).
    double elapsedSeconds();

private:
    Clock clock_;
    std::int32_t lastTick_ = 0;
};

// The frame-rate line's number: 1 / elapsedSeconds truncated toward zero. A frame measured at
// 0 ms (several frames within one clock tick) prints 1000, the rate of one tick, since 1 / 0 has
// no integer value.
int framesPerSecond(double elapsedSeconds);
