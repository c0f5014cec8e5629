#include "scene/DisplayList.h"

#include "scene/SceneDrawing.h"

#include <utility>

// replay, the recording itself, is the drawing library's (draw/DisplayListRecording.cpp).

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
    // A name exists only after a replay, so only where a drawing is installed, and only under a
    // current context; holders live no longer than it.
    if (name_ != 0) {
        SceneDrawing::installed()->deleteList(name_);
    }
}
