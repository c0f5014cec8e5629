#include "physics/SimulationSettings.h"

#include "scene/MillisecondClock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

bool inMergeOrder(const ContactCandidate& a, const ContactCandidate& b) { return a.order < b.order; }

} // namespace

SimulationSettings::SimulationSettings() {
    std::srand(static_cast<unsigned>(millisecondClock()));
}

void SimulationSettings::collideBox(Vector3 from, Vector3 to, float radius,
                                    const CollisionBox& box, Vector3& contactNormal,
                                    float& earliest) const {
    const BallMove move(from, to, radius);
    ContactAccumulator contacts(earliest, contactNormal, epsilon);
    const int count = static_cast<int>(box.triangleCount());
    for (int index = 0; index < count; ++index) {
        const Triangle& triangle = *box.triangle(index);
        if (!triangle.hasFiniteNormal()) {
            continue; // degenerate: its frames are meaningless and it has no side to strike
        }
        collideTriangle(move, ContactTriangle::of(triangle), contacts);
    }
    earliest = contacts.earliest();
    contactNormal = contacts.contactNormal();
}

void SimulationSettings::findEarliestContact(Vector3 from, Vector3 to, float radius,
                                             const std::vector<CollisionBox>& boxes,
                                             Vector3& contactNormal, float& earliest) const {
    if (index_ != nullptr) {
        if (index_->isBuiltFor(boxes)) {
            const BallMove move(from, to, radius);
            index_->collectCandidates(move, epsilon, boxes, candidates_);
            ContactAccumulator contacts(earliest, contactNormal, epsilon);
            const bool fresh = earliest == noContact;
            std::vector<ContactCandidate>& candidates = candidates_.triangles;
            if (fresh && candidates_.sweep && candidates.size() > testAllUpTo) {
                mergeEarliestFirst(move, *candidates_.sweep, contacts);
            } else {
                std::sort(candidates.begin(), candidates.end(), inMergeOrder);
                for (const ContactCandidate& candidate : candidates) {
                    collideTriangle(move, *candidate.triangle, contacts);
                }
            }
            earliest = contacts.earliest();
            contactNormal = contacts.contactNormal();
            return;
        }
        if (!foreignBoxesReported_) {
            foreignBoxesReported_ = true;
            std::cerr << "warning: the contact index was built for another box list; searching "
                         "every box instead\n";
        }
    }
    // The number of boxes is taken once, before the loop.
    const std::size_t boxCount = boxes.size();
    for (std::size_t i = 0; i < boxCount; ++i) {
        if (boxes[i].overlapsSweep(from, to, radius, epsilon)) {
            collideBox(from, to, radius, boxes[i], contactNormal, earliest);
        }
    }
}

// Testing the candidates earliest first, and stopping early, gives exactly what testing all of
// them in order gives, by this property of the merge rules:
//
//   Let every result lie outside [G - eps, G + eps) (a gap of 2 eps, eps the merge tolerance),
//   and let the smallest result m lie below G - eps. Then merging, in order, only the results
//   below G + eps gives the same earliest and contactNormal as merging all of them.
//
// Proof. Merging starts with earliest = 1 (no contact). Let g be the first result, in merging
// order, below G - eps. Every result before it lies at or above G + eps, so earliest is 1 or at
// least G + eps when g arrives, more than 2 eps above g: g is not simultaneous with it and is
// earlier, so by either rule it replaces both values, whether or not the results above G + eps
// were merged before it. From then on earliest stays below G - eps, and a result at or above
// G + eps lies more than 2 eps above it (so even after the float rounding of the difference it
// is neither simultaneous nor earlier): merging it changes nothing. The results below G + eps
// come in the same order either way, so both merges end in the same state.
//
// Each candidate's lower bound (contact_reach::earliestReach) is below every one of its results.
// Taking candidates in the order of their bounds, the search stops at the next bound L once the
// smallest result found lies below L - 2 eps and no result found lies in [L - 2 eps, L): with
// G = L - eps the property holds for all the candidates' results, for those tested as for those
// not (whose results are all at or above L = G + eps), so merging the tested ones in order gives
// the exhaustive result.
void SimulationSettings::mergeEarliestFirst(const BallMove& move,
                                            const contact_reach::SweepReach& sweep,
                                            ContactAccumulator& contacts) const {
    const std::vector<ContactCandidate>& candidates = candidates_.triangles;
    // A min-heap of lower bounds. Each starts as a cheap one (contact_reach::earliestReach) and
    // is refined (contact_reach::earliestNearTriangle) when it first comes to the top, so the
    // exact tests run only on triangles whose refined bound comes first.
    std::vector<PendingTriangle>& pending = pending_;
    pending.clear();
    for (std::size_t index = 0; index < candidates.size(); ++index) {
        const double bound =
            std::max(candidates[index].bound, contact_reach::earliestReach(*candidates[index].triangle, sweep));
        if (bound <= 1.0) { // otherwise no result below 1 is possible
            pending.push_back({bound, static_cast<std::uint32_t>(index), false});
        }
    }
    const auto later = [](const PendingTriangle& a, const PendingTriangle& b) {
        return a.bound > b.bound;
    };
    std::make_heap(pending.begin(), pending.end(), later);

    const double gap = 2.0 * std::max(0.0, double(epsilon));
    tested_.clear();
    resultTimes_.clear();
    double smallest = noContact;
    while (!pending.empty()) {
        const double bound = pending.front().bound;
        if (smallest < bound - gap &&
            std::none_of(resultTimes_.begin(), resultTimes_.end(),
                         [&](float t) { return t >= bound - gap && t < bound; })) {
            break; // no candidate left can change the merge
        }
        std::pop_heap(pending.begin(), pending.end(), later);
        const PendingTriangle next = pending.back();
        pending.pop_back();
        const ContactCandidate& candidate = candidates[next.index];
        if (!next.refined) {
            const double refined = std::max(
                next.bound, contact_reach::earliestNearTriangle(*candidate.triangle, sweep));
            if (refined <= 1.0) {
                pending.push_back({refined, next.index, true});
                std::push_heap(pending.begin(), pending.end(), later);
            }
            continue;
        }
        const TriangleContacts results = contactsOf(move, *candidate.triangle);
        bool any = false;
        for (const float t : results.time) {
            if (t < noContact) {
                resultTimes_.push_back(t);
                smallest = std::min(smallest, double(t));
                any = true;
            }
        }
        if (any) { // a triangle without a result merges as nothing
            tested_.emplace_back(candidate.order, results);
        }
    }
    std::sort(tested_.begin(), tested_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, results] : tested_) {
        results.mergeInto(contacts);
    }
}

