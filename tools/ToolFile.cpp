#include "tools/ToolFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

bool writeOutputFile(const std::string& fileName, const std::function<void(std::ostream&)>& write) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << fileName << ": cannot open for writing (" << std::strerror(errno) << ")\n";
        return false;
    }
    write(out);
    out.close();
    if (!out) {
        std::cerr << fileName << ": writing failed\n";
        return false;
    }
    return true;
}

bool writeOutputFile(const std::string& fileName, const std::string& text) {
    return writeOutputFile(fileName, [&text](std::ostream& out) { out << text; });
}
