#include "draw/GlSceneDrawing.h"
#include "scene/CollisionBox.h"

#include <GL/gl.h>

void GlSceneDrawing::drawBox(CollisionBox& box) {
    // The material stays outside the list: it is set at every draw, as drawImmediate sets it.
    box.setMaterial();
    if (box.triangles_.empty()) {
        return; // nothing to record, and no list name spent on it
    }
    box.recording_.replay([&box] { box.emitTriangles(); });
}

void CollisionBox::drawImmediate() const {
    setMaterial();
    emitTriangles();
}

void CollisionBox::setMaterial() const {
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, colour_);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, colour_);
}

void CollisionBox::emitTriangles() const {
    for (const Triangle* t : triangles_) {
        // Flat shading: the face normal on every vertex.
        const Vector3 normal = t->normal();
        glBegin(GL_TRIANGLES);
        for (int v = 0; v < 3; ++v) {
            const Vector3& vertex = *t->vertex(v);
            glNormal3f(normal.x, normal.y, normal.z);
            glVertex3f(vertex.x, vertex.y, vertex.z);
        }
        glEnd();
    }
}
