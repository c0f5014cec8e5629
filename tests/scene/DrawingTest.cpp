#include "scene/Ball.h"
#include "scene/CollisionBox.h"
#include "scene/TgaImage.h"
#include "support/GlContext.h"

#include "TgaFiles.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>

// The link wraps GLU's quadric calls (see CMakeLists.txt), so the test sees every quadric the
// scene library makes or frees.
namespace {
int quadricsMade = 0;
int quadricsDeleted = 0;
} // namespace

extern "C" {
GLUquadric* __real_gluNewQuadric();
void __real_gluDeleteQuadric(GLUquadric* quadric);
GLUquadric* __wrap_gluNewQuadric() {
    ++quadricsMade;
    return __real_gluNewQuadric();
}
void __wrap_gluDeleteQuadric(GLUquadric* quadric) {
    ++quadricsDeleted;
    __real_gluDeleteQuadric(quadric);
}
}

namespace {

using Matrix = std::array<float, 16>;
using Rgb = std::array<int, 3>;

// The test window's size in pixels (tests/support/GlContext.cpp).
constexpr int windowSide = 64;

// An uncompressed true-colour TGA, bottom row first, pixels as blue, green, red(, alpha).
std::string writeTga(const std::string& name, int width, int height, int bits, const Bytes& pixels,
                     std::uint8_t type = 2) {
    const TgaHeader header{.imageType = type,
                           .width = static_cast<std::int16_t>(width),
                           .height = static_cast<std::int16_t>(height),
                           .bitsPerPixel = static_cast<std::uint8_t>(bits)};
    return writeFile(name, tgaFile(header, pixels));
}

Matrix modelView() {
    Matrix m{};
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)],
                    1e-6f)
            << "entry " << i << " (row " << i % 4 << ", column " << i / 4 << ")";
    }
}

GLint integer(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

// Identity projection and model-view: what is drawn in [-1, 1]^2 fills the window.
void resetView() {
    glViewport(0, 0, windowSide, windowSide);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Rgb pixelAt(int x, int y) {
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::uint8_t rgb[3] = {0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

// Within a few steps of 255: software rasterisers round lighting and filtering differently.
void expectColourNear(const Rgb& actual, const Rgb& expected) {
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_NEAR(actual[c], expected[c], 4) << "channel " << c << " of (" << actual[0] << ", "
                                               << actual[1] << ", " << actual[2] << ")";
    }
}

int byteOf(float channel) {
    return static_cast<int>(channel * 255.0f + 0.5f);
}

// Standard error written while `action` runs.
template <typename Action> std::string standardErrorOf(Action action) {
    std::ostringstream captured;
    std::streambuf* const previous = std::cerr.rdbuf(captured.rdbuf());
    action();
    std::cerr.rdbuf(previous);
    return captured.str();
}

// Runs `action` with the scratch directory as the working directory, where Ball() looks.
template <typename Action> void inScratchDirectory(Action action) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scratchDirectory().path(""));
    action();
    std::filesystem::current_path(previous);
}

} // namespace

TEST(BallDrawing, LeavesItsTranslationAndTurnOnTheModelViewAndUnbindsTheTexture) {
    ensureGlContext();
    Ball ball(Ball::withoutTexture);
    ball.setPosition({1.0f, 2.0f, 3.0f});
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);

    // translate(1, 2, 3) * rotate(90 about x) * rotate(180 about y): the sphere's x axis onto -x,
    // its y axis onto +z and its pole (+z) onto +y; translation in the last column.
    const Matrix expected = {-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 2, 3, 1};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ball.draw({0.0f, 1.0f, 0.0f}, 1);
    expectMatrixNear(modelView(), expected);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);

    // Multiplied onto the view already set, not loaded over it; the arguments change nothing.
    glLoadIdentity();
    glTranslatef(5.0f, 0.0f, 0.0f);
    ball.draw({-1.0f, 0.0f, 0.0f}, 999);
    Matrix shifted = expected;
    shifted[12] = 6.0f;
    expectMatrixNear(modelView(), shifted);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &other);
}

