// The exact contact tests of one triangle, one by one and as collideBox runs them, and
// collideBox over a box of 1000 triangles.
//
// Every move below is chosen so that the test reaches its contact (the full solve, not an early
// out); the set-up checks that and refuses to measure otherwise.
#include "physics/SimulationSettings.h"
#include "scene/BallConstants.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float ballRadius = ball_constants::radius;
constexpr float noContact = 1.0f;

Triangle* makeTriangle(Vector3 v0, Vector3 v1, Vector3 v2) {
    return new Triangle(new Vector3(v0), new Vector3(v1), new Vector3(v2), false);
}

// A floor triangle with normal +y (course units), built once; triangles are never freed.
const Triangle& floorTriangle() {
    static const Triangle* const triangle =
        makeTriangle({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 4.0f}, {4.0f, 0.0f, 0.0f});
    return *triangle;
}

Vector3 centroidOf(const Triangle& triangle) {
    return (*triangle.vertex(0) + *triangle.vertex(1) + *triangle.vertex(2)) / 3.0f;
}

// A straight move of the ball's centre within one pass, course units.
struct Move {
    Vector3 from;
    Vector3 to;
};

// A move straight down past `target`, shifted horizontally by half the radius away from the
// triangle's centroid, from 2 units above the face's plane to 1 unit below it: the sphere meets
// the feature at target (a vertex, an edge's midpoint) before it would meet the face.
Move downPast(const Triangle& triangle, Vector3 target) {
    Vector3 outward = target - centroidOf(triangle);
    outward.y = 0.0f;
    outward.normalize();
    const Vector3 start = target + outward * (0.5f * ballRadius);
    return {start + Vector3(0.0f, 2.0f, 0.0f), start - Vector3(0.0f, 1.0f, 0.0f)};
}

// The triangle's corner in world axes where edge k begins (frames: 0 and 1 start at v0, 2 at v1).
Vector3 edgeStart(const Triangle& triangle, int k) {
    return *triangle.vertex(k == 2 ? 1 : 0);
}
Vector3 edgeFinish(const Triangle& triangle, int k) {
    return *triangle.vertex(k == 1 ? 1 : 2);
}

bool isContact(benchmark::State& state, float t, const char* what) {
    if (t < noContact) {
        return true;
    }
    state.SkipWithError((std::string(what) + ": the move misses; nothing to measure").c_str());
    return false;
}

void faceContactTime(benchmark::State& state) {
    const SimulationSettings settings;
    const Triangle& triangle = floorTriangle();
    // Straight down over the centroid, from 2 above the face's plane to 1 below it.
    const Vector3 centre = centroidOf(triangle);
    const Vector3 from = centre + Vector3(0.0f, 2.0f, 0.0f);
    const Vector3 to = centre - Vector3(0.0f, 1.0f, 0.0f);
    if (!isContact(state,
                   settings.faceContactTime(from, to, ballRadius, triangle, triangle.normal()),
                   "face")) {
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            settings.faceContactTime(from, to, ballRadius, triangle, triangle.normal()));
    }
}

void vertexContactTime(benchmark::State& state) {
    const SimulationSettings settings;
    const Triangle& triangle = floorTriangle();
    const int v = static_cast<int>(state.range(0));
    const Vector3 vertex = *triangle.vertex(v);
    const Move move = downPast(triangle, vertex);
    if (!isContact(
            state,
            settings.vertexContactTime(move.from, move.to, ballRadius, vertex, triangle.normal()),
            "vertex")) {
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            settings.vertexContactTime(move.from, move.to, ballRadius, vertex, triangle.normal()));
    }
}

