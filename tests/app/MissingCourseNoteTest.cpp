#include "app/MissingCourseNote.h"

#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

TEST(MissingCourseNote, NamesTheInstalledCourseFolderOnlyForAnInstalledProgram) {
    const ScratchDirectory scratch("missing-course-note");
    const std::filesystem::path prefix = scratch.path("prefix");
    std::filesystem::create_directories(prefix / "bin");
    const std::filesystem::path data = (prefix / "bin" / DATA_FROM_BINARY).lexically_normal();
    std::filesystem::create_directories(data);

    const std::string installed = missingCourseNote(prefix / "bin" / "minigolf");
    EXPECT_NE(installed.find("start it in " + data.string() + ","), std::string::npos) << installed;
    EXPECT_EQ(installed.find("run.sh"), std::string::npos) << installed;

    // Run from the build tree, or from a folder with nothing installed beside it.
    const std::filesystem::path build = scratch.path("build") / "app" / "minigolf";
    for (const std::filesystem::path& program : {build, std::filesystem::path()}) {
        const std::string note = missingCourseNote(program);
        EXPECT_NE(note.find("run ./run.sh from the project folder"), std::string::npos) << note;
    }
    EXPECT_EQ(runningProgram().filename(), "app_missing_course_note_test");
}
