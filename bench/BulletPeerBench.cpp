// Our contact search against Bullet's on the same generated courses, measured side by side: every
// iteration runs the same work through ours and then through Bullet's (interleaved, so that the
// machine's load falls on both alike), and the counters give each one's time and their ratio.
// Take the medians of several repetitions (see README.md).
//
// Bullet's side: the course's triangles in a btTriangleMesh under a btBvhTriangleMeshShape (its
// quantised bounding-volume tree over triangle meshes), queried with convexSweepTest of a
// btSphereShape of the ball's radius, as a game built on Bullet would cast its ball. Built with
// MINIGOLF_JOLT_PEER, every benchmark runs Jolt's side third (JoltPeer.h): a SphereShape cast
// against one MeshShape of all the triangles. Each engine answers one query at a time on one
// thread.

#include "CourseGenerator.h"
#include "GeneratedCourse.h"
#include "LineStreams.h"
#include "PeerCourseText.h"
#include "course/CourseReader.h"
#include "physics/ContactIndex.h"
#include "physics/LoadedCourse.h"
#include "physics/SimulationSettings.h"
#include "scene/BallConstants.h"

#include <benchmark/benchmark.h>
#include <btBulletCollisionCommon.h>
#if MINIGOLF_JOLT_PEER
#include "JoltPeer.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr float ballRadius = ball_constants::radius;
constexpr int sweepsPerCourse = 100000;
constexpr float sweepLength = 2.0f;
constexpr float sweepClearance = 1.0f;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of every thread of the process since `start`.
double cpuSecondsSince(std::clock_t start) {
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// A generated room written to a file of this process (removed when it ends), as both sides
// read it; written once per room for every benchmark of the run.
std::string roomFile(int cells, int tiles) {
    static std::map<std::pair<int, int>, std::unique_ptr<TemporaryCourseFile>> written;
    std::unique_ptr<TemporaryCourseFile>& file = written[{cells, tiles}];
    if (!file) {
        file = std::make_unique<TemporaryCourseFile>(
            "room-" + std::to_string(cells) + "-" + std::to_string(tiles) + ".txt",
            generatedCourseText(generateRoom(cells, tiles)));
    }
    return file->path();
}

// The course as the program loads it: the reader, the triangles in their own storage, the index.
struct OurCourse : LoadedCourse {
    bool load(const std::string& fileName) {
        std::ostringstream console;
        return read(fileName, console);
    }
};

// The same course in Bullet: parsed from the file's words with strtof (PeerCourseText.h), then
// its tree built.
struct BulletCourse {
    std::unique_ptr<btTriangleMesh> mesh;
    std::unique_ptr<btBvhTriangleMeshShape> shape;

    bool load(const std::string& fileName) {
        mesh = std::make_unique<btTriangleMesh>(true, false);
        btTriangleMesh& triangles = *mesh;
        const bool read = forEachPeerTriangle(fileName, [&triangles](const float(&v)[9]) {
            triangles.addTriangle(btVector3(v[0], v[1], v[2]), btVector3(v[3], v[4], v[5]),
                                  btVector3(v[6], v[7], v[8]), false);
        });
        if (!read) {
            return false;
        }
        shape = std::make_unique<btBvhTriangleMeshShape>(mesh.get(), true, true);
        return true;
    }
};

// Bullet's world around the course, with the ball's sphere to cast.
struct BulletWorld {
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    btCollisionObject object;
    btSphereShape sphere{ballRadius};

    explicit BulletWorld(btBvhTriangleMeshShape& shape) {
        object.setCollisionShape(&shape);
        world.addCollisionObject(&object);
        world.updateAabbs();
    }

    // The first hit of the sphere moving from -> to: its fraction of the move and the normal.
    bool sweep(const btVector3& from, const btVector3& to, float& fraction, btVector3& normal) {
        btTransform start, end;
        start.setIdentity();
        end.setIdentity();
        start.setOrigin(from);
        end.setOrigin(to);
        btCollisionWorld::ClosestConvexResultCallback result(from, to);
        world.convexSweepTest(&sphere, start, end, result, 0.0f);
        fraction = result.m_closestHitFraction;
        normal = result.m_hitNormalWorld;
        return result.hasHit();
    }
};

// Everything the sides need for one room, built once.
struct Peers {
    OurCourse ours;
    BulletCourse bullet;
    std::unique_ptr<BulletWorld> world;
#if MINIGOLF_JOLT_PEER
    JoltCourse jolt;
#endif
    SimulationSettings settings;
    std::vector<Sweep> sweeps;
    // The same sweeps parted by our search's outcome, each part in the order of `sweeps`.
    std::vector<Sweep> hitSweeps;
    std::vector<Sweep> missSweeps;
    // Of the sweeps: how many reach a triangle in our search, and how many each peer answers
    // the other way (a hit where ours misses, or a miss where ours hits).
    int ourHits = 0;
    int bulletDisagreements = 0;
    int joltDisagreements = 0;
    bool loaded = false;
};

// Counts the sweeps on which the peers' hit or miss differs from ours.
void compareOutcomes(Peers& p) {
    for (const Sweep& sweep : p.sweeps) {
        Vector3 normal;
        float earliest = noContact;
        p.settings.findEarliestContact(sweep.from, sweep.to, ballRadius, p.ours.boxes(), normal,
                                       earliest);
        const bool ours = earliest != noContact;
        p.ourHits += ours ? 1 : 0;
        (ours ? p.hitSweeps : p.missSweeps).push_back(sweep);
        float fraction;
        btVector3 bulletNormal;
        const bool bullet =
            p.world->sweep(btVector3(sweep.from.x, sweep.from.y, sweep.from.z),
                           btVector3(sweep.to.x, sweep.to.y, sweep.to.z), fraction, bulletNormal);
        p.bulletDisagreements += bullet != ours ? 1 : 0;
#if MINIGOLF_JOLT_PEER
        float joltNormal[3];
        const bool jolt = p.jolt.sweep({sweep.from.x, sweep.from.y, sweep.from.z},
                                       {sweep.to.x, sweep.to.y, sweep.to.z}, fraction, joltNormal);
        p.joltDisagreements += jolt != ours ? 1 : 0;
#endif
    }
}

Peers& peers(int cells, int tiles) {
    static std::map<std::pair<int, int>, std::unique_ptr<Peers>> built;
    std::unique_ptr<Peers>& entry = built[{cells, tiles}];
    if (!entry) {
        entry = std::make_unique<Peers>();
        const std::string file = roomFile(cells, tiles);
        entry->loaded = entry->ours.load(file) && entry->bullet.load(file);
#if MINIGOLF_JOLT_PEER
        entry->loaded = entry->loaded && entry->jolt.load(file);
#endif
        if (!entry->loaded) {
            return *entry;
        }
        entry->world = std::make_unique<BulletWorld>(*entry->bullet.shape);
        entry->settings.useContactIndex(entry->ours.index());
        entry->sweeps =
            generateSweeps(entry->ours, sweepsPerCourse, sweepLength, sweepClearance, 1);
        compareOutcomes(*entry);
    }
    return *entry;
}

constexpr const char* cannotLoad = "the generated room could not be written or read back";

void reportRatio(benchmark::State& state, double ours, double bullet, double count,
                 const std::string& unit) {
    state.counters["ours_" + unit] = ours / count;
    state.counters["bullet_" + unit] = bullet / count;
    // How many times faster ours is.
    state.counters["ratio"] = bullet / ours;
}

#if MINIGOLF_JOLT_PEER
void reportJoltRatio(benchmark::State& state, double ours, double jolt, double count,
                     const std::string& unit) {
    state.counters["jolt_" + unit] = jolt / count;
    // How many times faster ours is than Jolt.
    state.counters["jolt_ratio"] = jolt / ours;
}
#endif

// The real time of one query per sweep through each engine, in seconds.
double timeOurSweeps(const Peers& p, const std::vector<Sweep>& sweeps) {
    const Clock::time_point start = Clock::now();
    for (const Sweep& sweep : sweeps) {
        Vector3 normal;
        float earliest = noContact;
        p.settings.findEarliestContact(sweep.from, sweep.to, ballRadius, p.ours.boxes(), normal,
                                       earliest);
        benchmark::DoNotOptimize(earliest);
    }
    return secondsSince(start);
}

double timeBulletSweeps(const Peers& p, const std::vector<Sweep>& sweeps) {
    const Clock::time_point start = Clock::now();
    for (const Sweep& sweep : sweeps) {
        float fraction;
        btVector3 normal;
        benchmark::DoNotOptimize(p.world->sweep(btVector3(sweep.from.x, sweep.from.y, sweep.from.z),
                                                btVector3(sweep.to.x, sweep.to.y, sweep.to.z),
                                                fraction, normal));
    }
    return secondsSince(start);
}

#if MINIGOLF_JOLT_PEER
double timeJoltSweeps(const Peers& p, const std::vector<Sweep>& sweeps) {
    const Clock::time_point start = Clock::now();
    for (const Sweep& sweep : sweeps) {
        float fraction;
        float normal[3];
        benchmark::DoNotOptimize(p.jolt.sweep({sweep.from.x, sweep.from.y, sweep.from.z},
                                              {sweep.to.x, sweep.to.y, sweep.to.z}, fraction,
                                              normal));
    }
    return secondsSince(start);
}
#endif

// 100000 random sweeps of length 2 (starts at least 1 from every triangle) through each engine.
void sweepsAgainstBullet(benchmark::State& state) {
    Peers& p = peers(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!p.loaded) {
        state.SkipWithError(cannotLoad);
        return;
    }
    double ours = 0.0, bullet = 0.0, count = 0.0;
    [[maybe_unused]] double jolt = 0.0;
    for (auto _ : state) {
        ours += timeOurSweeps(p, p.sweeps);
        bullet += timeBulletSweeps(p, p.sweeps);
#if MINIGOLF_JOLT_PEER
        jolt += timeJoltSweeps(p, p.sweeps);
#endif
        count += static_cast<double>(p.sweeps.size());
    }
    reportRatio(state, ours * 1e9, bullet * 1e9, count, "ns_per_sweep");
#if MINIGOLF_JOLT_PEER
    reportJoltRatio(state, ours * 1e9, jolt * 1e9, count, "ns_per_sweep");
    state.counters["jolt_disagreements"] = p.joltDisagreements;
#endif
    state.counters["hits"] = p.ourHits;
    state.counters["bullet_disagreements"] = p.bulletDisagreements;
}

// The same sweeps, those that reach a wall (range 2 = 1) or those that miss (0) alone, as our
// search answers them: where each engine spends its time.
void sweepOutcomesAgainstPeers(benchmark::State& state) {
    Peers& p = peers(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!p.loaded) {
        state.SkipWithError(cannotLoad);
        return;
    }
    const std::vector<Sweep>& sweeps = state.range(2) != 0 ? p.hitSweeps : p.missSweeps;
    double ours = 0.0, bullet = 0.0, count = 0.0;
    [[maybe_unused]] double jolt = 0.0;
    for (auto _ : state) {
        ours += timeOurSweeps(p, sweeps);
        bullet += timeBulletSweeps(p, sweeps);
#if MINIGOLF_JOLT_PEER
        jolt += timeJoltSweeps(p, sweeps);
#endif
        count += static_cast<double>(sweeps.size());
    }
    reportRatio(state, ours * 1e9, bullet * 1e9, count, "ns_per_sweep");
#if MINIGOLF_JOLT_PEER
    reportJoltRatio(state, ours * 1e9, jolt * 1e9, count, "ns_per_sweep");
#endif
}

#if MINIGOLF_JOLT_PEER
// Bullet's flight loop below, through Jolt, in plain floats: the ball's position after `steps`
// steps of `dt` seconds from the origin at `velocity`.
Vector3 joltFlight(const JoltCourse& jolt, Vector3 velocity, int steps, double dt) {
    float position[3] = {0.0f, 0.0f, 0.0f};
    float v[3] = {velocity.x, velocity.y, velocity.z};
    for (int step = 0; step < steps; ++step) {
        double remaining = dt;
        for (int cast = 0; cast < 100 && remaining > 0.0; ++cast) {
            const float scale = static_cast<float>(remaining);
            const float end[3] = {position[0] + v[0] * scale, position[1] + v[1] * scale,
                                  position[2] + v[2] * scale};
            float fraction;
            float n[3];
            if (!jolt.sweep(position, end, fraction, n)) {
                std::copy(end, end + 3, position);
                break;
            }
            const float along = 2.0f * (n[0] * v[0] + n[1] * v[1] + n[2] * v[2]);
            for (int i = 0; i < 3; ++i) {
                position[i] += v[i] * scale * fraction;
                v[i] -= along * n[i];
            }
            remaining *= 1.0 - fraction;
        }
    }
    return Vector3(position[0], position[1], position[2]);
}
#endif

// A ball at 5000 units a second, 1/60 s steps, bouncing without loss of speed. Bullet's loop
// does what our step does: cast to the end of the step, move to the first hit, mirror the
// velocity about its normal and go on with the rest (at most 100 casts a step); Jolt's loop is
// the same.
void flightAgainstBullet(benchmark::State& state) {
    Peers& p = peers(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!p.loaded) {
        state.SkipWithError(cannotLoad);
        return;
    }
    constexpr int steps = 600;
    constexpr double dt = 1.0 / 60.0;
    const Vector3 velocity = Vector3(0.48f, 0.6f, -0.64f) * 5000.0f;
    // Kept for the run: the settings keep pointing at it after this benchmark.
    static DiscardingBuffer discarded;
    static std::ostream bounces(&discarded);
    p.settings.setCollideStream(bounces);
    double ours = 0.0, bullet = 0.0, count = 0.0;
    [[maybe_unused]] double jolt = 0.0;
    for (auto _ : state) {
        Ball ball{Ball::withoutTexture};
        ball.setPosition(Vector3(0.0f, 0.0f, 0.0f));
        ball.setVelocity(velocity);
        Clock::time_point start = Clock::now();
        for (int step = 0; step < steps; ++step) {
            p.settings.step(ball, p.ours.boxes(), dt);
        }
        ours += secondsSince(start);
        benchmark::DoNotOptimize(ball.position());

        btVector3 position(0.0f, 0.0f, 0.0f), v(velocity.x, velocity.y, velocity.z);
        start = Clock::now();
        for (int step = 0; step < steps; ++step) {
            double remaining = dt;
            for (int cast = 0; cast < 100 && remaining > 0.0; ++cast) {
                const btVector3 end = position + v * btScalar(remaining);
                float fraction;
                btVector3 normal;
                if (!p.world->sweep(position, end, fraction, normal)) {
                    position = end;
                    break;
                }
                position += v * btScalar(remaining) * fraction;
                normal.normalize();
                v -= 2.0f * normal * normal.dot(v);
                remaining *= 1.0 - fraction;
            }
        }
        bullet += secondsSince(start);
        benchmark::DoNotOptimize(position);
#if MINIGOLF_JOLT_PEER
        start = Clock::now();
        benchmark::DoNotOptimize(joltFlight(p.jolt, velocity, steps, dt));
        jolt += secondsSince(start);
#endif
        count += steps;
    }
    reportRatio(state, ours * 1e6, bullet * 1e6, count, "us_per_step");
#if MINIGOLF_JOLT_PEER
    reportJoltRatio(state, ours * 1e6, jolt * 1e6, count, "us_per_step");
#endif
}

// Loading the course file: ours reads it (numbers, triangles, frames on every core) and builds
// the index; Bullet's side (and Jolt's) parses it and builds its tree.
void loadAgainstBullet(benchmark::State& state) {
    const std::string file =
        roomFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    // Real time, and processor time of all the process's threads: on a machine shared with
    // other work, the processor time shows what each load costs whatever it got of the cores.
    double ours = 0.0, bullet = 0.0, count = 0.0;
    double oursCpu = 0.0, bulletCpu = 0.0;
    [[maybe_unused]] double jolt = 0.0, joltCpu = 0.0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        std::clock_t startCpu = std::clock();
        {
            OurCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            ours += secondsSince(start);
            oursCpu += cpuSecondsSince(startCpu);
        }
        start = Clock::now();
        startCpu = std::clock();
        {
            BulletCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            bullet += secondsSince(start);
            bulletCpu += cpuSecondsSince(startCpu);
        }
#if MINIGOLF_JOLT_PEER
        start = Clock::now();
        startCpu = std::clock();
        {
            JoltCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            jolt += secondsSince(start);
            joltCpu += cpuSecondsSince(startCpu);
        }
#endif
        count += 1.0;
    }
    // Here the ratio is ours over Bullet's: the figure to keep low.
    state.counters["ours_s"] = ours / count;
    state.counters["bullet_s"] = bullet / count;
    state.counters["ours_over_bullet"] = ours / bullet;
    state.counters["ours_cpu_s"] = oursCpu / count;
    state.counters["bullet_cpu_s"] = bulletCpu / count;
#if MINIGOLF_JOLT_PEER
    state.counters["jolt_s"] = jolt / count;
    state.counters["ours_over_jolt"] = ours / jolt;
    state.counters["jolt_cpu_s"] = joltCpu / count;
#endif
}

