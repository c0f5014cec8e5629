#include "physics/SimulationSettings.h"

#include "scene/BallConstants.h"
#include "scene/MillisecondClock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

bool inMergeOrder(const ContactCandidate& a, const ContactCandidate& b) {
    return a.order < b.order;
}

// The context of the plain calls: one per thread, kept from pass to pass to spare allocations.
ContactSearch& threadSearch() {
    thread_local ContactSearch search;
    return search;
}

} // namespace

SimulationSettings::SimulationSettings() {
    std::srand(static_cast<unsigned>(millisecondClock()));
}

void SimulationSettings::collideBox(Vector3 from, Vector3 to, float radius, const CollisionBox& box,
                                    Vector3& contactNormal, float& earliest) const {
    const BallMove move(from, to, radius);
    ContactAccumulator contacts(earliest, contactNormal, epsilon);
    const int count = static_cast<int>(box.triangleCount());
    for (int index = 0; index < count; ++index) {
        const Triangle& triangle = *box.triangle(index);
        if (!triangle.hasFiniteNormal()) {
            continue; // degenerate (fix 6): its frames are meaningless and it has no side to strike
        }
        collideTriangle(move, ContactTriangle::of(triangle), contacts);
    }
    earliest = contacts.earliest();
    contactNormal = contacts.contactNormal();
}

void SimulationSettings::findEarliestContact(Vector3 from, Vector3 to, float radius,
                                             const std::vector<CollisionBox>& boxes,
                                             Vector3& contactNormal, float& earliest) const {
    findEarliestContact(from, to, radius, boxes, threadSearch(), contactNormal, earliest);
}

void SimulationSettings::findEarliestContact(Vector3 from, Vector3 to, float radius,
                                             const std::vector<CollisionBox>& boxes,
                                             ContactSearch& search, Vector3& contactNormal,
                                             float& earliest) const {
    if (index_ != nullptr) {
        if (index_->isBuiltFor(boxes)) {
            const BallMove move(from, to, radius);
            ContactAccumulator contacts(earliest, contactNormal, epsilon);
            // A few candidates are tested in turn; more, from no contact, earliest first, so
            // that only those that can matter are tested. (Merging into an earlier contact
            // takes every candidate.)
            const bool fresh = earliest == noContact;
            if (index_->collectCandidates(move, epsilon, boxes, search,
                                          fresh ? testInTurnUpTo : SIZE_MAX)) {
                std::vector<ContactCandidate>& candidates = search.triangles;
                std::sort(candidates.begin(), candidates.end(), inMergeOrder);
                for (const ContactCandidate& candidate : candidates) {
                    collideTriangle(move, *candidate.triangle, contacts);
                }
                search.countTested(candidates.size());
            } else {
                index_->searchEarliestFirst(
                    move, epsilon, boxes,
                    [&](const ContactTriangle& triangle) { return contactsOf(move, triangle); },
                    search);
                for (const auto& [order, results] : search.tested) {
                    results.mergeInto(contacts);
                }
            }
            earliest = contacts.earliest();
            contactNormal = contacts.contactNormal();
            return;
        }
        if (!foreignBoxesReported_.exchange(true, std::memory_order_relaxed)) {
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

std::optional<double> SimulationSettings::runPass(Ball& ball,
                                                  const std::vector<CollisionBox>& boxes, double dt,
                                                  ContactSearch& search, StepObserver* observer) {
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
    findEarliestContact(position, endPosition, radius, boxes, search, contactNormal, earliest);
    if (earliest >= noContact) {
        ball.setPosition(endPosition);
        ball.setVelocity(endVelocity);
        return stepOver;
    }

    if (velocity.length() <= restSpeed) {
        // Come to rest against the course: put back, at rest, at a random place of the respawn
        // region (z drawn first, then x).
        using namespace ball_constants;
        const int z = respawnCoordinate(drawRespawn());
        const int x = respawnCoordinate(drawRespawn());
        ball.setPosition(Vector3(static_cast<float>(x), respawnHeight, static_cast<float>(z)));
        ball.setVelocity(Vector3(0.0f, 0.0f, 0.0f));
        if (observer != nullptr) {
            observer->respawned({position, ball.position()});
        }
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
        // about: send the ball straight back the way it came (fix 5 of the contact rules, listed
        // in ContactTests.cpp).
        ball.setVelocity(-averageVelocity);
    } else {
        // Mirror about the contact plane; restitution 1.0, so no speed is lost.
        constexpr float restitution = 1.0f;
        ball.setVelocity((averageVelocity - (2.0f * normal) * normal.dot(averageVelocity)) *
                         restitution);
    }
    const double remaining = dt * (1.0 - earliest);
    if (observer != nullptr) {
        observer->bounced({ball.position(), velocity, ball.velocity(), remaining});
    }
    return remaining;
}

void SimulationSettings::step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt) {
    step(ball, boxes, dt, threadSearch());
}

void SimulationSettings::step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt,
                              StepObserver& observer) {
    step(ball, boxes, dt, threadSearch(), &observer);
}

void SimulationSettings::step(Ball& ball, const std::vector<CollisionBox>& boxes, double dt,
                              ContactSearch& search, StepObserver* observer) {
    if (!std::isfinite(dt)) {
        return; // an unmeasurable time step moves nothing rather than turning the ball NaN
    }
    std::optional<double> remaining = dt;
    for (int pass = 0; pass < maxPassesPerStep; ++pass) {
        remaining = runPass(ball, boxes, *remaining, search, observer);
        if (!remaining) {
            return;
        }
    }
    ++passLimitSteps_;
    if (!passLimitReported_) {
        passLimitReported_ = true;
        *warningStream_ << "warning: the ball needed more than " << maxPassesPerStep
                        << " contact passes in one step; the rest of that step was dropped"
                        << std::endl;
    }
}
