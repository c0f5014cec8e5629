#include "ToolFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

bool writeOutputFile(const std::string& fileName, const std::function<void(std::ostream&)>& write) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << fileName << ": error: cannot open for writing (" << std::strerror(errno)
                  << ")\n";
        return false;
    }
    write(out);
    out.close();
    if (!out) {
        std::cerr << fileName << ": error: writing failed\n";
        return false;
    }
    return true;
}

bool writeOutputFile(const std::string& fileName, const std::string& text) {
    return writeOutputFile(fileName, [&text](std::ostream& out) { out << text; });
}

namespace {

// Where a name's contents are to go: the file itself, through a symbolic link, and its mode.
struct Destination {
    std::string path;
    mode_t mode = 0;
};

bool destinationOf(const std::string& name, Destination& destination) {
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        destination = {name, static_cast<mode_t>(0666 & ~mask)};
        return true;
    }
    if (S_ISDIR(status.st_mode)) {
        std::cerr << name << ": error: cannot write: it is a directory\n";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        std::cerr << name << ": error: cannot write: it is not a regular file\n";
        return false;
    }
    std::error_code fault;
    const std::filesystem::path resolved = std::filesystem::canonical(name, fault);
    destination = {fault ? name : resolved.string(), static_cast<mode_t>(status.st_mode & 07777)};
    return true;
}

// Writes the text to a new temporary file beside `path`; returns its name, or "" after a
// message naming `name`.
std::string writeTemporary(const std::string& name, const Destination& destination,
                           const std::string& text) {
    const std::filesystem::path target(destination.path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string temporary = folder + "/." + target.filename().string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        std::cerr << name << ": error: cannot open for writing (" << std::strerror(errno) << ")\n";
        return "";
    }
    bool written = ::fchmod(fd, destination.mode) == 0;
    for (std::size_t at = 0; written && at < text.size();) {
        const ssize_t count = ::write(fd, text.data() + at, text.size() - at);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        written = count > 0;
        at += written ? static_cast<std::size_t>(count) : 0;
    }
    written = ::close(fd) == 0 && written;
    if (!written) {
        std::cerr << name << ": error: writing failed\n";
        ::unlink(temporary.c_str());
        return "";
    }
    return temporary;
}

} // namespace

bool writeOutputFilesTogether(const std::vector<OutputFile>& files) {
    std::vector<Destination> destinations(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!destinationOf(files[i].name, destinations[i])) {
            return false;
        }
    }
    std::vector<std::string> temporaries;
    const auto removeTemporaries = [&temporaries] {
        for (const std::string& temporary : temporaries) {
            ::unlink(temporary.c_str());
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string temporary = writeTemporary(files[i].name, destinations[i], files[i].text);
        if (temporary.empty()) {
            removeTemporaries();
            return false;
        }
        temporaries.push_back(temporary);
    }
    for (std::size_t i = files.size(); i-- > 0;) {
        if (::rename(temporaries[i].c_str(), destinations[i].path.c_str()) != 0) {
            std::cerr << files[i].name << ": error: cannot write (" << std::strerror(errno)
                      << ")\n";
            temporaries.resize(i + 1);
            removeTemporaries();
            return false;
        }
    }
    return true;
}
