#include "app/Callbacks.h"
#include "app/World.h"

#include <GL/glut.h>

#include <malloc.h>

namespace {

constexpr int windowWidth = 600;
constexpr int windowHeight = 400;
const char* const windowTitle = "Avast ye quellmoor, plunder yon landlubbers off the port beam";

// Free memory that the C library keeps at the top of its heap instead of handing it back to the
// system, in bytes. Mesa's software renderer allocates its binned triangles afresh every frame
// and frees them at the end; with glibc's own threshold (128 KiB, raised only when a block of
// its own mapping is freed) the heap shrank after every frame and each page was faulted in again
// at the next, about a third of the main thread's time on a course of 100000 triangles. Kept, the
// memory stays at the largest frame's need. Setting it also fixes the mapping threshold at its
// 128 KiB start; raising that as well (to 32 MiB) measured the same, within the noise.
constexpr int heapTrimThresholdBytes = 1 << 30;

} // namespace

int main(int argc, char** argv) {
    mallopt(M_TRIM_THRESHOLD, heapTrimThresholdBytes);
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
