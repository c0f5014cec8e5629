#include "console/CommandMenu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace {

// One call the menu made on its target, in the order made.
struct Call {
    std::string operation;
    Vector3 first;
    Vector3 second;

    bool operator==(const Call& other) const {
        return operation == other.operation && first == other.first && second == other.second;
    }
};

void PrintTo(const Call& call, std::ostream* out) {
    *out << call.operation << "((" << call.first << "), (" << call.second << "))";
}

class RecordingTarget : public MenuTarget {
public:
    std::vector<Call> calls;

    void setBall(Vector3 position, Vector3 velocity) override {
        calls.push_back({"setBall", position, velocity});
    }
    void setCamera(Vector3 position, Vector3 target) override {
        calls.push_back({"setCamera", position, target});
    }
    void restartTimer() override { calls.push_back({"restartTimer", {}, {}}); }
};

const Call restart{"restartTimer", {}, {}};

Call ballCall(Vector3 position, Vector3 velocity) {
    return {"setBall", position, velocity};
}
Call cameraCall(Vector3 position, Vector3 target) {
    return {"setCamera", position, target};
}

// The dialogue's fixed texts, written out as the user sees them.
const std::string intro = "From here you may specify program parameters.  You may type\n"
                          "'help' to see a list of commands or 'exit' to resume execution\n"
                          "\n";
const std::string helpListing =
    "\n\n"
    "ball      -    This command allows you to reset the ball's position\n"
    "               and velocity.\n"
    "triangle  -    This command allows you to change the shape of the\n"
    "               triangle.  It must remain in standard orientation.\n"
    "camera    -    This command allows you to change the position and\n"
    "               target of the world camera.\n"
    "exit      -    Exits the command menu and resumes the simulation.\n"
    "\n";
// "triangle" answered 5, 2, 3; `firstPrompts` is what stands before the second vertex's
// prompts ("xValue: ", twice when the first answer was asked for again).
std::string triangle523(const std::string& firstPrompts) {
    return "Command: \n\n"
           "Vertex on x axis...\n" +
           firstPrompts +
           "Vertex in positive xz plane...\n"
           "xValue: zValue: \n\n"
           "New vertices...\n"
           "v0: 0, 0, 0\n"
           "v1: 2, 0, 3\n"
           "v2: 5, 0, 0\n"
           "\n\n";
}
const std::string exitCommand = "Command: \n\nResuming Simulation...\n\n\n";
const std::string unrecognized = "Command: \n\nUnrecognized command\n\n";
const std::string inputEndedLine = "console input has ended; leaving the command menu\n";
const std::string menuClosedLine = "console input has ended; the command menu cannot be opened\n";

// A menu on string streams, holding the whole input before the dialogue starts.
struct Session {
    RecordingTarget target;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream errors;
    CommandMenu menu;

    explicit Session(const std::string& input) : in(input), menu(target, in, out, errors) {}
};

TEST(CommandMenu, ExitAsFirstCommandResumesAndEachDialogueStartsAfresh) {
    Session session("exit\nexit\n");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro + exitCommand);
    EXPECT_EQ(session.target.calls, std::vector<Call>{restart});

    session.menu.run();
    EXPECT_EQ(session.out.str(), intro + exitCommand + intro + exitCommand);
    EXPECT_EQ(session.target.calls, (std::vector<Call>{restart, restart}));
    EXPECT_EQ(session.errors.str(), "");
    EXPECT_FALSE(session.menu.inputEnded());
}

TEST(CommandMenu, HelpTwiceListsTheCommandsTwiceUnderOneIntroduction) {
    Session session("help help exit");
    session.menu.run();
    EXPECT_EQ(session.out.str(),
              intro + "Command: " + helpListing + "Command: " + helpListing + exitCommand);
    EXPECT_EQ(session.errors.str(), "");
}

TEST(CommandMenu, BallAnswersTypedAheadOrSpreadOverLinesSetPositionThenVelocity) {
    const std::string expected = intro +
                                 "Command: \n\n"
                                 "Ball position...\n"
                                 "x: y: z: "
                                 "Ball velocity...\n"
                                 "x: y: z: \n\n" +
                                 exitCommand;
    for (const std::string input :
         {"ball 1 2 3 4 5 6\nexit\n", "ball\n1\n2 3\t4\n\n   5\n6 exit"}) {
        SCOPED_TRACE(input);
        Session session(input);
        session.menu.run();
        EXPECT_EQ(session.out.str(), expected);
        EXPECT_EQ(session.target.calls,
                  (std::vector<Call>{ballCall({1, 2, 3}, {4, 5, 6}), restart}));
        EXPECT_EQ(session.errors.str(), "");
    }
}

