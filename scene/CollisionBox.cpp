#include "scene/CollisionBox.h"

#include "scene/SceneDrawing.h"

// drawImmediate and the GL calls of draw are the drawing library's (draw/BoxDrawing.cpp).

void CollisionBox::setColour(float red, float green, float blue, float alpha) {
    colour_[0] = red;
    colour_[1] = green;
    colour_[2] = blue;
    colour_[3] = alpha;
}

void CollisionBox::addTriangle(Triangle* t) {
    if (held_.size() != triangles_.size()) {
        held_.insert(triangles_.begin(), triangles_.end()); // dropped by compact()
    }
    if (!held_.insert(t).second) {
        return; // already held: neither the list nor the bounds change
    }
    // The first triangle's first vertex replaces the (0, 0, 0) corners of a new box, so the
    // origin is part of the bounds only when a vertex lies there. Each coordinate then lowers
    // the min corner or raises the max corner, never both (the corners start equal); a NaN
    // coordinate fails both comparisons and widens nothing.
    if (triangles_.empty()) {
        bounds_ = Bounds::around(*t->vertex(0));
    }
    for (int v = 0; v < 3; ++v) {
        bounds_.grow(*t->vertex(v));
    }
    triangles_.push_back(t);
    recording_.markStale();
}

void CollisionBox::compact() {
    std::unordered_set<const Triangle*>().swap(held_);
    triangles_.shrink_to_fit();
}

bool CollisionBox::overlapsSweep(Vector3 from, Vector3 to, float radius, float tolerance) const {
    for (int axis = 0; axis < 3; ++axis) {
        // The centre's interval on this axis over the whole move.
        const float lo = from[axis] < to[axis] ? from[axis] : to[axis];
        const float hi = from[axis] < to[axis] ? to[axis] : from[axis];
        // Box, grown by the radius, starts beyond the far end of the move.
        if (bounds_.lower[axis] - radius > hi + tolerance) {
            return false;
        }
        // Box, grown by the radius, ends before the near end of the move.
        if (radius + bounds_.upper[axis] < lo - tolerance) {
            return false;
        }
    }
    return true;
}

void CollisionBox::draw(Vector3 /*lightDirection*/, int /*frameCount*/) {
    if (SceneDrawing* const drawing = SceneDrawing::installed()) {
        drawing->drawBox(*this);
    }
}
