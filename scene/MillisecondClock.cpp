#include "scene/MillisecondClock.h"

#include <chrono>

std::int32_t millisecondClock() {
    // steady_clock counts real time and never steps back; clock() would count processor time.
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(sinceEpoch.count()));
}

std::int32_t millisecondsBetween(std::int32_t earlier, std::int32_t later) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) -
                                     static_cast<std::uint32_t>(earlier));
}
