#include "app/World.h"
#include "app/Callbacks.h"
#include "support/GlContext.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Course units at the orbit's scale (radius 40) carried through a float matrix.
constexpr float viewTolerance = 1e-3f;

// One green square far below the ball's flight, so that no frame of the test has a contact.
const char* const testCourse = "start\n"
                               "0.1 0.6 0.1 1.0\n"
                               "-50 -200 -50   -50 -200 50   50 -200 -50\n"
                               "end\n";

// Collects what `body` writes to standard output.
template <typename Body> std::string captureStandardOutput(Body body) {
    std::ostringstream captured;
    std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
    body();
    std::cout.rdbuf(original);
    return captured.str();
}

Vector3 modelViewOf(Vector3 point) {
    float matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    return point.transformPoint(matrix);
}

// The current view looks from `eye` at `target`: the eye goes to the origin of eye space and the
// target onto the -z axis in front of it.
void expectView(Vector3 eye, Vector3 target) {
    const Vector3 eyeInView = modelViewOf(eye);
    EXPECT_NEAR(eyeInView.x, 0.0f, viewTolerance);
    EXPECT_NEAR(eyeInView.y, 0.0f, viewTolerance);
    EXPECT_NEAR(eyeInView.z, 0.0f, viewTolerance);
    const Vector3 targetInView = modelViewOf(target);
    EXPECT_NEAR(targetInView.x, 0.0f, viewTolerance);
    EXPECT_NEAR(targetInView.y, 0.0f, viewTolerance);
    EXPECT_NEAR(targetInView.z, -(target - eye).length(), viewTolerance);
    // +y up: the world's up direction stays in the eye's yz plane, pointing up.
    const Vector3 aboveEye = modelViewOf(eye + Vector3(0.0f, 1.0f, 0.0f));
    EXPECT_NEAR(aboveEye.x, 0.0f, viewTolerance);
    EXPECT_GT(aboveEye.y, 0.0f);
}

// The colour at the middle of the viewport of the frame just drawn (not yet swapped).
struct Pixel {
    int red, green, blue;
};
Pixel centrePixel() {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    unsigned char rgb[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(viewport[0] + viewport[2] / 2, viewport[1] + viewport[3] / 2, 1, 1, GL_RGB,
                 GL_UNSIGNED_BYTE, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

// What one display callback does, short of swapping the buffers.
std::string drawFrame(World* world) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    return captureStandardOutput([world] { world->frame(); });
}

void expectFrameRateLine(const std::string& output) {
    EXPECT_TRUE(std::regex_match(output, std::regex("[0-9]+\n"))) << "frame output: " << output;
}

// Moves into a fresh directory holding the test course, where the world reads "clobox.txt".
std::filesystem::path enterCourseDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "world-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary directory";
        return {};
    }
    std::filesystem::current_path(pattern);
    std::ofstream(std::filesystem::path(pattern) / "clobox.txt") << testCourse;
    return pattern;
}

} // namespace

TEST(World, OrbitCirclesTheYAxisAtRadius40AndHeight15) {
    const Vector3 first = World::orbitPosition(1);
    EXPECT_NEAR(first.x, -0.39999f, 1e-5f);
    EXPECT_FLOAT_EQ(first.y, 15.0f);
    EXPECT_NEAR(first.z, 39.998f, 1e-3f);
    for (const int frame : {0, 157, 314, 471, 628, 100000}) {
        SCOPED_TRACE(frame);
        const Vector3 eye = World::orbitPosition(frame);
        EXPECT_NEAR(std::hypot(eye.x, eye.z), 40.0f, 1e-4f);
        EXPECT_FLOAT_EQ(eye.y, 15.0f);
    }
    // A quarter turn (pi/2 at 0.01 per frame) puts the eye on -x; half a turn on -z.
    EXPECT_NEAR(World::orbitPosition(157).x, -40.0f, 1e-3f);
    EXPECT_NEAR(World::orbitPosition(314).z, -40.0f, 1e-3f);
}

