#pragma once

#include <streambuf>

// Output streams that the tools hand to the reader and to the settings instead of the console,
// to act on every line written to them (a triangle read), not on its text.

// Discards every character and calls lineEnded() at every line end; writes always succeed, so
// the stream never enters a failed state.
class LineEndBuffer : public std::streambuf {
protected:
    virtual void lineEnded() = 0;

    int_type overflow(int_type ch) override {
        if (ch == '\n') {
            lineEnded();
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) {
            if (text[i] == '\n') {
                lineEnded();
            }
        }
        return count;
    }
};

// Discards every character (the console of a load measured without its output).
class DiscardingBuffer : public LineEndBuffer {
protected:
    void lineEnded() override {}
};
