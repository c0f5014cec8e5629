// One step of the program's ball on the bundled course, and loading a generated course of
// 100000 triangles with the program's reader.
#include "course/CourseReader.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#include "tools/SimStreams.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The frame time of a 60 Hz display, seconds.
constexpr double frameSeconds = 1.0 / 60.0;

struct LoadedCourse {
    bool ok = false;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
};

bool parseQuietly(const std::string& path, LoadedCourse& course) {
    DiscardingBuffer discard;
    std::ostream console(&discard);
    return CourseReader::instance()->parse(path, course.triangles, course.boxes, console);
}

const LoadedCourse& bundledCourse() {
    static const LoadedCourse course = [] {
        LoadedCourse loaded;
        loaded.ok = parseQuietly(MINIGOLF_ASSETS_DIR "/clobox.txt", loaded);
        return loaded;
    }();
    return course;
}

// The program's ball flying on through the bundled course, one 60 Hz frame per iteration: the
// flight goes on from iteration to iteration, so the figure is the mean over a long flight with
// its bounces.
void stepOnBundledCourse(benchmark::State& state) {
    const LoadedCourse& course = bundledCourse();
    if (!course.ok) {
        state.SkipWithError(MINIGOLF_ASSETS_DIR "/clobox.txt is missing or cannot be read "
                                                "(make-course writes it)");
        return;
    }
    SimulationSettings settings;
    LineCountingBuffer bounceLines;
    std::ostream collideStream(&bounceLines);
    settings.setCollideStream(collideStream);
    Ball ball{Ball::withoutTexture};
    for (auto _ : state) {
        settings.step(ball, course.boxes, frameSeconds);
    }
    state.counters["bounces_per_step"] =
        static_cast<double>(bounceLines.lines()) / static_cast<double>(state.iterations());
    state.counters["triangles"] = static_cast<double>(course.triangles.size());
}

// Resident memory of this process in bytes (Linux), or 0 when it cannot be read.
double residentBytes() {
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
std::string terrainCourseText(int boxCount, int trianglesPerBox) {
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

// A course file in the temporary directory for as long as the benchmark runs.
class TemporaryCourseFile {
public:
    TemporaryCourseFile(const std::string& name, const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("minigolf-bench-" + std::to_string(getpid()) + "-" + name)) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }
    ~TemporaryCourseFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// CourseReader::parse of the whole file into fresh lists, its console discarded. The triangles
// are never freed (the program keeps them until it ends), so every iteration keeps its
// triangles: run only a few.
void loadGeneratedCourse(benchmark::State& state) {
    const int boxCount = static_cast<int>(state.range(0));
    const int trianglesPerBox = static_cast<int>(state.range(1));
    const std::size_t expected = static_cast<std::size_t>(boxCount) * trianglesPerBox;
    const TemporaryCourseFile file("terrain-" + std::to_string(boxCount) + ".txt",
                                   terrainCourseText(boxCount, trianglesPerBox));

    const double residentAtStart = residentBytes();
    for (auto _ : state) {
        LoadedCourse course;
        if (!parseQuietly(file.path(), course) || course.triangles.size() != expected) {
            state.SkipWithError("the generated course did not load in full");
            return;
        }
        benchmark::DoNotOptimize(course.boxes.data());
    }
    const double keptBytes = residentBytes() - residentAtStart;
    state.counters["triangles"] = static_cast<double>(expected);
    state.counters["MiB_kept_per_load"] =
        keptBytes / static_cast<double>(state.iterations()) / (1024.0 * 1024.0);
    state.counters["bytes_per_triangle"] =
        keptBytes / static_cast<double>(state.iterations()) / static_cast<double>(expected);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * expected));
}

} // namespace

BENCHMARK(stepOnBundledCourse);
// 100 boxes of 1000 triangles, and the same 100000 triangles in a single box.
BENCHMARK(loadGeneratedCourse)
    ->Args({100, 1000})
    ->Args({1, 100000})
    ->ArgNames({"boxes", "per_box"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
