#include "course/CourseReader.h"

#include "scene/MillisecondClock.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale>

namespace {

// Course units per file unit: the file's numbers are five times the course's.
constexpr float courseUnitsPerFileUnit = 0.2f;
constexpr float secondsPerMillisecond = 0.001f;

constexpr int coloursPerBox = 4;
constexpr int numbersPerTriangle = 9;
constexpr const char* colourNames[coloursPerBox] = {"red", "green", "blue", "alpha"};
constexpr const char* axisNames[3] = {"x", "y", "z"};

// The longest found word quoted in a message; a binary file can hold "words" of any length.
constexpr std::size_t longestQuotedWord = 40;

// The white space that formatted extraction skips in the classic locale.
bool isWordSeparator(int ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

// The word in quotes, cut to a readable length, with bytes that are not printable as \xNN.
std::string quoted(const std::string& word) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text = "\"";
    for (std::size_t i = 0; i < word.size() && i < longestQuotedWord; ++i) {
        const auto byte = static_cast<unsigned char>(word[i]);
        if (byte >= 0x20 && byte < 0x7f) {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += hexDigits[byte >> 4];
            text += hexDigits[byte & 0xf];
        }
    }
    text += word.size() > longestQuotedWord ? "...\"" : "\"";
    return text;
}

// What a failed read met: the word at the failure, or the end of the input.
struct Finding {
    long line = 1;
    long word = 1;
    bool atEnd = false;
    std::string text;
};

// Locates the read that failed without any bookkeeping on the good path: from sectionStart
// (where the current box or triangle began, before its white space) the reads that succeeded
// are made again, `wordsBefore` words and then `numbersBefore` numbers, which leaves the stream
// at the word that could not be read. Line and word numbers count from 1; the word number is
// the white-space separated word that holds the failure, or the next one at the end of input.
Finding locateFailure(std::istream& in, std::streampos sectionStart, int wordsBefore,
                      int numbersBefore) {
    in.clear();
    // An unknown start means tellg met an input already read to its end: the failure is there.
    if (sectionStart == std::streampos(-1)) {
        in.seekg(0, std::ios::end);
    } else {
        in.seekg(sectionStart);
    }
    std::string skipped;
    for (int i = 0; i < wordsBefore; ++i) {
        in >> skipped;
    }
    float number = 0.0f;
    for (int i = 0; i < numbersBefore; ++i) {
        in >> number;
    }
    in >> std::ws;
    in.clear();
    const std::streamoff failureOffset = in.tellg();

    Finding finding;
    finding.atEnd = !(in >> finding.text);

    // Only now, on the way out, are lines and words counted up to the failure.
    in.clear();
    in.seekg(0);
    std::streambuf* bytes = in.rdbuf();
    long wordsBegun = 0;
    bool insideWord = false;
    for (std::streamoff offset = 0; offset < failureOffset; ++offset) {
        const int ch = bytes->sbumpc();
        if (ch == std::char_traits<char>::eof()) {
            break;
        }
        if (ch == '\n') {
            ++finding.line;
        }
        const bool separator = isWordSeparator(ch);
        if (!separator && !insideWord) {
            ++wordsBegun;
        }
        insideWord = !separator;
    }
    // Inside a word (a number glued to what follows it) the failure belongs to that word; at
    // a word's start or at the end of the input, to the next word.
    finding.word = insideWord && !finding.atEnd ? wordsBegun : wordsBegun + 1;
    return finding;
}

// Why a word was not taken as a float, when the reason is not plain from the word itself.
std::string numberHint(const std::string& word, const std::string& startMarker,
                       const std::string& endMarker) {
    if (word == startMarker || word == endMarker) {
        return " (cut short by a marker)";
    }
    std::string lower = word;
    for (char& ch : lower) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    if (lower == startMarker || lower == endMarker) {
        return " (markers are written in lower case)";
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(word.c_str(), &end);
    const bool wholeWordIsNumber = end != word.c_str() && end == word.c_str() + word.size();
    if (wholeWordIsNumber && (std::isfinite(value) || errno == ERANGE)) {
        return " (out of the range of a float)";
    }
    return "";
}

// One line on standard error: file, position, what the grammar expected and what was there.
void reportFailure(const std::string& fileName, const Finding& finding, const std::string& expected,
                   const std::string& hint) {
    std::cerr << fileName << ": line " << finding.line << ", word " << finding.word << ": expected "
              << expected << ", found ";
    if (finding.atEnd) {
        std::cerr << "the end of the file\n";
    } else {
        std::cerr << quoted(finding.text) << hint << "\n";
    }
}

std::string colourExpectation(int component, int boxNumber) {
    return std::string("a number (") + colourNames[component] + " of the colour of box " +
           std::to_string(boxNumber) + ")";
}

std::string coordinateExpectation(int number, int triangleNumber) {
    return std::string("a number (") + axisNames[number % 3] + " of vertex " +
           std::to_string(number / 3) + " of triangle " + std::to_string(triangleNumber) + ")";
}

// The next word with the read position put back, which is also stored in `position` (-1 when
// the stream had already failed or met the end of the input). Putting back is not possible, and
// not done, once the read has failed.
std::string lookAhead(std::istream& in, std::streampos& position) {
    position = in.tellg();
    std::string word;
    in >> word;
    if (!in.fail()) {
        in.seekg(position);
    }
    return word;
}

// Reads up to `count` floats into `values`; returns how many were read before the first that
// could not be.
int readNumbers(std::istream& in, float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!(in >> values[i])) {
            return i;
        }
    }
    return count;
}

