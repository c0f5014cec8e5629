#include "course/CourseReader.h"

#include "FloatScanner.h"
#include "FrameBuilder.h"
#include "scene/MillisecondClock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <locale>
#include <system_error>

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
// Triangle numbers gathered before they are written to the console: one write for a few
// thousand lines instead of one for each.
constexpr std::size_t consoleBatchBytes = 16 * 1024;

bool isMarker(std::string_view word) {
    return word == CourseReader::startWord || word == CourseReader::endWord;
}

// What the parse expects at a point of the file; put into words only when a message needs it.
struct Expectation {
    enum class Kind { boxOrEnd, triangleOrMarker, colour, coordinate };
    Kind kind = Kind::boxOrEnd;
    int index = 0;          // colour component 0-3, or coordinate 0-8 of a triangle
    std::int64_t owner = 0; // the box or triangle number

    bool isNumber() const { return kind == Kind::colour || kind == Kind::coordinate; }

    std::string describe() const {
        switch (kind) {
        case Kind::boxOrEnd:
            return "\"start\" or \"end\"";
        case Kind::triangleOrMarker:
            return "a triangle, \"start\" or \"end\"";
        case Kind::colour:
            return std::string("a number (") + colourNames[index] + " of the colour of box " +
                   std::to_string(owner) + ")";
        case Kind::coordinate:
            break;
        }
        return std::string("a number (") + axisNames[index % 3] + " of vertex " +
               std::to_string(index / 3) + " of triangle " + std::to_string(owner) + ")";
    }
};

