#pragma once

#include "geometry/Vector3.h"

#include <iostream>
#include <optional>
#include <string>
#include <string_view>

// What the menu's commands change; the world implements it.
class MenuTarget {
public:
    virtual ~MenuTarget() = default;
    virtual void setBall(Vector3 position, Vector3 velocity) = 0;
    virtual void setCamera(Vector3 position, Vector3 target) = 0;
    virtual void restartTimer() = 0;
};

// The console dialogue opened with the space bar: "help", "ball", "triangle", "camera" and
// "exit", read word by word from `in`, answered on `out`. Complaints about unreadable values and
// the end of input go to `errors`.
//
// Input is read one white-space-delimited word at a time. A number is read from the front of a
// word with the standard extraction operator; what the number leaves of the word (the ".5" of
// "3.5" at an integer prompt) is the next word read. A word that holds no number of the kind
// asked for is discarded, named on `errors`, and the same value is asked for again.
class CommandMenu {
public:
    explicit CommandMenu(MenuTarget& target, std::istream& in = std::cin,
                         std::ostream& out = std::cout, std::ostream& errors = std::cerr);

    // Holds one dialogue until "exit" (or the end of input), then restarts the target's timer.
    // Once input has ended, a later call says so on `errors` and returns at once.
    void run();

    // True once the input has ended.
    bool inputEnded() const { return inputEnded_; }

private:
    void writeIntroduction();
    // Carries out one command word; unknown words get "Unrecognized command".
    void perform(const std::string& command);
    void showHelp();
    void setBall();
    void printTriangle();
    void setCamera();

    // Three prompted floats "x: ", "y: ", "z: "; `owner` and `quantity` name them in complaints
    // ("the ball's" and "position" give "the ball's x position"). Empty once input has ended.
    std::optional<Vector3> promptVector(std::string_view owner, std::string_view quantity);
    std::optional<float> promptFloat(std::string_view prompt, const std::string& valueName);
    std::optional<int> promptInteger(std::string_view prompt, const std::string& valueName);
    template <typename Number>
    std::optional<Number> promptNumber(std::string_view prompt, const std::string& valueName,
                                       std::string_view kindOfNumber);

    // The next word: the rest of a partly read word if one is left, else a word from `in`.
    // Marks the input as ended and returns false when there is none.
    bool nextWord(std::string& word);
    void endInput();

    MenuTarget& target_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& errors_;
    // What a number read at a prompt left of its word; empty between dialogues.
    std::string leftOfWord_;
    bool inputEnded_ = false;
};
