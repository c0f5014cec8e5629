#pragma once

// Generated course files and memory readings shared by the loading benchmarks.
#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// Resident memory of this process in bytes (Linux), or 0 when it cannot be read. Free memory
// the heap still holds is handed back to the kernel first, so that the figure is what the
// process keeps in use, wherever it came from (the heap, or huge pages mapped directly).
inline double residentBytesInUse() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long long sizePages = 0;
    long long residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) {
        return 0.0;
    }
    return static_cast<double>(residentPages) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// A rolling terrain: `boxCount` boxes side by side along x, each a grid of 50 cells across z
// and as many along x as `trianglesPerBox` needs, two triangles a cell, in file units with two
// decimals as the bundled course is written.
inline std::string terrainCourseText(int boxCount, int trianglesPerBox) {
    constexpr int cellsAcross = 50;
    const int cellsAlong = trianglesPerBox / (2 * cellsAcross);
    const auto height = [](double x, double z) {
        return 10.0 * std::sin(0.05 * x) * std::cos(0.07 * z);
    };
    std::string text;
    char line[256];
    for (int box = 0; box < boxCount; ++box) {
        text += "start\n0.3 0.7 0.3 1\n";
        for (int i = 0; i < cellsAlong; ++i) {
            for (int j = 0; j < cellsAcross; ++j) {
                const double x0 = 5.0 * (box * cellsAlong + i);
                const double x1 = x0 + 5.0;
                const double z0 = 5.0 * j;
                const double z1 = z0 + 5.0;
                // Wound so that both normals point up (+y).
                std::snprintf(line, sizeof line,
                              "%.2f %.2f %.2f  %.2f %.2f %.2f  %.2f %.2f %.2f\n"
                              "%.2f %.2f %.2f  %.2f %.2f %.2f  %.2f %.2f %.2f\n",
                              x0, height(x0, z0), z0, x0, height(x0, z1), z1, x1, height(x1, z0),
                              z0, x1, height(x1, z0), z0, x0, height(x0, z1), z1, x1,
                              height(x1, z1), z1);
                text += line;
            }
        }
    }
    text += "end\n";
    return text;
}

// A course file in the temporary directory for as long as the object lives.
class TemporaryCourseFile {
public:
    TemporaryCourseFile(const std::string& name, const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("minigolf-bench-" + std::to_string(getpid()) + "-" + name)) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }
    TemporaryCourseFile(const TemporaryCourseFile&) = delete;
    TemporaryCourseFile& operator=(const TemporaryCourseFile&) = delete;
    ~TemporaryCourseFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};
