#include "ToolCourse.h"

#include "LineStreams.h"
#include "ToolProgress.h"
#include "course/CourseReader.h"

#include <filesystem>
#include <iostream>
#include <ostream>
#include <streambuf>
#include <unistd.h>

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

bool loadCourse(const std::string& fileName, Course& course, const CourseReadOptions& options) {
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
    if (!CourseReader::instance()->parse(fileName, course.triangles, course.boxes, console,
                                         reading)) {
        return false;
    }
    course.index = std::make_unique<ContactIndex>(course.boxes, options.threads);
    return true;
}
