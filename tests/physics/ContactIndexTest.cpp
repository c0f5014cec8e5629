// The contact index against the exhaustive search it replaces: the same earliest contact and the
// same merged normal, bit for bit, on generated courses, awkward triangles and whole flights; and
// the culling margin against the triangles that stress it most.

#include "physics/ContactIndex.h"
#include "ContactReach.h"
#include "CourseGenerator.h"
#include "physics/SimulationSettings.h"
#include "scene/BallConstants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <sstream>

namespace {

constexpr float ballRadius = ball_constants::radius;

// The sanitizer tree runs these at -O0 under AddressSanitizer, some fifty times slower, to look
// for memory faults rather than to compare the searches again at full length: it runs a
// twentieth of the sweeps and steps.
#ifdef MINIGOLF_SHORT_RUNS
constexpr int runShare = 20;
#else
constexpr int runShare = 1;
#endif

struct SearchResult {
    float earliest = noContact;
    Vector3 normal;
};

// One pass's search, merging into `start` (no contact unless given).
SearchResult search(const SimulationSettings& settings, const std::vector<CollisionBox>& boxes,
                    const Vector3& from, const Vector3& to, float radius = ballRadius,
                    SearchResult start = {}) {
    SearchResult result = start;
    settings.findEarliestContact(from, to, radius, boxes, result.normal, result.earliest);
    return result;
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameBits(const SearchResult& a, const SearchResult& b) {
    return sameBits(a.earliest, b.earliest) && sameBits(a.normal.x, b.normal.x) &&
           sameBits(a.normal.y, b.normal.y) && sameBits(a.normal.z, b.normal.z);
}

std::string show(const Sweep& sweep, const SearchResult& exhaustive, const SearchResult& indexed) {
    std::ostringstream text;
    text.precision(9);
    text << "sweep " << sweep.from << " -> " << sweep.to << ": exhaustive " << exhaustive.earliest
         << " (" << exhaustive.normal << "), index " << indexed.earliest << " (" << indexed.normal
         << ")";
    return text.str();
}

// A course with two searches over it: every triangle of every box, and the index.
class IndexedCourse {
public:
    explicit IndexedCourse(const GeneratedCourse& generated) : course_(buildGenerated(generated)) {
        course_.searchWith(indexed_);
        EXPECT_EQ(course_.index()->validate(course_.boxes()), std::nullopt);
    }

    const LoadedCourse& course() const { return course_; }
    const std::vector<CollisionBox>& boxes() const { return course_.boxes(); }

    // Sweeps whose results differ between the two searches; the first few are described. A
    // sweep that hits is searched once more, merging into a contact at the same moment found
    // before it (every simultaneous normal then adds to the one given).
    int countDifferences(const std::vector<Sweep>& sweeps, float radius,
                         std::vector<std::string>& described) const {
        int differences = 0;
        for (const Sweep& sweep : sweeps) {
            const SearchResult expected =
                search(exhaustive_, boxes(), sweep.from, sweep.to, radius);
            const SearchResult actual = search(indexed_, boxes(), sweep.from, sweep.to, radius);
            if (!sameBits(expected, actual) && ++differences <= 3) {
                described.push_back(show(sweep, expected, actual));
            }
            if (expected.earliest < noContact) {
                const SearchResult before{expected.earliest, {0.0f, 1.0f, 0.0f}};
                const SearchResult merged =
                    search(exhaustive_, boxes(), sweep.from, sweep.to, radius, before);
                const SearchResult mergedByIndex =
                    search(indexed_, boxes(), sweep.from, sweep.to, radius, before);
                if (!sameBits(merged, mergedByIndex) && ++differences <= 3) {
                    described.push_back("merging into an earlier contact, " +
                                        show(sweep, merged, mergedByIndex));
                }
            }
        }
        return differences;
    }

    // Flies a ball through the course with each search, step by step, and returns the first
    // step at which position, velocity or bounce count differ (or -1).
    long firstDifferentStep(Vector3 position, Vector3 velocity, double dt, long steps) {
        std::ostringstream exhaustiveBounces, indexedBounces;
        exhaustive_.setCollideStream(exhaustiveBounces);
        indexed_.setCollideStream(indexedBounces);
        Ball exhaustiveBall{Ball::withoutTexture}, indexedBall{Ball::withoutTexture};
        for (Ball* ball : {&exhaustiveBall, &indexedBall}) {
            ball->setPosition(position);
            ball->setVelocity(velocity);
        }
        for (long step = 0; step < steps; ++step) {
            // A respawn draws from rand(): both balls must draw the same places.
            const unsigned seed = static_cast<unsigned>(step) * 2654435761u;
            std::srand(seed);
            exhaustive_.step(exhaustiveBall, boxes(), dt);
            std::srand(seed);
            indexed_.step(indexedBall, boxes(), dt);
            const Vector3 p = exhaustiveBall.position(), q = indexedBall.position();
            const Vector3 v = exhaustiveBall.velocity(), w = indexedBall.velocity();
            const bool same = sameBits(p.x, q.x) && sameBits(p.y, q.y) && sameBits(p.z, q.z) &&
                              sameBits(v.x, w.x) && sameBits(v.y, w.y) && sameBits(v.z, w.z) &&
                              exhaustiveBounces.str().size() == indexedBounces.str().size();
            if (!same) {
                return step;
            }
        }
        return -1;
    }

private:
    LoadedCourse course_;
    SimulationSettings exhaustive_;
    SimulationSettings indexed_;
};

// Sweeps of every kind the step makes: short and long, from clear space and from starts already
// touching the course (clearance 0), as a ball that has just bounced makes them.
std::vector<Sweep> mixedSweeps(const LoadedCourse& course, int count, unsigned seed) {
    std::vector<Sweep> sweeps;
    const float lengths[] = {2.0f, 0.05f, 12.0f, 80.0f};
    const float clearances[] = {1.0f, 0.0f};
    for (const float length : lengths) {
        for (const float clearance : clearances) {
            const std::vector<Sweep> some =
                generateSweeps(course, count / 8, length, clearance, seed++);
            sweeps.insert(sweeps.end(), some.begin(), some.end());
        }
    }
    return sweeps;
}

void expectIndexMatchesExhaustive(const GeneratedCourse& generated, int sweeps, unsigned seed) {
    const IndexedCourse course(generated);
    std::vector<std::string> described;
    const std::vector<Sweep> tried = mixedSweeps(course.course(), sweeps / runShare, seed);
    ASSERT_GE(tried.size(), static_cast<std::size_t>(sweeps / runShare) * 9 / 10);
    EXPECT_EQ(course.countDifferences(tried, ballRadius, described), 0)
        << ::testing::PrintToString(described);
}

TEST(ContactIndex, SweepsThroughRoomsGiveTheExhaustiveResults) {
    expectIndexMatchesExhaustive(generateRoom(9, 1), 40000, 1);   // 972 triangles
    expectIndexMatchesExhaustive(generateRoom(29, 2), 20000, 11); // 10092 triangles
}

TEST(ContactIndex, SweepsOverBumpyTerrainGiveTheExhaustiveResults) {
    expectIndexMatchesExhaustive(generateTerrain(29, 2), 20000, 21);
}

TEST(ContactIndex, SweepsAmongAwkwardTrianglesGiveTheExhaustiveResults) {
    // Near-axis edges, slivers, huge and tiny triangles and degenerate ones, crowded together.
    expectIndexMatchesExhaustive(generateAwkward(1000, 5), 20000, 31);
}

TEST(ContactIndex, WholeFlightsBounceExactlyAsWithoutTheIndex) {
    IndexedCourse room(generateRoom(29, 2));
    IndexedCourse terrain(generateTerrain(29, 2));
    IndexedCourse awkward(generateAwkward(1000, 7));
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (IndexedCourse* course : {&room, &terrain, &awkward}) {
        for (const float speed : {5000.0f, 50.0f, 0.6f}) {
            const Vector3 start(unit(random) * 15.0f, unit(random) * 5.0f, unit(random) * 15.0f);
            Vector3 direction(unit(random), unit(random), unit(random));
            direction.normalize();
            EXPECT_EQ(
                course->firstDifferentStep(start, direction * speed, 1.0 / 60.0, 600 / runShare),
                -1)
                << "speed " << speed << " from " << start;
        }
    }
}

TEST(ContactIndex, MovesItCannotCullFallBackToEveryBox) {
    const IndexedCourse course(generateRoom(9, 1));
    const float huge = 1e20f, infinity = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Sweep> odd = {{{0, 0, 0}, {huge, 0, 0}},    {{0, 0, 0}, {infinity, 0, 0}},
                                    {{nan, 0, 0}, {0, 0, 0}},     {{-huge, 0, 0}, {huge, 1, 1}},
                                    {{0, 9.4f, 0}, {0, 9.4f, 0}}, {{19.5f, 0, 0}, {30, 0, 0}}};
    std::vector<std::string> described;
    EXPECT_EQ(course.countDifferences(odd, ballRadius, described), 0)
        << ::testing::PrintToString(described);
    // A radius the margin cannot work with is searched exhaustively too.
    EXPECT_EQ(course.countDifferences(odd, 0.0f, described), 0);
    EXPECT_EQ(course.countDifferences({{{0, 0, 0}, {0, -12, 0}}}, -1.0f, described), 0);
}

TEST(ContactIndex, IsTheSameIndexOnAnyNumberOfThreads) {
    const LoadedCourse terrain = buildGenerated(generateTerrain(29, 2));
    const ContactIndex alone(terrain.boxes(), 1);
    const ContactIndex shared(terrain.boxes(), 3);
    EXPECT_EQ(alone.memoryBytes(), shared.memoryBytes());
    ContactCandidates fromAlone, fromShared;
    int compared = 0;
    for (const Sweep& sweep : generateSweeps(terrain, 2000, 6.0f, 0.0f, 41)) {
        const BallMove move(sweep.from, sweep.to, ballRadius);
        alone.collectCandidates(move, 1e-5f, terrain.boxes(), fromAlone);
        shared.collectCandidates(move, 1e-5f, terrain.boxes(), fromShared);
        ASSERT_EQ(fromAlone.triangles.size(), fromShared.triangles.size());
        for (std::size_t i = 0; i < fromAlone.triangles.size(); ++i) {
            ASSERT_EQ(fromAlone.triangles[i].order, fromShared.triangles[i].order);
            ASSERT_EQ(std::memcmp(fromAlone.triangles[i].triangle, fromShared.triangles[i].triangle,
                                  sizeof(ContactTriangle)),
                      0);
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000);
}

TEST(ContactIndex, IsUsedOnlyForTheBoxListItWasBuiltFor) {
    const LoadedCourse room = buildGenerated(generateRoom(9, 1));
    const ContactIndex& index = *room.index();
    const std::vector<CollisionBox> copy = room.boxes();
    EXPECT_TRUE(index.isBuiltFor(room.boxes()));
    EXPECT_FALSE(index.isBuiltFor(copy));
    EXPECT_FALSE(index.isBuiltFor({}));
    EXPECT_EQ(index.triangleCount(), room.triangles().size());

    SimulationSettings settings;
    settings.useContactIndex(&index);
    SimulationSettings exhaustive;
    const SearchResult expected = search(exhaustive, copy, {0, 0, 0}, {0, -12, 0});
    ASSERT_LT(expected.earliest, 1.0f);
    // The copy holds the same triangles, so only the warning tells which search ran: once.
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(sameBits(search(settings, copy, {0, 0, 0}, {0, -12, 0}), expected));
    EXPECT_TRUE(sameBits(search(settings, copy, {0, 0, 0}, {0, -12, 0}), expected));
    EXPECT_TRUE(sameBits(search(settings, room.boxes(), {0, 0, 0}, {0, -12, 0}), expected));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "warning: the contact index was built for another box list; searching every box "
              "instead\n");
}

// The triangles the exhaustive search tests on the sweep: every non-degenerate one of every box
// whose own test accepts it.
std::size_t exhaustivelyTested(const std::vector<CollisionBox>& boxes, const Sweep& sweep,
                               float epsilon) {
    std::size_t tested = 0;
    for (const CollisionBox& box : boxes) {
        if (box.overlapsSweep(sweep.from, sweep.to, ballRadius, epsilon)) {
            for (unsigned i = 0; i < box.triangleCount(); ++i) {
                tested += box.triangle(static_cast<int>(i))->hasFiniteNormal() ? 1 : 0;
            }
        }
    }
    return tested;
}

// Exactness alone would pass an index that hands out every triangle of every box: the index must
// also leave out nearly all of what the exhaustive search tests, and walk no leaf in empty space.
TEST(ContactIndex, TestsOnlyASmallShareOfTheExhaustiveSearchsTriangles) {
    const LoadedCourse room = buildGenerated(generateRoom(29, 2));
    const ContactIndex& index = *room.index();
    SimulationSettings settings;
    settings.useContactIndex(&index);
    ContactSearch search;
    std::size_t exhaustive = 0;
    const std::vector<Sweep> sweeps = generateSweeps(room, 2000, 2.0f, 0.0f, 51);
    for (const Sweep& sweep : sweeps) {
        SearchResult result;
        settings.findEarliestContact(sweep.from, sweep.to, ballRadius, room.boxes(), search,
                                     result.normal, result.earliest);
        exhaustive += exhaustivelyTested(room.boxes(), sweep, settings.epsilon);
    }
    EXPECT_EQ(search.statistics.passes, sweeps.size());
    ASSERT_GT(exhaustive, 100 * sweeps.size()); // starts touching the walls: boxes overlapped
    const double share = double(search.statistics.trianglesTested) / double(exhaustive);
    EXPECT_LT(share, 0.05) << search.statistics.trianglesTested << " of " << exhaustive;
    EXPECT_LE(search.statistics.trianglesTested, search.statistics.trianglesBounded);

    // Across the middle of the room, far from every wall.
    search.resetStatistics();
    SearchResult result;
    settings.findEarliestContact({-1.0f, 0.0f, 0.0f}, {1.0f, 0.5f, 0.0f}, ballRadius, room.boxes(),
                                 search, result.normal, result.earliest);
    EXPECT_EQ(result.earliest, noContact);
    EXPECT_GT(search.statistics.nodesVisited, 0u);
    EXPECT_EQ(search.statistics.trianglesBounded, 0u);
    EXPECT_EQ(search.statistics.trianglesTested, 0u);
}

// Courses with nothing to index: no boxes, a box without triangles, a box of degenerate triangles
// only (beside one that holds a floor), searched through the index and exhaustively alike.
TEST(ContactIndex, CoursesWithNothingToIndexBuildAndSearch) {
    const std::array<float, 9> point = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const std::array<float, 9> line = {0, 0, 0, 5, 0, 0, 10, 0, 0};
    const std::array<float, 9> floor = {-50, -5, -50, -50, -5, 50, 50, -5, -50};
    const std::vector<GeneratedCourse> courses = {
        {},
        {GeneratedBox{}},
        {GeneratedBox{{}, {point, line}}},
        {GeneratedBox{}, GeneratedBox{{}, {point, line}}, GeneratedBox{{}, {floor}}}};
    for (const GeneratedCourse& generated : courses) {
        IndexedCourse course(generated);
        const std::vector<Sweep> sweeps = {{{0, 0, 0}, {0, -12, 0}},
                                           {{0, 0, 0}, {0.1f, 0.2f, 0.3f}},
                                           {{0, -0.5f, 0}, {20, -0.4f, 0}}};
        std::vector<std::string> described;
        EXPECT_EQ(course.countDifferences(sweeps, ballRadius, described), 0)
            << ::testing::PrintToString(described);
        EXPECT_EQ(course.firstDifferentStep({0, 0, 0}, {3, -40, 1}, 1.0 / 60.0, 60), -1);
    }
}

// Where the earliest contact of a sweep lies: its time, and the box and position in the box of
// the first triangle in merging order that reports it (noContact and no place without one).
struct EarliestTriangle {
    float time = noContact;
    std::uint64_t order = UINT64_MAX;
};

void keepEarlier(EarliestTriangle& earliest, const TriangleContacts& contacts,
                 std::uint64_t order) {
    for (const float t : contacts.time) {
        if (t < earliest.time) {
            earliest = {t, order};
        }
    }
}

// Boxes of every kind side by side along x, far from the origin where an empty box's corners
// lie: ordinary ones of different sizes with gaps between them, empty ones (which share their
// first number with the box after them) and ones of degenerate triangles only. A triangle
// credited to a neighbouring box is then either tested under that box's bounds, which accept
// other sweeps, or ranked in its place; both show in the earliest contact or in the triangle
// that reports it. Also a course of one triangle, alone or after empty boxes.
TEST(ContactIndex, FindsEachTriangleInItsOwnBoxBesideEmptyAndDegenerateBoxes) {
    std::mt19937 random(9);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const auto within = [&](float left, float size) {
        std::array<float, 9> corners{};
        for (int i = 0; i < 9; ++i) {
            corners[i] = (i % 3 == 0 ? left : 0.0f) + size * unit(random);
        }
        return corners;
    };
    const std::array<float, 9> point = {30, 1, 1, 30, 1, 1, 30, 1, 1};
    const std::array<float, 9> line = {30, 0, 0, 35, 0, 0, 40, 0, 0};
    GeneratedCourse mixed;
    float left = 30.0f;
    for (int k = 0; k < 30; ++k) {
        if (k % 5 == 1) {
            mixed.insert(mixed.end(), 1 + k % 3, GeneratedBox{});
        } else if (k % 5 == 3) {
            mixed.push_back({{}, {point, line}});
        }
        // File units (a fifth of a course unit): boxes 1 to 4 units wide, 0.4 to 2 apart, so
        // that a ball of radius 0.6 near one box is often out of its neighbours' reach.
        const float size = 5.0f + static_cast<float>(k % 4) * 5.0f;
        GeneratedBox box;
        for (int i = 0; i <= k % 3; ++i) {
            box.triangles.push_back(within(left, size));
        }
        box.triangles.insert(box.triangles.begin() + k % 2, point); // shifts the positions
        mixed.push_back(box);
        left += size + 2.0f + static_cast<float>(k % 3) * 4.0f;
    }
    const std::array<float, 9> alone = within(30.0f, 40.0f);
    const std::vector<GeneratedCourse> courses = {
        mixed, {GeneratedBox{{}, {alone}}}, {GeneratedBox{}, GeneratedBox{}, {{}, {alone}}}};
    SimulationSettings settings;
    for (const GeneratedCourse& generated : courses) {
        const IndexedCourse course(generated);
        const std::vector<CollisionBox>& boxes = course.boxes();
        const std::vector<Sweep> sweeps = mixedSweeps(course.course(), 20000 / runShare, 41);
        ASSERT_GE(sweeps.size(), std::size_t{20000 / runShare} / 2);
        std::vector<std::string> described;
        EXPECT_EQ(course.countDifferences(sweeps, ballRadius, described), 0)
            << ::testing::PrintToString(described);

        ContactSearch search;
        int misplaced = 0;
        std::size_t hits = 0;
        for (const Sweep& sweep : sweeps) {
            const BallMove move(sweep.from, sweep.to, ballRadius);
            EarliestTriangle expected;
            for (std::size_t b = 0; b < boxes.size(); ++b) {
                if (!boxes[b].overlapsSweep(move.from, move.to, move.radius, settings.epsilon)) {
                    continue;
                }
                for (unsigned p = 0; p < boxes[b].triangleCount(); ++p) {
                    const Triangle& triangle = *boxes[b].triangle(static_cast<int>(p));
                    if (triangle.hasFiniteNormal()) { // a degenerate one takes part in nothing
                        keepEarlier(expected,
                                    settings.contactsOf(move, ContactTriangle::of(triangle)),
                                    std::uint64_t{b} << 32 | p);
                    }
                }
            }
            ASSERT_TRUE(
                course.course().index()->collectCandidates(move, settings.epsilon, boxes, search));
            std::sort(search.triangles.begin(), search.triangles.end(),
                      [](const ContactCandidate& a, const ContactCandidate& b) {
                          return a.order < b.order;
                      });
            hits += expected.time < noContact ? 1 : 0;
            EarliestTriangle found;
            for (const ContactCandidate& candidate : search.triangles) {
                keepEarlier(found, settings.contactsOf(move, *candidate.triangle), candidate.order);
            }
            if ((!sameBits(expected.time, found.time) || expected.order != found.order) &&
                ++misplaced <= 3) {
                ADD_FAILURE() << "sweep " << sweep.from << " -> " << sweep.to << ": exhaustive "
                              << expected.time << " in box " << (expected.order >> 32) << " at "
                              << (expected.order & UINT32_MAX) << ", index " << found.time
                              << " in box " << (found.order >> 32) << " at "
                              << (found.order & UINT32_MAX);
            }
        }
        EXPECT_EQ(misplaced, 0);
        EXPECT_GT(hits, sweeps.size() / 20); // enough contacts to tell a box from another
    }
}

// The culling margin, triangle by triangle: whenever one of a triangle's tests reports a contact,
// the index must have kept the triangle, and neither lower bound may lie above the result. The
// moves are drawn to graze the triangle (passing within a hair of r of a vertex, an edge or the
// face, or starting in touch), where a margin too thin would show; the triangles are the awkward
// kinds, moved up to 5e5 from the origin.
TEST(ContactReach, EveryReportedContactLiesWithinTheMargin) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const GeneratedCourse awkward = generateAwkward(3000, 23);
    SimulationSettings settings;
    double largestShare = 0.0; // of the margin, used by a reported contact's distance beyond r
    long contacts = 0;
    for (const double offset : {0.0, 1e3, 1e5}) {
        GeneratedCourse moved = awkward;
        for (GeneratedBox& box : moved) {
            for (std::array<float, 9>& triangle : box.triangles) {
                for (std::size_t i = 0; i < 9; ++i) {
                    triangle[i] = static_cast<float>(triangle[i] + 5.0 * offset);
                }
            }
        }
        const LoadedCourse course = buildGenerated(moved);
        for (const CollisionBox& box : course.boxes()) {
            for (unsigned i = 0; i < box.triangleCount(); ++i) {
                const Triangle& t = *box.triangle(static_cast<int>(i));
                if (!t.hasFiniteNormal()) {
                    continue;
                }
                ContactTriangle record = ContactTriangle::of(t);
                const std::optional<double> growth = contact_reach::triangleGrowth(record);
                ASSERT_TRUE(growth.has_value());
                record.reachGrowth = static_cast<float>(*growth * (1.0 + 1e-6));
                record.normalError =
                    static_cast<float>(contact_reach::normalError(record) * (1.0 + 1e-6));
                for (int trial = 0; trial < 24; ++trial) {
                    // Aim at a point of the triangle (a vertex, an edge or inside) from a
                    // direction, passing it at r times (1 + a tiny signed fraction).
                    const double weights[3] = {std::fabs(unit(random)), std::fabs(unit(random)),
                                               trial % 3 == 0 ? 0.0 : std::fabs(unit(random))};
                    const double sum = weights[0] + weights[1] + weights[2] + 1e-300;
                    double target[3], side[3], along[3];
                    for (int axis = 0; axis < 3; ++axis) {
                        target[axis] = (weights[0] * record.vertex[0][axis] +
                                        weights[1] * record.vertex[1][axis] +
                                        weights[2] * record.vertex[2][axis]) /
                                       sum;
                        side[axis] = unit(random);
                        along[axis] = unit(random);
                    }
                    const double sideLength = std::hypot(side[0], side[1], side[2]);
                    const double hair = std::pow(10.0, -1.0 - 6.0 * std::fabs(unit(random)));
                    const double pass = ballRadius * (1.0 + (unit(random) < 0.0 ? -hair : hair));
                    const double length = std::pow(10.0, 2.0 * unit(random));
                    Vector3 from, to;
                    for (int axis = 0; axis < 3; ++axis) {
                        const double closest = target[axis] + side[axis] / sideLength * pass;
                        from[axis] = static_cast<float>(closest - along[axis] * length * 0.5);
                        to[axis] = static_cast<float>(closest + along[axis] * length * 0.5);
                    }
                    const BallMove move(from, to, ballRadius);
                    const TriangleContacts results = settings.contactsOf(move, record);
                    std::optional<contact_reach::SweepReach> sweep;
                    ASSERT_TRUE(contact_reach::sweepReach(move, settings.epsilon, offset + 60.0,
                                                          sweep.emplace()));
                    contact_reach::prepareSlabs(*sweep);
                    for (const float time : results.time) {
                        if (time >= noContact) {
                            continue;
                        }
                        ++contacts;
                        ASSERT_TRUE(contact_reach::mayTouch(record, record.reachGrowth, *sweep))
                            << "culled a triangle reporting " << time << " from " << from;
                        ASSERT_LE(contact_reach::touchBound(record, record.reachGrowth, *sweep),
                                  time);
                        float lower[3], upper[3];
                        contact_reach::vertexBounds(record, lower, upper);
                        ASSERT_LE(contact_reach::earliestNearBox(*sweep, lower, upper,
                                                                 sweep->reach + record.reachGrowth),
                                  time);
                        ASSERT_LE(contact_reach::earliestNearPlane(record, *sweep), time);
                        ASSERT_LE(contact_reach::earliestNearTriangle(record, *sweep), time);
                        Vector3 centre;
                        for (int axis = 0; axis < 3; ++axis) {
                            centre[axis] = static_cast<float>(
                                from[axis] + double(time) * (double(to[axis]) - from[axis]));
                        }
                        const double beyond =
                            distanceToTriangle(centre, record.corner(0), record.corner(1),
                                               record.corner(2)) -
                            ballRadius;
                        const double margin = sweep->reach + record.reachGrowth - ballRadius;
                        largestShare = std::max(largestShare, beyond / margin);
                    }
                }
            }
        }
    }
    EXPECT_GT(contacts, 10000);
    // The margin holds what the tests do with room to spare.
    EXPECT_LT(largestShare, 0.5);
    std::cout << "contacts checked " << contacts << ", largest share of the margin used "
              << largestShare << "\n";
}

} // namespace
