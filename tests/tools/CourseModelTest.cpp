// The bundled course's promises, checked on the very boxes make-course writes.
#include "CourseModel.h"

#include "geometry/Triangle.h"
#include "scene/BallConstants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <utility>

namespace {

using Corners = std::array<Vector3, 3>;

// Where the program puts the ball: its start, and the respawn places at height 10 with integer x
// and z from -20 to 20. A place must be this far from every triangle: the ball's radius 0.6
// and 0.4 to spare.
const Vector3 ballStart = ball_constants::startPosition();
constexpr float respawnHeight = ball_constants::respawnHeight;
constexpr int respawnRange = ball_constants::respawnReach;
constexpr double requiredClearance = ball_constants::radius + 0.4;

// Thin slivers make the contact tests ill-conditioned; every corner keeps at least this angle.
constexpr double smallestAllowedAngleDegrees = 1.0;
// The physics tests every triangle of every box a sweep reaches: the course stays small and its
// boxes compact.
constexpr std::size_t mostTriangles = 300;
constexpr std::size_t mostTrianglesPerBox = 40;
// The camera orbits at radius 40 and height 15: the room stays well inside the orbit and below it.
constexpr float cameraHeight = 15.0f;
constexpr float mostHorizontalExtent = 25.0f;

Vector3 normalOf(const Corners& t) {
    Vector3 v0 = t[0];
    Vector3 v1 = t[1];
    Vector3 v2 = t[2];
    return Triangle(&v0, &v1, &v2, true).normal();
}

struct Vec {
    double x, y, z;
};
Vec vec(const Vector3& v) {
    return {v.x, v.y, v.z};
}
Vec operator-(const Vec& a, const Vec& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator+(const Vec& a, const Vec& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator*(double s, const Vec& a) {
    return {s * a.x, s * a.y, s * a.z};
}
double dot(const Vec& a, const Vec& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(const Vec& a, const Vec& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const Vec& a) {
    return std::sqrt(dot(a, a));
}

// The point of triangle abc nearest to p, found by the Voronoi region of p: a vertex, an edge,
// or the face.
Vec closestPoint(const Vec& p, const Vec& a, const Vec& b, const Vec& c) {
    const Vec ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        return a;
    }
    const Vec bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) {
        return b;
    }
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        return a + (d1 / (d1 - d3)) * ab;
    }
    const Vec cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) {
        return c;
    }
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        return a + (d2 / (d2 - d6)) * ac;
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    }
    const double denominator = 1.0 / (va + vb + vc);
    return a + (vb * denominator) * ab + (vc * denominator) * ac;
}

double distanceToTriangle(const Vector3& p, const Corners& t) {
    return length(vec(p) - closestPoint(vec(p), vec(t[0]), vec(t[1]), vec(t[2])));
}

double smallestAngleDegrees(const Corners& t) {
    double smallest = 180.0;
    for (int i = 0; i < 3; ++i) {
        const Vec u = vec(t[(i + 1) % 3]) - vec(t[i]);
        const Vec w = vec(t[(i + 2) % 3]) - vec(t[i]);
        const double angle = std::atan2(length(cross(u, w)), dot(u, w));
        smallest = std::min(smallest, angle * 180.0 / std::numbers::pi);
    }
    return smallest;
}

// Directed edges v[i] -> v[i + 1] of a set of triangles, counted by their end points.
using Point = std::array<float, 3>;
using Edge = std::pair<Point, Point>;
Point key(const Vector3& v) {
    return {v.x, v.y, v.z};
}

std::map<Edge, int> directedEdges(const std::vector<Corners>& triangles) {
    std::map<Edge, int> edges;
    for (const Corners& t : triangles) {
        for (int i = 0; i < 3; ++i) {
            ++edges[{key(t[i]), key(t[(i + 1) % 3])}];
        }
    }
    return edges;
}

std::string where(const Edge& e) {
    std::ostringstream text;
    text << "edge (" << e.first[0] << ", " << e.first[1] << ", " << e.first[2] << ") -> ("
         << e.second[0] << ", " << e.second[1] << ", " << e.second[2] << ")";
    return text.str();
}

// True when both ends lie on one plane of the room's shell (the floor or a wall): where an
// obstacle may stand open.
bool onRoomSurface(const Edge& e) {
    const float wall = CourseLayout::roomHalfWidth;
    const auto bothAt = [&](int axis, float value) {
        return e.first[axis] == value && e.second[axis] == value;
    };
    return bothAt(1, CourseLayout::floorY) || bothAt(0, -wall) || bothAt(0, wall) ||
           bothAt(2, -wall) || bothAt(2, wall);
}