TEST(BallDrawing, MakesOneQuadricAndReusesItFrameAfterFrame) {
    ensureGlContext();
    const int madeBefore = quadricsMade;
    const int deletedBefore = quadricsDeleted;
    {
        Ball ball(Ball::withoutTexture);
        EXPECT_EQ(quadricsMade, madeBefore) << "a quadric before the first draw";
        glLoadIdentity();
        ball.draw({}, 0);
        const Matrix firstFrame = modelView();
        for (int frame = 1; frame < 1000; ++frame) {
            glLoadIdentity();
            ball.draw({}, frame);
            ASSERT_EQ(modelView(), firstFrame) << "frame " << frame;
            ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "frame " << frame;
        }
        EXPECT_EQ(quadricsMade - madeBefore, 1);
        EXPECT_EQ(quadricsDeleted, deletedBefore);
    }
    EXPECT_EQ(quadricsDeleted - deletedBefore, 1) << "the ball's quadric outlived it";
}

TEST(BallTexture, IsReadFromBallTgaOrReportedOnceAndLeftWhite) {
    ensureGlContext();
    // 1 by 5, bottom row first: red, three blue rows, red (stored blue, green, red, alpha).
    const Bytes red = {0, 0, 255, 255};
    const Bytes blue = {255, 0, 0, 255};
    Bytes bandedTexture;
    for (const Bytes* row : {&red, &blue, &blue, &blue, &red}) {
        bandedTexture.insert(bandedTexture.end(), row->begin(), row->end());
    }

    inScratchDirectory([&] {
        std::filesystem::remove("ball.tga");
        const std::string missing = standardErrorOf([] {
            const Ball ball;
            EXPECT_EQ(ball.textureId(), 0u);
        });
        EXPECT_EQ(missing,
                  "ball.tga: warning: cannot open the texture: No such file or directory; the "
                  "ball is drawn plain white\n");

        writeTga("ball.tga", 1, 1, 32, {1, 2, 3, 4}, 10);
        const std::string refused = standardErrorOf([] {
            const Ball ball;
            EXPECT_EQ(ball.textureId(), 0u);
        });
        EXPECT_EQ(refused,
                  "ball.tga: warning: TGA image type 10 is not supported (only 2, uncompressed "
                  "true-colour); the ball is drawn plain white\n");

        writeTga("ball.tga", 1, 5, 32, bandedTexture);
        const std::string errors = standardErrorOf([] {
            Ball ball;
            EXPECT_NE(ball.textureId(), 0u);
            EXPECT_EQ(glIsTexture(ball.textureId()), GL_TRUE);

            // Drawn with its texture and the quadric's texture coordinates: the window's centre
            // shows the sphere's equator, t = 0.5, inside the blue band. Untextured it would be
            // white; without texture coordinates t = 0 would show red.
            resetView();
            glDisable(GL_LIGHTING);
            glEnable(GL_TEXTURE_2D);
            glColor3f(1.0f, 1.0f, 1.0f);
            ball.setPosition({0.0f, 0.0f, 0.0f});
            glBindTexture(GL_TEXTURE_2D, 0);
            ball.draw({}, 0);
            expectColourNear(pixelAt(windowSide / 2, windowSide / 2), {0, 0, 255});
            EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);

            Ball plain(Ball::withoutTexture);
            plain.setPosition({0.0f, 0.0f, 0.0f});
            resetView();
            plain.draw({}, 0);
            expectColourNear(pixelAt(windowSide / 2, windowSide / 2), {255, 255, 255});
            glDisable(GL_TEXTURE_2D);
        });
        EXPECT_EQ(errors, "");
    });
}

