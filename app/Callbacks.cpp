#include "app/Callbacks.h"

#include "app/World.h"
#include "console/CommandMenu.h"

#include <GL/glut.h>

#include <iostream>

namespace {

constexpr unsigned char spaceBar = 32;

// The projection fixed at start-up for the 600 x 400 window: a window of another shape shows the
// scene stretched, never re-projected.
constexpr double fieldOfViewDegrees = 45.0;
constexpr double aspectRatio = 1.5;
constexpr double nearPlane = 1.0;
constexpr double farPlane = 100.0;

void printBanner() {
    std::cout << "Welcome to the Quellmoor minigolf collision" << std::endl;
    std::cout << "prototype.  At any time during the execution of this prototype," << std::endl;
    std::cout << "press the space bar to stop execution and reset the program" << std::endl;
    std::cout << "parameters." << std::endl;
    std::cout << std::endl;
    std::cout << std::endl;
}

} // namespace

void initScene() {
    printBanner();

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_TEXTURE_2D);
    // Back faces as outlines: a course triangle seen from behind shows as a wire frame.
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);

    // The first use of the world builds it (ball, texture, course); a bad course ends the
    // process here, after the banner and before any frame.
    const Vector3 direction = World::instance()->lightDirection();

    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    // w = 0: a directional light whose rays travel along `direction`. Set once under the
    // identity model-view matrix, so it stays fixed relative to the eye whatever the camera does.
    const GLfloat position[] = {-direction.x, -direction.y, -direction.z, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fieldOfViewDegrees, aspectRatio, nearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void onDisplay() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    World::instance()->frame();
    glutSwapBuffers();
}

void onReshape(int width, int height) {
    glViewport(0, 0, width, height);
}

void onIdle() {
    glutPostRedisplay();
}

void onKeyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (key != spaceBar) {
        return;
    }
    // One menu for the whole run: once console input has ended it remembers that, and a later
    // press says so and returns at once instead of reading a closed stream again.
    static CommandMenu menu(*World::instance(), std::cin, std::cout, std::cerr);
    menu.run();
}
