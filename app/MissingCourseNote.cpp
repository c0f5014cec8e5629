#include "app/MissingCourseNote.h"

#include <system_error>

namespace {

// The installed data folder as seen from the installed binary folder, as the install rules lay
// them out; relative, so that it holds whatever prefix `cmake --install --prefix` chose.
const char* const dataFromBinary = MINIGOLF_DATA_FROM_BINARY;

const char* const buildTreeNote =
    "the program reads its course from the folder it is started in: run ./run.sh from the "
    "project folder, or start the program in its assets folder";

} // namespace

std::string missingCourseNote(const std::filesystem::path& program) {
    if (program.empty()) {
        return buildTreeNote;
    }
    std::error_code unknown;
    const std::filesystem::path installed =
        (program.parent_path() / dataFromBinary).lexically_normal();
    if (!std::filesystem::is_directory(installed, unknown)) {
        return buildTreeNote;
    }
    return "the program reads its course from the folder it is started in: start it in " +
           installed.string() +
           ", where its bundled course is installed, or in a folder of your own that holds "
           "clobox.txt and ball.tga";
}

std::filesystem::path runningProgram() {
    std::error_code unknown;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", unknown);
    return unknown ? std::filesystem::path() : program;
}
