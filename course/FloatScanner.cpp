#include "FloatScanner.h"

#include <locale.h>

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace {

// Every integer up to 2^24 is a float exactly.
constexpr std::uint64_t largestExactMantissa = std::uint64_t(1) << 24;
// Powers of ten up to 10^10 are floats exactly: 10^10 = 2^10 * 5^10 with 5^10 < 2^24.
constexpr int largestExactPowerOfTen = 10;
constexpr float exactPowersOfTen[largestExactPowerOfTen + 1] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                                1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
// Significant digits gathered in a 64-bit integer: 19 nines still fit.
constexpr int digitsGathered = 19;
// Beyond this an exponent can only mean overflow or zero; stop counting so it cannot wrap.
constexpr std::int64_t exponentSaturation = 1000000;

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// The "C" locale for strtof_l, made once: the conversion libstdc++ itself calls uses it.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

// What the grammar pass found in the characters it took.
struct Collected {
    bool negative = false;
    bool foundMantissa = false; // a digit before any exponent
    bool foundExponent = false;
    bool foundExponentDigit = false;
    std::uint64_t mantissa = 0; // the significant digits as an integer, while they fit
    int significantDigits = 0;
    bool digitsDropped = false; // more significant digits than the integer holds
    std::int64_t fractionDigits = 0;
    std::int64_t exponent = 0; // the written exponent, saturated
    std::size_t length = 0;
};

void addMantissaDigit(Collected& found, int digit, bool afterDecimalPoint) {
    found.foundMantissa = true;
    if (found.significantDigits == digitsGathered) {
        found.digitsDropped = true;
        return;
    }
    found.mantissa = found.mantissa * 10 + static_cast<std::uint64_t>(digit);
    if (found.mantissa != 0) {
        ++found.significantDigits; // leading zeros are not significant
    }
    if (afterDecimalPoint) {
        ++found.fractionDigits;
    }
}

// The characters the stream takes, and what they say (libstdc++'s num_get::_M_extract_float).
Collected collect(std::string_view text) {
    Collected found;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        found.negative = text[i] == '-';
        ++i;
    }
    bool foundDecimalPoint = false;
    bool exponentNegative = false;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (isDigit(ch)) {
            if (found.foundExponent) {
                found.foundExponentDigit = true;
                if (found.exponent < exponentSaturation) {
                    found.exponent = found.exponent * 10 + (ch - '0');
                }
            } else {
                addMantissaDigit(found, ch - '0', foundDecimalPoint);
            }
        } else if (ch == '.' && !foundDecimalPoint && !found.foundExponent) {
            foundDecimalPoint = true;
        } else if ((ch == 'e' || ch == 'E') && !found.foundExponent && found.foundMantissa) {
            found.foundExponent = true;
            // One sign may follow the 'e'; anything else is looked at again as an exponent digit.
            if (i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
                exponentNegative = text[i + 1] == '-';
                ++i;
            }
        } else {
            break;
        }
    }
    if (exponentNegative) {
        found.exponent = -found.exponent;
    }
    found.length = i;
    return found;
}

// A value beyond a float: what the stream stores, and a failure.
FloatScanner::Result overflowed(float converted, std::size_t length) {
    FloatScanner::Result result;
    result.value =
        converted > 0.0f ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
    result.length = length;
    result.overflow = true;
    return result;
}

// The hard cases, as the stream converts them: strtof in the "C" locale.
FloatScanner::Result convertSlowly(std::string_view taken) {
    const std::string text(taken);
    char* end = nullptr;
    const float value = strtof_l(text.c_str(), &end, cLocale());
    // The grammar pass took a sign, digits, a point and an exponent with its digits, all of which
    // strtof converts.
    assert(end == text.c_str() + text.size());
    FloatScanner::Result result;
    result.length = taken.size();
    if (std::isinf(value)) {
        return overflowed(value, taken.size());
    }
    result.value = value;
    result.ok = true;
    return result;
}

} // namespace

FloatScanner::Result FloatScanner::scan(std::string_view text) {
    const Collected found = collect(text);
    Result result;
    result.length = found.length;
    // No digit before the exponent ("", "-", ".", "+."), or an exponent without digits ("1e",
    // "1e+"): strtof would stop short of the end, which the stream takes as a failure.
    if (!found.foundMantissa || (found.foundExponent && !found.foundExponentDigit)) {
        return result;
    }
    const std::int64_t powerOfTen = found.exponent - found.fractionDigits;
    // Fast and exact: an integer and a power of ten that are both floats, one correctly rounded
    // operation between them (the result strtof would give).
    if (!found.digitsDropped && found.mantissa <= largestExactMantissa &&
        powerOfTen >= -largestExactPowerOfTen && powerOfTen <= largestExactPowerOfTen) {
        const float mantissa = static_cast<float>(found.mantissa);
        const float magnitude = powerOfTen < 0 ? mantissa / exactPowersOfTen[-powerOfTen]
                                               : mantissa * exactPowersOfTen[powerOfTen];
        result.value = found.negative ? -magnitude : magnitude;
        result.ok = true;
        return result;
    }
    // Still correctly rounded: from_chars takes no '+', so the sign is put on afterwards (round
    // to nearest is symmetric). Out of its range it gives up, and strtof decides.
    const std::string_view taken = text.substr(0, found.length);
    const std::string_view magnitudeText =
        taken.front() == '+' || taken.front() == '-' ? taken.substr(1) : taken;
    float magnitude = 0.0f;
    const std::from_chars_result converted = std::from_chars(
        magnitudeText.data(), magnitudeText.data() + magnitudeText.size(), magnitude);
    if (converted.ec == std::errc() &&
        converted.ptr == magnitudeText.data() + magnitudeText.size() && std::isfinite(magnitude)) {
        result.value = found.negative ? -magnitude : magnitude;
        result.ok = true;
        return result;
    }
    return convertSlowly(taken);
}
