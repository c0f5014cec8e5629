#pragma once

class Ball;
class CollisionBox;
struct GLUquadric;

// The GL side of the scene objects: the bodies of Ball::draw and CollisionBox::draw, and the
// release of what only drawing makes (the ball's GLU quadric, a box's display list). The drawing
// library (draw/) implements it and installs its one instance before main runs in every program
// that links that library. This library calls no GL itself, so whatever only simulates (the
// physics, the course reader, the tools, the unit tests) links no GL library. In a program
// without the drawing library nothing is installed and draw does nothing: such a program has no
// GL context to draw into, and never holds a quadric or a list to release.
class SceneDrawing {
public:
    // The GL calls that Ball::draw and CollisionBox::draw document.
    virtual void drawBall(Ball& ball) = 0;
    virtual void drawBox(CollisionBox& box) = 0;
    virtual void deleteQuadric(GLUquadric* quadric) = 0;
    virtual void deleteList(unsigned name) = 0;

    // The drawing installed, or null in a program that links none.
    static SceneDrawing* installed();
    // Makes `drawing` the one every draw uses from now on; done once, by the drawing library.
    static void install(SceneDrawing* drawing);

protected:
    // Never destroyed through this interface: the one instance lives as long as the program.
    ~SceneDrawing() = default;
};