TEST(TextureUpload, BindsANewLinearTextureHoldingTheImageAsItWasRead) {
    ensureGlContext();
    struct Case {
        const char* name;
        int width;
        int height;
        int bits;
        GLenum format;
    };
    // 5 by 3 at 24 bits: rows of 15 bytes, not a multiple of GL's default 4-byte alignment.
    const Case cases[] = {{"rgba.tga", 2, 2, 32, GL_RGBA}, {"rgb-odd.tga", 5, 3, 24, GL_RGB}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stored(static_cast<std::size_t>(c.width * c.height * c.bits / 8));
        for (std::size_t i = 0; i < stored.size(); ++i) {
            stored[i] = static_cast<std::uint8_t>(17 * i + 3);
        }
        TgaImage image;
        ASSERT_TRUE(image.readFile(writeTga(c.name, c.width, c.height, c.bits, stored)));
        unsigned int name = 0;
        image.uploadTexture(&name);
        ASSERT_NE(name, 0u);
        EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(name));
        GLint filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR);
        GLint side = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
        EXPECT_EQ(side, c.width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &side);
        EXPECT_EQ(side, c.height);
        EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4) << "unpack alignment left changed";

        Bytes back(image.pixelBytes(), 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, c.format, GL_UNSIGNED_BYTE, back.data());
        EXPECT_EQ(back, Bytes(image.pixels(), image.pixels() + image.pixelBytes()));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glDeleteTextures(1, &name);
    }

    // No pixels after a failed read: nothing generated, nothing bound, "no texture" written.
    GLuint bound = 0;
    glGenTextures(1, &bound);
    glBindTexture(GL_TEXTURE_2D, bound);
    TgaImage none;
    EXPECT_FALSE(none.readFile(scratchDirectory().path("absent.tga").string()));
    unsigned int name = 12345;
    none.uploadTexture(&name);
    EXPECT_EQ(name, 0u);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(bound));
    glDeleteTextures(1, &bound);
}

TEST(BoxDrawing, PaintsEachTriangleLitInTheBoxColourOnBothSides) {
    ensureGlContext();
    // Lit by a global ambient of 1 (ambient material) and a white light along +z (diffuse
    // material times the cosine with the face normal): the colour shows both materials, and
    // the normal, on front and back faces alike.
    resetView();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    const GLfloat fullAmbient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, fullAmbient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    const GLfloat alongZ[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, alongZ);
    glEnable(GL_LIGHT0);
    // A current normal that gives no diffuse light, in case the draw sent none of its own.
    glNormal3f(1.0f, 0.0f, 0.0f);

    Vector3 vertices[] = {{-0.9f, -0.9f, 0.0f}, {0.9f, -0.9f, 0.0f}, {0.0f, 0.9f, 0.0f}};
    Triangle facing(&vertices[0], &vertices[1], &vertices[2], true);
    Triangle away(&vertices[0], &vertices[2], &vertices[1], true);
    const float colour[3] = {0.2f, 0.35f, 0.1f};
    const Rgb expected = {byteOf(2 * colour[0]), byteOf(2 * colour[1]), byteOf(2 * colour[2])};

    for (Triangle* t : {&facing, &away}) {
        SCOPED_TRACE(t == &facing ? "front face" : "back face");
        CollisionBox box;
        box.setColour(colour[0], colour[1], colour[2], 1.0f);
        box.addTriangle(t);
        resetView();
        box.draw({0.0f, 1.0f, 0.0f}, 3);
        expectColourNear(pixelAt(windowSide / 2, windowSide / 2), expected);
        // The top left corner lies outside the triangle: still the clear colour.
        expectColourNear(pixelAt(2, windowSide - 3), {0, 0, 0});
        expectMatrixNear(modelView(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }

    // A box without triangles only sets its material, for both sides.
    CollisionBox empty;
    empty.setColour(0.5f, 0.25f, 0.75f, 1.0f);
    empty.draw({}, 0);
    for (const GLenum side : {GL_FRONT, GL_BACK}) {
        for (const GLenum property : {GL_AMBIENT, GL_DIFFUSE}) {
            GLfloat material[4] = {};
            glGetMaterialfv(side, property, material);
            EXPECT_FLOAT_EQ(material[0], 0.5f);
            EXPECT_FLOAT_EQ(material[1], 0.25f);
            EXPECT_FLOAT_EQ(material[2], 0.75f);
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
}
