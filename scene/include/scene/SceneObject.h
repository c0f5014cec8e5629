#pragma once

#include "geometry/Vector3.h"

// Anything the frame draws. Drawing needs a current GL context; nothing else does.
class SceneObject {
public:
    virtual ~SceneObject() = default;
    // lightDirection: the world's light direction (a copy); frameCount: frames begun so far.
    virtual void draw(Vector3 lightDirection, int frameCount) = 0;
};
