#pragma once

#include <ostream>
#include <streambuf>

// Output streams that minigolf-sim hands to the loader and to the settings instead of the
// console: one that discards everything and one that counts the lines written to it.

// Discards every character; writes always succeed, so the stream never enters a failed state.
class DiscardingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Counts line ends: the settings end each "collide!" with one, so the count is the number of
// bounces reported, taken from the real output rather than re-derived.
class LineCountingBuffer : public std::streambuf {
public:
    long long lines() const { return lines_; }

protected:
    int_type overflow(int_type ch) override {
        if (ch == '\n') {
            ++lines_;
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) {
            if (text[i] == '\n') {
                ++lines_;
            }
        }
        return count;
    }

private:
    long long lines_ = 0;
};