TEST(CommandMenu, TrianglePrintsTheStandardOrientationAndChangesNothing) {
    Session session("triangle\n5\n2\n3\nexit\n");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro + triangle523("xValue: ") + exitCommand);
    EXPECT_EQ(session.target.calls, std::vector<Call>{restart});
}

TEST(CommandMenu, CameraTakesPositionThenTarget) {
    Session session("camera 10 10 10 1 2 3 exit");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro +
                                     "Command: \n\n"
                                     "Camera position...\n"
                                     "x: y: z: "
                                     "Camera target...\n"
                                     "x: y: z: \n\n" +
                                     exitCommand);
    EXPECT_EQ(session.target.calls,
              (std::vector<Call>{cameraCall({10, 10, 10}, {1, 2, 3}), restart}));
}

TEST(CommandMenu, CommandWordsMatchOnlyExactlyAndWithCase) {
    Session session("Exit HELP Ball exit. ex help! exit");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro + unrecognized + unrecognized + unrecognized + unrecognized +
                                     unrecognized + unrecognized + exitCommand);
    EXPECT_EQ(session.target.calls, std::vector<Call>{restart});
    EXPECT_EQ(session.errors.str(), "");
}

TEST(CommandMenu, FractionAtTheLastIntegerPromptBecomesTheNextCommandWord) {
    Session session("triangle 5 2 3.5 exit");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro + triangle523("xValue: ") + unrecognized + exitCommand);
    EXPECT_EQ(session.errors.str(), "");
}

TEST(CommandMenu, WordsThatAreNoNumberAreNamedDiscardedAndAskedForAgain) {
    {
        SCOPED_TRACE("ball, one bad word");
        Session session("ball 1 abc 2 3 4 5 6 exit");
        session.menu.run();
        EXPECT_EQ(session.out.str(), intro +
                                         "Command: \n\n"
                                         "Ball position...\n"
                                         "x: y: y: z: "
                                         "Ball velocity...\n"
                                         "x: y: z: \n\n" +
                                         exitCommand);
        EXPECT_EQ(session.errors.str(),
                  "expected a number for the ball's y position, got \"abc\"\n");
        EXPECT_EQ(session.target.calls,
                  (std::vector<Call>{ballCall({1, 2, 3}, {4, 5, 6}), restart}));
    }
    {
        SCOPED_TRACE("camera, a sign alone and then two bad words in a row");
        Session session("camera 10 - 10 10 1 2 zz z! 3 exit");
        session.menu.run();
        EXPECT_EQ(session.out.str(), intro +
                                         "Command: \n\n"
                                         "Camera position...\n"
                                         "x: y: y: z: "
                                         "Camera target...\n"
                                         "x: y: z: z: z: \n\n" +
                                         exitCommand);
        EXPECT_EQ(session.errors.str(),
                  "expected a number for the camera's y position, got \"-\"\n"
                  "expected a number for the camera's z target, got \"zz\"\n"
                  "expected a number for the camera's z target, got \"z!\"\n");
        EXPECT_EQ(session.target.calls,
                  (std::vector<Call>{cameraCall({10, 10, 10}, {1, 2, 3}), restart}));
    }
    {
        SCOPED_TRACE("triangle, a word at an integer prompt");
        Session session("triangle five 5 2 3 exit");
        session.menu.run();
        EXPECT_EQ(session.out.str(), intro + triangle523("xValue: xValue: ") + exitCommand);
        EXPECT_EQ(session.errors.str(), "expected a whole number for the x value of the vertex on "
                                        "the x axis, got \"five\"\n");
    }
}

