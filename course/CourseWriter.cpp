#include "course/CourseWriter.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// The reader turns every file number into course units by this single-precision factor.
constexpr float courseUnitsPerFileUnit = 0.2f;
// File floats tried on each side of the one nearest 5 c: their products with 0.2f step by at
// least 0.8 ulp of c, so four on each side reach past every product next to c.
constexpr int candidatesPerSide = 4;
// The longest shortest text of a float ("-1.17549435e-38") is 15 characters.
constexpr std::size_t numberRoom = 32;

std::size_t textLength(float value) {
    char text[numberRoom];
    return static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text);
}

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

} // namespace

float CourseWriter::courseValueOf(float fileValue) {
    return fileValue * courseUnitsPerFileUnit;
}

CourseWriter::FileNumber CourseWriter::fileNumberFor(float courseValue) {
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
    FileNumber best;
    best.exact = false;
    std::size_t bestLength = 0;
    double bestMiss = std::numeric_limits<double>::infinity();
    for (int i = 0; i <= 2 * candidatesPerSide; ++i) {
        const float product = courseValueOf(candidate);
        const bool exact = sameBits(product, courseValue);
        const double miss = std::fabs(double(product) - courseValue);
        const std::size_t length = textLength(candidate);
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

void CourseWriter::appendNumber(std::string& text, float value) {
    char number[numberRoom];
    text.append(number, std::to_chars(number, number + sizeof number, value).ptr);
}

std::string CourseWriter::numberText(float value) {
    std::string text;
    appendNumber(text, value);
    return text;
}

void CourseWriter::startBox(const std::array<float, 4>& colour) {
    line_ = boxOpen_ ? "\nstart\n" : "start\n";
    for (std::size_t i = 0; i < colour.size(); ++i) {
        if (i > 0) {
            line_ += ' ';
        }
        appendNumber(line_, colour[i]);
    }
    boxOpen_ = true;
    writeLine();
}

void CourseWriter::addTriangle(const std::array<Vector3, 3>& corners) {
    std::array<float, 9> file;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const FileNumber number = fileNumberFor(corners[i / 3][static_cast<int>(i % 3)]);
        inexact_ += number.exact ? 0 : 1;
        file[i] = number.value;
    }
    addFileTriangle(file);
}

void CourseWriter::addFileTriangle(const std::array<float, 9>& fileNumbers) {
    line_.clear();
    for (std::size_t i = 0; i < fileNumbers.size(); ++i) {
        line_ += i == 0 ? "" : i % 3 == 0 ? "  " : " ";
        appendNumber(line_, fileNumbers[i]);
    }
    writeLine();
}

void CourseWriter::finish() {
    out_ << (boxOpen_ ? "\nend\n" : "end\n");
    boxOpen_ = false;
}

void CourseWriter::writeLine() {
    line_ += '\n';
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
}
