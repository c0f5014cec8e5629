#include "scene/DisplayList.h"

#include <GL/gl.h>

#include <utility>

DisplayList& DisplayList::operator=(const DisplayList& other) noexcept {
    if (this != &other) {
        // The source's recording stays the source's; this one's name is reused for a new one.
        markStale();
    }
    return *this;
}

DisplayList::DisplayList(DisplayList&& other) noexcept
    : name_(std::exchange(other.name_, 0u)), upToDate_(std::exchange(other.upToDate_, false)) {}

DisplayList& DisplayList::operator=(DisplayList&& other) noexcept {
    // A swap, so no GL call is needed here: the source keeps this one's old name, stale, and
    // frees it when it is destroyed.
    std::swap(name_, other.name_);
    std::swap(upToDate_, other.upToDate_);
    other.upToDate_ = false;
    return *this;
}

DisplayList::~DisplayList() {
    // A name exists only after a replay under a current context; holders live no longer than it.
    if (name_ != 0) {
        glDeleteLists(name_, 1);
    }
}

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