TEST(CommandMenu, FractionLeftAtAnIntegerPromptIsDiscardedWhenAnIntegerFollows) {
    Session session("triangle 2.5 3 4 exit");
    session.menu.run();
    EXPECT_EQ(session.out.str(), intro +
                                     "Command: \n\n"
                                     "Vertex on x axis...\n"
                                     "xValue: "
                                     "Vertex in positive xz plane...\n"
                                     "xValue: xValue: zValue: \n\n"
                                     "New vertices...\n"
                                     "v0: 0, 0, 0\n"
                                     "v1: 3, 0, 4\n"
                                     "v2: 2, 0, 0\n"
                                     "\n\n" +
                                     exitCommand);
    EXPECT_EQ(session.errors.str(), "expected a whole number for the x value of the vertex in the "
                                    "xz plane, got \".5\"\n");
}

// A number too large for its type must not swallow the answer typed after it, and what a number
// leaves of its word is read by the next prompt, where it may be no number at all.
TEST(CommandMenu, OutOfRangeNumbersAndLeftoversAreAskedForAgain) {
    {
        SCOPED_TRACE("integer and float out of range");
        Session session("triangle 99999999999 5 2 3 ball 1e999 1 2 3 4 5 6 exit");
        session.menu.run();
        EXPECT_EQ(session.out.str(), intro + triangle523("xValue: xValue: ") +
                                         "Command: \n\n"
                                         "Ball position...\n"
                                         "x: x: y: z: "
                                         "Ball velocity...\n"
                                         "x: y: z: \n\n" +
                                         exitCommand);
        EXPECT_EQ(session.errors.str(), "expected a whole number for the x value of the vertex on "
                                        "the x axis, got \"99999999999\"\n"
                                        "expected a number for the ball's x position, got "
                                        "\"1e999\"\n");
        EXPECT_EQ(session.target.calls,
                  (std::vector<Call>{ballCall({1, 2, 3}, {4, 5, 6}), restart}));
    }
    {
        SCOPED_TRACE("letters after a number");
        Session session("ball 1 2 3abc 4 5 6 exit");
        session.menu.run();
        EXPECT_EQ(session.errors.str(),
                  "expected a number for the ball's x velocity, got \"abc\"\n");
        EXPECT_EQ(session.target.calls,
                  (std::vector<Call>{ballCall({1, 2, 3}, {4, 5, 6}), restart}));
    }
}

// Each answer of a full dialogue, and the output written after reading it up to the next read.
struct Step {
    std::string answer;
    std::string outputUntilNextRead;
};

TEST(CommandMenu, InputEndingAtAnyPromptLeavesTheMenuWithoutPartialChanges) {
    const std::string opening = intro + "Command: ";
    const std::vector<Step> steps = {
        {"help", helpListing + "Command: "},
        {"ball", "\n\nBall position...\nx: "},
        {"1", "y: "},
        {"2", "z: "},
        {"3", "Ball velocity...\nx: "},
        {"4", "y: "},
        {"5", "z: "},
        {"6", "\n\nCommand: "},
        {"triangle", "\n\nVertex on x axis...\nxValue: "},
        {"5", "Vertex in positive xz plane...\nxValue: "},
        {"2", "zValue: "},
        {"3", "\n\nNew vertices...\nv0: 0, 0, 0\nv1: 2, 0, 3\nv2: 5, 0, 0\n\n\nCommand: "},
        {"camera", "\n\nCamera position...\nx: "},
        {"10", "y: "},
        {"10", "z: "},
        {"10", "Camera target...\nx: "},
        {"1", "y: "},
        {"2", "z: "},
        {"3", "\n\nCommand: "},
    };
    constexpr std::size_t ballDone = 8;
    constexpr std::size_t cameraDone = 19;

    for (const std::string trailing : {"", "\n", " \t\n\n  "}) {
        for (std::size_t answered = 0; answered <= steps.size(); ++answered) {
            std::string input;
            std::string expected = opening;
            for (std::size_t i = 0; i < answered; ++i) {
                input += steps[i].answer + " ";
                expected += steps[i].outputUntilNextRead;
            }
            input += trailing;
            expected += "\n\n";
            SCOPED_TRACE("input \"" + input + "\"");

            std::vector<Call> expectedCalls;
            if (answered >= ballDone) {
                expectedCalls.push_back(ballCall({1, 2, 3}, {4, 5, 6}));
            }
            if (answered >= cameraDone) {
                expectedCalls.push_back(cameraCall({10, 10, 10}, {1, 2, 3}));
            }
            expectedCalls.push_back(restart);

            Session session(input);
            session.menu.run();
            EXPECT_EQ(session.out.str(), expected);
            EXPECT_EQ(session.errors.str(), inputEndedLine);
            EXPECT_EQ(session.target.calls, expectedCalls);
            EXPECT_TRUE(session.menu.inputEnded());

            session.menu.run();
            EXPECT_EQ(session.out.str(), expected);
            EXPECT_EQ(session.errors.str(), inputEndedLine + menuClosedLine);
            EXPECT_EQ(session.target.calls, expectedCalls);
        }
    }
}

