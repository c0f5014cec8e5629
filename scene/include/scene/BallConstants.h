#pragma once

#include "geometry/Vector3.h"

// The program's ball and where the step puts it back when it comes to rest: the fixed values the
// ball, the step, the course linter and the tools share. Course units and seconds, world axes
// (+y up).
namespace ball_constants {

// The ball's radius.
inline constexpr float radius = 0.6f;

// Where the program's ball starts, and its velocity then.
inline Vector3 startPosition() {
    return {20.0f, 0.0f, 0.0f};
}
inline Vector3 startVelocity() {
    return {-50.0f, -15.0f, 15.0f};
}

// The respawn region: a ball that touches the course at or below the rest speed is put back at
// rest at (x, respawnHeight, z), x and z whole numbers from -respawnReach to respawnReach, each
// drawn as respawnCoordinate of a draw of the generator.
inline constexpr int respawnReach = 20;
inline constexpr float respawnHeight = 10.0f;
// Whole numbers on each of the two axes: -respawnReach..respawnReach.
inline constexpr int respawnPlacesPerAxis = 2 * respawnReach + 1;

// The coordinate a draw (at least 0) gives: draw modulo respawnPlacesPerAxis, shifted to
// -respawnReach..respawnReach.
constexpr int respawnCoordinate(int draw) {
    return draw % respawnPlacesPerAxis - respawnReach;
}

} // namespace ball_constants
