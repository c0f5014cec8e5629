#pragma once

#include <filesystem>
#include <string>

// What the program says, after "cannot open", when its course is not in the folder it was
// started in: where a course is. An installed program (its executable in the install prefix's
// binary folder, the bundled course in the prefix's data folder beside it) names the installed
// course's folder; one run from the build tree points at run.sh and the assets folder.
// `program` is the executable's own path, as runningProgram gives it.
std::string missingCourseNote(const std::filesystem::path& program);

// The running executable's path (from /proc/self/exe); empty when it cannot be told.
std::filesystem::path runningProgram();
