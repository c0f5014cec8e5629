#pragma once

#include "geometry/Vector3.h"

#include <iostream>

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
    MenuTarget& target_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& errors_;
    bool inputEnded_ = false;
};