// Output that records where it was flushed.
class FlushRecordingOutput : public std::streambuf {
public:
    std::string text;
    std::vector<std::size_t> flushedAt;

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            text.push_back(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        flushedAt.push_back(text.size());
        return 0;
    }
};

// Input that hands out one line each time the reader runs dry, as a terminal does, and calls
// `onWait` every time the reader has to wait for one.
class TerminalInput : public std::streambuf {
public:
    TerminalInput(std::vector<std::string> lines, std::function<void()> onWait)
        : lines_(std::move(lines)), onWait_(std::move(onWait)) {}

    int waits = 0;

protected:
    int_type underflow() override {
        ++waits;
        onWait_();
        if (next_ == lines_.size()) {
            return traits_type::eof();
        }
        current_ = lines_[next_++] + "\n";
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(current_[0]);
    }

private:
    std::vector<std::string> lines_;
    std::function<void()> onWait_;
    std::size_t next_ = 0;
    std::string current_;
};

// On a console the user must see each prompt before typing, and every line as soon as it ends,
// whether or not the input stream is tied to the output.
TEST(CommandMenu, EveryLineAndEveryPromptIsFlushedBeforeInputIsAwaited) {
    FlushRecordingOutput outBuffer;
    std::vector<std::size_t> unflushedWaits;
    TerminalInput inBuffer({"help", "ball 1 2 3", "4", "5 6", "triangle", "5", "2", "3",
                            "camera 10 10 10", "1 2 3", "nonsense", "exit"},
                           [&] {
                               const std::size_t flushed =
                                   outBuffer.flushedAt.empty() ? 0 : outBuffer.flushedAt.back();
                               if (flushed != outBuffer.text.size()) {
                                   unflushedWaits.push_back(outBuffer.text.size());
                               }
                           });
    std::ostream out(&outBuffer);
    std::istream in(&inBuffer);
    std::ostringstream errors;
    RecordingTarget target;
    CommandMenu menu(target, in, out, errors);
    menu.run();

    EXPECT_EQ(inBuffer.waits, 12);
    EXPECT_EQ(unflushedWaits, std::vector<std::size_t>{});
    for (std::size_t i = 0; i < outBuffer.text.size(); ++i) {
        if (outBuffer.text[i] == '\n') {
            EXPECT_NE(std::find(outBuffer.flushedAt.begin(), outBuffer.flushedAt.end(), i + 1),
                      outBuffer.flushedAt.end())
                << "line end at " << i << " is not flushed";
        }
    }
    EXPECT_EQ(target.calls, (std::vector<Call>{ballCall({1, 2, 3}, {4, 5, 6}),
                                               cameraCall({10, 10, 10}, {1, 2, 3}), restart}));
}

// After the input has ended, opening the menu again must not try to read.
TEST(CommandMenu, ClosedConsoleIsNotReadAgain) {
    FlushRecordingOutput outBuffer;
    TerminalInput inBuffer({"help"}, [] {});
    std::ostream out(&outBuffer);
    std::istream in(&inBuffer);
    std::ostringstream errors;
    RecordingTarget target;
    CommandMenu menu(target, in, out, errors);

    menu.run();
    const int waitsAtEnd = inBuffer.waits;
    const std::string outputAtEnd = outBuffer.text;
    in.clear();
    menu.run();
    menu.run();
    EXPECT_EQ(inBuffer.waits, waitsAtEnd);
    EXPECT_EQ(outBuffer.text, outputAtEnd);
    EXPECT_EQ(errors.str(), inputEndedLine + menuClosedLine + menuClosedLine);
    EXPECT_EQ(target.calls, std::vector<Call>{restart});
}

} // namespace