void edgeContactTime(benchmark::State& state) {
    const SimulationSettings settings;
    const Triangle& triangle = floorTriangle();
    const int k = static_cast<int>(state.range(0));
    const Vector3 midpoint = (edgeStart(triangle, k) + edgeFinish(triangle, k)) / 2.0f;
    const Move move = downPast(triangle, midpoint);
    const Vector3 edgeEnd = triangle.edgeEnd(k);
    const float* matrix = triangle.matrix(k);
    if (!isContact(state,
                   settings.edgeContactTime(move.from, move.to, ballRadius, edgeEnd, matrix,
                                            triangle.normal()),
                   "edge")) {
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.edgeContactTime(move.from, move.to, ballRadius, edgeEnd,
                                                          matrix, triangle.normal()));
    }
}

// a t^2 + b t + c = 0 with both roots in [0, 1] (0.467 and 0.867), the case of every contact.
void earliestRoot(benchmark::State& state) {
    float a = 9.0f;
    float b = -12.0f;
    float c = 3.64f;
    if (!isContact(state, SimulationSettings::earliestRoot(a, b, c), "earliestRoot")) {
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(SimulationSettings::earliestRoot(a, b, c));
    }
}

// All seven tests of the triangle with their merging: collideBox over a box holding it alone,
// on the face move.
void sevenTestsOfOneTriangle(benchmark::State& state) {
    const SimulationSettings settings;
    CollisionBox box;
    box.addTriangle(const_cast<Triangle*>(&floorTriangle()));
    const Vector3 centre = centroidOf(floorTriangle());
    const Vector3 from = centre + Vector3(0.0f, 2.0f, 0.0f);
    const Vector3 to = centre - Vector3(0.0f, 1.0f, 0.0f);
    for (auto _ : state) {
        Vector3 contactNormal(0.0f, 0.0f, 0.0f);
        float earliest = noContact;
        settings.collideBox(from, to, ballRadius, box, contactNormal, earliest);
        benchmark::DoNotOptimize(earliest);
        benchmark::DoNotOptimize(contactNormal);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// A floor of 25 by 20 unit cells, two triangles each (1000 triangles, normal +y), in one box.
const CollisionBox& thousandTriangleBox() {
    static const CollisionBox box = [] {
        CollisionBox grid;
        for (int i = 0; i < 25; ++i) {
            for (int j = 0; j < 20; ++j) {
                const float x = static_cast<float>(i);
                const float z = static_cast<float>(j);
                grid.addTriangle(
                    makeTriangle({x, 0.0f, z}, {x, 0.0f, z + 1.0f}, {x + 1.0f, 0.0f, z}));
                grid.addTriangle(makeTriangle({x + 1.0f, 0.0f, z}, {x, 0.0f, z + 1.0f},
                                              {x + 1.0f, 0.0f, z + 1.0f}));
            }
        }
        return grid;
    }();
    return box;
}

// A ball dropping onto the middle of the floor: every triangle gets its seven tests, a few
// report the contact.
void collideBoxOf1000Triangles(benchmark::State& state) {
    const SimulationSettings settings;
    const CollisionBox& box = thousandTriangleBox();
    const Vector3 from(12.3f, 2.0f, 9.7f);
    const Vector3 to(12.3f, -1.0f, 9.7f);
    Vector3 contactNormal(0.0f, 0.0f, 0.0f);
    float earliest = noContact;
    settings.collideBox(from, to, ballRadius, box, contactNormal, earliest);
    if (!isContact(state, earliest, "collideBox")) {
        return;
    }
    for (auto _ : state) {
        contactNormal = Vector3(0.0f, 0.0f, 0.0f);
        earliest = noContact;
        settings.collideBox(from, to, ballRadius, box, contactNormal, earliest);
        benchmark::DoNotOptimize(earliest);
        benchmark::DoNotOptimize(contactNormal);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * box.triangleCount());
    state.SetLabel("items = triangles");
}

} // namespace

BENCHMARK(faceContactTime);
BENCHMARK(vertexContactTime)->DenseRange(0, 2)->ArgName("vertex");
BENCHMARK(edgeContactTime)->DenseRange(0, 2)->ArgName("edge");
BENCHMARK(earliestRoot);
BENCHMARK(sevenTestsOfOneTriangle);
BENCHMARK(collideBoxOf1000Triangles);