// The word in quotes, cut to a readable length, with bytes that are not printable as \xNN.
std::string quoted(std::string_view word) {
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

bool isWholeNumber(std::string_view text) {
    const FloatScanner::Result number = FloatScanner::scan(text);
    return number.ok && number.length == text.size();
}

// Why a word was not taken as a number, when the reason is not plain from the word itself.
std::string numberHint(std::string_view word) {
    if (isMarker(word)) {
        return " (cut short by a marker)";
    }
    std::string lower(word);
    for (char& ch : lower) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    if (isMarker(lower)) {
        return " (markers are written in lower case)";
    }
    const FloatScanner::Result whole = FloatScanner::scan(word);
    if (whole.overflow && whole.length == word.size()) {
        return " (out of the range of a float)";
    }
    const std::size_t comma = word.find(',');
    if (comma != std::string_view::npos) {
        std::string withPoint(word);
        withPoint[comma] = '.';
        if (isWholeNumber(withPoint)) {
            return " (a decimal comma: numbers are written with a point, as in 1.5)";
        }
    }
    for (const std::string_view marker : {CourseReader::startWord, CourseReader::endWord}) {
        const bool before = word.size() > marker.size() && word.ends_with(marker) &&
                            isWholeNumber(word.substr(0, word.size() - marker.size()));
        const bool after = word.size() > marker.size() && word.starts_with(marker) &&
                           isWholeNumber(word.substr(marker.size()));
        if (before || after) {
            return " (a marker is a word of its own: put white space around it)";
        }
    }
    return "";
}

// Whether `console << number` writes the plain decimal digits, which the parse then gathers
// itself: the classic locale, decimal, no sign, no width.
bool printsPlainIntegers(const std::ostream& console) {
    const std::ios::fmtflags base = console.flags() & std::ios::basefield;
    return console.getloc() == std::locale::classic() && (base == std::ios::dec || base == 0) &&
           !(console.flags() & std::ios::showpos) && console.width() == 0;
}

// One parse of one input: its cursor, the lists it appends to, its streams and its counters.
class CourseParse {
public:
    CourseParse(CourseInput& input, const std::string& name, std::vector<Triangle*>& triangles,
                std::vector<CollisionBox>& boxes, std::ostream& console, std::ostream& diagnostics,
                TriangleStorage& storage, const CourseReadOptions& options, FrameBuilder& frames)
        : input_(input), name_(name), triangles_(triangles), boxes_(boxes), console_(console),
          diagnostics_(diagnostics), storage_(storage), sources_(options.sources),
          warnDegenerate_(options.warnDegenerate), frames_(frames),
          plainConsole_(printsPlainIntegers(console)) {}

    // The boxes up to the final "end"; false, with a message, at the first fault.
    bool run();
    // Writes the triangle numbers gathered so far.
    void flushConsole();

private:
    bool readBox();
    bool readColour(CollisionBox& box);
    bool readTriangle(CollisionBox& box);
    bool peekWord(std::string_view& word, const Expectation& expected);
    bool readNumber(float& value, const Expectation& expected);
    bool fail(CourseInput::Status status, const Expectation& expected);
    void noteShortBox(const Expectation& expected);
    void warnDegenerate(const StoredTriangle& stored, SourcePosition at);
    void printNumber(std::int64_t number);
    std::ostream& at(SourcePosition position);

    CourseInput& input_;
    const std::string& name_;
    std::vector<Triangle*>& triangles_;
    std::vector<CollisionBox>& boxes_;
    std::ostream& console_;
    std::ostream& diagnostics_;
    TriangleStorage& storage_;
    CourseSources* sources_;
    const bool warnDegenerate_;
    FrameBuilder& frames_;
    const bool plainConsole_;
    std::string consoleText_;

    std::int64_t boxNumber_ = 0;
    std::int64_t triangleNumber_ = 0;
    // Where the box being read has its "start".
    SourcePosition boxStart_{};
    // What the word under the cursor was first read as. A number can end inside a word, and a
    // failure later in that word is reported as that word's: in "5 -1O", "-1" is the y that
    // was meant, and the z fails on the "O" of the same word.
    Expectation wordExpectation_;
};

bool CourseParse::run() {
    const Expectation boxOrEnd{Expectation::Kind::boxOrEnd};
    for (;;) {
        // The word looked at is not consumed until it is known to be "start".
        std::string_view word;
        if (!peekWord(word, boxOrEnd)) {
            return false;
        }
        if (word == CourseReader::endWord) {
            return true;
        }
        if (word != CourseReader::startWord) {
            return fail(CourseInput::Status::word, boxOrEnd);
        }
        if (!readBox()) {
            return false;
        }
    }
}

bool CourseParse::readBox() {
    const SourcePosition start = input_.cursorPosition();
    boxStart_ = start;
    input_.advance(CourseReader::startWord.size());
    boxes_.emplace_back();
    if (sources_ != nullptr) {
        sources_->boxes.push_back(start);
    }
    CollisionBox& box = boxes_.back();
    if (!readColour(box)) {
        return false;
    }
    // Any word but a marker begins the nine numbers of a triangle.
    const Expectation triangleOrMarker{Expectation::Kind::triangleOrMarker};
    std::string_view word;
    while (peekWord(word, triangleOrMarker)) {
        if (isMarker(word)) {
            // The box is complete; the marker is looked at again at the box level. Compacted
            // now rather than after the parse, so that a large course never holds the
            // duplicate-check sets and spare list room of all its boxes at once, only those of
            // the box being read.
            box.compact();
            ++boxNumber_;
            return true;
        }
        if (!readTriangle(box)) {
            return false;
        }
    }
    return false;
}

bool CourseParse::readColour(CollisionBox& box) {
    float colour[coloursPerBox];
    for (int component = 0; component < coloursPerBox; ++component) {
        if (!readNumber(colour[component], {Expectation::Kind::colour, component, boxNumber_})) {
            return false;
        }
    }
    box.setColour(colour[0], colour[1], colour[2], colour[3]);
    return true;
}

bool CourseParse::readTriangle(CollisionBox& box) {
    const SourcePosition first = input_.cursorPosition();
    float c[numbersPerTriangle];
    for (int i = 0; i < numbersPerTriangle; ++i) {
        if (!readNumber(c[i], {Expectation::Kind::coordinate, i, triangleNumber_})) {
            return false;
        }
        c[i] = c[i] * courseUnitsPerFileUnit; // rounded to float
    }
    const TriangleSlot slot =
        storage_.add({c[0], c[1], c[2]}, {c[3], c[4], c[5]}, {c[6], c[7], c[8]});
    const StoredTriangle& stored = *slot.stored;
    Triangle* const triangle = &slot.stored->triangle;
    triangles_.push_back(triangle);
    if (sources_ != nullptr) {
        sources_->triangles.push_back(first);
    }
    box.addTriangle(triangle);
    if (warnDegenerate_ && !triangle->hasFiniteNormal()) {
        warnDegenerate(stored, first);
    }
    printNumber(triangleNumber_);
    // Done with it here: its frames can be built on another thread from now on.
    frames_.add(slot);
    ++triangleNumber_;
    return true;
}

// The rest of the word at the cursor, not consumed: what a look-ahead that puts the read
// position back would see. Inline, because readNumber calls it for every number of the course:
// as a call it cost about 15 instructions a number, 2 % of the reading thread's work.
inline bool CourseParse::peekWord(std::string_view& word, const Expectation& expected) {
    const CourseInput::Status status = input_.next();
    if (status != CourseInput::Status::word) {
        return fail(status, expected);
    }
    if (input_.atWordStart()) {
        wordExpectation_ = expected;
    }
    word = input_.rest();
    return true;
}

bool CourseParse::readNumber(float& value, const Expectation& expected) {
    std::string_view word;
    if (!peekWord(word, expected)) {
        return false;
    }
    const FloatScanner::Result number = FloatScanner::scan(word);
    input_.advance(number.length);
    if (!number.ok) {
        return fail(CourseInput::Status::word, wordExpectation_);
    }
    value = number.value;
    return true;
}

std::ostream& CourseParse::at(SourcePosition position) {
    return diagnostics_ << name_ << ':' << position.line << ':' << position.column << ": ";
}

// One line in the diagnostics: where, what the grammar expected, and what was there.
bool CourseParse::fail(CourseInput::Status status, const Expectation& expected) {
    flushConsole();
    switch (status) {
    case CourseInput::Status::readError:
        diagnostics_ << name_ << ": error: cannot read the course file ("
                     << std::strerror(input_.readErrno()) << ")\n";
        break;
    case CourseInput::Status::end:
        at(input_.cursorPosition())
            << "error: expected " << expected.describe() << ", found the end of the file\n";
        break;
    case CourseInput::Status::tooLong:
        at(input_.wordPosition()) << "error: expected " << expected.describe() << ", found "
                                  << quoted(input_.word()) << " (a word of more than "
                                  << CourseInput::maxWordBytes << " bytes)\n";
        break;
    case CourseInput::Status::word:
        at(input_.wordPosition()) << "error: expected " << expected.describe() << ", found "
                                  << quoted(input_.word())
                                  << (expected.isNumber() ? numberHint(input_.word()) : "") << "\n";
        if (expected.isNumber() && isMarker(input_.word())) {
            noteShortBox(expected);
        }
        break;
    }
    return false;
}

// A marker where a number was due: a number is missing (or one too many) somewhere in the box,
// which may be many lines before the marker that shows it. The box's "start" bounds the search.
void CourseParse::noteShortBox(const Expectation& expected) {
    at(boxStart_) << "note: box " << boxNumber_ << " began here; "
                  << (expected.kind == Expectation::Kind::colour
                          ? "its colour takes four numbers"
                          : "its triangles take nine numbers each, so one is missing or extra "
                            "between here and the marker")
                  << "\n";
}

// A triangle without a usable normal: its vertices span no area, or they are so far apart that
// the cross product overflows a float.
void CourseParse::warnDegenerate(const StoredTriangle& stored, SourcePosition position) {
    flushConsole();
    const Vector3 cross =
        (stored.vertex[1] - stored.vertex[0]).cross(stored.vertex[2] - stored.vertex[0]);
    at(position) << "warning: triangle " << triangleNumber_ << " is degenerate ("
                 << (cross.isFinite() ? "zero area: its vertices are equal or on one line"
                                      : "its normal overflows a float: its coordinates are too "
                                        "large")
                 << "); it takes part in no contact\n";
}

void CourseParse::printNumber(std::int64_t number) {
    if (!plainConsole_) {
        console_ << number << "\n";
        return;
    }
    char digits[24];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, number);
    consoleText_.append(digits, written.ptr);
    consoleText_ += '\n';
    if (consoleText_.size() >= consoleBatchBytes) {
        flushConsole();
    }
}

