#include "course/CourseInput.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

// Bytes asked of the source at a time: few system calls for a large course, little memory.
constexpr std::size_t chunkBytes = 128 * 1024;

// The white space that formatted stream extraction skips in the classic locale; nothing else
// separates words (a NUL byte or a byte above 127 is part of a word).
constexpr std::array<bool, 256> separatorTable() {
    std::array<bool, 256> table{};
    for (const unsigned char ch : {' ', '\t', '\n', '\r', '\v', '\f'}) {
        table[ch] = true;
    }
    return table;
}
constexpr std::array<bool, 256> separators = separatorTable();

bool isSeparator(char ch) {
    return separators[static_cast<unsigned char>(ch)];
}

} // namespace

std::ptrdiff_t FileSource::read(char* into, std::size_t capacity) {
    for (;;) {
        const ssize_t got = ::read(descriptor_, into, capacity);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

std::ptrdiff_t MemorySource::read(char* into, std::size_t capacity) {
    const std::size_t count = std::min(capacity, bytes_.size());
    std::memcpy(into, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return static_cast<std::ptrdiff_t>(count);
}

// The buffer holds a chunk behind a word of the longest accepted length and one byte more, so a
// word that is kept while more is read always leaves a whole chunk free.
CourseInput::CourseInput(ByteSource& source)
    : source_(source), buffer_(chunkBytes + maxWordBytes + 1) {}

CourseInput::Status CourseInput::next() {
    if (cursor_ < wordEnd_) {
        return Status::word; // still inside the word a number ended in
    }
    if (!skipWhiteSpace()) {
        wordBegin_ = wordEnd_ = cursor_;
        return readErrno_ != 0 ? Status::readError : Status::end;
    }
    return loadWord();
}

bool CourseInput::skipWhiteSpace() {
    for (;;) {
        for (; cursor_ < dataEnd_; ++cursor_) {
            const char ch = buffer_[cursor_];
            if (!isSeparator(ch)) {
                return true;
            }
            if (ch == '\n') {
                ++line_;
                lineStartOffset_ = bufferOffset_ + static_cast<std::int64_t>(cursor_) + 1;
            }
        }
        if (!refill()) {
            return false;
        }
    }
}

CourseInput::Status CourseInput::loadWord() {
    // The word begins at the cursor; a refill moves it, and the cursor with it, to the front.
    std::size_t scanned = 0;
    for (;;) {
        while (cursor_ + scanned < dataEnd_ && !isSeparator(buffer_[cursor_ + scanned])) {
            ++scanned;
        }
        if (scanned > maxWordBytes) {
            wordBegin_ = cursor_;
            wordEnd_ = cursor_ + maxWordBytes + 1;
            return Status::tooLong;
        }
        if (cursor_ + scanned < dataEnd_ || !refill()) {
            break; // a separator, or the end of the input, ends the word
        }
    }
    wordBegin_ = cursor_;
    wordEnd_ = cursor_ + scanned;
    return readErrno_ != 0 ? Status::readError : Status::word;
}

bool CourseInput::refill() {
    if (sourceEnded_) {
        return false;
    }
    const std::size_t kept = dataEnd_ - cursor_;
    std::memmove(buffer_.data(), buffer_.data() + cursor_, kept);
    bufferOffset_ += static_cast<std::int64_t>(cursor_);
    cursor_ = 0;
    dataEnd_ = kept;
    const std::ptrdiff_t got = source_.read(buffer_.data() + dataEnd_, buffer_.size() - dataEnd_);
    if (got > 0) {
        dataEnd_ += static_cast<std::size_t>(got);
        return true;
    }
    // The end (or a failure) is final: a terminal could hand out more after an end of file, but
    // a course ends where its input first ends.
    sourceEnded_ = true;
    readErrno_ = got < 0 ? errno : 0;
    return false;
}

SourcePosition CourseInput::positionOf(std::size_t index) const {
    const std::int64_t offset = bufferOffset_ + static_cast<std::int64_t>(index);
    return {line_, offset - lineStartOffset_ + 1};
}