// A new triangle, with its frames, from nine file coordinates: v0, v1, v2 in that order.
Triangle* buildTriangle(const float (&fileCoordinates)[numbersPerTriangle]) {
    float c[numbersPerTriangle];
    for (int i = 0; i < numbersPerTriangle; ++i) {
        c[i] = fileCoordinates[i] * courseUnitsPerFileUnit;
    }
    return new Triangle(new Vector3(c[0], c[1], c[2]), new Vector3(c[3], c[4], c[5]),
                        new Vector3(c[6], c[7], c[8]), false);
}

// Opens the course afresh. The reader is one stream for the whole process, so whatever the
// last parse left behind (an open, failed stream, another locale) is dropped first.
bool openCourse(std::ifstream& file, const std::string& fileName) {
    if (file.is_open()) {
        file.close();
    }
    // Numbers are read with '.' as the decimal point whatever the user's locale says.
    file.imbue(std::locale::classic());
    // A successful open also clears the failure state the last parse may have left.
    errno = 0;
    file.open(fileName, std::ios::in);
    if (file.is_open()) {
        return true;
    }
    const int reason = errno;
    std::cerr << fileName << ": cannot open the course file";
    if (reason != 0) {
        std::cerr << " (" << std::strerror(reason) << ")";
    }
    std::cerr << "\n";
    return false;
}

} // namespace

CourseReader* CourseReader::instance() {
    static CourseReader* const reader = new CourseReader();
    return reader;
}

std::string CourseReader::peekWord() {
    std::streampos position;
    return lookAhead(*this, position);
}

void CourseReader::skipWord() {
    std::string word;
    *this >> word;
}

bool CourseReader::parse(std::string fileName, std::vector<Triangle*>& triangles,
                         std::vector<CollisionBox>& boxes, std::ostream& console) {
    const std::int32_t startTime = millisecondClock();

    if (!openCourse(*this, fileName)) {
        return false;
    }

    // Where the box or triangle being read began; only a failure looks at it again. Taken by
    // the look-ahead itself: one position query per word looked at, none per number.
    std::streampos sectionStart;
    // A read error (a directory, a device failing) reads as an early end; say which it was.
    const auto failAt = [&](const std::string& expected, bool expectedNumber, int wordsBefore,
                            int numbersBefore) {
        if (bad()) {
            std::cerr << fileName << ": cannot read the course file (read error)\n";
            return false;
        }
        const Finding finding = locateFailure(*this, sectionStart, wordsBefore, numbersBefore);
        const bool hinted = expectedNumber && !finding.atEnd;
        reportFailure(fileName, finding, expected,
                      hinted ? numberHint(finding.text, startMarker, endMarker) : "");
        return false;
    };

    int boxNumber = 0;
    int triangleNumber = 0;
    std::string word = lookAhead(*this, sectionStart);
    for (;;) {
        // Box level: the word looked at is not consumed until it is known to be "start".
        if (word == endMarker) {
            close();
            const std::int32_t elapsed = millisecondsBetween(startTime, millisecondClock());
            console << static_cast<float>(elapsed) * secondsPerMillisecond << "\n";
            return true;
        }
        if (word != startMarker) {
            return failAt("\"start\" or \"end\"", false, 0, 0);
        }
        skipWord();
        boxes.emplace_back();
        CollisionBox& box = boxes.back();

        float colour[coloursPerBox];
        const int coloursRead = readNumbers(*this, colour, coloursPerBox);
        if (coloursRead < coloursPerBox) {
            return failAt(colourExpectation(coloursRead, boxNumber), true, 1, coloursRead);
        }
        box.setColour(colour[0], colour[1], colour[2], colour[3]);

        word = lookAhead(*this, sectionStart);
        // Triangle level: any word but a marker begins the nine numbers of a triangle.
        while (word != startMarker && word != endMarker) {
            if (word.empty()) {
                return failAt("a triangle, \"start\" or \"end\"", false, 0, 0);
            }
            float coordinates[numbersPerTriangle];
            const int numbersRead = readNumbers(*this, coordinates, numbersPerTriangle);
            if (numbersRead < numbersPerTriangle) {
                return failAt(coordinateExpectation(numbersRead, triangleNumber), true, 0,
                              numbersRead);
            }
            Triangle* const triangle = buildTriangle(coordinates);
            triangles.push_back(triangle);
            box.addTriangle(triangle);
            if (!triangle->hasFiniteNormal()) {
                std::cerr << fileName << ": triangle " << triangleNumber
                          << " is degenerate (zero area); it takes part in no contact\n";
            }
            console << triangleNumber << "\n";

            word = lookAhead(*this, sectionStart);
            ++triangleNumber;
        }
        // The word that ended the box is looked at again by the box level.
        ++boxNumber;
    }
}
