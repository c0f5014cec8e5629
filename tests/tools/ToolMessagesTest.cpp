// What every tool says on standard error and to --version, in one form across the tools: a
// script that reads "NAME: error: " or "FILE[:LINE[:COLUMN]]: error: " works for all of them.

#include "support/ScratchDirectory.h"
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory("tool-messages-test");
    return directory;
}

const std::string clobox = std::string(ASSETS_DIR) + "/clobox.txt";

TEST(ToolMessages, EveryToolAnswersVersionWithOneLine) {
    for (const char* tool : {MINIGOLF_SIM, MINIGOLF_COURSE, MAKE_COURSE, MAKE_BALL_TEXTURE}) {
        const ToolRun run = runTool(scratch(), tool, {"--version"});
        const std::string name = std::filesystem::path(tool).filename().string();
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, name + " " + MINIGOLF_VERSION + "\n");
        EXPECT_EQ(run.err, "") << name;
    }
}

TEST(ToolMessages, FailuresAreOneLineNamingTheFileOrTheToolAndTheSeverity) {
    const std::string absent = scratch().path("absent.txt").string();
    const std::string unwritable = scratch().path("no-folder/out").string();
    const std::string zeroIndex =
        writeWholeFile(scratch(), "zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n");
    struct Case {
        const char* tool;
        std::vector<std::string> arguments;
        std::string start; // what the one line starts with
    };
    const std::vector<Case> cases = {
        {MINIGOLF_SIM, {"--bogus"}, "minigolf-sim: error: "},
        {MINIGOLF_SIM, {"simulate", clobox, "--steps", "x"}, "minigolf-sim: error: "},
        {MINIGOLF_SIM, {"sweep", clobox, absent}, absent + ": error: cannot open"},
        {MINIGOLF_SIM,
         {"plot", clobox, "--steps", "1", "-o", unwritable},
         unwritable + ": error: "},
        {MINIGOLF_COURSE, {"lint"}, "minigolf-course: error: "},
        {MINIGOLF_COURSE, {"import", absent, "-o", unwritable}, absent + ": error: cannot open"},
        // tinyobjloader's own words, reworded at the line they name
        {MINIGOLF_COURSE, {"import", zeroIndex, "-o", unwritable}, zeroIndex + ":4: error: the f "},
        {MINIGOLF_COURSE, {"export", clobox, "-o", unwritable + ".obj"}, unwritable},
        {MAKE_COURSE, {unwritable}, unwritable + ": error: cannot open for writing"},
        {MAKE_COURSE, {"one", "two"}, "make-course: error: "},
        {MAKE_BALL_TEXTURE, {}, "make-ball-texture: error: "},
        {MAKE_BALL_TEXTURE, {"--bogus"}, "make-ball-texture: error: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(commandLine(c.tool, c.arguments));
        const ToolRun run = runTool(scratch(), c.tool, c.arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(c.start, 0), 0u) << run.err;
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(": error: "), std::string::npos) << run.err;
    }
}

} // namespace
