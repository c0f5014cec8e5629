#pragma once

#include <cstddef>
#include <string_view>

// Reads one float from the front of a text exactly as `std::istream >> float` does in the classic
// locale with GCC's libstdc++, after the stream has skipped its white space: the same characters
// taken, the same value to the bit, the same success or failure. Course files have always been
// read that way, so every course keeps its numbers, and the places where glued words split (the
// "-1" of "-1O", the "1.5" and ".3" of "1.5.3") stay where they were.
//
// What the stream takes, character by character: an optional sign; digits, with at most one '.'
// among them; then, only after at least one digit, one 'e' or 'E' with an optional sign and its
// digits. It stops at the first character that does not fit and converts what it took with
// strtof in the "C" locale. The conversion fails when the text holds no digit before the
// exponent, when an exponent has no digit ("1e", "1e+"), and when the value is beyond the range
// of a float (the stream then stores +-FLT_MAX); a value too small for a float becomes a
// denormal or zero and succeeds.
class FloatScanner {
public:
    struct Result {
        // What the stream would store: the value; 0 when nothing could be converted; +-FLT_MAX
        // when the value is beyond a float.
        float value = 0.0f;
        // Characters taken from the front of the text, whether or not the read succeeded.
        std::size_t length = 0;
        bool ok = false;
        // The failure was a value beyond the range of a float.
        bool overflow = false;
    };

    // The text must not begin with white space (the stream skips it before it starts).
    static Result scan(std::string_view text);
};
