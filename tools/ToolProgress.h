#pragma once

#include "course/CourseReader.h"
#include "physics/LoadedCourse.h"

#include <chrono>
#include <ostream>
#include <string>

// A progress line for long work, on standard error and only when standard error is a terminal:
// one line rewritten in place with a carriage return, at most a few times a second, and erased
// when the work is done. Tests, pipes and log files see nothing of it.
class ProgressLine {
public:
    // Writes to standard error when it is a terminal; otherwise does nothing.
    explicit ProgressLine(std::string label);
    // Writes to `out` when `enabled`, whatever it is.
    ProgressLine(std::string label, std::ostream& out, bool enabled);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { clear(); }

    // "label: done of total what" (or "label: done what" when total is 0), if the last update
    // shown is older than the refresh interval.
    void update(long long done, long long total, const char* what);
    // Erases the line, so that what is written next starts on a clean line.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    // Redraws a terminal line this often at most: often enough to look alive, rarely enough to
    // cost nothing next to the work.
    static constexpr std::chrono::milliseconds refreshInterval{100};

    std::string label_;
    std::ostream* out_;
    bool enabled_;
    std::size_t shownLength_ = 0;
    Clock::time_point lastShown_{};
};

// Reads a course with the program's reader into `course` and indexes it (LoadedCourse::read).
// The reader's console lines (a number per triangle, the loading time) only drive a progress
// line on standard error when that is a terminal; its warnings and its one failure line go to
// standard error as the reader writes them. `options` may ask for the triangles' places in the
// file, leave out the reader's warnings and set the threads; its diagnostics stream, storage
// and missing-file note are the tools' own and are not taken from it.
bool loadCourse(const std::string& fileName, LoadedCourse& course,
                const CourseReadOptions& options = {});