// One world per process, so start-up and the frames that follow run as one sequence.
TEST(World, StartUpThenFramesFollowTheOrbitAndKeepTheTarget) {
    ensureGlContext();
    const std::filesystem::path directory = enterCourseDirectory();
    ASSERT_FALSE(directory.empty());

    const std::string startUp = captureStandardOutput([] { initScene(); });
    const std::string banner = "Welcome to the Quellmoor minigolf collision\n"
                               "prototype.  At any time during the execution of this prototype,\n"
                               "press the space bar to stop execution and reset the program\n"
                               "parameters.\n"
                               "\n"
                               "\n";
    ASSERT_EQ(startUp.substr(0, banner.size()), banner);
    // Then the loader: the one triangle's number and the loading time.
    EXPECT_TRUE(std::regex_match(startUp.substr(banner.size()), std::regex("0\n[0-9.e-]+\n")))
        << startUp;

    {
        SCOPED_TRACE("GL state after start-up");
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
        EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        GLint polygonModes[2] = {0, 0};
        glGetIntegerv(GL_POLYGON_MODE, polygonModes);
        EXPECT_EQ(polygonModes[0], GL_FILL);
        EXPECT_EQ(polygonModes[1], GL_LINE);
        // Stored in eye space; set under the identity, it points against the rays (-1, 1, -1).
        GLfloat lightPosition[4];
        glGetLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
        EXPECT_FLOAT_EQ(lightPosition[0], 1.0f);
        EXPECT_FLOAT_EQ(lightPosition[1], -1.0f);
        EXPECT_FLOAT_EQ(lightPosition[2], 1.0f);
        EXPECT_FLOAT_EQ(lightPosition[3], 0.0f);
        GLfloat ambient[4];
        glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        EXPECT_FLOAT_EQ(ambient[0], 0.5f);
        EXPECT_FLOAT_EQ(ambient[3], 1.0f);
        // 45 degrees vertically at aspect 1.5, planes 1 and 100.
        GLfloat projection[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        const double focal = 1.0 / std::tan(22.5 * std::numbers::pi / 180.0);
        EXPECT_NEAR(projection[0], focal / 1.5, 1e-5);
        EXPECT_NEAR(projection[5], focal, 1e-5);
        EXPECT_NEAR(projection[10], -101.0 / 99.0, 1e-5);
        EXPECT_NEAR(projection[14], -200.0 / 99.0, 1e-5);
        GLint matrixMode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        EXPECT_EQ(matrixMode, GL_MODELVIEW);
    }

    World* const world = World::instance();
    world->restartTimer();
    {
        SCOPED_TRACE("first frame: frame count 1");
        expectFrameRateLine(drawFrame(world));
        // About (-0.39999, 15, 39.998); the ball's transforms are gone after its draw.
        expectView(World::orbitPosition(1), Vector3(0.0f, 0.0f, 0.0f));
    }
    world->setCamera(Vector3(10.0f, 10.0f, 10.0f), Vector3(1.0f, 2.0f, 3.0f));
    {
        SCOPED_TRACE("after setCamera: the orbit replaces the position, the target shows");
        expectFrameRateLine(drawFrame(world));
        expectView(World::orbitPosition(2), Vector3(1.0f, 2.0f, 3.0f));
        // Nothing lies behind the target on this course: the middle of the picture is black.
        const Pixel middle = centrePixel();
        EXPECT_LT(middle.red + middle.green + middle.blue, 30);
    }
    // A white ball at rest right on the target covers the middle of the next picture.
    world->setBall(Vector3(1.0f, 2.0f, 3.0f), Vector3(0.0f, 0.0f, 0.0f));
    {
        SCOPED_TRACE("after setBall: the ball is drawn where it was put; the target stays");
        expectFrameRateLine(drawFrame(world));
        expectView(World::orbitPosition(3), Vector3(1.0f, 2.0f, 3.0f));
        const Pixel middle = centrePixel();
        EXPECT_GT(middle.red, 180);
        EXPECT_GT(middle.green, 180);
        EXPECT_GT(middle.blue, 180);
    }

    std::filesystem::current_path(directory.parent_path());
    std::filesystem::remove_all(directory);
}
