#pragma once

#include "geometry/Triangle.h"
#include "scene/SceneObject.h"

#include <unordered_set>
#include <vector>

// A group of course triangles under one axis-aligned bounding box and one colour: the coarse
// filter of the simulation and a flat-shaded drawable. The box holds pointers to triangles owned
// elsewhere; copies share them.
class CollisionBox : public SceneObject {
public:
    CollisionBox() = default;
    CollisionBox(const CollisionBox&) = default;
    CollisionBox& operator=(const CollisionBox&) = default;
    ~CollisionBox() override = default;

    // Material colour as read from the course: red, green, blue, alpha, not scaled or limited.
    void setColour(float red, float green, float blue, float alpha);
    // Appends t and widens the bounds to its vertices; a pointer already held is ignored. The
    // first triangle replaces the (0, 0, 0) corners of a new box. A NaN coordinate widens
    // nothing.
    void addTriangle(Triangle* t);
    // Drops what only loading needs: the set of held pointers behind the duplicate check (the
    // next addTriangle, if one ever comes, builds it again from the list) and the list's unused
    // capacity. Changes nothing the box reports.
    void compact();
    unsigned triangleCount() const { return static_cast<unsigned>(triangles_.size()); }
    // The triangle at index, 0 <= index < triangleCount(); not checked.
    Triangle* triangle(int index) const { return triangles_[static_cast<std::size_t>(index)]; }

    Vector3 minCorner() const { return minCorner_; }
    Vector3 maxCorner() const { return maxCorner_; }
    const float* colour() const { return colour_; }

    // Whether the centre's move from `from` to `to` may bring a sphere of the given radius within
    // `tolerance` of the bounds: per axis, the move's interval against the bounds grown by
    // radius + tolerance, touching counted as overlap. Conservative: it tests the segment's
    // bounding interval, not the segment.
    bool overlapsSweep(Vector3 from, Vector3 to, float radius, float tolerance) const;

    // Sets the colour as front-and-back diffuse and ambient material and draws each triangle as
    // its own GL_TRIANGLES with the face normal on every vertex. Changes no matrix, binds no
    // texture. Neither argument is used.
    void draw(Vector3 lightDirection, int frameCount) override;

private:
    Vector3 minCorner_;
    Vector3 maxCorner_;
    float colour_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<Triangle*> triangles_;
    // The same pointers, for the duplicate check: a scan of the list made loading quadratic in
    // the triangles of one box. Empty after compact() until addTriangle needs it again.
    std::unordered_set<const Triangle*> held_;
};
