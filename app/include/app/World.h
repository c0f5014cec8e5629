#pragma once

#include "app/FrameTimer.h"
#include "console/CommandMenu.h"
#include "geometry/Triangle.h"
#include "geometry/Vector3.h"
#include "physics/LoadedCourse.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#include "scene/CollisionBox.h"

#include <vector>

// The process-wide scene: timer, settings, ball, course, camera and light, and the order of
// every frame. Made on first use (after the window exists: the ball's texture and the drawing
// need the GL context) and never destroyed.
class World : public MenuTarget {
public:
    // The one world; the first call builds it and reads "clobox.txt" from the working directory,
    // ending the process with status 1 when the course cannot be read (the reader has said why).
    static World* instance();

    Vector3 lightDirection() const { return lightDirection_; }
    void restartTimer() override;
    void setBall(Vector3 position, Vector3 velocity) override;
    // The position lasts only until the next frame's orbit replaces it; the target stays.
    void setCamera(Vector3 position, Vector3 target) override;

    // One frame: count, time, print the frame rate, orbit the camera, step the simulation, set
    // the view, draw the ball, set the view again, draw every box.
    void frame();

    // The eye on its orbit at the given frame, world axes: radius 40 about the y axis at height
    // 15, 0.01 radian per frame, (-40 sin a, 15, 40 cos a) with a = 0.01 * frameCount.
    static Vector3 orbitPosition(int frameCount);

private:
    World();

    // gluLookAt from cameraPosition at cameraTarget, +y up, on a reset model-view matrix.
    void setView() const;

    FrameTimer* timer = nullptr;
    SimulationSettings* settings = nullptr;
    Ball* ball = nullptr;
    // The course read from "clobox.txt": its triangles, its boxes and the contact index the
    // step picks its candidate triangles from.
    LoadedCourse course;
    Vector3 cameraTarget;
    Vector3 cameraPosition;
    // The direction the light's rays travel, world axes.
    Vector3 lightDirection_;
    int frameCount = 0;
};
