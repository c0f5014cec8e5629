#pragma once

#include <functional>

// A GL display list that belongs to one drawable: recorded at the first draw after it went stale
// (a context is current whenever something draws; none may be while a course is built) and
// replayed at every draw after that, so the GL calls of a large, unchanging geometry are made
// once instead of every frame.
//
// The list name is owned alone. A copy starts without one and records its own at its first
// draw, so that one holder re-recording after a change can never alter what the other shows;
// an assigned-to holder keeps its name but goes stale. A move hands the name over. The name is
// released when its holder is destroyed. Where GL gives no name (no context, or none left), the
// geometry is sent directly at every draw instead: slower, never wrong.
class DisplayList {
public:
    DisplayList() = default;
    DisplayList(const DisplayList&) noexcept {}
    DisplayList& operator=(const DisplayList& other) noexcept;
    DisplayList(DisplayList&& other) noexcept;
    DisplayList& operator=(DisplayList&& other) noexcept;
    ~DisplayList();

    // The recorded calls no longer match the geometry: the next replay records them again,
    // into the same name.
    void markStale() { upToDate_ = false; }

    // Executes the list; when it is stale, first records `emit` (GL calls that may go into a
    // display list) into it, compiled and not executed, so `emit` runs once per recording.
    // Defined in the drawing library (draw/), as every GL call of the scene objects is.
    void replay(const std::function<void()>& emit);

    // The GL name of the list, 0 before the first replay; for tests.
    unsigned name() const { return name_; }
    bool upToDate() const { return upToDate_; }

private:
    unsigned name_ = 0;
    bool upToDate_ = false;
};
