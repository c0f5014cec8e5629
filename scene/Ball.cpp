#include "scene/Ball.h"

#include "scene/SceneDrawing.h"

// Ball() and the GL calls of draw are the drawing library's (draw/BallDrawing.cpp).

Ball::Ball(WithoutTexture) {}

Ball::~Ball() {
    // A quadric is made only by a draw, so only where a drawing is installed.
    if (quadric_ != nullptr) {
        SceneDrawing::installed()->deleteQuadric(quadric_);
    }
}

void Ball::draw(Vector3 /*lightDirection*/, int /*frameCount*/) {
    if (SceneDrawing* const drawing = SceneDrawing::installed()) {
        drawing->drawBall(*this);
    }
}
