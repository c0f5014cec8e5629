#include "support/GlContext.h"

#include <GL/glut.h>

void ensureGlContext() {
    static const bool ready = [] {
        int argc = 1;
        char name[] = "gl-test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitWindowSize(64, 64);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutCreateWindow("gl-test");
        glMatrixMode(GL_MODELVIEW);
        return true;
    }();
    (void)ready;
}
