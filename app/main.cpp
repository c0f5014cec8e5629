#include "app/Callbacks.h"
#include "app/World.h"

#include <GL/glut.h>

namespace {

constexpr int windowWidth = 600;
constexpr int windowHeight = 400;
const char* const windowTitle = "Avast ye quellmoor, plunder yon landlubbers off the port beam";

} // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitWindowSize(windowWidth, windowHeight);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    // The window, and with it the GL context, must exist before initScene builds the world.
    glutCreateWindow(windowTitle);

    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutIdleFunc(onIdle);
    glutKeyboardFunc(onKeyboard);

    initScene();
    // The first frame counts from here, not from the start of the process.
    World::instance()->restartTimer();
    glutMainLoop();
    return 0;
}
