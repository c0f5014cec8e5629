#pragma once

#include "scene/SceneDrawing.h"

// The scene objects drawn with GL and GLU: the one SceneDrawing of the program, installed
// before main runs (GlSceneDrawing.cpp). A friend of Ball and CollisionBox, whose drawing
// state (the quadric, the display list) it makes and uses.
class GlSceneDrawing final : public SceneDrawing {
public:
    void drawBall(Ball& ball) override;
    void drawBox(CollisionBox& box) override;
    void deleteQuadric(GLUquadric* quadric) override;
    void deleteList(unsigned name) override;
};
