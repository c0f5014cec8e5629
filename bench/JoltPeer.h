#pragma once

// Jolt Physics as a peer of the contact search (built with MINIGOLF_JOLT_PEER): the course's
// triangles in one MeshShape, the ball a SphereShape cast against it, back faces ignored, as a
// game built on Jolt would cast its ball. Jolt's own headers stay inside JoltPeer.cpp.

#include <memory>
#include <string>

class JoltCourse {
public:
    JoltCourse();
    ~JoltCourse();
    JoltCourse(const JoltCourse&) = delete;
    JoltCourse& operator=(const JoltCourse&) = delete;

    // Parses the file as the Bullet peer does (PeerCourseText.h) and builds the mesh's tree;
    // false when the file cannot be read or Jolt refuses the mesh.
    bool load(const std::string& fileName);

    // The first hit of a sphere of `radius` moving from -> to (course units): true on a hit,
    // with `fraction` of the move (0 to 1) and `normal`, the unit normal of the surface hit,
    // pointing back towards the sphere.
    bool sweep(const float (&from)[3], const float (&to)[3], float& fraction,
               float (&normal)[3]) const;

    // Casts of this radius: the sphere shape is made once, as a game keeps its ball's shape.
    static constexpr float radius = 0.6f;

private:
    struct Shapes;
    std::unique_ptr<Shapes> shapes_;
};
