#include "CourseNumbers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// The course reader turns every file number into course units by this single-precision factor.
constexpr float courseUnitsPerFileUnit = 0.2f;
// File floats tried on each side of the one nearest 5 c: their products with 0.2f step by at
// least 0.8 ulp of c, so four on each side reach past every product next to c.
constexpr int candidatesPerSide = 4;
// A decimal farther than this from the float it stands for (in ulps of that float) is not
// trusted to tinyobjloader's parser; see objNumberText.
constexpr double safeUlps = 0.25;

std::string charsOf(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

double ulpOf(float value) {
    const float magnitude = std::fabs(value);
    return double(std::nextafter(magnitude, std::numeric_limits<float>::infinity())) - magnitude;
}

} // namespace

float courseValueOf(float fileValue) {
    return fileValue * courseUnitsPerFileUnit;
}

FileCoordinate fileCoordinateFor(float courseValue) {
    if (courseValue == 0.0f) {
        // 0 * 0.2f keeps the sign of the zero; stepping from -0 would skip +0.
        return {courseValue, true};
    }
    const double wanted = double(courseValue) / double(courseUnitsPerFileUnit);
    float candidate = static_cast<float>(wanted);
    for (int i = 0; i < candidatesPerSide; ++i) {
        candidate = std::nextafter(candidate, -std::numeric_limits<float>::infinity());
    }
    // Among the file floats near 5 c: those whose product is c to the bit (the sign of a zero
    // included), shortest text first; failing any, the one whose product comes nearest to c.
    FileCoordinate best;
    best.exact = false;
    std::size_t bestLength = 0;
    double bestMiss = std::numeric_limits<double>::infinity();
    for (int i = 0; i <= 2 * candidatesPerSide; ++i) {
        const float product = courseValueOf(candidate);
        const bool exact =
            std::bit_cast<std::uint32_t>(product) == std::bit_cast<std::uint32_t>(courseValue);
        const double miss = std::fabs(double(product) - courseValue);
        const std::size_t length = charsOf(candidate).size();
        const bool better =
            exact ? !best.exact || length < bestLength : !best.exact && miss < bestMiss;
        if (better) {
            best = {candidate, exact};
            bestLength = length;
            bestMiss = miss;
        }
        candidate = std::nextafter(candidate, std::numeric_limits<float>::infinity());
    }
    return best;
}

std::string shortestFloatText(float value) {
    return charsOf(value);
}

std::string objNumberText(float value) {
    std::string text = charsOf(value);
    const double limit = safeUlps * ulpOf(value);
    for (const int digits : {9, 12, 17}) {
        if (std::fabs(std::strtod(text.c_str(), nullptr) - double(value)) <= limit) {
            break;
        }
        char longer[64];
        std::snprintf(longer, sizeof longer, "%.*g", digits, double(value));
        text = longer;
    }
    return text;
}