class CourseModelTest : public ::testing::Test {
protected:
    const std::vector<ModelBox> boxes = buildCourseModel();

    std::vector<Corners> trianglesOf(BoxRole role) const {
        std::vector<Corners> result;
        for (const ModelBox& box : boxes) {
            if (box.role == role) {
                result.insert(result.end(), box.triangles.begin(), box.triangles.end());
            }
        }
        return result;
    }
};

TEST_F(CourseModelTest, TrianglesAreWellShapedAndBoxesSmall) {
    std::size_t total = 0;
    for (const ModelBox& box : boxes) {
        EXPECT_FALSE(box.triangles.empty()) << box.name;
        EXPECT_LE(box.triangles.size(), mostTrianglesPerBox) << box.name;
        for (const float channel : box.colour) {
            EXPECT_TRUE(channel >= 0.0f && channel <= 1.0f) << box.name;
        }
        for (std::size_t i = 0; i < box.triangles.size(); ++i) {
            const Corners& t = box.triangles[i];
            EXPECT_TRUE(normalOf(t).isFinite()) << box.name << " triangle " << i;
            EXPECT_GE(smallestAngleDegrees(t), smallestAllowedAngleDegrees)
                << box.name << " triangle " << i;
        }
        total += box.triangles.size();
    }
    EXPECT_LE(total, mostTriangles);
}

// Every edge of the shell is walked once each way by two of its triangles, so the shell has
// no gap, no crack and no flipped triangle; its signed volume (the divergence theorem with the
// triangles' own normals) is then minus the room's volume exactly when they all face inward.
TEST_F(CourseModelTest, RoomIsAClosedShellFacingInward) {
    const std::vector<Corners> shell = trianglesOf(BoxRole::Room);
    const std::map<Edge, int> edges = directedEdges(shell);
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1) << where(edge) << " is walked more than once";
        const auto reverse = edges.find({edge.second, edge.first});
        EXPECT_TRUE(reverse != edges.end() && reverse->second == 1)
            << where(edge) << " has no single partner walking it back";
    }

    double volume = 0.0;
    for (const Corners& t : shell) {
        const Vector3 n = normalOf(t);
        const Vec centre = (1.0 / 3.0) * (vec(t[0]) + vec(t[1]) + vec(t[2]));
        const double area = 0.5 * length(cross(vec(t[1]) - vec(t[0]), vec(t[2]) - vec(t[0])));
        volume += dot(centre, vec(n)) * area / 3.0;
    }
    const double width = 2.0 * CourseLayout::roomHalfWidth;
    const double roomVolume = width * width * (CourseLayout::ceilingY - CourseLayout::floorY);
    EXPECT_NEAR(volume, -roomVolume, 1e-4 * roomVolume);
}

// Each obstacle is a convex solid: its triangles face away from the middle of its corners, and
// every edge is matched by its reverse except where the solid stands open on the floor or
// against a wall.
TEST_F(CourseModelTest, ObstaclesAreSolidsFacingOutward) {
    for (const ModelBox& box : boxes) {
        if (box.role != BoxRole::Obstacle) {
            continue;
        }
        Vec middle = {0.0, 0.0, 0.0};
        for (const Corners& t : box.triangles) {
            middle =
                middle + (1.0 / (3.0 * box.triangles.size())) * (vec(t[0]) + vec(t[1]) + vec(t[2]));
        }
        for (std::size_t i = 0; i < box.triangles.size(); ++i) {
            const Corners& t = box.triangles[i];
            EXPECT_GT(dot(vec(normalOf(t)), vec(t[0]) - middle), 0.0)
                << box.name << " triangle " << i << " faces inward";
        }
        const std::map<Edge, int> edges = directedEdges(box.triangles);
        for (const auto& [edge, count] : edges) {
            EXPECT_EQ(count, 1) << box.name << ": " << where(edge);
            if (edges.count({edge.second, edge.first}) == 0) {
                EXPECT_TRUE(onRoomSurface(edge)) << box.name << ": open " << where(edge);
            }
        }
    }
}

