#pragma once

#include "geometry/Bounds.h"
#include "geometry/Triangle.h"
#include "scene/DisplayList.h"
#include "scene/SceneObject.h"

#include <unordered_set>
#include <vector>

// A group of course triangles under one axis-aligned bounding box and one colour: the coarse
// filter of the simulation and a flat-shaded drawable. The box holds pointers to triangles owned
// elsewhere; copies share them, but not the display list its draw records (see DisplayList).
class CollisionBox : public SceneObject {
public:
    CollisionBox() = default;
    CollisionBox(const CollisionBox&) = default;
    CollisionBox& operator=(const CollisionBox&) = default;
    // A growing list of boxes moves them, keeping their recorded drawing.
    CollisionBox(CollisionBox&&) noexcept = default;
    CollisionBox& operator=(CollisionBox&&) noexcept = default;
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

    Vector3 minCorner() const { return bounds_.lowerCorner(); }
    Vector3 maxCorner() const { return bounds_.upperCorner(); }
    // Both corners as one value: from minCorner to maxCorner, (0, 0, 0) to (0, 0, 0) while the
    // box holds no triangle (not empty Bounds).
    const Bounds& bounds() const { return bounds_; }
    const float* colour() const { return colour_; }

    // Whether the centre's move from `from` to `to` may bring a sphere of the given radius within
    // `tolerance` of the bounds: per axis, the move's interval against the bounds grown by
    // radius + tolerance, touching counted as overlap. Conservative: it tests the segment's
    // bounding interval, not the segment.
    bool overlapsSweep(Vector3 from, Vector3 to, float radius, float tolerance) const;

    // Sets the colour as front-and-back diffuse and ambient material and draws each triangle as
    // its own GL_TRIANGLES with the face normal on every vertex. Changes no matrix, binds no
    // texture. Neither argument is used. The triangle calls are recorded into a display list at
    // the first draw, again at the first draw after the triangles change (addTriangle, an
    // assignment), and replayed otherwise: the same pixels as drawImmediate at a fraction of the
    // cost per frame. The vertices and normals are taken as they are when recorded (a
    // Triangle's are not changed after it is built). The GL calls are made by the drawing
    // library (see SceneDrawing); without it linked, nothing is drawn.
    void draw(Vector3 lightDirection, int frameCount) override;
    // The same picture, every call made directly: the reference the recorded drawing is held to.
    // Defined in the drawing library (draw/).
    void drawImmediate() const;
    // The display list of the recorded drawing (0 before the first draw); for tests.
    const DisplayList& recording() const { return recording_; }

private:
    // minCorner and maxCorner.
    Bounds bounds_ = Bounds::around(Vector3());
    float colour_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<Triangle*> triangles_;
    // The same pointers, for the duplicate check: a scan of the list made loading quadratic in
    // the triangles of one box. Empty after compact() until addTriangle needs it again.
    std::unordered_set<const Triangle*> held_;
    // The triangle calls of draw, recorded; stale after addTriangle.
    DisplayList recording_;

    friend class GlSceneDrawing; // draw/: records and replays the list

    // GL calls, defined in the drawing library (draw/) beside drawImmediate.
    void setMaterial() const;
    void emitTriangles() const;
};
