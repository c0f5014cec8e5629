#pragma once

#include "course/CourseReader.h"
#include "course/TriangleStorage.h"
#include "geometry/Bounds.h"
#include "geometry/Triangle.h"
#include "geometry/Vector3.h"
#include "physics/ContactIndex.h"
#include "physics/SimulationSettings.h"
#include "scene/CollisionBox.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

// A course ready to fly through, built in this order: the storage of its triangles, the
// triangles (course units, frames built), the collision boxes that point at them, and the
// contact index over the boxes. What the program, the tools, the generator and the tests all
// hold. Movable (the triangles, the box list and the index stay where they are, so the boxes'
// pointers and the index's tie to its box list hold), not copyable.
class LoadedCourse {
public:
    LoadedCourse();
    LoadedCourse(LoadedCourse&&) noexcept;
    LoadedCourse& operator=(LoadedCourse&&) noexcept;
    ~LoadedCourse();

    // Reads the course file with the program's reader into this empty course (its console
    // lines to `console`, with `options`, whose storage is replaced by this course's own) and,
    // when it is read up to its "end", builds the index on options.threads threads. False when
    // it is not read, as the reader's diagnostics say; what was read before the fault stays,
    // without an index.
    bool read(const std::string& fileName, std::ostream& console = std::cout,
              const CourseReadOptions& options = {});

    // Builds a course in memory as the reader builds one from a file: a box of the colour (red,
    // green, blue, alpha), then its triangles (course units; the frames built at once), box
    // after box; then the index, after which nothing more may be added.
    void startBox(float red, float green, float blue, float alpha);
    void addTriangle(const Vector3& v0, const Vector3& v1, const Vector3& v2);
    void buildIndex(unsigned threads = 0);

    // The triangles in course order, and the boxes in course order, each box pointing at its
    // own triangles.
    const std::vector<Triangle*>& triangles() const { return triangles_; }
    const std::vector<CollisionBox>& boxes() const { return *boxes_; }
    // The boxes for drawing, which keeps their bounds and triangles as they are.
    std::vector<CollisionBox>& boxesToDraw() { return *boxes_; }
    // The bounds of every box that holds a triangle (the smallest axis-aligned box around all of
    // them; an empty box's (0, 0, 0) corners bound nothing): empty Bounds without a triangle.
    Bounds bounds() const;
    // The index over boxes(); null until it is built.
    const ContactIndex* index() const { return index_.get(); }

    // Lets the settings search this course's contacts through its index, as the program does;
    // with `exhaustive`, by testing every triangle of every box the sweep overlaps instead (the
    // reference the index is held to: the results are the same, bit for bit).
    void searchWith(SimulationSettings& settings, bool exhaustive = false) const {
        settings.useContactIndex(exhaustive ? nullptr : index_.get());
    }

private:
    std::unique_ptr<TriangleStorage> storage_;
    std::vector<Triangle*> triangles_;
    // On the heap, so that the list keeps its address when the course moves: the index knows
    // its list by that address.
    std::unique_ptr<std::vector<CollisionBox>> boxes_;
    std::unique_ptr<ContactIndex> index_;
};
