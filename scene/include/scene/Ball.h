#pragma once

#include "scene/BallConstants.h"
#include "scene/SceneObject.h"

struct GLUquadric;

// The one ball: the state the simulation moves, in course units and seconds.
class Ball : public SceneObject {
public:
    // Tag for the ball the physics, tools and tests use: no texture, no GL context needed.
    struct WithoutTexture {};
    static constexpr WithoutTexture withoutTexture{};

    // The program's ball at (20, 0, 0) with velocity (-50, -15, 15) and radius 0.6, textured
    // from "ball.tga" in the working directory. Needs a current GL context. A texture that cannot
    // be used is reported once on standard error and the ball is drawn plain white. Defined in
    // the drawing library (draw/), which uploads the texture: only a program that draws makes it.
    Ball();
    // The same ball without a texture; drawn plain white.
    explicit Ball(WithoutTexture);
    Ball(const Ball&) = delete;
    Ball& operator=(const Ball&) = delete;
    ~Ball() override;

    Vector3 position() const { return position_; }
    Vector3 velocity() const { return velocity_; }
    float radius() const { return radius_; }
    void setPosition(const Vector3& position) { position_ = position; }
    void setVelocity(const Vector3& velocity) { velocity_ = velocity; }
    unsigned int textureId() const { return textureId_; }

    // Translates to the centre, turns the sphere's pole onto +y and draws a textured sphere of
    // 10 slices and 10 stacks with a white material. Leaves the translation and rotations on the
    // model-view matrix and texture 0 bound. Neither argument is used. The GL calls are made by
    // the drawing library (see SceneDrawing); without it linked, nothing is drawn.
    void draw(Vector3 lightDirection, int frameCount) override;

private:
    friend class GlSceneDrawing; // draw/: makes the quadric and draws with it

    unsigned int textureId_ = 0;
    Vector3 position_ = ball_constants::startPosition();
    Vector3 velocity_ = ball_constants::startVelocity();
    float radius_ = ball_constants::radius;
    // Made at the first draw and reused, so no quadric accumulates from frame to frame.
    GLUquadric* quadric_ = nullptr;
};