void CourseParse::flushConsole() {
    if (!consoleText_.empty()) {
        console_.write(consoleText_.data(), static_cast<std::streamsize>(consoleText_.size()));
        consoleText_.clear();
    }
}

// Where the options send errors and warnings.
std::ostream& diagnosticsOf(const CourseReadOptions& options) {
    return options.diagnostics != nullptr ? *options.diagnostics : std::cerr;
}

// Reads the whole course from `source`; the frames are all built, and nothing loading alone
// needed is kept, when it returns.
bool readCourse(ByteSource& source, const std::string& name, std::vector<Triangle*>& triangles,
                std::vector<CollisionBox>& boxes, std::ostream& console,
                const CourseReadOptions& options, std::int32_t startTime) {
    std::ostream& diagnostics = diagnosticsOf(options);
    TriangleStorage& storage =
        options.storage != nullptr ? *options.storage : TriangleStorage::processWide();
    const std::size_t firstBox = boxes.size();

    CourseInput input(source);
    FrameBuilder frames(options.threads);
    CourseParse parse(input, name, triangles, boxes, console, diagnostics, storage, options,
                      frames);
    const bool ok = parse.run();
    parse.flushConsole();
    frames.finish();

    // Every complete box was compacted when its marker came (readBox); a fault inside a box
    // leaves that one, the last, still to do.
    if (!ok && boxes.size() > firstBox) {
        boxes.back().compact();
    }
    boxes.shrink_to_fit();
    triangles.shrink_to_fit();
    if (options.sources != nullptr) {
        options.sources->boxes.shrink_to_fit();
        options.sources->triangles.shrink_to_fit();
    }
    if (ok) {
        const std::int32_t elapsed = millisecondsBetween(startTime, millisecondClock());
        console << static_cast<float>(elapsed) * secondsPerMillisecond << "\n";
    }
    return ok;
}

