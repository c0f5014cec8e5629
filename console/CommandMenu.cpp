#include "console/CommandMenu.h"

#include <iomanip>
#include <iterator>
#include <sstream>

namespace {

// Longest word taken from the input in one read, in characters. A longer run without white space
// is read as several words, so a stream that never sends white space (a device of zero bytes piped
// in) cannot make one word grow until memory runs out.
constexpr int maxWordLength = 4096;

} // namespace

CommandMenu::CommandMenu(MenuTarget& target, std::istream& in, std::ostream& out,
                         std::ostream& errors)
    : target_(target), in_(in), out_(out), errors_(errors) {}

void CommandMenu::run() {
    if (inputEnded_) {
        errors_ << "console input has ended; the command menu cannot be opened" << std::endl;
        return;
    }
    writeIntroduction();
    leftOfWord_.clear();
    std::string command;
    while (command != "exit") {
        out_ << "Command: " << std::flush;
        if (!nextWord(command)) {
            break;
        }
        perform(command);
        if (inputEnded_) {
            break;
        }
    }
    out_ << std::endl << std::endl;
    target_.restartTimer();
}

void CommandMenu::writeIntroduction() {
    out_ << "From here you may specify program parameters.  You may type" << std::endl;
    out_ << "'help' to see a list of commands or 'exit' to resume execution" << std::endl;
    out_ << std::endl;
}

void CommandMenu::perform(const std::string& command) {
    out_ << std::endl << std::endl;
    if (command == "help") {
        showHelp();
    } else if (command == "ball") {
        setBall();
    } else if (command == "triangle") {
        printTriangle();
    } else if (command == "camera") {
        setCamera();
    } else if (command == "exit") {
        out_ << "Resuming Simulation..." << std::endl;
    } else {
        out_ << "Unrecognized command" << std::endl;
        out_ << std::endl;
    }
}

void CommandMenu::showHelp() {
    // Command words padded to column 10, continuation lines indented by 15 to line up.
    out_ << "ball      -    This command allows you to reset the ball's position" << std::endl;
    out_ << "               and velocity." << std::endl;
    out_ << "triangle  -    This command allows you to change the shape of the" << std::endl;
    out_ << "               triangle.  It must remain in standard orientation." << std::endl;
    out_ << "camera    -    This command allows you to change the position and" << std::endl;
    out_ << "               target of the world camera." << std::endl;
    out_ << "exit      -    Exits the command menu and resumes the simulation." << std::endl;
    out_ << std::endl;
}

void CommandMenu::setBall() {
    out_ << "Ball position..." << std::endl;
    const std::optional<Vector3> position = promptVector("the ball's", "position");
    if (!position) {
        return;
    }
    out_ << "Ball velocity..." << std::endl;
    const std::optional<Vector3> velocity = promptVector("the ball's", "velocity");
    if (!velocity) {
        return;
    }
    target_.setBall(*position, *velocity);
    out_ << std::endl << std::endl;
}

// Reads the triangle in the standard orientation of frame 0 (v0 at the origin, v2 on +x, v1 in
// the xz plane) and prints it; the course itself is not touched.
void CommandMenu::printTriangle() {
    out_ << "Vertex on x axis..." << std::endl;
    const std::optional<int> onXAxis =
        promptInteger("xValue: ", "the x value of the vertex on the x axis");
    if (!onXAxis) {
        return;
    }
    out_ << "Vertex in positive xz plane..." << std::endl;
    const std::optional<int> planeX =
        promptInteger("xValue: ", "the x value of the vertex in the xz plane");
    if (!planeX) {
        return;
    }
    const std::optional<int> planeZ =
        promptInteger("zValue: ", "the z value of the vertex in the xz plane");
    if (!planeZ) {
        return;
    }
    const Vector3 v0(0.0f, 0.0f, 0.0f);
    const Vector3 v1(static_cast<float>(*planeX), 0.0f, static_cast<float>(*planeZ));
    const Vector3 v2(static_cast<float>(*onXAxis), 0.0f, 0.0f);
    out_ << std::endl << std::endl;
    out_ << "New vertices..." << std::endl;
    out_ << "v0: " << v0 << std::endl;
    out_ << "v1: " << v1 << std::endl;
    out_ << "v2: " << v2 << std::endl;
    out_ << std::endl << std::endl;
}

void CommandMenu::setCamera() {
    out_ << "Camera position..." << std::endl;
    const std::optional<Vector3> position = promptVector("the camera's", "position");
    if (!position) {
        return;
    }
    out_ << "Camera target..." << std::endl;
    const std::optional<Vector3> aim = promptVector("the camera's", "target");
    if (!aim) {
        return;
    }
    target_.setCamera(*position, *aim);
    out_ << std::endl << std::endl;
}

std::optional<Vector3> CommandMenu::promptVector(std::string_view owner,
                                                 std::string_view quantity) {
    const auto name = [&](std::string_view axis) {
        return std::string(owner) + " " + std::string(axis) + " " + std::string(quantity);
    };
    const std::optional<float> x = promptFloat("x: ", name("x"));
    if (!x) {
        return std::nullopt;
    }
    const std::optional<float> y = promptFloat("y: ", name("y"));
    if (!y) {
        return std::nullopt;
    }
    const std::optional<float> z = promptFloat("z: ", name("z"));
    if (!z) {
        return std::nullopt;
    }
    return Vector3(*x, *y, *z);
}

std::optional<float> CommandMenu::promptFloat(std::string_view prompt,
                                              const std::string& valueName) {
    return promptNumber<float>(prompt, valueName, "a number");
}

std::optional<int> CommandMenu::promptInteger(std::string_view prompt,
                                              const std::string& valueName) {
    return promptNumber<int>(prompt, valueName, "a whole number");
}

// Asks until a word begins with a number of the kind wanted: the number's characters are taken
// as the standard extraction operator takes them, and the rest of the word is kept for the next
// read. A word with no such number at its front, or one out of the type's range, is discarded and
// named on `errors`. Empty once input has ended; every pass reads one word, so it cannot spin.
template <typename Number>
std::optional<Number> CommandMenu::promptNumber(std::string_view prompt,
                                                const std::string& valueName,
                                                std::string_view kindOfNumber) {
    std::string word;
    while (true) {
        out_ << prompt << std::flush;
        if (!nextWord(word)) {
            return std::nullopt;
        }
        std::istringstream reader(word);
        Number value{};
        if (reader >> value) {
            // The buffer is read directly because the stream's eof state says nothing about it.
            leftOfWord_.assign(std::istreambuf_iterator<char>(reader),
                               std::istreambuf_iterator<char>());
            return value;
        }
        errors_ << "expected " << kindOfNumber << " for " << valueName << ", got \"" << word << "\""
                << std::endl;
    }
}

bool CommandMenu::nextWord(std::string& word) {
    if (!leftOfWord_.empty()) {
        word.swap(leftOfWord_);
        leftOfWord_.clear();
        return true;
    }
    if (in_ >> std::setw(maxWordLength) >> word) {
        return true;
    }
    endInput();
    return false;
}

void CommandMenu::endInput() {
    inputEnded_ = true;
    errors_ << "console input has ended; leaving the command menu" << std::endl;
}
