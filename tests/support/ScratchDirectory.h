#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

// A directory of its own for the files a test process writes, under the system's temporary
// directory and named after the tests and the process id (so that parallel runs keep apart);
// removed with everything in it when the object goes.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::filesystem::path path(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};
