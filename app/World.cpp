#include "app/World.h"

#include "app/MissingCourseNote.h"
#include "course/CourseReader.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace {

const char* const courseFileName = "clobox.txt";

// The orbit: radians turned per frame, radius and height in course units.
constexpr double orbitRadiansPerFrame = 0.01;
constexpr double orbitRadius = 40.0;
constexpr double orbitHeight = 15.0;

} // namespace

World* World::instance() {
    // Never deleted: the scene lives until the process ends.
    static World* const world = new World();
    return world;
}

World::World() {
    // Built in this order on purpose: the settings seed the random generator before anything
    // else, and the ball's texture needs the context that exists by now.
    settings = new SimulationSettings();
    ball = new Ball();
    timer = new FrameTimer();
    frameCount = 0;
    CourseReadOptions options;
    // The course is looked for in the working folder; the usual slip is starting the program
    // somewhere else.
    options.missingFileNote = missingCourseNote(runningProgram());
    if (!course.read(courseFileName, std::cout, options)) {
        // The reader has already named the file and the fault on standard error.
        std::exit(1);
    }
    course.searchWith(*settings);
    cameraTarget = Vector3(0.0f, 0.0f, 0.0f);
    lightDirection_ = Vector3(-1.0f, 1.0f, -1.0f);
}

void World::restartTimer() {
    timer->start();
}

void World::setBall(Vector3 position, Vector3 velocity) {
    ball->setPosition(position);
    ball->setVelocity(velocity);
}

void World::setCamera(Vector3 position, Vector3 target) {
    cameraPosition = position;
    cameraTarget = target;
}

Vector3 World::orbitPosition(int frameCount) {
    const double angle = orbitRadiansPerFrame * frameCount;
    return Vector3(static_cast<float>(-orbitRadius * std::sin(angle)),
                   static_cast<float>(orbitHeight),
                   static_cast<float>(orbitRadius * std::cos(angle)));
}

void World::setView() const {
    glLoadIdentity();
    gluLookAt(cameraPosition.x, cameraPosition.y, cameraPosition.z, cameraTarget.x, cameraTarget.y,
              cameraTarget.z, 0.0, 1.0, 0.0);
}

void World::frame() {
    // Counted modulo 2^32 so that the count stays defined after 2^31 frames (days of frames at
    // thousands per second); the orbit then jumps once.
    frameCount = static_cast<int>(static_cast<unsigned>(frameCount) + 1u);
    const double elapsed = timer->elapsedSeconds();
    // Not flushed: one line per frame would otherwise cost a write per frame.
    std::cout << framesPerSecond(elapsed) << "\n";
    cameraPosition = orbitPosition(frameCount);
    // The measured time as it is; the step copes with long and zero-length frames itself.
    settings->step(*ball, course.boxes(), elapsed);

    setView();
    // The ball leaves its translation and rotations on the matrix; the second view drops them.
    ball->draw(lightDirection_, frameCount);
    setView();
    for (CollisionBox& box : course.boxesToDraw()) {
        box.draw(lightDirection_, frameCount);
    }
}
