#pragma once

// The state of one sweep that the contact index keeps in the caller's search context between
// the steps of a query. Apart from the culling margin's derivation and its bounds
// (ContactReach.h), which only the index's own code and its tests need, so that a program
// holding a ContactSearch does not compile them.
namespace contact_reach {

// The move's share of the margin, with the segment it is measured from.
struct SweepReach {
    // The centre's path from + t delta, t in [0, 1], in double (the floats, exactly).
    double from[3];
    double delta[3];
    double inverseDelta[3];
    // r + the move's share of delta, course units.
    double reach;
    // The segment's bounds grown by reach, and the same rounded outward to float.
    double lower[3];
    double upper[3];
    float lowerFloat[3];
    float upperFloat[3];
};

} // namespace contact_reach
