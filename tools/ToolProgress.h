#pragma once

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
