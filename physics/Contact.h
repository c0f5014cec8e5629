#pragma once

#include "geometry/Vector3.h"

#include <cmath>

// The vocabulary of the contact search: a contact time, the ball's move, and the merging of many
// tests' results into the one contact a pass of the step acts on.

// Contact times are fractions of the ball's straight move within one pass: 0 at its start,
// values below 1 are contacts, exactly 1.0 means no contact.
inline constexpr float noContact = 1.0f;

// One pass's move of the ball's centre in world coordinates, from `from` to `to`, with the
// ball's radius in course units.
struct BallMove {
    BallMove(const Vector3& from, const Vector3& to, float radius)
        : from(from), to(to), delta(to - from), radius(radius) {}

    Vector3 from;
    Vector3 to;
    // to - from, rounded as every contact test computes it.
    Vector3 delta;
    float radius;
};

// The earliest contact found so far on a move and the sum of the normals touched at it, merged
// test by test in the order the search runs them.
//
// Two results are simultaneous when they lie within `epsilon` (a fraction of the move) of each
// other; "no contact" on either side is never simultaneous with anything. A face result that is
// simultaneous adds its normal and keeps `earliest`; an earlier one replaces both. An edge or
// vertex result that is simultaneous adds its normal, and then, if it is earlier, replaces the
// sum by its own normal alone.
class ContactAccumulator {
public:
    ContactAccumulator(float earliest, const Vector3& contactNormal, float epsilon)
        : earliest_(earliest), contactNormal_(contactNormal), epsilon_(epsilon) {}

    float earliest() const { return earliest_; }
    // The sum of the normals touched at earliest(), not normalised.
    const Vector3& contactNormal() const { return contactNormal_; }

    void mergeFace(float t, const Vector3& normal) {
        if (isSimultaneous(t)) {
            contactNormal_ += normal;
        } else if (t < earliest_) {
            earliest_ = t;
            contactNormal_ = normal;
        }
    }

    void mergeFeature(float t, const Vector3& normal) {
        if (isSimultaneous(t)) {
            contactNormal_ += normal;
        }
        if (t < earliest_) {
            earliest_ = t;
            contactNormal_ = normal;
        }
    }

private:
    bool isSimultaneous(float t) const {
        return t != noContact && earliest_ != noContact && std::fabs(t - earliest_) < epsilon_;
    }

    float earliest_;
    Vector3 contactNormal_;
    float epsilon_;
};

// The seven results of one triangle, in the order they merge: the face, the vertices v0, v1, v2,
// the edges 0, 1, 2; each with the normal it merges (the face normal, or for a feature touched
// at the start, the direction from the feature to the centre).
struct TriangleContacts {
    static constexpr int face = 0;
    static constexpr int count = 7;

    float time[count] = {noContact, noContact, noContact, noContact,
                         noContact, noContact, noContact};
    // World axes; set for every result below noContact.
    float normal[count][3];

    Vector3 normalOf(int i) const { return {normal[i][0], normal[i][1], normal[i][2]}; }

    // "No contact" merges as nothing (it is never simultaneous and never earlier), so only the
    // results below it are merged.
    void mergeInto(ContactAccumulator& contacts) const {
        if (time[face] != noContact) {
            contacts.mergeFace(time[face], normalOf(face));
        }
        for (int i = face + 1; i < count; ++i) {
            if (time[i] != noContact) {
                contacts.mergeFeature(time[i], normalOf(i));
            }
        }
    }
};
