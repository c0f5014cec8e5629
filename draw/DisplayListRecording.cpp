#include "draw/GlSceneDrawing.h"
#include "scene/DisplayList.h"

#include <GL/gl.h>

void DisplayList::replay(const std::function<void()>& emit) {
    if (name_ == 0) {
        name_ = glGenLists(1);
        if (name_ == 0) {
            emit(); // no name to be had: draw directly, and try again next time
            return;
        }
    }
    if (!upToDate_) {
        // Compiled only: executing it is the glCallList below, the same path every draw takes.
        glNewList(name_, GL_COMPILE);
        emit();
        glEndList();
        upToDate_ = true;
    }
    glCallList(name_);
}

void GlSceneDrawing::deleteList(unsigned name) {
    glDeleteLists(name, 1);
}
