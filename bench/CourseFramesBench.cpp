// Loading a large course in its parts: the frames of one triangle, and a whole load of a million
// triangles on one thread and on every core, into storage of its own that is freed after each
// load (so iterations do not pile up memory).
#include "GeneratedCourse.h"
#include "LineStreams.h"
#include "course/CourseReader.h"
#include "course/TriangleStorage.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Four thousand triangles of a rolling terrain in course units, like those of
// terrainCourseText, frames not built yet.
const std::vector<TriangleSlot>& terrainTriangles(TriangleStorage& storage) {
    static const std::vector<TriangleSlot> triangles = [&storage] {
        const auto point = [](double x, double z) {
            const double height = 10.0 * std::sin(0.05 * x) * std::cos(0.07 * z);
            return Vector3(static_cast<float>(0.2 * x), static_cast<float>(0.2 * height),
                           static_cast<float>(0.2 * z));
        };
        std::vector<TriangleSlot> stored;
        for (int i = 0; i < 40; ++i) {
            for (int j = 0; j < 50; ++j) {
                const double x0 = 5.0 * i, x1 = x0 + 5.0, z0 = 5.0 * j, z1 = z0 + 5.0;
                stored.push_back(storage.add(point(x0, z0), point(x0, z1), point(x1, z0)));
                stored.push_back(storage.add(point(x1, z0), point(x0, z1), point(x1, z1)));
            }
        }
        return stored;
    }();
    return triangles;
}

// The three frames, edge ends and standard copy of one triangle, on one thread: what every
// triangle of a course costs besides its reading.
void buildFramesOfOneTriangle(benchmark::State& state) {
    static TriangleStorage storage;
    const std::vector<TriangleSlot>& triangles = terrainTriangles(storage);
    std::size_t next = 0;
    for (auto _ : state) {
        triangles[next].buildFrames();
        benchmark::DoNotOptimize(triangles[next].parts->matrix);
        next = next + 1 == triangles.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// Processor time of the calling thread, seconds.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// A million triangles (1000 boxes of 1000) from a file, frames built on `threads` threads (0:
// one per core), into a storage freed after the load. Besides the real time and the processor
// time of all threads, the processor time of the reading thread alone: on a machine with a free
// core for the frames, the load takes about that long.
void loadMillionTriangles(benchmark::State& state) {
    constexpr int boxes = 1000;
    constexpr int trianglesPerBox = 1000;
    static const TemporaryCourseFile file("million.txt", terrainCourseText(boxes, trianglesPerBox));
    double readingThreadSeconds = 0.0;
    for (auto _ : state) {
        auto storage = std::make_unique<TriangleStorage>();
        std::vector<Triangle*> triangles;
        std::vector<CollisionBox> loadedBoxes;
        DiscardingBuffer discard;
        std::ostream console(&discard);
        std::ostringstream diagnostics;
        CourseReadOptions options;
        options.storage = storage.get();
        options.diagnostics = &diagnostics;
        options.threads = static_cast<unsigned>(state.range(0));
        const double readingStart = threadSeconds();
        const bool ok =
            CourseReader::instance()->parse(file.path(), triangles, loadedBoxes, console, options);
        readingThreadSeconds += threadSeconds() - readingStart;
        if (!ok || triangles.size() != std::size_t{boxes} * trianglesPerBox) {
            state.SkipWithError("the generated course did not load in full");
            return;
        }
        state.PauseTiming(); // freeing is not loading
        storage.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * boxes * trianglesPerBox);
    state.counters["reading_thread_ms"] =
        1000.0 * readingThreadSeconds / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(buildFramesOfOneTriangle);
BENCHMARK(loadMillionTriangles)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // the frames are built on several threads
    ->UseRealTime()
    ->Iterations(3);
