#include "ToolProgress.h"

#include "LineStreams.h"

#include <filesystem>
#include <iostream>
#include <ostream>
#include <streambuf>
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

namespace {

// Counts the reader's console lines, one per triangle read, into the progress line.
class LoadingProgressBuffer : public LineEndBuffer {
public:
    explicit LoadingProgressBuffer(ProgressLine& progress) : progress_(progress) {}

private:
    // Looks at the clock only every so many lines: reading a triangle costs about a microsecond.
    static constexpr long long linesPerLook = 1024;

    void lineEnded() override {
        if (++lines_ % linesPerLook == 0) {
            progress_.update(lines_, 0, "triangles");
        }
    }

    ProgressLine& progress_;
    long long lines_ = 0;
};

// Stands in for standard error's buffer while the reader runs, so that a warning or failure line
// it writes starts on a clean line instead of after the progress text.
class ClearingBuffer : public std::streambuf {
public:
    ClearingBuffer(std::streambuf& target, ProgressLine& progress)
        : target_(target), progress_(progress) {}

protected:
    int_type overflow(int_type ch) override {
        progress_.clear();
        return traits_type::eq_int_type(ch, traits_type::eof())
                   ? traits_type::not_eof(ch)
                   : target_.sputc(static_cast<char>(ch));
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        progress_.clear();
        return target_.sputn(text, count);
    }
    int sync() override { return target_.pubsync(); }

private:
    std::streambuf& target_;
    ProgressLine& progress_;
};

} // namespace

bool loadCourse(const std::string& fileName, LoadedCourse& course,
                const CourseReadOptions& options) {
    std::streambuf* const errorBuffer = std::cerr.rdbuf();
    std::ostream terminal(errorBuffer);
    ProgressLine progress("loading " + std::filesystem::path(fileName).filename().string(),
                          terminal, ::isatty(STDERR_FILENO) == 1);
    LoadingProgressBuffer counter(progress);
    std::ostream console(&counter);
    ClearingBuffer clearing(*errorBuffer, progress);
    // Puts standard error's own buffer back however the parse ends (it throws when the memory
    // runs out).
    struct Restore {
        std::streambuf* buffer;
        ~Restore() { std::cerr.rdbuf(buffer); }
    } restore{std::cerr.rdbuf(&clearing)};
    CourseReadOptions reading;
    reading.sources = options.sources;
    reading.warnDegenerate = options.warnDegenerate;
    reading.threads = options.threads;
    return course.read(fileName, console, reading);
}