TEST_F(CourseModelTest, BallPlacesHaveClearanceFromEveryTriangle) {
    std::vector<Vector3> places = {ballStart};
    for (int x = -respawnRange; x <= respawnRange; ++x) {
        for (int z = -respawnRange; z <= respawnRange; ++z) {
            places.emplace_back(static_cast<float>(x), respawnHeight, static_cast<float>(z));
        }
    }
    for (const ModelBox& box : boxes) {
        for (const Corners& t : box.triangles) {
            for (const Vector3& place : places) {
                ASSERT_GE(distanceToTriangle(place, t), requiredClearance)
                    << "(" << place << ") too near " << box.name;
            }
        }
    }
}

// Every vertex lies in the room's shell, the shell inside the camera's orbit and below its
// height, and every place the ball is put inside the shell.
TEST_F(CourseModelTest, EverythingLiesInsideTheRoom) {
    Vector3 low = trianglesOf(BoxRole::Room).front()[0];
    Vector3 high = low;
    for (const Corners& t : trianglesOf(BoxRole::Room)) {
        for (const Vector3& v : t) {
            for (int axis = 0; axis < 3; ++axis) {
                low[axis] = std::min(low[axis], v[axis]);
                high[axis] = std::max(high[axis], v[axis]);
            }
        }
    }
    const auto inside = [&](const Vector3& v) {
        return v.x >= low.x && v.y >= low.y && v.z >= low.z && v.x <= high.x && v.y <= high.y &&
               v.z <= high.z;
    };
    for (const ModelBox& box : boxes) {
        for (const Corners& t : box.triangles) {
            for (const Vector3& v : t) {
                EXPECT_TRUE(inside(v)) << box.name << " has (" << v << ")";
            }
        }
    }
    for (int axis : {0, 2}) {
        EXPECT_LE(std::max(-low[axis], high[axis]), mostHorizontalExtent);
    }
    EXPECT_LT(high.y, cameraHeight);
    EXPECT_TRUE(inside(ballStart));
    const auto corner = static_cast<float>(respawnRange);
    EXPECT_TRUE(inside({-corner, respawnHeight, -corner}) &&
                inside({corner, respawnHeight, corner}));
}

// What a reader of the file rebuilds: the same boxes in the same order, each colour as stored
// and each coordinate, a file number times 0.2f, equal to the model's to the bit.
TEST_F(CourseModelTest, FileReadsBackAsTheModel) {
    const std::string text = courseFileText(boxes);
    ASSERT_GE(text.size(), 5u);
    EXPECT_EQ(text.substr(text.size() - 5), "\nend\n");

    std::istringstream in(text);
    std::string word;
    for (const ModelBox& box : boxes) {
        ASSERT_TRUE(in >> word);
        ASSERT_EQ(word, "start") << "before " << box.name;
        for (const float channel : box.colour) {
            float read = 0.0f;
            ASSERT_TRUE(in >> read) << box.name;
            EXPECT_EQ(read, channel) << box.name;
        }
        for (const Corners& t : box.triangles) {
            for (const Vector3& v : t) {
                for (int axis = 0; axis < 3; ++axis) {
                    float read = 0.0f;
                    ASSERT_TRUE(in >> read) << box.name;
                    EXPECT_EQ(read * 0.2f, v[axis]) << box.name << " (" << v << ")";
                }
            }
        }
    }
    ASSERT_TRUE(in >> word);
    EXPECT_EQ(word, "end");
    EXPECT_FALSE(in >> word) << "words after the end";

    // One triangle per line: the lines that are neither markers, colours nor blank.
    std::size_t triangleLines = 0;
    std::size_t triangles = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream numbers(line);
        float value = 0.0f;
        int count = 0;
        while (numbers >> value) {
            ++count;
        }
        triangleLines += count == 9 ? 1 : 0;
    }
    for (const ModelBox& box : boxes) {
        triangles += box.triangles.size();
    }
    EXPECT_EQ(triangleLines, triangles);
}

TEST(SnapToFile, KeepsWhatTheFileCanHoldAndRoundsTheRest) {
    EXPECT_EQ(snapToFile(23.0), 115.0f * 0.2f);
    EXPECT_EQ(snapToFile(-0.5), -2.5f * 0.2f);
    // 0.1234 course units are 0.617 file units, written as 0.62.
    EXPECT_EQ(snapToFile(0.1234), 0.62f * 0.2f);
    for (const double c : {0.1234, -7.77777, 12.5, 1e-9}) {
        EXPECT_EQ(snapToFile(snapToFile(c)), snapToFile(c)) << c;
    }
}

} // namespace
