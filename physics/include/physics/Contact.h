#pragma once

#include "geometry/Vector3.h"

#include <algorithm>
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
// other; "no contact" on either side is never simultaneous with anything (fix 1 of the contact
// rules, listed in ContactTests.cpp). A face result that is
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

// One feature's contact: the fraction of the move at which the ball first touches it (noContact:
// never) and the normal that contact merges (world axes, a unit vector; meaningful only below
// noContact).
struct ContactResult {
    float time = noContact;
    float normal[3] = {0.0f, 0.0f, 0.0f};
};

// The seven results of one triangle, in the order they merge: the face, the vertices v0, v1, v2,
// the edges 0, 1, 2; each with the normal it merges (the face normal, or for a feature touched
// at the start, the direction from the feature to the centre). Written and read by their named
// slots; `time` and `normal` are the same results in merging order.
struct TriangleContacts {
    static constexpr int face = 0;
    static constexpr int count = 7;

    float time[count] = {noContact, noContact, noContact, noContact,
                         noContact, noContact, noContact};
    // World axes; set for every result below noContact.
    float normal[count][3];

    // The slots of the face, of vertex v and of edge k.
    ContactResult faceResult() const { return slot(face); }
    ContactResult vertexResult(int v) const { return slot(vertexSlot(v)); }
    ContactResult edgeResult(int k) const { return slot(edgeSlot(k)); }
    void setFace(const ContactResult& result) { setSlot(face, result); }
    void setVertex(int v, const ContactResult& result) { setSlot(vertexSlot(v), result); }
    void setEdge(int k, const ContactResult& result) { setSlot(edgeSlot(k), result); }

    Vector3 normalOf(int i) const { return {normal[i][0], normal[i][1], normal[i][2]}; }

    // "No contact" merges as nothing (it is never simultaneous and never earlier: fix 1), so only
    // the results below it are merged.
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

private:
    static constexpr int vertexSlot(int v) { return 1 + v; }
    static constexpr int edgeSlot(int k) { return 4 + k; }

    ContactResult slot(int i) const {
        ContactResult result;
        result.time = time[i];
        std::copy_n(normal[i], 3, result.normal);
        return result;
    }
    void setSlot(int i, const ContactResult& result) {
        time[i] = result.time;
        std::copy_n(result.normal, 3, normal[i]);
    }
};
