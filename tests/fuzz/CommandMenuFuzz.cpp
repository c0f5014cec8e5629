// Fuzz target of the command menu: any bytes as console input, dialogue after dialogue until the
// input ends. The calls the menu makes on its MenuTarget must be exactly those that a model of
// the documented dialogue derives from the words of the input, not only "no crash":
//  - a word is a run of non-white-space (the C locale's), at most 4096 characters: a longer run is
//    read as several words;
//  - a command word is compared exactly: "ball" and "camera" take six numbers and call setBall or
//    setCamera with them, "triangle" takes three whole numbers and prints a triangle, "exit" ends
//    the dialogue, "help" changes nothing, any other word is unrecognized;
//  - a number is taken from the front of a word as the standard extraction operator takes it,
//    and what it leaves of the word is the next word; a word with no number at its front is
//    named in a complaint and skipped;
//  - each dialogue ends with one timer restart, also when the input ends inside it; once the
//    input has ended, opening the menu again calls nothing and writes nothing on standard output.
#include "console/CommandMenu.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t longestWord = 4096;

void require(bool condition, const char* invariant) {
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        std::abort();
    }
}

// One call on the menu's target; floats compared bit for bit, so that -0 and 0 differ.
struct Call {
    enum Kind { ball, camera, restartTimer } kind;
    float values[6] = {};

    bool operator==(const Call& other) const {
        return kind == other.kind && std::memcmp(values, other.values, sizeof values) == 0;
    }
};

Call callWith(Call::Kind kind, Vector3 first, Vector3 second) {
    return {kind, {first.x, first.y, first.z, second.x, second.y, second.z}};
}

class RecordingTarget : public MenuTarget {
public:
    std::vector<Call> calls;
    void setBall(Vector3 position, Vector3 velocity) override {
        calls.push_back(callWith(Call::ball, position, velocity));
    }
    void setCamera(Vector3 position, Vector3 target) override {
        calls.push_back(callWith(Call::camera, position, target));
    }
    void restartTimer() override { calls.push_back({Call::restartTimer}); }
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The model's input: the words of the bytes, and what a number left of the last word.
class Words {
public:
    Words(const std::uint8_t* data, std::size_t size) {
        std::string run;
        for (std::size_t at = 0; at <= size; ++at) {
            if (at < size && !isSpace(static_cast<char>(data[at]))) {
                run += static_cast<char>(data[at]);
                continue;
            }
            for (std::size_t from = 0; from < run.size(); from += longestWord) {
                words_.push_back(run.substr(from, longestWord));
            }
            run.clear();
        }
    }

    std::optional<std::string> next() {
        if (!leftOfWord_.empty()) {
            return std::exchange(leftOfWord_, std::string());
        }
        if (next_ == words_.size()) {
            return std::nullopt;
        }
        return words_[next_++];
    }

    // A number of the kind asked for from the front of the next word that has one; each word
    // before it is counted in `complaints`. Empty when the words run out.
    template <typename Number> std::optional<Number> number(int& complaints) {
        while (const std::optional<std::string> word = next()) {
            std::istringstream reader(*word);
            Number value{};
            if (reader >> value) {
                leftOfWord_.assign(std::istreambuf_iterator<char>(reader), {});
                return value;
            }
            ++complaints;
        }
        return std::nullopt;
    }

private:
    std::vector<std::string> words_;
    std::size_t next_ = 0;
    std::string leftOfWord_;
};

// What the model expects of a whole run: the target's calls and the counts of what is written.
struct Expected {
    std::vector<Call> calls;
    int unrecognized = 0;
    int complaints = 0;
    int triangles = 0;
};

std::optional<Vector3> vectorFrom(Words& words, int& complaints) {
    const std::optional<float> x = words.number<float>(complaints);
    const std::optional<float> y = x ? words.number<float>(complaints) : std::nullopt;
    const std::optional<float> z = y ? words.number<float>(complaints) : std::nullopt;
    return z ? std::optional<Vector3>(Vector3(*x, *y, *z)) : std::nullopt;
}

// Carries out one command word; false once the words have run out inside it.
bool modelCommand(const std::string& command, Words& words, Expected& expected) {
    if (command == "ball" || command == "camera") {
        const std::optional<Vector3> first = vectorFrom(words, expected.complaints);
        const std::optional<Vector3> second =
            first ? vectorFrom(words, expected.complaints) : std::nullopt;
        if (!second) {
            return false;
        }
        expected.calls.push_back(
            callWith(command == "ball" ? Call::ball : Call::camera, *first, *second));
    } else if (command == "triangle") {
        for (int value = 0; value < 3; ++value) {
            if (!words.number<int>(expected.complaints)) {
                return false;
            }
        }
        ++expected.triangles;
    } else if (command != "help" && command != "exit") {
        ++expected.unrecognized;
    }
    return true;
}

Expected model(const std::uint8_t* data, std::size_t size) {
    Words words(data, size);
    Expected expected;
    bool ended = false;
    while (!ended) {
        while (true) {
            const std::optional<std::string> command = words.next();
            if (!command || !modelCommand(*command, words, expected)) {
                ended = true;
                break;
            }
            if (*command == "exit") {
                break;
            }
        }
        expected.calls.push_back({Call::restartTimer});
    }
    return expected;
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Expected expected = model(data, size);

    RecordingTarget target;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    std::ostringstream errors;
    CommandMenu menu(target, in, out, errors);
    // Every dialogue reads a word or ends the input, so this loop ends.
    while (!menu.inputEnded()) {
        menu.run();
    }
    require(target.calls == expected.calls, "the target's calls are those the words ask for");
    require(occurrences(out.str(), "Unrecognized command\n") == expected.unrecognized,
            "one \"Unrecognized command\" per unknown command word");
    require(occurrences(out.str(), "New vertices...\n") == expected.triangles,
            "one triangle printed per complete \"triangle\" command");
    // A word holds no white space, so "expected " only starts a complaint.
    require(occurrences(errors.str(), "expected ") == expected.complaints,
            "one complaint per word that holds no number where one is asked for");

    const std::size_t written = out.str().size();
    menu.run();
    require(target.calls.size() == expected.calls.size() && out.str().size() == written,
            "after the end of input the menu calls and writes nothing");
    return 0;
}