// Opens the course for reading; -1, after a message, when it cannot be opened.
int openCourse(const std::string& fileName, std::ostream& diagnostics,
               const std::string& missingFileNote) {
    const int descriptor = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        return descriptor;
    }
    const int reason = errno;
    diagnostics << fileName << ": error: cannot open the course file";
    // A relative name is looked up in the working folder: say which one that was.
    std::error_code unknown;
    const std::filesystem::path folder = std::filesystem::current_path(unknown);
    if (std::filesystem::path(fileName).is_relative() && !unknown) {
        diagnostics << " in " << folder.string();
    }
    diagnostics << " (" << std::strerror(reason) << ")\n";
    if (reason == ENOENT && !missingFileNote.empty()) {
        diagnostics << fileName << ": note: " << missingFileNote << "\n";
    }
    return -1;
}

// Closes the course's descriptor however the parse ends.
class OpenCourse {
public:
    explicit OpenCourse(int descriptor) : descriptor_(descriptor) {}
    OpenCourse(const OpenCourse&) = delete;
    OpenCourse& operator=(const OpenCourse&) = delete;
    ~OpenCourse() { ::close(descriptor_); }

private:
    int descriptor_;
};

} // namespace

CourseReader* CourseReader::instance() {
    static CourseReader* const reader = new CourseReader();
    return reader;
}

std::string CourseReader::peekWord() {
    const std::streampos position = tellg();
    std::string word;
    *this >> word;
    if (!fail()) {
        seekg(position);
    }
    return word;
}

void CourseReader::skipWord() {
    std::string word;
    *this >> word;
}

bool CourseReader::parse(std::string fileName, std::vector<Triangle*>& triangles,
                         std::vector<CollisionBox>& boxes, std::ostream& console,
                         const CourseReadOptions& options) {
    const std::int32_t startTime = millisecondClock();
    const int descriptor = openCourse(fileName, diagnosticsOf(options), options.missingFileNote);
    if (descriptor < 0) {
        return false;
    }
    const OpenCourse open(descriptor);
    FileSource source(descriptor);
    return readCourse(source, fileName, triangles, boxes, console, options, startTime);
}

bool CourseReader::parseBytes(std::string_view bytes, const std::string& name,
                              std::vector<Triangle*>& triangles, std::vector<CollisionBox>& boxes,
                              std::ostream& console, const CourseReadOptions& options) {
    const std::int32_t startTime = millisecondClock();
    MemorySource source(bytes);
    return readCourse(source, name, triangles, boxes, console, options, startTime);
}
