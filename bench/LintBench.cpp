// minigolf-course lint, reading included, on 10^5 triangles of each shape where a search
// through boxes that span the course meets every triangle (testing/LintShapes.h): random small
// triangles, coplanar overlapping ones, a fan on one edge, nested edges on one line. Its
// findings go to /dev/null.
#include "LintShapes.h"
#include "lint/CourseLint.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The shape's course, written once into the temporary folder.
std::string shapeCourse(lint_shapes::Shape shape, int count) {
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("minigolf-lint-bench-" + std::string(lint_shapes::nameOf(shape)) +
                               "-" + std::to_string(count) + ".txt"))
                                 .string();
    if (!std::filesystem::exists(file)) {
        std::ofstream(file) << lint_shapes::courseText(lint_shapes::trianglesOf(shape, count, 1));
    }
    return file;
}

// Runs the lint with standard output sent to /dev/null; its exit status.
int lintQuietly(const LintOptions& options) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int sink = open("/dev/null", O_WRONLY);
    dup2(sink, STDOUT_FILENO);
    close(sink);
    const int status = lintCourse(options);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    return status;
}

void lintShape(benchmark::State& state, lint_shapes::Shape shape) {
    LintOptions options;
    options.course = shapeCourse(shape, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(lintQuietly(options));
    }
    state.SetLabel(lint_shapes::nameOf(shape));
}

void BM_LintRandom(benchmark::State& state) {
    lintShape(state, lint_shapes::Shape::random);
}
void BM_LintCoplanar(benchmark::State& state) {
    lintShape(state, lint_shapes::Shape::coplanar);
}
void BM_LintFan(benchmark::State& state) {
    lintShape(state, lint_shapes::Shape::fan);
}
void BM_LintNested(benchmark::State& state) {
    lintShape(state, lint_shapes::Shape::nested);
}

BENCHMARK(BM_LintRandom)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LintCoplanar)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LintFan)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LintNested)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
