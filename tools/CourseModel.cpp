#include "CourseModel.h"

#include "course/CourseWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <sstream>

namespace {

constexpr double fileUnitsPerCourseUnit = 5.0;

using Colour = std::array<float, 4>;
constexpr Colour laneGreen = {0.2f, 0.62f, 0.22f, 1.0f};
constexpr Colour roughGreen = {0.1f, 0.36f, 0.14f, 1.0f};
constexpr Colour skirtingWood = {0.45f, 0.27f, 0.12f, 1.0f};
constexpr Colour railWood = {0.58f, 0.36f, 0.16f, 1.0f};
constexpr Colour sky = {0.55f, 0.72f, 0.9f, 1.0f};
constexpr Colour hillGreen = {0.42f, 0.72f, 0.28f, 1.0f};
constexpr Colour bumperWhite = {0.95f, 0.95f, 0.92f, 1.0f};
constexpr Colour bumperRed = {0.8f, 0.1f, 0.08f, 1.0f};
constexpr Colour cupBlack = {0.06f, 0.06f, 0.06f, 1.0f};
constexpr Colour flagYellow = {1.0f, 0.82f, 0.1f, 1.0f};

constexpr double floorY = CourseLayout::floorY;
constexpr double railTopY = CourseLayout::railTopY;
constexpr double ceilingY = CourseLayout::ceilingY;
constexpr double wall = CourseLayout::roomHalfWidth;

// Grid lines of the room's faces, course units. The floor, the walls and the ceiling share them,
// so each cell edge meets its neighbour's edge end to end: the shell has no T-junction cracks.
// z = +-10 runs under the rails, where the lane's green meets the rough.
constexpr std::array<double, 4> roomX = {-wall, -7.5, 7.5, wall};
constexpr std::array<double, 4> roomZ = {-wall, -10.0, 10.0, wall};
constexpr std::array<double, 3> roomY = {floorY, railTopY, ceilingY};

// A planar convex loop of corners, either way round.
using Face = std::vector<Vector3>;

Vector3 point(double x, double y, double z) {
    return {snapToFile(x), snapToFile(y), snapToFile(z)};
}

Vector3 centroid(const Face& face) {
    return std::accumulate(face.begin(), face.end(), Vector3()) / static_cast<float>(face.size());
}

// Appends the triangle a, b, c, its corners ordered so that its normal points along facing.
void addTriangle(ModelBox& box, const Vector3& a, const Vector3& b, const Vector3& c,
                 const Vector3& facing) {
    if ((b - a).cross(c - a).dot(facing) < 0.0f) {
        box.triangles.push_back({a, c, b});
    } else {
        box.triangles.push_back({a, b, c});
    }
}

// Appends a planar convex face with its normal along facing: three corners as one triangle, four
// as two that share the diagonal from the first corner, more as a fan around the face's centre
// (so the wide caps of the posts and the cup get no slivers).
void addFace(ModelBox& box, const Face& face, const Vector3& facing) {
    if (face.size() <= 4) {
        for (std::size_t i = 1; i + 1 < face.size(); ++i) {
            addTriangle(box, face[0], face[i], face[i + 1], facing);
        }
        return;
    }
    const Vector3 mean = centroid(face);
    const Vector3 centre = point(mean.x, mean.y, mean.z);
    for (std::size_t i = 0; i < face.size(); ++i) {
        addTriangle(box, centre, face[i], face[(i + 1) % face.size()], facing);
    }
}

// Appends a convex solid, every face turned away from the mean of all face corners, which lies
// inside a convex solid. Faces where the solid rests on the floor or against a wall are left out.
void addConvexSolid(ModelBox& box, const std::vector<Face>& faces) {
    Face allCorners;
    for (const Face& face : faces) {
        allCorners.insert(allCorners.end(), face.begin(), face.end());
    }
    const Vector3 inside = centroid(allCorners);
    for (const Face& face : faces) {
        addFace(box, face, centroid(face) - inside);
    }
}

ModelBox makeBox(std::string name, BoxRole role, const Colour& colour) {
    ModelBox box;
    box.name = std::move(name);
    box.role = role;
    box.colour = colour;
    return box;
}

// The floor or the ceiling: one box per grid cell, facing the middle of the room.
void addRoomTiles(std::vector<ModelBox>& boxes, const std::string& what, double y) {
    const Vector3 roomCentre = point(0.0, 0.5 * (floorY + ceilingY), 0.0);
    for (std::size_t i = 0; i + 1 < roomX.size(); ++i) {
        for (std::size_t j = 0; j + 1 < roomZ.size(); ++j) {
            const bool lane = j == 1;
            const Colour& colour = y == floorY ? (lane ? laneGreen : roughGreen) : sky;
            ModelBox box = makeBox(what + " tile " + std::to_string(i) + "," + std::to_string(j),
                                   BoxRole::Room, colour);
            const Face cell = {point(roomX[i], y, roomZ[j]), point(roomX[i + 1], y, roomZ[j]),
                               point(roomX[i + 1], y, roomZ[j + 1]),
                               point(roomX[i], y, roomZ[j + 1])};
            addFace(box, cell, roomCentre - centroid(cell));
            boxes.push_back(std::move(box));
        }
    }
}

// The four walls, each as two boxes: the wooden skirting up to the rails' height and the sky
// above it.
void addRoomWalls(std::vector<ModelBox>& boxes) {
    struct Wall {
        const char* name;
        bool alongX; // the wall runs along x at z = at; otherwise along z at x = at
        double at;
    };
    constexpr std::array<Wall, 4> walls = {{{"wall -z", true, -wall},
                                            {"wall +z", true, wall},
                                            {"wall -x", false, -wall},
                                            {"wall +x", false, wall}}};
    const Vector3 roomCentre = point(0.0, 0.5 * (floorY + ceilingY), 0.0);
    for (const Wall& side : walls) {
        const auto& breaks = side.alongX ? roomX : roomZ;
        const auto at = [&](double u, double y) {
            return side.alongX ? point(u, y, side.at) : point(side.at, y, u);
        };
        for (std::size_t band = 0; band + 1 < roomY.size(); ++band) {
            const bool skirting = band == 0;
            ModelBox box = makeBox(std::string(side.name) + (skirting ? " skirting" : " upper"),
                                   BoxRole::Room, skirting ? skirtingWood : sky);
            for (std::size_t k = 0; k + 1 < breaks.size(); ++k) {
                const Face cell = {at(breaks[k], roomY[band]), at(breaks[k + 1], roomY[band]),
                                   at(breaks[k + 1], roomY[band + 1]),
                                   at(breaks[k], roomY[band + 1])};
                addFace(box, cell, roomCentre - centroid(cell));
            }
            boxes.push_back(std::move(box));
        }
    }
}

// The two long rails of the lane, from wall to wall along x, at |z| from 9.5 to 10.5. They stand
// on the floor and against the end walls, so they have no bottom and no ends. Their long faces
// are split at the room's grid lines so that no triangle is a long sliver.
void addRails(std::vector<ModelBox>& boxes) {
    constexpr double innerZ = 9.5;
    constexpr double outerZ = 10.5;
    for (const double side : {-1.0, 1.0}) {
        ModelBox box = makeBox(side < 0.0 ? "rail -z" : "rail +z", BoxRole::Obstacle, railWood);
        const double inner = side * innerZ;
        const double outer = side * outerZ;
        std::vector<Face> faces;
        for (std::size_t k = 0; k + 1 < roomX.size(); ++k) {
            const double x0 = roomX[k];
            const double x1 = roomX[k + 1];
            faces.push_back({point(x0, railTopY, inner), point(x1, railTopY, inner),
                             point(x1, railTopY, outer), point(x0, railTopY, outer)});
            for (const double z : {inner, outer}) {
                faces.push_back({point(x0, floorY, z), point(x1, floorY, z), point(x1, railTopY, z),
                                 point(x0, railTopY, z)});
            }
        }
        addConvexSolid(box, faces);
        boxes.push_back(std::move(box));
    }
}

// A hill across the lane: up a ramp from x = 11 to 8, a plateau 1.5 above the floor to x = 4, and
// down again to x = 1; 12 wide in z. Open at the bottom.
void addRampHill(std::vector<ModelBox>& boxes) {
    constexpr double footHigh = 11.0;
    constexpr double shoulderHigh = 8.0;
    constexpr double shoulderLow = 4.0;
    constexpr double footLow = 1.0;
    constexpr double halfWidth = 6.0;
    constexpr double topY = railTopY;
    ModelBox box = makeBox("ramp hill", BoxRole::Obstacle, hillGreen);
    const auto across = [&](double x, double y) {
        return Face{point(x, y, -halfWidth), point(x, y, halfWidth)};
    };
    const std::array<Face, 4> profile = {across(footHigh, floorY), across(shoulderHigh, topY),
                                         across(shoulderLow, topY), across(footLow, floorY)};
    std::vector<Face> faces;
    for (std::size_t k = 0; k + 1 < profile.size(); ++k) {
        faces.push_back(
            {profile[k][0], profile[k][1], profile[k + 1][1], profile[k + 1][0]}); // slope, top
    }
    for (const std::size_t end : {0u, 1u}) {
        faces.push_back({profile[0][end], profile[1][end], profile[2][end], profile[3][end]});
    }
    addConvexSolid(box, faces);
    boxes.push_back(std::move(box));
}

// The faces of an upright regular prism standing on the floor: its top and its sides, each side
// split into `levels` equal storeys. The corners sit at angles (k + 1/2) * 360 / corners degrees
// from +x, so a four-cornered prism is a square with sides along the axes.
std::vector<Face> uprightPrism(double centreX, double centreZ, double cornerRadius, int corners,
                               double topY, int levels) {
    std::vector<Face> faces;
    const auto corner = [&](int k, double y) {
        const double angle = (k + 0.5) * 2.0 * std::numbers::pi / corners;
        return point(centreX + cornerRadius * std::cos(angle), y,
                     centreZ + cornerRadius * std::sin(angle));
    };
    Face top;
    for (int k = 0; k < corners; ++k) {
        top.push_back(corner(k, topY));
    }
    faces.push_back(top);
    for (int level = 0; level < levels; ++level) {
        const double y0 = floorY + (topY - floorY) * level / levels;
        const double y1 = floorY + (topY - floorY) * (level + 1) / levels;
        for (int k = 0; k < corners; ++k) {
            faces.push_back({corner(k, y0), corner(k + 1, y0), corner(k + 1, y1), corner(k, y1)});
        }
    }
    return faces;
}

void addPrismBox(std::vector<ModelBox>& boxes, const std::string& name, const Colour& colour,
                 const std::vector<Face>& faces) {
    ModelBox box = makeBox(name, BoxRole::Obstacle, colour);
    addConvexSolid(box, faces);
    boxes.push_back(std::move(box));
}

// Bumpers: two white octagonal posts behind the hill and a red block further on, in the middle
// of the lane.
void addBumpers(std::vector<ModelBox>& boxes) {
    constexpr double postX = -1.0;
    constexpr double postZ = 5.5;
    constexpr double postRadius = 1.2;
    constexpr double postTopY = 0.5;
    addPrismBox(boxes, "post -z", bumperWhite,
                uprightPrism(postX, -postZ, postRadius, 8, postTopY, 1));
    addPrismBox(boxes, "post +z", bumperWhite,
                uprightPrism(postX, postZ, postRadius, 8, postTopY, 1));
    // A 4 by 4 block, 3 high, centred at (-8, 0).
    const double blockCornerRadius = 2.0 * std::numbers::sqrt2;
    addPrismBox(boxes, "block", bumperRed, uprightPrism(-8.0, 0.0, blockCornerRadius, 4, 1.0, 1));
}

// The cup near the far end of the lane: a black disc 0.1 high, a white pole through it and a
// yellow pennant pointing back along the lane. Pole and pennant are closed solids of their own
// that reach into each other; the ball cannot get between them.
void addCupAndFlag(std::vector<ModelBox>& boxes) {
    constexpr double cupX = -17.0;
    constexpr double cupZ = 0.0;
    constexpr double poleHalfWidth = 0.15;
    constexpr double poleTopY = 5.0;
    addPrismBox(boxes, "cup", cupBlack, uprightPrism(cupX, cupZ, 1.0, 12, floorY + 0.1, 1));
    // Three storeys keep the pole's thin sides from becoming slivers.
    addPrismBox(boxes, "flag pole", bumperWhite,
                uprightPrism(cupX, cupZ, poleHalfWidth * std::numbers::sqrt2, 4, poleTopY, 3));

    constexpr double pennantTopY = poleTopY;
    constexpr double pennantBottomY = 3.5;
    constexpr double pennantLength = 2.5;
    constexpr double pennantHalfThickness = 0.08;
    const auto outline = [&](double z) {
        return Face{point(cupX, pennantTopY, z), point(cupX, pennantBottomY, z),
                    point(cupX + pennantLength, 0.5 * (pennantTopY + pennantBottomY), z)};
    };
    const Face front = outline(pennantHalfThickness);
    const Face back = outline(-pennantHalfThickness);
    std::vector<Face> faces = {front, back};
    for (std::size_t k = 0; k < front.size(); ++k) {
        const std::size_t next = (k + 1) % front.size();
        faces.push_back({front[k], front[next], back[next], back[k]});
    }
    addPrismBox(boxes, "flag pennant", flagYellow, faces);
}

} // namespace

float snapToFile(double c) {
    // Five times c to two decimals, as a float: the grid of the file's numbers.
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.2f", c * fileUnitsPerCourseUnit);
    float fileValue = 0.0f;
    std::from_chars(text, text + length, fileValue);
    // "-0.00" is the grid's zero: no vertex gets a negative zero.
    return fileValue == 0.0f ? 0.0f : CourseWriter::courseValueOf(fileValue);
}

std::vector<ModelBox> buildCourseModel() {
    std::vector<ModelBox> boxes;
    addRoomTiles(boxes, "floor", floorY);
    addRoomWalls(boxes);
    addRoomTiles(boxes, "ceiling", ceilingY);
    addRails(boxes);
    addRampHill(boxes);
    addBumpers(boxes);
    addCupAndFlag(boxes);
    return boxes;
}

std::string courseFileText(const std::vector<ModelBox>& boxes) {
    std::ostringstream text;
    CourseWriter writer(text);
    for (const ModelBox& box : boxes) {
        writer.startBox(box.colour);
        for (const auto& triangle : box.triangles) {
            writer.addTriangle(triangle);
        }
    }
    writer.finish();
    return text.str();
}