// The memory a loaded course keeps, its index included, per triangle (ours), against Bullet's mesh
// and tree, each measured as the growth of the resident memory while it is alive.
void memoryAgainstBullet(benchmark::State& state) {
    const std::string file =
        roomFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double ours = 0.0, bullet = 0.0, triangles = 0.0;
    [[maybe_unused]] double jolt = 0.0;
    for (auto _ : state) {
        double before = residentBytesInUse();
        {
            OurCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            ours = residentBytesInUse() - before;
            triangles = static_cast<double>(course.triangles().size());
        }
        before = residentBytesInUse();
        {
            BulletCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            bullet = residentBytesInUse() - before;
        }
#if MINIGOLF_JOLT_PEER
        before = residentBytesInUse();
        {
            JoltCourse course;
            if (!course.load(file)) {
                state.SkipWithError(cannotLoad);
                return;
            }
            jolt = residentBytesInUse() - before;
        }
#endif
    }
    state.counters["ours_bytes_per_triangle"] = ours / triangles;
    state.counters["bullet_bytes_per_triangle"] = bullet / triangles;
#if MINIGOLF_JOLT_PEER
    state.counters["jolt_bytes_per_triangle"] = jolt / triangles;
#endif
}

void rooms(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"cells", "tiles"});
    benchmark->Args({9, 1})->Args({29, 2})->Args({91, 4})->Args({289, 12});
}

} // namespace

BENCHMARK(sweepsAgainstBullet)->Apply(rooms)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(sweepOutcomesAgainstPeers)
    ->ArgNames({"cells", "tiles", "hits"})
    ->ArgsProduct({{9}, {1}, {0, 1}})
    ->ArgsProduct({{29}, {2}, {0, 1}})
    ->ArgsProduct({{91}, {4}, {0, 1}})
    ->ArgsProduct({{289}, {12}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(flightAgainstBullet)
    ->ArgNames({"cells", "tiles"})
    ->Args({9, 1})
    ->Args({91, 4})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(loadAgainstBullet)->Apply(rooms)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(memoryAgainstBullet)->Args({289, 12})->Unit(benchmark::kMillisecond)->Iterations(1);
