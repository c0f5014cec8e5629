#include "TriangleStore.h"
#include "scene/CollisionBox.h"
#include "support/GlContext.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Picture = std::vector<std::uint8_t>;

// The test window's size in pixels (tests/support/GlContext.cpp).
constexpr int windowSide = 64;
// Camera stations around the scene, so that every face is seen from the front and from behind.
constexpr int cameraStations = 8;

// The program's lighting and polygon modes (app/Callbacks.cpp), with a projection for the
// square test window; everything a previous test may have changed is set again.
void setProgramState() {
    glViewport(0, 0, windowSide, windowSide);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);
    const GLfloat modelAmbient[] = {0.2f, 0.2f, 0.2f, 1.0f}; // GL's default
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    const GLfloat position[] = {1.0f, -1.0f, 1.0f, 0.0f}; // rays along the world's (-1, 1, -1)
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 1.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void restoreDefaultState() {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
}

// Clears, looks at the origin from the given station, draws, and reads the whole window.
template <typename Draw> Picture pictureFrom(int station, Draw draw) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const double angle = 2.0 * std::numbers::pi * station / cameraStations;
    gluLookAt(-4.0 * std::sin(angle), 1.5, 4.0 * std::cos(angle), 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    draw();
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    Picture rgb(static_cast<std::size_t>(windowSide * windowSide * 3));
    glReadPixels(0, 0, windowSide, windowSide, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

int pixelsThatDiffer(const Picture& a, const Picture& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2] ? 1 : 0;
    }
    return count;
}

int litPixels(const Picture& picture) {
    return pixelsThatDiffer(picture, Picture(picture.size(), 0));
}

void drawImmediate(const std::vector<CollisionBox>& boxes) {
    for (const CollisionBox& box : boxes) {
        box.drawImmediate();
    }
}

void drawRecorded(std::vector<CollisionBox>& boxes) {
    for (CollisionBox& box : boxes) {
        box.draw({-1.0f, 1.0f, -1.0f}, 1);
    }
}

// Four walls of a unit cube, each a 4 x 4 grid facing inward (shared edges, filled faces beside
// outlines), and four boxes of random triangles facing either way and cutting through each
// other: 288 triangles in eight colours.
std::vector<CollisionBox> sampleBoxes(TriangleStore& store) {
    std::vector<CollisionBox> boxes;
    constexpr int cells = 4;
    const Vector3 walls[4][3] = {{{-1, -1, -1}, {0, 0, 2}, {2, 0, 0}}, // floor, +y
                                 {{-1, -1, -1}, {0, 2, 0}, {0, 0, 2}}, // x = -1, +x
                                 {{-1, -1, -1}, {2, 0, 0}, {0, 2, 0}}, // z = -1, +z
                                 {{-1, -1, 1}, {0, 2, 0}, {2, 0, 0}}}; // z = +1, -z
    for (const auto& wall : walls) {
        CollisionBox& box = boxes.emplace_back();
        box.setColour(0.2f + 0.2f * static_cast<float>(boxes.size()), 0.5f, 0.3f, 1.0f);
        const auto point = [&](int i, int j) {
            return wall[0] + wall[1] * (static_cast<float>(i) / cells) +
                   wall[2] * (static_cast<float>(j) / cells);
        };
        for (int i = 0; i < cells; ++i) {
            for (int j = 0; j < cells; ++j) {
                box.addTriangle(store.make(point(i, j), point(i + 1, j), point(i + 1, j + 1)));
                box.addTriangle(store.make(point(i, j), point(i + 1, j + 1), point(i, j + 1)));
            }
        }
    }
    std::mt19937 random(20240611u);
    std::uniform_real_distribution<float> coordinate(-0.9f, 0.9f);
    const auto randomPoint = [&] {
        const float x = coordinate(random);
        const float y = coordinate(random);
        return Vector3(x, y, coordinate(random));
    };
    for (int b = 0; b < 4; ++b) {
        CollisionBox& box = boxes.emplace_back();
        box.setColour(0.9f, 0.15f * static_cast<float>(b), 0.6f - 0.1f * static_cast<float>(b),
                      1.0f);
        for (int t = 0; t < 40; ++t) {
            box.addTriangle(store.make(randomPoint(), randomPoint(), randomPoint()));
        }
    }
    return boxes;
}

} // namespace

