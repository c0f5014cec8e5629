#include "ToolProgress.h"

#include <iostream>
#include <unistd.h>

ProgressLine::ProgressLine(std::string label)
    : ProgressLine(std::move(label), std::cerr, ::isatty(STDERR_FILENO) == 1) {}

ProgressLine::ProgressLine(std::string label, std::ostream& out, bool enabled)
    : label_(std::move(label)), out_(&out), enabled_(enabled) {}

void ProgressLine::update(long long done, long long total, const char* what) {
    if (!enabled_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (shownLength_ != 0 && now - lastShown_ < refreshInterval) {
        return;
    }
    lastShown_ = now;
    std::string text = label_ + ": " + std::to_string(done);
    if (total > 0) {
        text += " of " + std::to_string(total);
    }
    text += std::string(" ") + what;
    // Spaces over whatever the longer line before left on the screen.
    const std::size_t shown = text.size();
    if (shown < shownLength_) {
        text.append(shownLength_ - shown, ' ');
    }
    *out_ << '\r' << text << std::flush;
    shownLength_ = shown;
}

void ProgressLine::clear() {
    if (!enabled_ || shownLength_ == 0) {
        return;
    }
    *out_ << '\r' << std::string(shownLength_, ' ') << '\r' << std::flush;
    shownLength_ = 0;
}
