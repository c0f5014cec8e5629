#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Where a byte of a course file is: its line and its column, both counted from 1, the column in
// bytes from the start of its line (a tab is one column, as editors that jump to "file:line:col"
// count it).
struct SourcePosition {
    std::int64_t line = 0;
    std::int64_t column = 0;
};

// Where the course's bytes come from, in order, a chunk at a time: a file, a pipe, memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `capacity` of the next bytes into `into`: how many (at least 1), 0 at the end
    // of the input, -1 on a read error (errno says which).
    virtual std::ptrdiff_t read(char* into, std::size_t capacity) = 0;
};

// An open file descriptor (a file, a pipe, a FIFO, a terminal), read with read(2). The
// descriptor stays the caller's to close.
class FileSource : public ByteSource {
public:
    explicit FileSource(int descriptor) : descriptor_(descriptor) {}
    std::ptrdiff_t read(char* into, std::size_t capacity) override;

private:
    int descriptor_;
};

// Bytes already in memory (a fuzz target's input), handed out in the same chunks a file gives.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::ptrdiff_t read(char* into, std::size_t capacity) override;

private:
    std::string_view bytes_;
};

// The course's bytes as a sequence of words (runs of bytes between white space: space, tab, line
// feed, carriage return, vertical tab, form feed), read front to back in chunks and never
// sought, so a pipe reads as a file does. It keeps one word whole in memory at a time, so memory
// stays bounded whatever the input: a word longer than maxWordBytes is refused.
//
// A cursor moves through the words. It can stop inside a word, because a number may end inside
// one ("-1O" gives "-1" and then fails on "O", as stream extraction does); next() then stays in
// that word, and the rest of the word is what follows the cursor.
class CourseInput {
public:
    // The longest word accepted. A number of a course is some tens of bytes (a float needs at most
    // 9 significant digits, and exporters write at most a few dozen); 4096 leaves a wide margin
    // for machine-written zeros, while /dev/zero or a binary file given as a course fails after
    // 4 KiB instead of filling memory.
    static constexpr std::size_t maxWordBytes = 4096;

    enum class Status {
        word,      // the cursor is on a word's byte
        end,       // no word is left: only white space up to the end of the input
        tooLong,   // the word at the cursor has more than maxWordBytes bytes
        readError, // the source failed; readErrno() says why
    };

    explicit CourseInput(ByteSource& source);
    CourseInput(const CourseInput&) = delete;
    CourseInput& operator=(const CourseInput&) = delete;

    // Moves the cursor over white space to the next byte of a word, if it is not on one already,
    // and reads the whole of that word into memory. After Status::word, the accessors below
    // describe that word; after Status::end, cursorPosition() says where the input ended (just
    // past its last byte).
    Status next();

    // From the cursor to the end of its word (the whole word when the cursor is at its start).
    std::string_view rest() const { return {buffer_.data() + cursor_, wordEnd_ - cursor_}; }
    // The whole word the cursor is in; after Status::tooLong, its first maxWordBytes + 1 bytes.
    std::string_view word() const { return {buffer_.data() + wordBegin_, wordEnd_ - wordBegin_}; }
    bool atWordStart() const { return cursor_ == wordBegin_; }
    // Moves the cursor forward within its word, by at most rest().size() bytes.
    void advance(std::size_t bytes) { cursor_ += bytes; }

    SourcePosition wordPosition() const { return positionOf(wordBegin_); }
    SourcePosition cursorPosition() const { return positionOf(cursor_); }
    // The errno of the failed read (after Status::readError).
    int readErrno() const { return readErrno_; }

private:
    bool skipWhiteSpace();
    Status loadWord();
    // Moves the bytes from the cursor on to the front of the buffer and reads more behind them.
    // False at the end of the input or on a read error (readErrno_ set).
    bool refill();
    SourcePosition positionOf(std::size_t index) const;

    ByteSource& source_;
    std::vector<char> buffer_;
    std::size_t cursor_ = 0;    // index in buffer_
    std::size_t wordBegin_ = 0; // the word the cursor is in: [wordBegin_, wordEnd_)
    std::size_t wordEnd_ = 0;
    std::size_t dataEnd_ = 0; // bytes read into buffer_ so far
    // Offset in the input of buffer_[0]; line numbers count line feeds before the cursor.
    std::int64_t bufferOffset_ = 0;
    std::int64_t line_ = 1;
    std::int64_t lineStartOffset_ = 0;
    bool sourceEnded_ = false;
    int readErrno_ = 0;
};