TEST(RecordedBoxDrawing, GivesTheImmediatePicturesPixelForPixel) {
    ensureGlContext();
    setProgramState();
    TriangleStore store;
    std::vector<CollisionBox> boxes = sampleBoxes(store);

    // Twice round: the first round records every list, the second only replays them.
    for (int round = 0; round < 2; ++round) {
        for (int station = 0; station < cameraStations; ++station) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", station " << station);
            const Picture reference = pictureFrom(station, [&] { drawImmediate(boxes); });
            const Picture recorded = pictureFrom(station, [&] { drawRecorded(boxes); });
            // A picture that is mostly course, so that equality says something.
            EXPECT_GT(litPixels(reference), windowSide * windowSide / 4);
            EXPECT_EQ(pixelsThatDiffer(reference, recorded), 0);
        }
    }
    for (const CollisionBox& box : boxes) {
        EXPECT_NE(box.recording().name(), 0u);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    restoreDefaultState();
}

TEST(RecordedBoxDrawing, FollowsNewTrianglesAndNeverSharesAListBetweenCopies) {
    ensureGlContext();
    setProgramState();
    TriangleStore store;
    std::vector<CollisionBox> boxes = sampleBoxes(store);
    boxes.resize(1); // the floor grid
    CollisionBox& floor = boxes[0];
    const auto reference = [](const CollisionBox& box) {
        return pictureFrom(0, [&] { box.drawImmediate(); });
    };
    const auto recorded = [](CollisionBox& box) {
        return pictureFrom(0, [&] { box.draw({}, 0); });
    };

    // Recorded at the first draw, replayed from the same list ever after.
    const Picture before = recorded(floor);
    const unsigned name = floor.recording().name();
    ASSERT_NE(name, 0u);
    EXPECT_EQ(glIsList(name), GL_TRUE);
    for (int frame = 0; frame < 50; ++frame) {
        floor.draw({}, frame);
    }
    EXPECT_EQ(floor.recording().name(), name) << "a list per frame";

    // A triangle added after a draw shows at the next draw, recorded into the same list.
    Triangle* upright = store.make({-0.5f, -1.0f, 0.0f}, {0.5f, -1.0f, 0.0f}, {0.0f, 0.8f, 0.0f});
    floor.addTriangle(upright);
    const Picture grown = recorded(floor);
    EXPECT_GT(pixelsThatDiffer(before, grown), 20) << "the new triangle is not drawn";
    EXPECT_EQ(pixelsThatDiffer(grown, reference(floor)), 0);
    EXPECT_EQ(floor.recording().name(), name);

    // A copy records a list of its own: what it adds never shows in the source's picture.
    CollisionBox copy = floor;
    EXPECT_EQ(copy.recording().name(), 0u);
    copy.addTriangle(store.make({0.0f, -1.0f, 0.5f}, {0.0f, 0.8f, 0.0f}, {0.0f, -1.0f, -0.5f}));
    EXPECT_EQ(pixelsThatDiffer(recorded(copy), reference(copy)), 0);
    EXPECT_NE(copy.recording().name(), name);
    EXPECT_EQ(pixelsThatDiffer(recorded(floor), grown), 0);

    // Assigned over, a drawn box shows its new triangles, re-recorded into its own list.
    const unsigned copyName = copy.recording().name();
    const std::vector<CollisionBox> others = sampleBoxes(store);
    copy = others[3]; // the z = +1 wall
    EXPECT_EQ(pixelsThatDiffer(recorded(copy), reference(copy)), 0);
    EXPECT_EQ(copy.recording().name(), copyName);

    // A growing list of boxes moves them with their lists; a destroyed box frees its list.
    std::vector<CollisionBox> moved;
    moved.push_back(copy);
    moved[0].draw({}, 0);
    const unsigned movedName = moved[0].recording().name();
    moved.reserve(moved.capacity() + 8);
    EXPECT_EQ(moved[0].recording().name(), movedName);
    EXPECT_EQ(pixelsThatDiffer(recorded(moved[0]), reference(copy)), 0);
    moved.clear();
    EXPECT_EQ(glIsList(movedName), GL_FALSE) << "the list outlived its box";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    restoreDefaultState();
}
