#include "draw/GlSceneDrawing.h"
#include "scene/Ball.h"
#include "scene/TgaImage.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <iostream>

namespace {

constexpr const char* textureFile = "ball.tga";
// The GLU sphere's tessellation: slices around the pole axis, stacks from pole to pole.
constexpr int sphereSlices = 10;
constexpr int sphereStacks = 10;

} // namespace

Ball::Ball() {
    TgaImage image;
    if (!image.readFile(textureFile)) {
        // The image names its file first; the drawing goes on, so this is a warning.
        const std::string& fault = image.error();
        const std::string named = textureFile + std::string(": ");
        std::cerr << textureFile << ": warning: "
                  << (fault.rfind(named, 0) == 0 ? fault.substr(named.size()) : fault)
                  << "; the ball is drawn plain white\n";
        return;
    }
    image.uploadTexture(&textureId_);
    if (textureId_ == 0) {
        std::cerr << textureFile << ": warning: the texture's size " << image.width() << " by "
                  << image.height() << " is more than this GL accepts; the ball is drawn plain "
                  << "white\n";
    }
}

void GlSceneDrawing::drawBall(Ball& ball) {
    glTranslatef(ball.position_.x, ball.position_.y, ball.position_.z);
    // The GLU sphere's pole (+z) onto +y; the ball never turns as it moves.
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(180.0f, 0.0f, 1.0f, 0.0f);

    // White, so the texture shows its own colours under the light.
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT, GL_AMBIENT, white);
    glBindTexture(GL_TEXTURE_2D, ball.textureId_);

    if (ball.quadric_ == nullptr) {
        ball.quadric_ = gluNewQuadric();
        if (ball.quadric_ != nullptr) {
            gluQuadricTexture(ball.quadric_, GL_TRUE);
        }
    }
    if (ball.quadric_ != nullptr) {
        gluSphere(ball.quadric_, ball.radius_, sphereSlices, sphereStacks);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GlSceneDrawing::deleteQuadric(GLUquadric* quadric) {
    gluDeleteQuadric(quadric);
}
