// Embedding the collision code: read a course, index it, find the earliest contact of one sweep
// and fly the ball through one step. Usage: embed [COURSE_FILE] (the bundled course by default).
#include "course/CourseReader.h"
#include "physics/ContactIndex.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

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

    // 1. The course: triangles (with their frames) grouped in boxes. The reader prints each
    //    triangle's number as it goes, which an embedding program rarely wants; its errors go to
    //    standard error.
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::ostringstream progress;
    if (!CourseReader::instance()->parse(courseFile, triangles, boxes, progress)) {
        return 1;
    }
    std::cout << "course: " << triangles.size() << " triangles in " << boxes.size() << " boxes\n";

    // 2. The contact index, built once; the settings search through it from now on.
    const ContactIndex index(boxes);
    SimulationSettings settings;
    settings.useContactIndex(&index);

    // 3. One sweep: the ball's sphere straight down onto the centre of the course's most
    //    upward-facing triangle, from above every box to below them all. It must touch that
    //    triangle, or something facing up above it, on the way.
    Ball ball(Ball::withoutTexture);
    const float radius = ball.radius();
    const Triangle* target = nullptr; // a degenerate triangle's NaN normal never qualifies
    for (const Triangle* triangle : triangles) {
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
    float top = centre.y, bottom = centre.y;
    for (const CollisionBox& box : boxes) {
        top = std::max(top, box.maxCorner().y);
        bottom = std::min(bottom, box.minCorner().y);
    }
    const Vector3 from(centre.x, top + 2.0f * radius, centre.z);
    const Vector3 to(centre.x, bottom - 2.0f * radius, centre.z);
    Vector3 normal;
    float time = noContact; // fraction of the move; 1 (noContact) when nothing is touched
    settings.findEarliestContact(from, to, radius, boxes, normal, time);
    std::cout << "sweep: radius " << radius << " from " << bracketed(from) << " to "
              << bracketed(to) << '\n';
    if (time == noContact) {
        std::cout << "contact: none\n";
        return 1;
    }
    std::cout << "contact: time " << time << " at " << bracketed(from + (to - from) * time)
              << " normal " << bracketed(normal) << '\n';

    //    Which triangle: the index's candidates for the move, each tested alone, in the order
    //    the search merges them (the first that reports the earliest time).
    const BallMove move(from, to, radius);
    ContactSearch search;
    index.collectCandidates(move, settings.epsilon, boxes, search);
    std::sort(search.triangles.begin(), search.triangles.end(),
              [](const auto& a, const auto& b) { return a.order < b.order; });
    for (const ContactCandidate& candidate : search.triangles) {
        ContactAccumulator contacts(noContact, Vector3(), settings.epsilon);
        settings.collideTriangle(move, *candidate.triangle, contacts);
        if (contacts.earliest() == time) {
            std::cout << "triangle: " << candidate.triangle->position << " of box "
                      << (candidate.order >> 32) << ", corners "
                      << bracketed(candidate.triangle->corner(0)) << ' '
                      << bracketed(candidate.triangle->corner(1)) << ' '
                      << bracketed(candidate.triangle->corner(2)) << '\n';
            break;
        }
    }

    // 4. One step of one second with the same move: the ball bounces where the sweep touched
    //    (one "collide!" line per bounce) and keeps its speed.
    std::ostringstream bounces;
    settings.setCollideStream(bounces);
    ball.setPosition(from);
    ball.setVelocity(to - from);
    const float speedBefore = ball.velocity().length();
    settings.step(ball, boxes, 1.0);
    const std::string lines = bounces.str();
    std::cout << "step: bounces " << std::count(lines.begin(), lines.end(), '\n') << ", position "
              << bracketed(ball.position()) << ", velocity " << bracketed(ball.velocity())
              << ", speed " << speedBefore << " before and " << ball.velocity().length()
              << " after\n";
    return 0;
}