std::optional<double> SimulationSettings::runPass(Ball& ball,
                                                  const std::vector<CollisionBox>& boxes,
                                                  double dt) {
    constexpr std::nullopt_t stepOver = std::nullopt;
    const Vector3 position = ball.position();
    const Vector3 velocity = ball.velocity();
    const float radius = ball.radius();

    // Constant acceleration over the pass: x(dt) = p + v dt + a dt^2 / 2.
    const float halfSquare = static_cast<float>(dt * dt * 0.5);
    const float duration = static_cast<float>(dt);
    const Vector3 endPosition = (position + velocity * duration) + acceleration * halfSquare;
    const Vector3 endVelocity = velocity + acceleration * duration;
    const Vector3 averageVelocity = (velocity + endVelocity) / 2.0f;

    // Fraction of the move at the earliest contact (1.0: none), and the sum of the normals
    // touched then.
    Vector3 contactNormal(0.0f, 0.0f, 0.0f);
    float earliest = noContact;
    findEarliestContact(position, endPosition, radius, boxes, contactNormal, earliest);
    if (earliest >= noContact) {
        ball.setPosition(endPosition);
        ball.setVelocity(endVelocity);
        return stepOver;
    }

    if (velocity.length() <= restSpeed) {
        // Come to rest against the course: put back, at rest, at a random place at height 10.
        const int z = std::rand() % 41 - 20;
        const int x = std::rand() % 41 - 20;
        ball.setPosition(Vector3(static_cast<float>(x), 10.0f, static_cast<float>(z)));
        ball.setVelocity(Vector3(0.0f, 0.0f, 0.0f));
        return stepOver;
    }
    if (!(dt > 0.0)) {
        return stepOver; // no time to spend: the contact is left for the next step
    }

    *collideStream_ << "collide!" << std::endl;
    ball.setPosition(position + earliest * (endPosition - position));
    const float sumLength = contactNormal.length();
    Vector3 normal = contactNormal;
    normal.normalize();
    if (sumLength == 0.0f || !normal.isFinite()) {
        // Touched normals that cancel (both sides of a wall at once) give no plane to mirror
        // about: send the ball straight back the way it came.
        ball.setVelocity(-averageVelocity);
    } else {
        // Mirror about the contact plane; restitution 1.0, so no speed is lost.
        constexpr float restitution = 1.0f;
        ball.setVelocity((averageVelocity - (2.0f * normal) * normal.dot(averageVelocity)) *
                         restitution);
    }
    return dt * (1.0 - earliest);
}

void SimulationSettings::step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt) {
    if (!std::isfinite(dt)) {
        return; // an unmeasurable time step moves nothing rather than turning the ball NaN
    }
    std::optional<double> remaining = dt;
    for (int pass = 0; pass < maxPassesPerStep; ++pass) {
        remaining = runPass(ball, boxes, *remaining);
        if (!remaining) {
            return;
        }
    }
    if (!passLimitReported_) {
        passLimitReported_ = true;
        std::cerr << "warning: the ball needed more than " << maxPassesPerStep
                  << " contact passes in one step; the rest of that step was dropped" << std::endl;
    }
}
