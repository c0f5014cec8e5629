// Embedding the collision code: read a course, index it, find the earliest contact of one sweep
// and fly the ball through one step. Usage: embed [COURSE_FILE] (the bundled course by default).
#include "physics/LoadedCourse.h"
#include "physics/SimulationSettings.h"
#include "physics/StepObserver.h"
#include "scene/Ball.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// "(x, y, z)": the library's own "x, y, z" in brackets.
std::string bracketed(const Vector3& v) {
    std::ostringstream text;
    text << '(' << v << ')';
    return text.str();
}

} // namespace

int main(int argc, char** argv) {
    const std::string courseFile = argc > 1 ? argv[1] : BUNDLED_COURSE;

    // 1. The course: its triangles (with their frames) grouped in boxes, and the contact index
    //    over them, built once. The reader prints each triangle's number as it goes, which an
    //    embedding program rarely wants; its errors go to standard error.
    LoadedCourse course;
    std::ostringstream progress;
    if (!course.read(courseFile, progress)) {
        return 1;
    }
    std::cout << "course: " << course.triangles().size() << " triangles in "
              << course.boxes().size() << " boxes\n";
    SimulationSettings settings;
    course.searchWith(settings); // through the index from now on

    // 2. One sweep: the ball's sphere straight down onto the centre of the course's most
    //    upward-facing triangle, from above the course to below it. It must touch that
    //    triangle, or something facing up above it, on the way.
    Ball ball(Ball::withoutTexture);
    const float radius = ball.radius();
    const Triangle* target = nullptr; // a degenerate triangle's NaN normal never qualifies
    for (const Triangle* triangle : course.triangles()) {
        const float up = triangle->normal().y;
        if (up > 0.0f && (target == nullptr || up > target->normal().y)) {
            target = triangle;
        }
    }
    if (target == nullptr) {
        std::cerr << courseFile << ": error: no triangle faces up to drop the ball on\n";
        return 1;
    }
    const Vector3 centre = (*target->vertex(0) + *target->vertex(1) + *target->vertex(2)) / 3.0f;
    const Bounds bounds = course.bounds();
    const Vector3 from(centre.x, std::max(centre.y, bounds.upper[1]) + 2.0f * radius, centre.z);
    const Vector3 to(centre.x, std::min(centre.y, bounds.lower[1]) - 2.0f * radius, centre.z);
    Vector3 normal;
    float time = noContact; // fraction of the move; 1 (noContact) when nothing is touched
    settings.findEarliestContact(from, to, radius, course.boxes(), normal, time);
    std::cout << "sweep: radius " << radius << " from " << bracketed(from) << " to "
              << bracketed(to) << '\n';
    if (time == noContact) {
        std::cout << "contact: none\n";
        return 1;
    }
    std::cout << "contact: time " << time << " at " << bracketed(from + (to - from) * time)
              << " normal " << bracketed(normal) << '\n';

    //    Which triangle: the index's candidates for the move, each tested alone, in the order
    //    the search merges them (box number in the high 32 bits, position in the box in the
    //    low 32): the first that reports the earliest time.
    const BallMove move(from, to, radius);
    ContactSearch search;
    course.index()->collectCandidates(move, settings.epsilon, course.boxes(), search);
    std::sort(search.triangles.begin(), search.triangles.end(),
              [](const auto& a, const auto& b) { return a.order < b.order; });
    for (const ContactCandidate& candidate : search.triangles) {
        ContactAccumulator contacts(noContact, Vector3(), settings.epsilon);
        settings.collideTriangle(move, *candidate.triangle, contacts);
        if (contacts.earliest() == time) {
            std::cout << "triangle: " << (candidate.order & 0xffffffffu) << " of box "
                      << (candidate.order >> 32) << ", corners "
                      << bracketed(candidate.triangle->corner(0)) << ' '
                      << bracketed(candidate.triangle->corner(1)) << ' '
                      << bracketed(candidate.triangle->corner(2)) << '\n';
            break;
        }
    }

    // 3. One step of one second with the same move: the ball bounces where the sweep touched
    //    and keeps its speed. The counter is told of each bounce; the step's "collide!" lines,
    //    the program's console, go to a stream of their own.
    std::ostringstream collideLines;
    settings.setCollideStream(collideLines);
    ball.setPosition(from);
    ball.setVelocity(to - from);
    const float speedBefore = ball.velocity().length();
    StepCounter counter;
    settings.step(ball, course.boxes(), 1.0, counter);
    std::cout << "step: bounces " << counter.bounces << ", position " << bracketed(ball.position())
              << ", velocity " << bracketed(ball.velocity()) << ", speed " << speedBefore
              << " before and " << ball.velocity().length() << " after\n";
    return 0;
}
