// One step of the program's ball on the bundled course, and loading generated courses of
// 100000 and 1000000 triangles with the program's reader, as the program calls it.
//
// This file uses only what the program itself calls (CourseReader::parse with its four
// arguments, the contact index where there is one), so that it also builds against earlier
// versions of the reader for comparison (with tools/LineStreams.h copied beside it).
#include "GeneratedCourse.h"
#include "LineStreams.h"
#include "course/CourseReader.h"
#include "physics/SimulationSettings.h"
#include "scene/Ball.h"
#if __has_include("physics/ContactIndex.h")
#include "physics/ContactIndex.h"
#define MINIGOLF_HAS_CONTACT_INDEX 1
#endif

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Counts line ends: the settings end each "collide!" with one. (Counted from the console, not
// with the step's observer, so that this file still builds against versions without one.)
class LineCountingBuffer : public LineEndBuffer {
public:
    long long lines() const { return lines_; }

protected:
    void lineEnded() override { ++lines_; }

private:
    long long lines_ = 0;
};

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
// its bounces. Argument 1: through the contact index, as the program searches; 0: every
// triangle of every box the sweep overlaps.
void stepOnBundledCourse(benchmark::State& state) {
    const LoadedCourse& course = bundledCourse();
    if (!course.ok) {
        state.SkipWithError(MINIGOLF_ASSETS_DIR "/clobox.txt is missing or cannot be read "
                                                "(make-course writes it)");
        return;
    }
    SimulationSettings settings;
#ifdef MINIGOLF_HAS_CONTACT_INDEX
    const ContactIndex index(course.boxes);
    if (state.range(0) != 0) {
        settings.useContactIndex(&index);
    }
#else
    if (state.range(0) != 0) {
        state.SkipWithError("this build has no contact index");
        return;
    }
#endif
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

// CourseReader::parse of the whole file into fresh lists, its console discarded, as the program
// loads its course: the triangles are never freed (the program keeps them until it ends), so
// every iteration keeps its triangles: run only a few. The memory a load keeps is the growth of
// the memory in use while every loaded course is still alive.
void loadGeneratedCourse(benchmark::State& state) {
    const int boxCount = static_cast<int>(state.range(0));
    const int trianglesPerBox = static_cast<int>(state.range(1));
    const std::size_t expected = static_cast<std::size_t>(boxCount) * trianglesPerBox;
    const TemporaryCourseFile file("terrain-" + std::to_string(boxCount) + "x" +
                                       std::to_string(trianglesPerBox) + ".txt",
                                   terrainCourseText(boxCount, trianglesPerBox));

    const double residentAtStart = residentBytesInUse();
    std::vector<LoadedCourse> kept;
    kept.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        LoadedCourse& course = kept.emplace_back();
        if (!parseQuietly(file.path(), course) || course.triangles.size() != expected) {
            state.SkipWithError("the generated course did not load in full");
            return;
        }
        benchmark::DoNotOptimize(course.boxes.data());
    }
    const double loads = static_cast<double>(state.iterations());
    const double perTriangle = loads * static_cast<double>(expected);
    state.counters["triangles"] = static_cast<double>(expected);
    const double keptBytes = residentBytesInUse() - residentAtStart;
    state.counters["MiB_kept_per_load"] = keptBytes / loads / (1024.0 * 1024.0);
    state.counters["bytes_per_triangle"] = keptBytes / perTriangle;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * expected));
}

} // namespace

BENCHMARK(stepOnBundledCourse)->ArgName("index")->Arg(1)->Arg(0);
// 100 boxes of 1000 triangles, the same 100000 triangles in a single box, and a million
// triangles in 1000 boxes of 1000 (about 70 MB of text).
BENCHMARK(loadGeneratedCourse)
    ->Args({100, 1000})
    ->Args({1, 100000})
    ->Args({1000, 1000})
    ->ArgNames({"boxes", "per_box"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // the frames are built on several threads
    ->UseRealTime()
    ->Iterations(3);
