// Fuzz target of the course reader: any bytes, read as a course from memory. Besides "no crash",
// what it builds must hold together and match the reader it replaced:
//  - the console shows the triangle numbers 0, 1, 2, ... one a line, one per triangle appended,
//    and then the loading time exactly when the parse succeeds;
//  - the boxes' triangles, box after box, are the triangle list itself, and every box's bounds
//    hold its triangles' vertices;
//  - a failure says so in exactly one "error:" line, a success in none;
//  - every triangle with a normal has its frames built;
//  - reading the same bytes again builds the same triangles, boxes and messages, bit for bit;
//  - the stream reader it replaced (support/StreamCourseReader.h) accepts the same bytes and
//    reads the same numbers, except where a word is longer than the reader takes at all.
#include "course/CourseInput.h"
#include "course/CourseReader.h"
#include "course/TriangleStorage.h"
#include "support/StreamCourseReader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string inputName = "fuzz.txt";

void require(bool condition, const char* invariant) {
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        std::abort();
    }
}

// One read of the bytes, with everything it built.
struct Load {
    TriangleStorage storage;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::string console;
    std::string diagnostics;
    bool ok = false;

    explicit Load(std::string_view bytes) {
        std::ostringstream consoleText, diagnosticsText;
        CourseReadOptions options;
        options.storage = &storage;
        options.diagnostics = &diagnosticsText;
        ok = CourseReader::instance()->parseBytes(bytes, inputName, triangles, boxes, consoleText,
                                                  options);
        console = consoleText.str();
        diagnostics = diagnosticsText.str();
    }

    // The console without the loading time, which depends on the clock.
    std::string numbers() const {
        return ok ? console.substr(0, console.rfind('\n', console.size() - 2) + 1) : console;
    }
};

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameVector(const Vector3& a, const Vector3& b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

void checkConsole(const Load& load) {
    std::string expected;
    for (std::size_t number = 0; number < load.triangles.size(); ++number) {
        expected += std::to_string(number) + "\n";
    }
    require(load.numbers() == expected, "the console numbers the triangles from 0, one a line");
    if (load.ok) {
        const std::string time = load.console.substr(expected.size());
        char* end = nullptr;
        const double seconds = std::strtod(time.c_str(), &end);
        require(time.size() > 1 && time.back() == '\n' && end == time.c_str() + time.size() - 1 &&
                    seconds >= 0.0,
                "a success ends with the loading time in seconds");
    }
}

void checkBoxes(const Load& load) {
    std::size_t next = 0;
    for (const CollisionBox& box : load.boxes) {
        for (unsigned i = 0; i < box.triangleCount(); ++i) {
            const Triangle* triangle = box.triangle(static_cast<int>(i));
            require(next < load.triangles.size() && load.triangles[next] == triangle,
                    "the boxes hold the triangle list, box after box, in order");
            ++next;
            for (int v = 0; v < 3; ++v) {
                for (int axis = 0; axis < 3; ++axis) {
                    const float c = (*triangle->vertex(v))[axis];
                    require(std::isnan(c) ||
                                (box.minCorner()[axis] <= c && c <= box.maxCorner()[axis]),
                            "a box's bounds hold its triangles' vertices");
                }
            }
        }
    }
    require(next == load.triangles.size(), "every triangle is in a box");
}

void checkMessages(const Load& load) {
    std::size_t errors = 0;
    for (std::size_t at = load.diagnostics.find(": error: "); at != std::string::npos;
         at = load.diagnostics.find(": error: ", at + 1)) {
        ++errors;
    }
    require(errors == (load.ok ? 0u : 1u), "a failure is one error line, a success none");
    require(load.diagnostics.empty() || load.diagnostics.rfind(inputName, 0) == 0,
            "every message starts with the course's name");
}

// Frames never built on either side would compare equal in checkRepeatable.
void checkFramesBuilt(const Load& load) {
    for (const Triangle* triangle : load.triangles) {
        require(!triangle->hasFiniteNormal() || triangle->link() != nullptr,
                "every triangle with a normal has its frames");
    }
}

void checkRepeatable(const Load& first, const Load& second) {
    require(first.ok == second.ok && first.numbers() == second.numbers() &&
                first.diagnostics == second.diagnostics &&
                first.boxes.size() == second.boxes.size() &&
                first.triangles.size() == second.triangles.size(),
            "the same bytes read twice give the same result");
    for (std::size_t i = 0; i < first.triangles.size(); ++i) {
        for (int v = 0; v < 3; ++v) {
            require(sameVector(*first.triangles[i]->vertex(v), *second.triangles[i]->vertex(v)),
                    "the same bytes read twice give the same vertices");
        }
        for (int k = 0; k < 3; ++k) {
            require(std::memcmp(first.triangles[i]->matrix(k), second.triangles[i]->matrix(k),
                                16 * sizeof(float)) == 0,
                    "the same bytes read twice give the same frames");
        }
    }
}

bool hasOverlongWord(std::string_view bytes) {
    std::size_t run = 0;
    for (const char ch : bytes) {
        const bool space =
            ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
        run = space ? 0 : run + 1;
        if (run > CourseInput::maxWordBytes) {
            return true;
        }
    }
    return false;
}

void checkAgainstStreamReader(std::string_view bytes, const Load& load) {
    if (hasOverlongWord(bytes)) {
        return; // refused by design, with its position; the stream reader would read on
    }
    const ReferenceLoad reference = referenceLoad(std::string(bytes));
    require(load.ok == reference.ok, "accepted exactly when the stream reader accepts");
    require(load.boxes.size() == reference.trianglesPerBox.size(),
            "as many boxes as the stream reader began");
    std::size_t number = 0;
    for (std::size_t b = 0; b < load.boxes.size(); ++b) {
        const CollisionBox& box = load.boxes[b];
        require(box.triangleCount() == static_cast<unsigned>(reference.trianglesPerBox[b]),
                "as many triangles in each box as the stream reader read");
        for (int i = 0; i < 4 && number < reference.numbers.size(); ++i) {
            require(sameBits(box.colour()[i], reference.numbers[number++]),
                    "the colours the stream reader read");
        }
        for (unsigned t = 0; t < box.triangleCount(); ++t) {
            for (int v = 0; v < 3; ++v) {
                for (int axis = 0; axis < 3; ++axis) {
                    require(number < reference.numbers.size() &&
                                sameBits((*box.triangle(static_cast<int>(t))->vertex(v))[axis],
                                         reference.numbers[number++]),
                            "the coordinates the stream reader read");
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Load first(bytes);
    checkConsole(first);
    checkBoxes(first);
    checkMessages(first);
    checkFramesBuilt(first);
    const Load second(bytes);
    checkFramesBuilt(second);
    checkRepeatable(first, second);
    checkAgainstStreamReader(bytes, first);
    return 0;
}
